// orvo parse: the parsed-expression record and messages of one formula, as a
// report designer's tool and for checking the parser from the shell.
#include <iostream>

#include "command.h"
#include "orvo/parser.h"
#include "orvo/xml.h"

namespace orvo::cli {

int RunParseCommand(const Arguments& args) {
  std::optional<std::string> workspace;
  bool converting = false;
  bool keep_spaces = false;
  const auto [options, text] = SplitAtText(args);
  ReadOptions(options, {.values = {{"--workspace", [&](const std::string& v) { workspace = v; }}},
                        .flags = {{"--converting", [&] { converting = true; }},
                                  {"--keep-spaces", [&] { keep_spaces = true; }}}});

  xml::Document document = xml::Document::Create();
  cParser parser;
  std::shared_ptr<IStoreContext> store;
  if (workspace) {
    const xml::Node launch_properties = LaunchPropertiesFor(document, *workspace);
    store = OpenCheckedWorkspace(launch_properties);
    parser.Init(launch_properties);
  }
  parser.Converting(converting);
  parser.IgnoreSpaces(!keep_spaces);

  xml::Node output = document.CreateElement("Parse");
  std::vector<std::pair<std::string, std::string>> found;
  parser.CellItemFound.Connect(
      [&found](const std::string& type, std::string& item) { found.emplace_back(type, item); });
  parser.TokenFromString(text);

  output.SetAttribute("StrPos", parser.StrPos());
  output.AppendChild(parser.ParsedValue());
  output.AppendChild(parser.ErrorCollection());
  for (const auto& [type, item] : found) {
    xml::Node element = output.AppendChild(document.CreateElement("Found"));
    element.SetAttribute("Type", type);
    element.SetAttribute("Item", item);
  }
  std::cout << output.Xml() << "\n";
  return 0;
}

}  // namespace orvo::cli
