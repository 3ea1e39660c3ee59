#include "formula/parsed_record.h"

#include <algorithm>

namespace orvo {

void ParsedRecord::Clear() { *this = ParsedRecord(); }

xml::Node ParsedRecord::ToXml(const xml::Document& document) const {
  xml::Node record = document.CreateElement("PEx");
  // A record whose parse never wrote Exp is the bare element.
  if (!has_lists || !expression) return record;
  record.SetAttribute("Exp", *expression);
  record.SetAttribute("Max", furthest_cell);

  xml::Node operand_list = record.AppendChild(document.CreateElement("EIs"));
  for (const Operand& operand : operands) {
    xml::Node item = operand_list.AppendChild(document.CreateElement("EI"));
    item.SetAttribute("Typ", operand.type);
    item.SetAttribute("Val", operand.value);
  }

  std::vector<const FunctionCall*> ordered;
  ordered.reserve(calls.size());
  for (const FunctionCall& call : calls) ordered.push_back(&call);
  std::stable_sort(
      ordered.begin(), ordered.end(),
      [](const FunctionCall* a, const FunctionCall* b) { return a->depth > b->depth; });
  xml::Node call_list = record.AppendChild(document.CreateElement("EFs"));
  for (const FunctionCall* call : ordered) {
    xml::Node item = call_list.AppendChild(document.CreateElement("EF"));
    item.SetAttribute("Typ", call->type);
    item.SetAttribute("Pos", std::to_string(call->position));
  }

  xml::Node embedded_list = record.AppendChild(document.CreateElement("EMBs"));
  if (has_string_literals) embedded_list.SetAttribute("EAtt", "");
  for (const Embedded& formula : embedded) {
    xml::Node item = embedded_list.AppendChild(document.CreateElement("EMB"));
    item.SetAttribute("Str", std::to_string(formula.start));
    item.SetAttribute("End", std::to_string(formula.end));
  }
  return record;
}

}  // namespace orvo
