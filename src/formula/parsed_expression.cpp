#include "formula/parsed_expression.h"

#include <charconv>

namespace orvo {
namespace {

constexpr const char* kReaderSource = "ReadParsedExpression";

Int16 ReadNumber(const xml::Node& element, std::string_view attribute) {
  thread_local std::string text;
  element.ReadAttribute(attribute, text);
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
    if (child.Type() == xml::NodeType::kElement && child.NameIs(name)) visit(child);
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
  if (pex.Type() != xml::NodeType::kElement || !pex.NameIs("PEx")) {
    RaiseError(kReaderSource, "Expected a parsed expression (PEx), found " + pex.Name());
  }
  // The strings of a reused record keep their storage from item to item.
  if (!record.expression) record.expression.emplace();
  if (!pex.ReadAttribute("Exp", *record.expression)) record.expression.reset();
  record.furthest_cell.clear();
  std::size_t operand_count = 0;
  record.calls.clear();
  record.embedded.clear();
  record.has_string_literals = false;
  if (record.IsEmpty()) {
    record.operands.clear();
    return;
  }
  pex.ReadAttribute("Max", record.furthest_cell);

  // The first list of each name, found in one walk over the children.
  xml::Node operand_list;
  xml::Node call_list;
  xml::Node embedded_list;
  for (xml::Node child = pex.FirstChild(); child; child = child.NextSibling()) {
    if (child.Type() != xml::NodeType::kElement) continue;
    if (!operand_list && child.NameIs("EIs")) operand_list = child;
    if (!call_list && child.NameIs("EFs")) call_list = child;
    if (!embedded_list && child.NameIs("EMBs")) embedded_list = child;
  }

  thread_local std::string code;
  ForEachEntry(operand_list, "EI", [&](const xml::Node& entry) {
    entry.ReadAttribute("Typ", code);
    const std::optional<OperandType> type = OperandTypeFromCode(code);
    if (!type) {
      record.operands.resize(operand_count);
      RaiseError(kReaderSource, "Unknown operand type '" + code + "' in EI");
    }
    const Int16 number = SizeToInt16(operand_count + 1);
    if (operand_count == record.operands.size()) record.operands.emplace_back();
    ParsedExpression::Operand& operand = record.operands[operand_count++];
    operand.type = *type;
    operand.placeholder = number;
    entry.ReadAttribute("Val", operand.text);
  });
  record.operands.resize(operand_count);

  ForEachEntry(call_list, "EF", [&](const xml::Node& entry) {
    entry.ReadAttribute("Typ", code);
    const std::optional<Function> function = FunctionFromName(code);
    if (!function) RaiseError(kReaderSource, "Unknown function '" + code + "' in EF");
    record.calls.push_back({*function, code, ReadNumber(entry, "Pos"), 0});
  });

  record.has_string_literals = embedded_list && embedded_list.HasAttribute("EAtt");
  ForEachEntry(embedded_list, "EMB", [&](const xml::Node& entry) {
    record.embedded.push_back({ReadNumber(entry, "Str"), ReadNumber(entry, "End")});
  });
}

}  // namespace orvo
