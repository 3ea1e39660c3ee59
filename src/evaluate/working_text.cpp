#include "evaluate/working_text.h"

#include <algorithm>

namespace orvo {
namespace {

// Moves one span for a replacement of [start, old_end) by text that ends at
// new_end. Returns false when the span lay inside the replaced part.
bool MoveSpan(TextSpan& span, std::size_t start, std::size_t old_end, std::size_t new_end) {
  if (span.end <= start) return true;
  if (span.start >= old_end) {
    span.start = span.start - old_end + new_end;
    span.end = span.end - old_end + new_end;
    return true;
  }
  if (span.start <= start && span.end >= old_end) {
    span.end = span.end - old_end + new_end;
    return true;
  }
  return false;
}

}  // namespace

void ScanLiterals(std::string_view text, std::size_t from, std::size_t to,
                  std::vector<TextSpan>& spans) {
  to = std::min(to, text.size());
  for (std::size_t i = from; i < to; ++i) {
    const char quote = text[i];
    if (quote != '"' && quote != '\'') continue;
    std::size_t close = i + 1;
    while (close < to && text[close] != quote) ++close;
    const std::size_t end = close < to ? close + 1 : to;
    spans.push_back({i, end});
    i = end - 1;
  }
}

std::vector<TextSpan> SpansWithin(const std::vector<TextSpan>& literals, TextSpan part) {
  std::vector<TextSpan> inside;
  for (const TextSpan& span : literals) {
    if (span.end <= part.start) continue;
    if (span.start >= part.end) break;
    const std::size_t start = std::max(span.start, part.start);
    const std::size_t end = std::min(span.end, part.end);
    inside.push_back({start - part.start, end - part.start});
  }
  return inside;
}

void WorkingText::Reset(std::string_view text) {
  m_text.assign(text);
  m_calls.clear();
  m_embedded.clear();
  m_literals.clear();
  m_substitutions.clear();
}

void WorkingText::AddLiteral(TextSpan span) {
  if (span.start >= span.end) return;
  auto at =
      std::lower_bound(m_literals.begin(), m_literals.end(), span,
                       [](const TextSpan& a, const TextSpan& b) { return a.start < b.start; });
  if (at != m_literals.end() && at->start < span.end) return;
  if (at != m_literals.begin() && std::prev(at)->end > span.start) return;
  m_literals.insert(at, span);
}

bool WorkingText::InLiteral(std::size_t position) const {
  auto after = std::upper_bound(m_literals.begin(), m_literals.end(), position,
                                [](std::size_t p, const TextSpan& span) { return p < span.start; });
  return after != m_literals.begin() && std::prev(after)->Contains(position);
}

void WorkingText::Replace(TextSpan span, std::string_view with, bool as_literal) {
  const std::size_t start = span.start;
  const std::size_t old_end = span.end;
  const std::size_t new_end = start + with.size();
  m_text.replace(start, old_end - start, with);

  for (Call& call : m_calls) {
    if (call.position == kGone || call.position < start) continue;
    call.position = call.position >= old_end ? call.position - old_end + new_end : kGone;
  }
  std::erase_if(m_embedded,
                [&](TextSpan& embedded) { return !MoveSpan(embedded, start, old_end, new_end); });
  std::erase_if(m_literals,
                [&](TextSpan& literal) { return !MoveSpan(literal, start, old_end, new_end); });
  std::erase_if(m_substitutions, [&](Substitution& substitution) {
    return !MoveSpan(substitution.span, start, old_end, new_end);
  });
  if (as_literal) AddLiteral({start, new_end});
}

void WorkingText::SubstituteAll(std::span<const Edit> edits) {
  if (edits.empty()) return;
  // Where each edit lands in the new text, and the running change in length
  // before each old position.
  std::string& text = m_next_text;
  text.clear();
  text.reserve(m_text.size() + edits.size() * 8);
  std::vector<std::ptrdiff_t>& shift_after = m_shift_after;  // total change once past edit i
  shift_after.clear();
  std::size_t copied = 0;
  std::ptrdiff_t shift = 0;
  for (const Edit& edit : edits) {
    text.append(m_text, copied, edit.span.start - copied);
    const std::size_t value_start = text.size();
    text.append(edit.value);
    m_substitutions.push_back({{value_start, text.size()}, edit.number});
    shift += static_cast<std::ptrdiff_t>(edit.value.size()) -
             static_cast<std::ptrdiff_t>(edit.span.Length());
    shift_after.push_back(shift);
    copied = edit.span.end;
  }
  text.append(m_text, copied, std::string::npos);

  // A position moves by the change of every edit that ends at or before it.
  const auto moved = [&](std::size_t position) {
    auto after = std::upper_bound(edits.begin(), edits.end(), position,
                                  [](std::size_t p, const Edit& e) { return p < e.span.end; });
    if (after == edits.begin()) return position;
    const std::size_t index = static_cast<std::size_t>(after - edits.begin()) - 1;
    return static_cast<std::size_t>(static_cast<std::ptrdiff_t>(position) + shift_after[index]);
  };
  for (Call& call : m_calls) {
    if (call.position != kGone) call.position = moved(call.position);
  }
  for (TextSpan& embedded : m_embedded) {
    embedded = {moved(embedded.start), moved(embedded.end)};
  }
  for (TextSpan& literal : m_literals) literal = {moved(literal.start), moved(literal.end)};
  m_text.swap(text);
  for (std::size_t i = 0; i < edits.size(); ++i) {
    const std::size_t value_start =
        m_substitutions[m_substitutions.size() - edits.size() + i].span.start;
    for (const TextSpan& part : edits[i].literals) {
      AddLiteral({value_start + part.start, value_start + part.end});
    }
  }
}

}  // namespace orvo
