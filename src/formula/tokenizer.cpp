// The scanning layer of cParser: cuts a formula text into tokens, one per
// call, from the current position.
//
// Positions are one-based byte positions held as 16-bit integers; a text
// whose positions leave that range raises the overflow failure.

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>
#include <string>

#include "formula/parser_state.h"
#include "frame/text.h"

namespace orvo {
namespace {

struct IgnoreSpan {
  int start;
  int end;
};

std::optional<int> ReadPosition(const xml::Node& item, const char* name) {
  std::optional<std::string> text = item.GetAttribute(name);
  if (!text) return std::nullopt;
  std::string_view trimmed = Trim(*text);
  int value = 0;
  auto [end, error] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value);
  if (error != std::errc() || end != trimmed.data() + trimmed.size()) return std::nullopt;
  if (value < INT16_MIN || value > INT16_MAX) return std::nullopt;
  return value;
}

// The host's ignore spans, read afresh on each call since the list is held by
// reference and may change between calls. Children without readable
// positions are passed over.
std::vector<IgnoreSpan> ReadIgnoreSpans(const xml::Node& items) {
  std::vector<IgnoreSpan> spans;
  if (!items || !items.HasChildNodes()) return spans;
  for (const xml::Node& item : items.ChildNodes()) {
    if (item.Type() != xml::NodeType::kElement) continue;
    std::optional<int> start = ReadPosition(item, "Start");
    std::optional<int> end = ReadPosition(item, "End");
    if (start && end) spans.push_back({*start, *end});
  }
  return spans;
}

class Scanner {
 public:
  Scanner(cParser::State& state, std::string_view value)
      : m_state(state), m_value(value), m_length(static_cast<int>(value.size())) {}

  std::string Next();

 private:
  char At(int position) const { return m_value[static_cast<std::size_t>(position - 1)]; }
  std::string Slice(int from, int to) const {  // one-based, inclusive
    return std::string(m_value.substr(static_cast<std::size_t>(from - 1),
                                      static_cast<std::size_t>(to - from + 1)));
  }
  bool IsOperatorChar(char c) const { return m_state.operators.IsOperatorChar(c); }
  // Text between operators, without its spaces while spaces are ignored.
  std::string Operand(int from, int to) const {
    std::string text = Slice(from, to);
    return m_state.ignore_spaces ? std::string(Trim(text)) : text;
  }
  bool InIgnoreSpan(char ch, int position) const;
  int MapSplitAt(int start, int i);
  std::string OperatorAtStart(int i, int& end);
  std::string SignRun(int i, int& end);
  // Leaves the current position after a token ending at `end`, or at -1 when
  // the scan stopped (at `stop`) on the text's last character and that
  // character is the token.
  std::string Finish(std::string token, int end, int stop);

