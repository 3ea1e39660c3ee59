#include "formula/parser_working_text.h"

#include "frame/text.h"

namespace orvo {

void ParserWorkingText::Reset(std::string_view formula) {
  m_formula = formula;
  m_upper_formula = UpperCase(formula);
  m_finished.clear();
  m_upper_finished.clear();
  m_rest = 0;
}

std::size_t ParserWorkingText::Find(std::string_view upper_what, std::size_t from) const {
  const std::size_t start = from == 0 ? 0 : from - 1;
  if (start >= m_finished.size()) {
    const std::size_t in_formula = m_rest + (start - m_finished.size());
    if (in_formula > m_formula.size()) return 0;
    const std::size_t found = std::string_view(m_upper_formula).find(upper_what, in_formula);
    return found == std::string_view::npos ? 0 : m_finished.size() + (found - m_rest) + 1;
  }
  const std::string upper = UpperText();
  const std::size_t found = upper.find(upper_what, start);
  return found == std::string::npos ? 0 : found + 1;
}

void ParserWorkingText::Replace(std::size_t position, std::size_t length, std::string_view with) {
  const std::size_t start = position - 1;
  if (start + length > m_finished.size()) {
    // Move what the replacement reaches from the rest into the finished part.
    const std::size_t take = start + length - m_finished.size();
    m_finished.append(m_formula, m_rest, take);
    m_upper_finished.append(m_upper_formula, m_rest, take);
    m_rest += take;
  }
  m_finished.replace(start, length, with);
  m_upper_finished.replace(start, length, with);
}

std::string ParserWorkingText::Text() const {
  std::string text = m_finished;
  text.append(Rest());
  return text;
}

std::string ParserWorkingText::UpperText() const {
  std::string text = m_upper_finished;
  text.append(m_upper_formula, m_rest);
  return text;
}

}  // namespace orvo
