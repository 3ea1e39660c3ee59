// orvo render: lays a saved preview (the <Preview> element orvo preview
// writes) out on pages and writes them as HTML or PDF.
#include <fstream>
#include <iostream>
#include <sstream>

#include "command.h"
#include "orvo/xml.h"
#include "page_output.h"

namespace orvo::cli {

int RunRenderCommand(const Arguments& args) {
  if (args.empty() || args[0].rfind("--", 0) == 0) throw UsageError("give the PREVIEW file");
  PageOutput output;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (!output.TakeOption(args, i)) throw UsageError("unexpected argument: " + args[i]);
  }
  if (!output.Wanted()) throw UsageError("give --html FILE or --pdf FILE");
  std::ifstream in(args[0], std::ios::binary);
  if (!in) {
    std::cerr << "orvo render: cannot read " << args[0] << "\n";
    return 1;
  }
  std::stringstream text;
  text << in.rdbuf();
  const xml::Document document = xml::Document::Parse(text.str());
  const std::size_t pages =
      WritePages(render::ReadPreviewXml(document.DocumentElement()), output, "render");
  std::cout << pages << (pages == 1 ? " page\n" : " pages\n");
  return 0;
}

}  // namespace orvo::cli
