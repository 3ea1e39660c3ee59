// The formula language's closed vocabulary: function names and operators.
//
// Both lists exist once per thread as XML (FunctionList, OperatorList in
// orvo/parser.h) and, for the hot paths of the parser and evaluator, as plain
// tables built from the same names: a hash set of upper-case function names
// and the tokenizer's sorted operator table.
#ifndef ORVO_FORMULA_TOKEN_LISTS_H_
#define ORVO_FORMULA_TOKEN_LISTS_H_

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace orvo {

// The 31 function names in list order, as written.
const std::vector<std::string_view>& FunctionNames();

// The 13 operators in list order (":" included).
const std::vector<std::string_view>& OperatorKeys();

// Whether `upper_name` (already trimmed and upper-cased) is a function name.
bool IsFunctionKey(std::string_view upper_name);

// The tokenizer's operator table: the operators except ":", then "<>", "!=",
// "<=", ">=", "(", ")", "{", "}", sorted. Membership is a binary search, with
// a byte table for the single characters the scanner asks about.
class OperatorTable {
 public:
  OperatorTable();

  bool Contains(std::string_view token) const;
  bool IsOperatorChar(char c) const { return m_single[static_cast<unsigned char>(c)]; }

 private:
  std::vector<std::string> m_sorted;
  std::array<bool, 256> m_single{};
};

// The thread's shared operator table.
const OperatorTable& ThreadOperatorTable();

}  // namespace orvo

#endif  // ORVO_FORMULA_TOKEN_LISTS_H_
