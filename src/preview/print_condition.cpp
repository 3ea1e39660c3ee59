#include "preview/print_condition.h"

#include "evaluate/number_text.h"
#include "evaluate/style_record.h"
#include "formula/parsed_expression.h"
#include "frame/provider_access.h"
#include "frame/text.h"
#include "preview/builder_state.h"

namespace orvo {

bool PrintDecision(std::string_view value) {
  const std::string upper = UpperCase(value);
  if (upper == "TRUE") return true;
  if (upper == "FALSE") return false;
  if (IsNumber(value)) {
    const std::optional<double> number = ParseNumber(value);
    return number && *number > 0;
  }
  return !value.empty();
}

bool EvaluatePrintCondition(BuilderState& builder, const std::string& condition) {
  const std::string_view trimmed = Trim(condition);
  if (trimmed.empty()) return true;
  const std::string upper = UpperCase(trimmed);
  if (upper == "TRUE" || upper == "FALSE") return upper == "TRUE";

  builder.parser->TokenFromString(condition);
  if (HasParseMessages(*builder.parser)) return true;
  xml::Node item = builder.scratch.ImportNode(GetFormatProvider()->NewItem(0, 0), true);
  const xml::Node record =
      WriteParsedExpression(ParsedExpressionOf(*builder.parser), builder.scratch);
  if (const xml::Node first = FirstElement(item)) {
    item.ReplaceChild(record, first);
  } else {
    item.AppendChild(record);
  }
  item.SetAttribute("Value", condition);
  xml::Node evaluated;
  builder.evaluator->Evaluate(item, {}, 0, "", evaluated);
  return PrintDecision(evaluated.AttributeOr("Value", ""));
}

}  // namespace orvo
