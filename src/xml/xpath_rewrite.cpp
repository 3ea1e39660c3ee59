#include "xml/xpath_rewrite.h"

#include <cctype>

namespace orvo::xml::detail {
namespace {

bool IsNameStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

bool IsNameChar(char c) {
  return IsNameStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '.';
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Whether the text from `at` on can begin a location step (so a root "/"
// before it is followed by a relative path rather than standing alone).
bool StartsStep(std::string_view text, std::size_t at) {
  while (at < text.size() && IsSpace(text[at])) ++at;
  if (at >= text.size()) return false;
  char c = text[at];
  return IsNameStart(c) || c == '*' || c == '@' || c == '.';
}

}  // namespace

std::string RewriteRootPaths(std::string_view xpath) {
  std::string out;
  out.reserve(xpath.size() + 16);
  // Whether the previous token ends an operand; after one, "/" is a step
  // separator and "*" and names like "and" are operators (XPath's lexical rule).
  bool after_operand = false;
  std::size_t i = 0;
  while (i < xpath.size()) {
    char c = xpath[i];
    if (IsSpace(c)) {
      out += c;
      ++i;
      continue;
    }
    if (c == '\'' || c == '"') {
      std::size_t close = xpath.find(c, i + 1);
      std::size_t end = close == std::string_view::npos ? xpath.size() : close + 1;
      out.append(xpath.substr(i, end - i));
      i = end;
      after_operand = true;
      continue;
    }
    if (c == '/') {
      bool descendant = i + 1 < xpath.size() && xpath[i + 1] == '/';
      std::size_t width = descendant ? 2 : 1;
      if (!after_operand) {
        out += '$';
        out.append(kRootVariable);
        if (descendant || StartsStep(xpath, i + 1)) out.append(xpath.substr(i, width));
        after_operand = !descendant && !StartsStep(xpath, i + 1);
      } else {
        out.append(xpath.substr(i, width));
        after_operand = false;
      }
      i += width;
      continue;
    }
    if (std::isdigit(static_cast<unsigned char>(c)) ||
        (c == '.' && i + 1 < xpath.size() &&
         std::isdigit(static_cast<unsigned char>(xpath[i + 1])))) {
      std::size_t end = i;
      while (end < xpath.size() &&
             (std::isdigit(static_cast<unsigned char>(xpath[end])) || xpath[end] == '.')) {
        ++end;
      }
      out.append(xpath.substr(i, end - i));
      i = end;
      after_operand = true;
      continue;
    }
    if (c == '.') {  // "." or ".."
      std::size_t width = i + 1 < xpath.size() && xpath[i + 1] == '.' ? 2 : 1;
      out.append(xpath.substr(i, width));
      i += width;
      after_operand = true;
      continue;
    }
    if (c == '$' || IsNameStart(c)) {
      std::size_t end = i + 1;
      while (end < xpath.size() &&
             (IsNameChar(xpath[end]) ||
              (xpath[end] == ':' && end + 1 < xpath.size() && xpath[end + 1] != ':' && c != '$'))) {
        ++end;
      }
      std::string_view name = xpath.substr(i, end - i);
      out.append(name);
      i = end;
      bool is_operator_name =
          after_operand && (name == "and" || name == "or" || name == "div" || name == "mod");
      after_operand = !is_operator_name;
      continue;
    }
    if (c == '*') {
      out += c;
      ++i;
      after_operand = !after_operand;  // multiplication after an operand, name test otherwise
      continue;
    }
    if (c == ')' || c == ']') {
      out += c;
      ++i;
      after_operand = true;
      continue;
    }
    if (c == ':' && i + 1 < xpath.size() && xpath[i + 1] == ':') {
      out.append("::");
      i += 2;
      after_operand = false;
      continue;
    }
    // "(", "[", ",", "|", "@", operators: what follows starts a new operand.
    out += c;
    ++i;
    after_operand = false;
  }
  return out;
}

}  // namespace orvo::xml::detail
