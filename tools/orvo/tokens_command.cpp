// orvo tokens: shows how the tokenizer cuts a text, for formula authors and
// for checking the tokenizer from the shell.
#include <iostream>

#include "command.h"
#include "orvo/parser.h"
#include "orvo/xml.h"

namespace orvo::cli {

int RunTokensCommand(const Arguments& args) {
  bool keep_spaces = false;
  std::int16_t offset = 0;
  std::vector<std::pair<std::string, std::string>> ignore_spans;
  const auto [options, text] = SplitAtText(args);
  const auto read_offset = [&](const std::string& value) {
    offset = static_cast<std::int16_t>(ParseWholeNumber(value, INT16_MIN, INT16_MAX, "N"));
  };
  const auto read_ignore = [&](const std::string& span) {
    std::size_t colon = span.find(':');
    if (colon == std::string::npos) throw UsageError("--ignore takes START:END");
    std::string start = span.substr(0, colon);
    std::string end = span.substr(colon + 1);
    ParseWholeNumber(start, INT16_MIN, INT16_MAX, "START");
    ParseWholeNumber(end, INT16_MIN, INT16_MAX, "END");
    ignore_spans.emplace_back(start, end);
  };
  ReadOptions(options, {.values = {{"--offset", read_offset}, {"--ignore", read_ignore}},
                        .flags = {{"--keep-spaces", [&] { keep_spaces = true; }}}});

  cParser parser;
  parser.IgnoreSpaces(!keep_spaces);
  parser.Offset(offset);
  xml::Document document = xml::Document::Create();
  if (!ignore_spans.empty()) {
    xml::Node items = document.CreateElement("FindItems");
    for (const auto& [start, end] : ignore_spans) {
      xml::Node item = items.AppendChild(document.CreateElement("Item"));
      item.SetAttribute("Start", start);
      item.SetAttribute("End", end);
    }
    parser.ItemsToIgnore(items);
  }

  xml::Node tokens = document.CreateElement("Tokens");
  parser.CurrentPosition(1);
  // Every call moves the position on; the bound only guards the loop.
  for (std::size_t calls = 0; parser.CurrentPosition() != -1 && calls <= text.size() + 1; ++calls) {
    std::string token = parser.GetToken(text);
    xml::Node element = tokens.AppendChild(document.CreateElement("T"));
    element.SetAttribute("Start", std::to_string(parser.startPosition()));
    element.SetText(token);
  }
  tokens.SetAttribute("StrPos", parser.StrPos());
  tokens.AppendChild(parser.ErrorCollection());
  std::cout << tokens.Xml() << "\n";
  return 0;
}

}  // namespace orvo::cli
