// The expression text of one evaluation, with every position that points
// into it: function calls, embedded formulas, string-literal ranges and the
// places where operands were substituted.
//
// Evaluation replaces parts of the text again and again (placeholders by
// values, calls by results). Replace keeps every tracked position valid: a
// position after the replaced part moves by the change in length, a span
// around it grows or shrinks with it, and a span inside it disappears with
// the text it covered.
//
// Positions are zero-based byte offsets; spans are half-open [start, end).
#ifndef ORVO_EVALUATE_WORKING_TEXT_H_
#define ORVO_EVALUATE_WORKING_TEXT_H_

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formula/parsed_expression.h"

namespace orvo {

struct TextSpan {
  std::size_t start = 0;
  std::size_t end = 0;

  std::size_t Length() const { return end - start; }
  bool Contains(std::size_t position) const { return start <= position && position < end; }
  friend bool operator==(const TextSpan&, const TextSpan&) = default;
};

// Walks a sorted list of spans alongside a left-to-right scan: Covers(i) for
// increasing i tells whether i lies in one of them.
class SpanCursor {
 public:
  explicit SpanCursor(const std::vector<TextSpan>& spans) : m_spans(spans) {}

  // The span holding `position`, or null. Positions must not decrease.
  const TextSpan* At(std::size_t position) {
    while (m_next < m_spans.size() && m_spans[m_next].end <= position) ++m_next;
    if (m_next < m_spans.size() && m_spans[m_next].Contains(position)) return &m_spans[m_next];
    return nullptr;
  }

 private:
  const std::vector<TextSpan>& m_spans;
  std::size_t m_next = 0;
};

// The spans of quoted literals in `text` from `from` to `to`: a double or a
// single quote opens a literal that the next quote of the same kind closes (a
// single quote inside a double-quoted literal is plain text); an unclosed
// literal runs to `to`.
void ScanLiterals(std::string_view text, std::size_t from, std::size_t to,
                  std::vector<TextSpan>& spans);

// The spans of `literals` inside `part`, moved to offsets within it.
std::vector<TextSpan> SpansWithin(const std::vector<TextSpan>& literals, TextSpan part);

class WorkingText {
 public:
  struct Call {
    Function function;
    std::string_view name;  // as written (held by the parsed record)
    std::size_t position;   // where the name begins; kGone once replaced
  };
  // An operand substituted for its placeholder.
  struct Substitution {
    TextSpan span;  // the value's characters
    int number;     // the operand's k (1-based index into the record's operands)
  };

  static constexpr std::size_t kGone = static_cast<std::size_t>(-1);

  WorkingText() = default;
  explicit WorkingText(std::string text) : m_text(std::move(text)) {}

  const std::string& Text() const { return m_text; }

  std::vector<Call>& Calls() { return m_calls; }
  const std::vector<Call>& Calls() const { return m_calls; }
  std::vector<TextSpan>& Embedded() { return m_embedded; }
  const std::vector<TextSpan>& Embedded() const { return m_embedded; }
  // Sorted by start, never overlapping.
  const std::vector<TextSpan>& Literals() const { return m_literals; }
  const std::vector<Substitution>& Substitutions() const { return m_substitutions; }

  // Records a literal span (kept sorted; one overlapping another is dropped).
  void AddLiteral(TextSpan span);
  // Replaces the literal spans by `sorted` (sorted by start, not
  // overlapping), as AddLiteral of each would leave them.
  void SetLiterals(const std::vector<TextSpan>& sorted) { m_literals = sorted; }
  // Whether `position` lies in a literal span.
  bool InLiteral(std::size_t position) const;

  // Replaces [span.start, span.end) by `with` and moves every tracked
  // position. `as_literal` records the new text as a literal span (a text
  // value whose commas and operator characters are not syntax).
  void Replace(TextSpan span, std::string_view with, bool as_literal);
  // One operand's value put in for its placeholder.
  struct Edit {
    TextSpan span;  // the placeholder
    std::string value;
    // Parts of `value` that are text, not syntax (offsets within `value`).
    std::vector<TextSpan> literals;
    int number;
  };
  // Makes all the edits (sorted by position, not overlapping) in one pass,
  // moving tracked positions as Replace does and remembering each value's
  // span as a Substitution.
  void SubstituteAll(std::span<const Edit> edits);

  // Starts over with `text` and nothing tracked; the buffers keep their
  // storage for the next item.
  void Reset(std::string_view text);

 private:
  std::string m_text;
  // SubstituteAll's buffers, kept from call to call.
  std::string m_next_text;
  std::vector<std::ptrdiff_t> m_shift_after;
  std::vector<Call> m_calls;
  std::vector<TextSpan> m_embedded;
  std::vector<TextSpan> m_literals;
  std::vector<Substitution> m_substitutions;
};

}  // namespace orvo

#endif  // ORVO_EVALUATE_WORKING_TEXT_H_
