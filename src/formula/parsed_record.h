// The parsed-expression record while it is being built, and its XML form.
//
// The parser collects operands, function calls and embedded formulas in
// plain vectors and writes the PEx element once at the end, with the function
// calls already in their final order: deepest bracket level first, calls of
// equal depth left to right (a stable sort), and without their depth.
#ifndef ORVO_FORMULA_PARSED_RECORD_H_
#define ORVO_FORMULA_PARSED_RECORD_H_

#include <optional>
#include <string>
#include <vector>

#include "frame/int16.h"
#include "orvo/xml.h"

namespace orvo {

struct ParsedRecord {
  struct Operand {
    std::string type;   // Typ: TCR, TCRn, TCM, ...
    std::string value;  // Val: the operand as written, trimmed
  };
  struct FunctionCall {
    std::string type;  // Typ: the function name as written
    Int16 position;    // Pos
    Int16 depth;       // Grp: bracket depth at the name
  };
  struct Embedded {
    Int16 start;  // Str
    Int16 end;    // End
  };

  // Empty record: no attributes, no children.
  void Clear();
  // Starts the three child lists.
  void Open() { has_lists = true; }

  // The PEx element, created in `document`.
  xml::Node ToXml(const xml::Document& document) const;

  bool has_lists = false;
  std::optional<std::string> expression;  // Exp; unset while not written
  std::string furthest_cell;              // Max
  std::vector<Operand> operands;
  std::vector<FunctionCall> calls;
  std::vector<Embedded> embedded;
  bool has_string_literals = false;  // EAtt on EMBs
};

}  // namespace orvo

#endif  // ORVO_FORMULA_PARSED_RECORD_H_
