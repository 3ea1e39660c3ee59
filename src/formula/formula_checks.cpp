#include "formula/formula_checks.h"

#include <algorithm>

#include "frame/text.h"

namespace orvo {
namespace {

// The first occurrence of one character at or after a place that only moves
// forward: the answer is kept until the place passes it, so a whole pass
// costs one scan of the text (and not one per question when the character
// is rare or absent).
class NextOccurrence {
 public:
  NextOccurrence(std::string_view text, char c) : m_text(text), m_char(c) {}

  // One-based position of the first occurrence at or after `place`, 0 when none.
  std::size_t From(std::size_t place) {
    if (!m_known || (m_found != 0 && m_found < place)) {
      m_found = InStr(place, m_text, std::string_view(&m_char, 1));
      m_known = true;
    }
    return m_found;
  }

 private:
  std::string_view m_text;
  char m_char;
  bool m_known = false;
  std::size_t m_found = 0;
};

// One pass counting `bracket` from the start, skipping brackets that stand
// inside a quoted string. Single quotes count as string delimiters only once
// no double quote remains ahead.
int CountOutsideStrings(std::string_view text, char bracket) {
  int count = 0;
  std::size_t place = 1;
  const std::string_view needle(&bracket, 1);
  NextOccurrence double_quotes(text, '"');
  NextOccurrence single_quotes(text, '\'');
  while (true) {
    const std::size_t found = InStr(place, text, needle);
    if (found == 0) return count;
    const std::size_t double_quote = double_quotes.From(place);
    if (double_quote != 0) {
      if (double_quote < found) {
        const std::size_t closing = InStr(double_quote + 1, text, "\"");
        if (closing > found) {
          place = closing + 1;
          continue;
        }
      }
    } else {
      const std::size_t single_quote = single_quotes.From(place);
      if (single_quote != 0 && single_quote < found) {
        const std::size_t closing = InStr(single_quote + 1, text, "'");
        if (closing > found) {
          place = closing + 1;
          continue;
        }
      }
    }
    ++count;
    place = found + 1;
  }
}

}  // namespace

void CheckBrackets(cParser::State& state, std::string_view formula) {
  // Without quotes every bracket is outside a string: they are only counted.
  const bool quoted =
      formula.find('"') != std::string_view::npos || formula.find('\'') != std::string_view::npos;
  const bool balanced = quoted
                            ? CountOutsideStrings(formula, '(') == CountOutsideStrings(formula, ')')
                            : std::count(formula.begin(), formula.end(), '(') ==
                                  std::count(formula.begin(), formula.end(), ')');
  if (!balanced) state.AddError("Brackets don't match", 0);
}

void CheckBraces(cParser::State& state, std::string_view text) {
  std::size_t open = InStr(1, text, "{");
  const std::size_t first_close = InStr(1, text, "}");
  if (first_close != 0 && first_close < open) {
    state.AddError("Close brace before open brace", SizeToInt16(first_close));
  }
  std::size_t last_close = 0;
  while (open != 0) {
    const std::size_t close = InStr(open, text, "}");
    const std::size_t next_open = InStr(open + 1, text, "{");
    const std::size_t next_close = close != 0 ? InStr(close + 1, text, "}") : 0;
    if (next_close != 0 && next_open != 0 && next_close < next_open) {
      state.AddError("Extra brace", SizeToInt16(next_close));
    }
    if (next_open != 0 && next_open < close) {
      state.AddError("Braces don't match", SizeToInt16(next_open));
    }
    if (close == 0) state.AddError("Missing close brace", SizeToInt16(open));
    last_close = close;
    open = next_open;
  }
  if (last_close != 0) {
    if (std::size_t extra = InStr(last_close + 1, text, "}"); extra != 0) {
      state.AddError("Extra brace at end", SizeToInt16(extra));
    }
  }
}

std::optional<std::string> CheckFunctionBrackets(cParser::State& state, std::string_view text,
                                                 int position) {
  const std::size_t from = static_cast<std::size_t>(std::max(position, 1));
  const std::size_t open = InStr(from, text, "(");
  const std::size_t close = InStr(from, text, ")");
  if (open == 0) {
    state.errors.Add("Incomplete note usage - missing (");
    return std::nullopt;
  }
  if (close == 0 || close < open) {
    state.errors.Add("Incomplete note usage - )");
    return std::nullopt;
  }
  return std::string(text.substr(open, close - open - 1));
}

void CheckCallCommas(cParser::State& state, std::string_view text, int position, int max_commas,
                     std::string_view function) {
  const std::string name(function);
  const std::size_t open = InStr(static_cast<std::size_t>(std::max(position, 1)), text, "(");
  if (open == 0) {
    state.errors.Add(name + " function not complete");
    return;
  }
  int level = 0;
  int commas = 0;
  for (std::size_t i = open; i < text.size(); ++i) {  // zero-based: the character after "("
    const char c = text[i];
    if (c == '(') {
      ++level;
    } else if (c == ')') {
      if (--level < 0) return;
    } else if (c == ',' && level == 0) {
      ++commas;
    }
    if (commas > max_commas) state.errors.Add(name + " function not structured correctly");
  }
  state.errors.Add(name + " function not finished");
}

void CheckStandsAlone(cParser::State& state, std::string_view text, std::string_view function) {
  if (text.size() != function.size()) {
    state.errors.Add(std::string(function) + " function must be used on its own");
  }
}

bool IsPlainName(std::string_view text) {
  static constexpr std::string_view kNotInNames = " !@%^*()-+={}[]\\\",./<>";
  return text.find_first_of(kNotInNames) == std::string_view::npos;
}

}  // namespace orvo
