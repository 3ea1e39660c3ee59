// cParser: the formula tokenizer and parser, and the formula vocabulary.
//
// Tokenizing a text:
//
//   orvo::cParser parser;
//   parser.CurrentPosition(1);
//   while (parser.CurrentPosition() != -1) {
//     std::string token = parser.GetToken(text);
//     // parser.startPosition() is where the token began
//   }
//
// Malformed operator combinations are collected as messages in the error
// list (ErrorCollection: an Errs element with one Err Desc='...' per
// message); nothing is raised for them.
//
// Positions are one-based 16-bit positions in the UTF-8 text; -1 ends a scan.
// A parser object belongs to the thread that uses it.
#ifndef ORVO_PARSER_H_
#define ORVO_PARSER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "orvo/event.h"
#include "orvo/xml.h"

namespace orvo {

struct ParsedExpression;

// The thread's function list: <FunctionList> with one <Itm Key='SUM'
// Display='Sum'/> per function, the same element on every call.
xml::Node FunctionList();

// The thread's operator list: <OperatorList> with one <Itm Key='+'/> per
// operator, the same element on every call.
xml::Node OperatorList();

class cParser {
 public:
  cParser();
  ~cParser();
  cParser(const cParser&) = delete;
  cParser& operator=(const cParser&) = delete;

  // The position recorded by the last check that set one, as decimal text.
  std::string StrPos() const;

  // A deep copy of the error list: <Errs> holding <Err Desc='...'/> children.
  xml::Node ErrorCollection() const;

  // Whether the trimmed name is a function of the formula language (any case).
  bool IsFunction(std::string_view function_name) const;

  // Whether the text is a cell reference (B12) or a range (A1:C3); `is_range`
  // tells which. An accepted cell also becomes the furthest cell when it lies
  // further than the one recorded.
  bool IsCellRef(std::string_view expression, bool& is_range);

  // Parses a formula ("=...") or a text with embedded formulas ("... {A1} ...")
  // into the parsed-expression record; problems become messages in the error
  // list. Nothing is raised.
  void TokenFromString(std::string_view expression);

  // The next token of `value` from CurrentPosition; moves CurrentPosition on,
  // to -1 after the last token. Never raises.
  std::string GetToken(std::string_view value);

  // Whether the token is in the operator table; false for any token holding a
  // double quote.
  bool TokenItem(std::string_view token) const;

  // A deep copy of the parsed-expression record of the last TokenFromString:
  // <PEx Exp='...' Max='...'> with EIs, EFs and EMBs, or a bare <PEx/>.
  xml::Node ParsedValue() const;

  void CurrentPosition(std::int16_t position);
  std::int16_t CurrentPosition() const;
  // Where the last token returned by GetToken began.
  std::int16_t startPosition() const;

  // While converting, map references are accepted without looking them up.
  void Converting(bool converting);

  // Spans of the text to treat as plain text: the node's children carry
  // one-based Start and End. Held by reference, so later edits are seen.
  void ItemsToIgnore(const xml::Node& items);
  // Added to positions compared with the ignore spans.
  void Offset(std::int16_t offset);

  // Stores a deep copy of the launch-properties node as the thread's, unless
  // one is stored already.
  void Init(const xml::Node& launch_properties);

  // Whether spaces between tokens are dropped (true initially).
  void IgnoreSpaces(bool ignore);
  bool IgnoreSpaces() const;

  // Raised for each accepted chart-map or database-map reference while
  // parsing: ItemType "CM" or "DB", Item the reference without its prefix.
  // A value a handler writes into Item is not used.
  Event<const std::string&, std::string&> CellItemFound;

  struct State;

 private:
  // The library's own layers read the parsed-expression record typed.
  friend const ParsedExpression& ParsedExpressionOf(const cParser& parser);
  friend bool HasParseMessages(const cParser& parser);
  friend bool HasIgnoreSpans(const cParser& parser);

  std::unique_ptr<State> m_state;
};

}  // namespace orvo

#endif  // ORVO_PARSER_H_
