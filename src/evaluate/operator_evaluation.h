// Reducing an operator expression of literal values to one value, and the
// small text rules around it that "If", "And" and "Or" share.
//
// By the time operators are applied, every operand and function call of a
// formula has been replaced by its value, so the expression is text such as
// "=1-2+3" or "=\"Net \" & 1500 & \" k\"". It is cut into tokens once with
// the formula tokenizer, then reduced one operator kind at a time, each kind
// applied left to right over the whole expression before the next kind, in
// this fixed order:
//
//   /  *  +  -  &  %  ^  >=  <=  !=  <>  =  >  <
//
// so all divisions come before all multiplications and all additions before
// all subtractions: "1-2+3" is 1-(2+3) = -4, "8*4/2" is 8*(4/2) = 16, and
// "50%&1" joins before taking the percentage. Parenthesised parts are
// reduced first, innermost first. A "+" or "-" with no operand on its left
// (at the start, after "(" or after another operator) is the sign of the
// operand that follows it and binds tighter than every operator: "-5+3" is
// -2, "2*-3" is -6. A leading "=" is the formula's mark, not an operator.
//
// Literal ranges: the evaluator records where string literals (and any
// other stretch that must be read as plain text) lie in the expression.
// Characters inside a range are never operators, brackets or separators.
//
// Every function here works on values as text and returns text; failures
// (a currency overflow, a malformed "If") are orvo::Error, which the
// evaluator turns into the item's error value. Nothing recurses on the
// machine stack, so deeply nested brackets cost only heap.
#ifndef ORVO_EVALUATE_OPERATOR_EVALUATION_H_
#define ORVO_EVALUATE_OPERATOR_EVALUATION_H_

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvo {

// Characters at one-based positions `start` to `end`, both included, are
// literal text.
struct LiteralRange {
  int start = 0;
  int end = 0;
};

// Where the literal ranges apply. Positions in `ranges` count in the
// expression the ranges were recorded for; the character at one-based
// position p of the text handed to a function here is at position
// p + `offset` there (0 when the text is that whole expression; the
// position before an argument's first character when the text is that
// argument).
struct Literals {
  std::span<const LiteralRange> ranges;
  int offset = 0;
};

// The value of an operator expression. A leading "=" (after spaces) is
// dropped; parenthesised parts are reduced innermost first; operators are
// applied in the fixed order above. The result is the single value left,
// trimmed; a value that is one quoted literal loses its quotes ("=\"a\""
// gives a). Tokens that no operator joins stay side by side as written.
// Unbalanced brackets raise error 1, source "EvaluateOperators",
// description "Unbalanced parentheses"; a text too long for 16-bit
// positions raises the overflow failure. Failures of ApplyOperator pass up.
std::string EvaluateOperators(std::string_view expression, Literals literals = {});
// The same value reduced token by token throughout. EvaluateOperators reads
// the common plain shapes (a lone value, sums and products of numbers, joins
// of literals and numbers) straight from the text; tests compare the two.
std::string EvaluateOperatorsByTokens(std::string_view expression, Literals literals = {});

// One operator applied to two operand values (an empty `right` for the
// postfix "%"):
//  1. operands are trimmed; one in single or double quotes loses them;
//  2. an empty operand next to a numeric one counts as 0; when both are
//     dates (IsDate) both are taken as their day numbers;
//  3. "+", "-", "*": in the currency type, a non-numeric operand counting 0;
//     "/": the text left "/" right when either is not numeric, 0 when the
//     right is 0 as currency, else the quotient in double precision of the
//     two currency values;
//     "%": the text left "%" when left is not numeric, else left / 100 as
//     currency;
//     "^": left raised to the power right in double precision, the text
//     left "^" right when either is not numeric;
//     "&": the two texts joined as they are (an empty operand adds
//     nothing; the counts-as-0 rule is for arithmetic and comparisons);
//     ">=", "<=", "!=", "<>", "=", ">", "<": "True" or "False", comparing
//     currency values when both are numeric (dates: their exact day
//     numbers), otherwise texts without regard to case;
//  4. numeric results are written in the decimal write-back form
//     (NumberToDecimalText): never an exponent, never "-0".
// Results out of range raise the overflow failure. An operator not listed
// gives the text left, operator, right unchanged.
std::string ApplyOperator(std::string_view left, std::string_view op, std::string_view right);

// Whether `op` occurs in the text outside every literal range (all its
// characters outside). Always false for ":", the range separator.
bool ContainsOperator(std::string_view expression, std::string_view op, Literals literals = {});

// Part `part` (1 condition, 2 value if true, 3 value if false) of the
// argument text of "If", trimmed. The parts are separated by the commas at
// bracket depth 0, outside double quotes and outside literal ranges. When
// the text does not hold exactly three such parts, or its brackets or
// quotes do not close, raises error 1, source "ParseIf", description
// "If not structured correctly".
std::string ParseIf(std::string_view arguments, int part, Literals literals = {});
// All three parts in one scan, with the same rule and failure.
std::array<std::string, 3> SplitIf(std::string_view arguments, Literals literals = {});

// An argument list cut at its commas by the rule of ParseIf (depth 0,
// outside double quotes and literal ranges), each part trimmed; one part for
// a text without such commas, one empty part for an empty text. nullopt
// when brackets or double quotes do not close.
std::optional<std::vector<std::string>> SplitArguments(std::string_view arguments,
                                                       Literals literals = {});

// The truth of a value, for "If", "And" and "Or": "TRUE" and "FALSE" in any
// case, a numeric value true when not zero; anything else raises the type
// mismatch failure (number 13). Spaces around the value are ignored.
bool TruthOf(std::string_view value);

// Dates in operator expressions: "YYYY-MM-DD", optionally followed by a
// space and "hh:mm" or "hh:mm:ss" (24-hour), a real calendar date of the
// years 100 to 9999. Its value is the day number counted from 1899-12-30
// (so 1900-01-01 is 2), with the time as the fraction of the day. Other
// texts are not dates.
std::optional<double> DateValue(std::string_view text);

}  // namespace orvo

#endif  // ORVO_EVALUATE_OPERATOR_EVALUATION_H_
