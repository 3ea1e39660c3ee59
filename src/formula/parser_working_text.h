// The working text of one formula while the parser replaces its operands by
// placeholders.
//
// Replacements go from left to right, so the text is held as a finished part
// (everything up to the end of the last replacement) followed by the rest of
// the formula as written. A search or replacement beyond the finished part
// costs what it passes over, not the length of the whole text, and the
// case-insensitive search reads the formula's upper case computed once: a
// parse stays linear in the length of the formula. Work before the end of the
// finished part is allowed and correct, only slower.
//
// Case is compared under UpperCase (frame/text.h) of the formula; texts that
// are replaced must be whole characters (tokens are), and replacement texts
// their own upper case (placeholders are).
#ifndef ORVO_FORMULA_PARSER_WORKING_TEXT_H_
#define ORVO_FORMULA_PARSER_WORKING_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace orvo {

class ParserWorkingText {
 public:
  // Starts over with `formula`, which must outlive every later call.
  void Reset(std::string_view formula);

  std::size_t Size() const { return m_finished.size() + (m_formula.size() - m_rest); }

  // One-based position of `upper_what` (given in upper case) at or after
  // one-based `from`, compared without regard to case; 0 when absent.
  std::size_t Find(std::string_view upper_what, std::size_t from) const;

  // Replaces `length` characters from one-based `position` by `with`.
  void Replace(std::size_t position, std::size_t length, std::string_view with);

  // The two parts; together they are the whole text.
  std::string_view Finished() const { return m_finished; }
  std::string_view Rest() const { return m_formula.substr(m_rest); }
  std::string Text() const;
  std::string UpperText() const;

 private:
  std::string_view m_formula;
  std::string m_upper_formula;
  std::string m_finished;
  std::string m_upper_finished;
  std::size_t m_rest = 0;  // where the rest begins in m_formula
};

}  // namespace orvo

#endif  // ORVO_FORMULA_PARSER_WORKING_TEXT_H_
