#include "page_output.h"

#include <fstream>
#include <iostream>

#include "orvo/error.h"
#include "render/html_writer.h"
#include "render/page_layout.h"
#include "render/pdf_printer.h"

namespace orvo::cli {

bool PageOutput::TakeOption(const Arguments& args, std::size_t& i) {
  const std::string& arg = args[i];
  const bool has_value = i + 1 < args.size();
  if (arg == "--html" && has_value) {
    html_file = args[++i];
  } else if (arg == "--pdf" && has_value) {
    pdf_file = args[++i];
  } else if (arg == "--title" && has_value) {
    title = args[++i];
  } else if (arg == "--letter") {
    letter = true;
  } else {
    return false;
  }
  return true;
}

std::size_t WritePages(const render::PreviewInput& preview, const PageOutput& output,
                       const std::string& command) {
  render::RenderOptions options;
  options.paper = output.letter ? render::Paper::kLetter : render::Paper::kA4;
  const render::Layout layout = render::LayOut(preview, options);
  for (const std::string& warning : layout.warnings) {
    std::cerr << "orvo " << command << ": warning: " << warning << "\n";
  }
  const std::string html = render::WriteHtml(layout, options, output.title);
  if (output.html_file) {
    std::ofstream file(*output.html_file, std::ios::binary);
    file << html;
    if (!file) RaiseFailure(kErrRaised, "render", "cannot write " + *output.html_file);
  }
  // Chromium takes about half a second a page on a busy machine: two minutes
  // and a second a page before it is given up.
  if (output.pdf_file) {
    render::PrintPdf(html, *output.pdf_file, 120 + static_cast<int>(layout.pages.size()));
  }
  return layout.pages.size();
}

}  // namespace orvo::cli
