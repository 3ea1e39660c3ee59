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

xml::Node ChildList(const xml::Node& pex, std::string_view name) {
  for (xml::Node child = pex.FirstChild(); child; child = child.NextSibling()) {
    if (child.Type() == xml::NodeType::kElement && child.Name() == name) return child;
  }
  return xml::Node();
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
  if (!pex) RaiseObjectRequired();
  if (pex.Type() != xml::NodeType::kElement || pex.Name() != "PEx") {
    RaiseError(kReaderSource, "Expected a parsed expression (PEx), found " + pex.Name());
  }
  ParsedExpression record;
  record.expression = pex.GetAttribute("Exp");
  if (record.IsEmpty()) return record;
  record.furthest_cell = pex.AttributeOr("Max", "");

  ForEachEntry(ChildList(pex, "EIs"), "EI", [&](const xml::Node& entry) {
    const std::string code = entry.AttributeOr("Typ", "");
    const std::optional<OperandType> type = OperandTypeFromCode(code);
    if (!type) RaiseError(kReaderSource, "Unknown operand type '" + code + "' in EI");
    const Int16 number = SizeToInt16(record.operands.size() + 1);
    record.operands.push_back({*type, entry.AttributeOr("Val", ""), number});
  });

  ForEachEntry(ChildList(pex, "EFs"), "EF", [&](const xml::Node& entry) {
    std::string name = entry.AttributeOr("Typ", "");
    const std::optional<Function> function = FunctionFromName(name);
    if (!function) RaiseError(kReaderSource, "Unknown function '" + name + "' in EF");
    record.calls.push_back({*function, std::move(name), ReadNumber(entry, "Pos"), 0});
  });

  const xml::Node embedded_list = ChildList(pex, "EMBs");
  record.has_string_literals = embedded_list && embedded_list.GetAttribute("EAtt").has_value();
  ForEachEntry(embedded_list, "EMB", [&](const xml::Node& entry) {
    record.embedded.push_back({ReadNumber(entry, "Str"), ReadNumber(entry, "End")});
  });
  return record;
}

}  // namespace orvo