  cParser::State& m_state;
  std::string_view m_value;
  int m_length;
  std::vector<IgnoreSpan> m_spans;
  // First non-space position of the token and the first "DB." / "CM." in it.
  int m_first_visible = 0;
  int m_first_db = 0;
  int m_first_cm = 0;
};

bool Scanner::InIgnoreSpan(char ch, int position) const {
  if (m_spans.empty() || ch == ':') return false;
  const std::string_view needle(&ch, 1);
  if (InStr(2, m_value, needle) == 0) return false;
  const int occurrence = static_cast<int>(InStr(std::max(position - 1, 1), m_value, needle));
  if (occurrence == 0) return false;
  const int shifted = occurrence + m_state.offset;
  return std::any_of(m_spans.begin(), m_spans.end(), [shifted](const IgnoreSpan& span) {
    return span.start < shifted && shifted <= span.end;
  });
}

// Tracks "DB." and "CM." inside the token: a map prefix that is not at the
// token's (trimmed) beginning starts the next token. Returns where to split,
// or 0.
int Scanner::MapSplitAt(int start, int i) {
  const char ch = At(i);
  if (ch != ' ' && m_first_visible == 0) m_first_visible = i;
  if (ch != '.' || i - 2 < start) return 0;
  const std::string prefix = UpperCase(Slice(i - 2, i - 1));
  if (prefix == "DB" && m_first_db == 0) m_first_db = i - 2;
  if (prefix == "CM" && m_first_cm == 0) m_first_cm = i - 2;
  if (m_first_db != 0 && m_first_db > m_first_visible) return m_first_db;
  if (m_first_cm != 0 && m_first_cm > m_first_visible) return m_first_cm;
  return 0;
}

std::string Scanner::Finish(std::string token, int end, int stop) {
  const std::string_view trimmed = Trim(m_value);
  const bool last = stop == m_length && !trimmed.empty() &&
                    EqualsIgnoreCase(token, trimmed.substr(trimmed.size() - 1));
  m_state.current_position = last ? Int16{-1} : ToInt16(end + 1);
  return token;
}

// A "+" or "-" and the signs after it (spaces skipped) make one sign token.
std::string Scanner::SignRun(int i, int& end) {
  const char first = At(i);
  int minus_count = first == '-' ? 1 : 0;
  int sign_count = 1;
  end = i;
  for (int j = i + 1; j <= m_length; ++j) {
    const char c = At(j);
    if (c == ' ') continue;
    if (c == '+' || c == '-') {
      if (c == '+' && j == i + 1) break;
      ++sign_count;
      if (c == '-') ++minus_count;
      end = j;
      continue;
    }
    if (c == '(') break;
    if (IsOperatorChar(c)) {
      m_state.AddError(std::string("Invalid use of ") + c, ToInt16(j));
      continue;
    }
    break;
  }
  if (sign_count == 1) return std::string(1, first);
  return minus_count % 2 == 1 ? "-" : "+";
}

std::string Scanner::OperatorAtStart(int i, int& end) {
  const char ch = At(i);
  const char next = i < m_length ? At(i + 1) : '\0';
  end = i;
  switch (ch) {
    case '<':
    case '>': {
      const char pairs_with = ch == '<' ? '>' : '<';
      if (next == '=' || next == pairs_with) {
        end = i + 1;
        return Slice(i, i + 1);
      }
      if (next != '\0' && IsOperatorChar(next) &&
          (std::strchr("*/&%!^", next) != nullptr || next == ch)) {
        m_state.AddError("Invalid formula", ToInt16(i));
      }
      return std::string(1, ch);
    }
    case '!':
      if (next == '=') {
        end = i + 1;
        return "!=";
      }
      m_state.AddError("Invalid use of !", ToInt16(i));
      return "!";
    case ',':
      if (next != '\0' && IsOperatorChar(next) && std::strchr("+-(=", next) == nullptr) {
        m_state.AddError("Invalid formula (,)", ToInt16(i));
      }
      return ",";
    case '+':
    case '-':
      return SignRun(i, end);
    default:
      return std::string(1, ch);
  }
}

std::string Scanner::Next() {
  m_state.start_position = m_state.current_position;
  if (m_state.current_position == -1) return std::string();
  m_spans = ReadIgnoreSpans(m_state.ignore_items);
  const int start = std::max<int>(m_state.current_position, 1);
  bool in_double = false;
  bool in_single = false;
  for (int i = start;; ++i) {
    if (i > m_length) {
      m_state.current_position = -1;
      return start <= m_length ? Operand(start, m_length) : std::string();
    }
    const char ch = At(i);
    const bool is_operator = !in_double && !in_single && IsOperatorChar(ch) && !InIgnoreSpan(ch, i);
    if (!is_operator) {
      if (ch == '"') {
        in_double = !in_double;
        in_single = false;
      } else if (ch == '\'') {
        if (!in_double) in_single = !in_single;
      } else if (int split = MapSplitAt(start, i); split != 0) {
        m_state.current_position = ToInt16(split);
        return Operand(start, split - 1);
      }
      continue;
    }

    if (start < i) {
      const std::string before = Slice(start, i - 1);
      if (before == " ") {
        if (ch == '!') return Finish(before, i - 1, i);
        if (ch == '%') continue;  // a name that begins with "%"
        if (!m_state.ignore_spaces) {
          // The space stays attached to the operator token that follows it.
          int end = i;
          std::string token = OperatorAtStart(i, end);
          return Finish(" " + token, end, end);
        }
        return Finish(std::string(1, ch), i, i);
      }
      if (ch == '%' && !IsNumeric(before)) continue;
      if (ch == '&') {
        const std::string upper = UpperCase(TrimLeft(before));
        const bool map_name = upper.rfind("DB.", 0) == 0 || upper.rfind("CM.", 0) == 0;
        const char next = i < m_length ? At(i + 1) : '\0';
        const bool ends_name =
            next == '"' || next == '\'' || next == ' ' || (next != '\0' && IsOperatorChar(next));
        if (map_name && !ends_name) continue;
      }
      return Finish(Operand(start, i - 1), i - 1, i);
    }

    if (ch == '%') continue;  // a "%" opening a token begins a name
    int end = i;
    std::string token = OperatorAtStart(i, end);
    return Finish(std::move(token), end, end);
  }
}

}  // namespace

std::string NextToken(cParser::State& state, std::string_view value) {
  return Scanner(state, value).Next();
}

}  // namespace orvo
