// The parsed-expression record: what the parser makes of one formula or
// mixed text, and what the evaluator works from.
//
// The parser builds a ParsedExpression and writes its XML form, the PEx
// element hosts see (cParser::ParsedValue):
//
//   <PEx Exp="=Sum(I~_T~1)+I~_T~2" Max="B3">
//     <EIs><EI Typ="TCRn" Val="A1:A3"/><EI Typ="TCR" Val="B3"/></EIs>
//     <EFs><EF Typ="Sum" Pos="1"/></EFs>
//     <EMBs/>                      (EMBs carries EAtt="" for string literals)
//   </PEx>
//
// Code of the library reads the record typed: ParsedExpressionOf(parser)
// right after a parse, or ReadParsedExpression(pex) for a record stored in a
// document (the first child of a report item). Both give the same value for
// the same record, and WriteParsedExpression(ReadParsedExpression(pex))
// writes pex again attribute for attribute.
//
// Positions are one-based byte positions in `expression` unless said
// otherwise, held in 16-bit integers like every formula position.
//
// Threading: plain values; the functions follow the XML layer's rule (a
// document and its nodes belong to one thread).
#ifndef ORVO_FORMULA_PARSED_EXPRESSION_H_
#define ORVO_FORMULA_PARSED_EXPRESSION_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formula/vocabulary.h"
#include "frame/int16.h"
#include "orvo/parser.h"
#include "orvo/xml.h"

namespace orvo {

// The placeholder of the k-th operand in `expression` is this prefix followed
// by k in decimal ("I~_T~1", "I~_T~10"). Placeholders share prefixes, so a
// search for one must match it whole: I~_T~1 is not the start of I~_T~10.
inline constexpr std::string_view kPlaceholderPrefix = "I~_T~";

// The placeholder text of operand number `number` (counting from 1).
std::string PlaceholderText(int number);

struct ParsedExpression {
  // One recognised operand (an EI entry).
  struct Operand {
    OperandType type;  // Typ: what the operand is (see vocabulary.h)
    std::string text;  // Val: as written, trimmed (B12, A1:C3, CM.Sales.DR)
    // k: the operand stands in `expression` as PlaceholderText(k); it is the
    // k-th entry of `operands`, counting from 1.
    Int16 placeholder;
  };

  // One function call (an EF entry).
  struct FunctionCall {
    Function function;  // which function (Typ, whatever its letter case)
    std::string name;   // Typ: the name as written in the formula ("sum", "Sum")
    // Pos: where the name's first character stands in `expression`; for a
    // formula ("=...") a zero-based offset (=Sum(A1): 1), for a function in
    // an embedded formula of a mixed text one-based. Placeholders before the
    // name count at their own length.
    Int16 position;
    // The bracket depth at the name ("(" minus ")" before it; 0 at the top
    // level). Known to the parser only: it is not written to the XML, and a
    // record read from XML has 0 here.
    Int16 depth;
  };

  // One embedded formula of a mixed text that holds an operator, bracket or
  // comma (an EMB entry); a lone operand such as {A1} gets none.
  struct Embedded {
    Int16 start;  // Str: its first character in `expression`, where "{" stood
    Int16 end;    // End: its last character
  };

  // Whether this is the bare record: a text that is not a formula, or one
  // whose parse failed. A bare record has nothing else set.
  bool IsEmpty() const { return !expression.has_value(); }

  // Exp: the parsed text with every operand replaced by its placeholder; for
  // a mixed text, the braces removed and each embedded formula replaced by
  // its own text so treated. Unset for the bare record.
  std::optional<std::string> expression;
  // Max: the furthest cell the cell and range operands reference (highest
  // row, then greatest column on it) as letters and row ("C12"), or "".
  std::string furthest_cell;
  // EIs: the operands in the order met, left to right.
  std::vector<Operand> operands;
  // EFs: the calls in evaluation order: deepest bracket level first, calls of
  // equal depth left to right.
  std::vector<FunctionCall> calls;
  // EMBs: the embedded formulas, left to right.
  std::vector<Embedded> embedded;
  // EAtt on EMBs: the text is a formula ("=...") holding a double quote, so
  // it contains string literals.
  bool has_string_literals = false;
};

// The PEx element of `record`, created in `document`: the bare <PEx/> for an
// empty record, else Exp and Max with the EIs, EFs and EMBs children.
xml::Node WriteParsedExpression(const ParsedExpression& record, const xml::Document& document);

// The typed record of a PEx element. A PEx without Exp is the bare record.
// Missing lists count as empty; whitespace between elements is passed over.
// Raises (number 1, source "ReadParsedExpression") for an element that is not
// PEx, an EI Typ that is no operand type, an EF Typ that is no function, and
// a Pos, Str or End that is not a 16-bit number; the object-required failure
// for a null node.
ParsedExpression ReadParsedExpression(const xml::Node& pex);
// The same into an existing record, whose lists keep their capacity (the
// evaluator reads one record per item into the same object).
void ReadParsedExpression(const xml::Node& pex, ParsedExpression& record);

// The record the parser built in its last TokenFromString (empty before).
// Valid until the parser's next TokenFromString or its destruction.
const ParsedExpression& ParsedExpressionOf(const cParser& parser);

// Whether the parser's last TokenFromString left any message in its error
// list (ErrorCollection would have children), without copying the list.
bool HasParseMessages(const cParser& parser);

// Whether the host gave the parser spans of text to pass over (ItemsToIgnore
// with entries), so that where a token ends depends on its position.
bool HasIgnoreSpans(const cParser& parser);

}  // namespace orvo

#endif  // ORVO_FORMULA_PARSED_EXPRESSION_H_
