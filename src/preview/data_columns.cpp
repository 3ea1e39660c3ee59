#include "preview/data_columns.h"

#include <algorithm>

#include "evaluate/style_record.h"
#include "formula/formula_names.h"
#include "formula/parsed_expression.h"
#include "frame/column_letters.h"
#include "frame/text.h"
#include "orvo/parser.h"
#include "preview/result_format.h"

namespace orvo {
namespace {

constexpr const char* kReportEntry = "REPORT";

xml::Node FirstChildNamed(const xml::Node& parent, std::string_view name) {
  for (xml::Node child = FirstElement(parent); child; child = NextElement(child)) {
    if (child.Name() == name) return child;
  }
  return {};
}

xml::Node ChildWithAttribute(const xml::Node& list, std::string_view attribute,
                             std::string_view value) {
  for (xml::Node child = FirstElement(list); child; child = NextElement(child)) {
    if (child.Name() == "DC" && child.GetAttribute(attribute) == value) return child;
  }
  return {};
}

// A cell key's column letters and row digits; nothing for other text.
bool SplitCell(std::string_view key, std::string_view& letters, std::string_view& digits) {
  const std::size_t digit = key.find_first_of("0123456789");
  if (digit == std::string_view::npos || digit == 0) return false;
  letters = key.substr(0, digit);
  digits = key.substr(digit);
  return digits.find_first_not_of("0123456789") == std::string_view::npos;
}

// A cell or range operand with every cell of column `from` moved to `to`.
std::string MoveColumn(std::string_view operand, std::string_view from, std::string_view to) {
  std::string moved;
  std::size_t start = 0;
  while (start <= operand.size()) {
    const std::size_t colon = operand.find(':', start);
    const std::string_view part = operand.substr(
        start, colon == std::string_view::npos ? std::string_view::npos : colon - start);
    std::string_view letters;
    std::string_view digits;
    const std::string_view trimmed = Trim(part);
    if (SplitCell(trimmed, letters, digits) && EqualsIgnoreCase(letters, from)) {
      moved.append(to).append(digits);
    } else {
      moved.append(part);
    }
    if (colon == std::string_view::npos) break;
    moved.push_back(':');
    start = colon + 1;
  }
  return moved;
}

// The formula `formula` with its cell references to column `from` moved to
// column `to`; the formula unchanged when it does not parse.
std::string MoveFormula(cParser& parser, const std::string& formula, std::string_view from,
                        std::string_view to) {
  parser.TokenFromString(formula);
  if (HasParseMessages(parser)) return formula;
  const ParsedExpression& record = ParsedExpressionOf(parser);
  if (record.IsEmpty()) return formula;
  const std::string& expression = *record.expression;
  std::string moved;
  std::size_t position = 0;
  while (position < expression.size()) {
    const std::size_t found = expression.find(kPlaceholderPrefix, position);
    if (found == std::string::npos) break;
    moved.append(expression, position, found - position);
    std::size_t end = found + kPlaceholderPrefix.size();
    int number = 0;
    while (end < expression.size() && expression[end] >= '0' && expression[end] <= '9') {
      number = number * 10 + (expression[end] - '0');
      ++end;
    }
    if (number >= 1 && static_cast<std::size_t>(number) <= record.operands.size()) {
      const ParsedExpression::Operand& operand =
          record.operands[static_cast<std::size_t>(number - 1)];
      const bool cell = operand.type == OperandType::kCell || operand.type == OperandType::kRange;
      moved.append(cell ? MoveColumn(operand.text, from, to) : operand.text);
    } else {
      moved.append(expression, found, end - found);
    }
    position = end;
  }
  moved.append(expression, position, std::string::npos);
  return moved;
}

bool IsPlainText(std::string_view value) {
  const std::string_view trimmed = Trim(value);
  return !trimmed.empty() && trimmed.front() != '=' && trimmed.find('{') == std::string::npos;
}

}  // namespace

void InsertDataColumns(const xml::Node& format, const xml::Node& configuration) {
  if (!format || !configuration) return;
  const xml::Node balances = FirstChildNamed(format, "ColBals");
  const xml::Node template_balance = FirstChildNamed(balances, "ColBal");
  const xml::Node items = FirstChildNamed(format, "Itms");
  if (!template_balance || !items) return;
  const std::optional<std::int64_t> template_column =
      ParseWholeNumber(template_balance.AttributeOr("Col", ""));
  if (!template_column || *template_column < 1 || *template_column > kLastLetterColumn) return;
  const std::string template_letters = ColumnLetters(static_cast<std::int32_t>(*template_column));
  const std::string template_text = std::to_string(*template_column);

  // The configured columns in the order of their Ind (document order for
  // equal or unreadable ones).
  std::vector<std::pair<std::int64_t, xml::Node>> configured;
  for (xml::Node column = FirstElement(configuration); column; column = NextElement(column)) {
    if (column.Name() != "DCol") continue;
    configured.emplace_back(ParseWholeNumber(column.AttributeOr("Ind", "")).value_or(0), column);
  }
  std::stable_sort(configured.begin(), configured.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  if (configured.empty()) return;

  // The template column's items, row by row.
  std::vector<xml::Node> template_items;
  for (xml::Node row = FirstElement(items); row; row = NextElement(row)) {
    for (xml::Node item = FirstElement(row); item; item = NextElement(item)) {
      const xml::Node column = item.Attributes().Item(2);
      if (item.Name() == "Itm" && column && Trim(column.Text()) == template_text) {
        template_items.push_back(item);
      }
    }
  }

  cParser parser;
  parser.Converting(true);
  std::int64_t last_column = ParseWholeNumber(format.AttributeOr("MCol", "")).value_or(0);
  if (last_column < 0) last_column = 0;
  for (const auto& [ind, definition] : configured) {
    if (last_column >= kLastLetterColumn) break;  // the last column a key can name
    const std::int32_t column = static_cast<std::int32_t>(++last_column);
    const std::string letters = ColumnLetters(column);
    bool heading_written = false;
    for (const xml::Node& source : template_items) {
      xml::Node copy = source.CloneNode(true);
      copy.SetAttribute("Col", std::to_string(column));
      copy.SetAttribute("Key", letters + source.AttributeOr("Row", ""));
      const std::string value = source.AttributeOr("Value", "");
      if (!heading_written && IsPlainText(value)) {
        copy.SetAttribute("Value", definition.AttributeOr("Hdg", ""));
        heading_written = true;
      } else if (!Trim(value).empty() && Trim(value).front() == '=') {
        const std::string moved = MoveFormula(parser, value, template_letters, letters);
        copy.SetAttribute("Value", moved);
        copy.SetAttribute("DCFml", moved);
        if (xml::Node record = FirstChildNamed(copy, "PEx")) {
          copy.ReplaceChild(copy.OwnerDocument().CreateElement("PEx"), record);
        }
      }
      source.ParentNode().AppendChild(copy);
    }
    xml::Node balance = template_balance.CloneNode(false);
    balance.SetAttribute("Col", std::to_string(column));
    for (const char* name : {"Year", "Prd", "PdEnd", "PdBal", "Bal"}) {
      balance.SetAttribute(name, definition.AttributeOr(name, ""));
    }
    xml::Node(balances).AppendChild(balance);
  }
  xml::Node(format).SetAttribute("MCol", std::to_string(last_column));
}

void DataColumnScope::Reset(xml::Node configurations, xml::Node definitions) {
  m_library = std::move(configurations);
  m_definitions = std::move(definitions);
  m_override = xml::Node();
  m_in_force.assign(1, xml::Node());
  m_collection.clear();
}

xml::Node DataColumnScope::FindConfiguration(const std::string& key) const {
  const std::string upper = UpperCase(Trim(key));
  if (m_override) {
    if (m_override.Name() == "DC" && UpperCase(m_override.AttributeOr("Key", "")) == upper) {
      return m_override;
    }
    for (xml::Node child = FirstElement(m_override); child; child = NextElement(child)) {
      if (child.Name() == "DC" && UpperCase(child.AttributeOr("Key", "")) == upper) return child;
    }
  }
  return ChildWithAttribute(m_library, "Key", upper);
}

void DataColumnScope::Override(const xml::Node& data_column_override) {
  m_override = data_column_override;
  xml::Node configuration;
  if (m_override) {
    configuration = m_override.Name() == "DC" ? m_override : FirstChildNamed(m_override, "DC");
  }
  m_collection[kReportEntry] = configuration;
  m_in_force.assign(1, configuration);
}

void DataColumnScope::ReportConfiguration(const std::string& key) {
  const xml::Node configuration = Trim(key).empty() ? xml::Node() : FindConfiguration(key);
  m_collection[kReportEntry] = configuration;
  m_in_force.assign(1, configuration);
}

std::size_t DataColumnScope::Apply(const xml::Node& element) {
  const std::size_t previous = m_in_force.size();
  xml::Node configuration = Current();
  const std::string key = element ? element.AttributeOr("DCC", "") : std::string();
  const std::string id = element ? element.AttributeOr("DCID", "") : std::string();
  if (!Trim(key).empty()) {
    configuration = FindConfiguration(key);
    m_collection[UpperCase(Trim(key))] = configuration;
  } else if (!Trim(id).empty()) {
    const xml::Node definition = ChildWithAttribute(m_definitions, "ID", Trim(id));
    const std::string named = definition ? definition.AttributeOr("Cfg", "") : std::string();
    configuration = Trim(named).empty() ? xml::Node() : FindConfiguration(named);
    if (configuration) m_collection[UpperCase(Trim(named))] = configuration;
  }
  m_in_force.push_back(configuration);
  return previous;
}

void DataColumnScope::Restore(std::size_t previous) {
  if (previous >= 1 && previous <= m_in_force.size()) m_in_force.resize(previous);
}

xml::Node DataColumnScope::Current() const {
  return m_in_force.empty() ? xml::Node() : m_in_force.back();
}

void DataColumnScope::InsertInto(const xml::Node& format) const {
  InsertDataColumns(format, Current());
}

}  // namespace orvo
