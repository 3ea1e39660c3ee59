// Parses shared by formulas that differ only in the row numbers of their
// cell references: "=D1+C2", "=D2+C3", ... are one shape, as the formulas of
// a column of a grid usually are.
//
// A formula's shape is its text with the digit run of every cell reference
// cut out. The first formula of a shape is parsed by the parser. When that
// parse is clean (no message, every operand a cell or a range, every cut
// digit run inside one of them), a later formula of the same shape gets the
// same record with its own references put in: the same working text, calls
// and positions (a placeholder counts at its own length whatever reference
// it replaces) and the furthest cell worked out from its references, as the
// parser works it out. What the parser would decide differently is parsed:
// a reference to a row a cell cannot have (more than nine digits, beyond
// 65,536), a text with a map reference ("CM.", "DB.") or a host's ignore
// spans, a text that is no formula ("=...").
//
// The parser's decisions for the other words of a formula (function names,
// named ranges, data-driver fields) depend on the names the workspace
// defines; a cache therefore serves one run of parses during which they stay
// the same (FormulaNames::ReuseProviders: one format's evaluation).
//
// Threading: one thread, with its parser.
#ifndef ORVO_FORMULA_FORMULA_SHAPES_H_
#define ORVO_FORMULA_FORMULA_SHAPES_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "formula/parsed_expression.h"
#include "orvo/parser.h"

namespace orvo {

class FormulaShapes {
 public:
  // The parse of `formula` by `parser`: `record` is the record
  // parser.TokenFromString(formula) makes. When `parsed` the parser did
  // parse it (its messages and record are the parser's own); otherwise the
  // record is the cache's, valid until the next Parse of the same shape (at
  // least until the next Parse), and the parser was not used (a formula
  // taken from the cache has no message).
  struct Result {
    const ParsedExpression* record = nullptr;
    bool parsed = false;
  };
  Result Parse(cParser& parser, std::string_view formula);

  // The number of shapes kept, and of formulas answered from them.
  std::size_t ShapeCount() const { return m_shapes.size(); }
  std::size_t ReuseCount() const { return m_reused; }

 private:
  // Column letters and a row, as one side of a cell reference is written.
  struct Side {
    std::string letters;  // as written
    std::string column;   // upper case, the furthest cell's letters
    std::int16_t column_number = 0;
  };
  // The reference an operand is: its sides take the next cut digit runs.
  struct Reference {
    Side first;
    Side last;  // a range's second cell
    bool range = false;
    // The reference is written as one stretch of the formula, from the first
    // side's letters to the last digit run (no spaces in it), so that its
    // text is that stretch in every formula of the shape.
    bool one_stretch = false;
  };
  struct Shape {
    bool usable = false;  // false: the formulas of this shape are parsed
    // The record of the shape's last formula: what all its formulas share,
    // with the operands and the furthest cell of that one.
    ParsedExpression record;
    std::vector<Reference> references;  // one per operand
  };

  // Cuts `formula` into m_key and m_runs; false for a text this cache leaves
  // to the parser.
  bool Cut(std::string_view formula);
  // The shape of a clean parse of the formula just cut, when it qualifies.
  bool Learn(const cParser& parser, std::string_view formula, Shape& shape) const;
  // Puts the references of the formula just cut into the shape's record;
  // false when one of them is no cell the parser would accept.
  bool Rebase(Shape& shape, std::string_view formula);

  std::unordered_map<std::string, Shape> m_shapes;
  std::string m_key;  // the shape of the formula just cut
  struct Run {
    std::uint32_t start;
    std::uint32_t length;
  };
  std::vector<Run> m_runs;           // its cut digit runs, left to right
  std::vector<std::int32_t> m_rows;  // the rows they spell, while rebasing
  std::size_t m_reused = 0;
};

}  // namespace orvo

#endif  // ORVO_FORMULA_FORMULA_SHAPES_H_
