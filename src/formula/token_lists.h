// The formula language's operators, and the XML form of its vocabulary.
//
// The function and operator lists exist once per thread as XML (FunctionList,
// OperatorList in orvo/parser.h; the thread context's Vocabulary part), built
// from the function table of vocabulary.h and the operators below. The hot paths of the parser and
// evaluator use the tables themselves: FunctionFromName and the tokenizer's
// sorted operator table.
#ifndef ORVO_FORMULA_TOKEN_LISTS_H_
#define ORVO_FORMULA_TOKEN_LISTS_H_

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace orvo {

// The 13 operators in list order (":" included).
const std::vector<std::string_view>& OperatorKeys();

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

// The operator table, built once and never changed: every thread reads the
// same one, so it is not per-thread state.
const OperatorTable& SharedOperatorTable();

}  // namespace orvo

#endif  // ORVO_FORMULA_TOKEN_LISTS_H_
