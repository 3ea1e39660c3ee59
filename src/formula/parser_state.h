// The state one cParser keeps between calls, shared by its tokenizer and its
// parser. Internal: hosts see only orvo/parser.h.
#ifndef ORVO_FORMULA_PARSER_STATE_H_
#define ORVO_FORMULA_PARSER_STATE_H_

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formula/parsed_expression.h"
#include "formula/token_lists.h"
#include "formula/vocabulary.h"
#include "frame/int16.h"
#include "orvo/parser.h"
#include "orvo/xml.h"

namespace orvo {

// The error list: an Errs element with one Err Desc='...' child per message,
// in the order found.
class ErrorList {
 public:
  explicit ErrorList(const xml::Document& document);

  void Clear();
  void Add(std::string_view description);
  const xml::Node& Element() const { return m_errors; }
  std::size_t Count() const { return m_count; }

 private:
  xml::Document m_document;
  xml::Node m_errors;
  std::size_t m_count = 0;
};

struct cParser::State {
  State();

  // Records a tokenizing or validation message with the position it concerns.
  void AddError(std::string_view description, Int16 position) {
    error_position = position;
    errors.Add(description);
  }

  xml::Document document;
  ErrorList errors;
  const OperatorTable& operators;

  // Tokenizer state.
  Int16 error_position = 0;
  Int16 current_position = 0;
  Int16 start_position = 0;
  xml::Node ignore_items;  // an empty FindItems element until the host sets one
  Int16 offset = 0;
  bool ignore_spaces = true;

  // Parser state.
  bool converting = false;
  ParsedExpression record;
  Int16 placeholder_count = 0;
  Int16 length_adjustment = 0;
  // The function whose argument list the parser is in; none outside any (and
  // while a data-field name that is no function stands in for it).
  std::optional<Function> enclosing_function;
  Int16 enclosing_depth = -1;
  Int16 bracket_depth = 0;
  bool note_flag = false;
  bool operator_seen = false;
  // The furthest cell referenced by the current formula: highest row, then
  // greatest column on that row.
  std::int32_t furthest_row = 0;
  std::string furthest_column;  // upper-case letters; empty when none
  Int16 furthest_column_number = 0;
};

// The next token of `value` from the state's current position.
std::string NextToken(cParser::State& state, std::string_view value);

// Builds the state's record from a formula or mixed text (TokenFromString).
void ParseExpression(cParser& parser, cParser::State& state, std::string_view expression);

// The cell-reference test; updates the furthest cell (IsCellRef).
bool TestCellReference(cParser::State& state, std::string_view expression, bool& is_range);

}  // namespace orvo

#endif  // ORVO_FORMULA_PARSER_STATE_H_
