#include "formula/parsed_expression.h"

#include <charconv>

namespace orvo {
namespace {

constexpr const char* kReaderSource = "ReadParsedExpression";

Int16 ReadNumber(const xml::Node& element, std::string_view attribute) {
  const std::string text = element.AttributeOr(attribute, "");
  int value = 0;
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || failure != std::errc() || end != text.data() + text.size() ||
      value < INT16_MIN || value > INT16_MAX) {
    RaiseError(kReaderSource, "Parsed expression entry " + element.Name() + " has " +
                                  std::string(attribute) + " '" + text +
                                  "', which is not a position");
  }
  return static_cast<Int16>(value);
}

// The element children of `list` named `name`, in document order.
// (The evaluator reads a record per item: walking siblings avoids the
// snapshot of handles ChildNodes makes.)
template <class Visit>
void ForEachEntry(const xml::Node& list, std::string_view name, Visit&& visit) {
  if (!list) return;
  for (xml::Node child = list.FirstChild(); child; child = child.NextSibling()) {
    if (child.Type() == xml::NodeType::kElement && child.Name() == name) visit(child);
  }
}

}  // namespace

std::string PlaceholderText(int number) {
  return std::string(kPlaceholderPrefix) + std::to_string(number);
}

xml::Node WriteParsedExpression(const ParsedExpression& record, const xml::Document& document) {
  xml::Node pex = document.CreateElement("PEx");
  if (record.IsEmpty()) return pex;
  pex.SetAttribute("Exp", *record.expression);
  pex.SetAttribute("Max", record.furthest_cell);

  xml::Node operand_list = pex.AppendChild(document.CreateElement("EIs"));
  for (const ParsedExpression::Operand& operand : record.operands) {
    xml::Node entry = operand_list.AppendChild(document.CreateElement("EI"));
    entry.SetAttribute("Typ", OperandTypeCode(operand.type));
    entry.SetAttribute("Val", operand.text);
  }

  xml::Node call_list = pex.AppendChild(document.CreateElement("EFs"));
  for (const ParsedExpression::FunctionCall& call : record.calls) {
    xml::Node entry = call_list.AppendChild(document.CreateElement("EF"));
    entry.SetAttribute("Typ", call.name);
    entry.SetAttribute("Pos", std::to_string(call.position));
  }

  xml::Node embedded_list = pex.AppendChild(document.CreateElement("EMBs"));
  if (record.has_string_literals) embedded_list.SetAttribute("EAtt", "");
  for (const ParsedExpression::Embedded& formula : record.embedded) {
    xml::Node entry = embedded_list.AppendChild(document.CreateElement("EMB"));
    entry.SetAttribute("Str", std::to_string(formula.start));
    entry.SetAttribute("End", std::to_string(formula.end));
  }
  return pex;
}

ParsedExpression ReadParsedExpression(const xml::Node& pex) {
  ParsedExpression record;
  ReadParsedExpression(pex, record);
  return record;
}

void ReadParsedExpression(const xml::Node& pex, ParsedExpression& record) {
  if (!pex) RaiseObjectRequired();
  if (pex.Type() != xml::NodeType::kElement || pex.Name() != "PEx") {
    RaiseError(kReaderSource, "Expected a parsed expression (PEx), found " + pex.Name());
  }
  record.expression = pex.GetAttribute("Exp");
  record.furthest_cell.clear();
  record.operands.clear();
  record.calls.clear();
  record.embedded.clear();
  record.has_string_literals = false;
  if (record.IsEmpty()) return;
  record.furthest_cell = pex.AttributeOr("Max", "");

  // The first list of each name, found in one walk over the children.
  xml::Node operand_list;
  xml::Node call_list;
  xml::Node embedded_list;
  for (xml::Node child = pex.FirstChild(); child; child = child.NextSibling()) {
    if (child.Type() != xml::NodeType::kElement) continue;
    const std::string name = child.Name();
    if (name == "EIs" && !operand_list) operand_list = child;
    if (name == "EFs" && !call_list) call_list = child;
    if (name == "EMBs" && !embedded_list) embedded_list = child;
  }

  ForEachEntry(operand_list, "EI", [&](const xml::Node& entry) {
    const std::string code = entry.AttributeOr("Typ", "");
    const std::optional<OperandType> type = OperandTypeFromCode(code);
    if (!type) RaiseError(kReaderSource, "Unknown operand type '" + code + "' in EI");
    const Int16 number = SizeToInt16(record.operands.size() + 1);
    record.operands.push_back({*type, entry.AttributeOr("Val", ""), number});
  });

  ForEachEntry(call_list, "EF", [&](const xml::Node& entry) {
    std::string name = entry.AttributeOr("Typ", "");
    const std::optional<Function> function = FunctionFromName(name);
    if (!function) RaiseError(kReaderSource, "Unknown function '" + name + "' in EF");
    record.calls.push_back({*function, std::move(name), ReadNumber(entry, "Pos"), 0});
  });

  record.has_string_literals = embedded_list && embedded_list.HasAttribute("EAtt");
  ForEachEntry(embedded_list, "EMB", [&](const xml::Node& entry) {
    record.embedded.push_back({ReadNumber(entry, "Str"), ReadNumber(entry, "End")});
  });
}

}  // namespace orvo
