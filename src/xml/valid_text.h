// The one rule that keeps every text the facade stores writable as XML 1.0
// (see "Text rule" in orvo/xml.h): each ill-formed UTF-8 sequence and each
// character XML 1.0 cannot hold becomes U+FFFD.
#ifndef ORVO_XML_VALID_TEXT_H_
#define ORVO_XML_VALID_TEXT_H_

#include <string>
#include <string_view>

namespace orvo::xml::detail {

// The length of the valid prefix of `text`: text.size() when the whole text
// is well-formed UTF-8 of characters XML 1.0 allows.
std::size_t ValidPrefixLength(std::string_view text) noexcept;

// `text` with the rule applied. Call only when ValidPrefixLength found a
// fault at `valid_prefix`; the prefix is copied as it is.
std::string RepairedText(std::string_view text, std::size_t valid_prefix);

// Holds the text to store: a view of the caller's text when it is already
// valid (the usual case, no copy), else a repaired copy.
class ValidText {
 public:
  explicit ValidText(std::string_view text) {
    std::size_t valid = ValidPrefixLength(text);
    if (valid == text.size()) {
      m_view = text;
    } else {
      m_repaired = RepairedText(text, valid);
      m_view = m_repaired;
    }
  }
  ValidText(const ValidText&) = delete;
  ValidText& operator=(const ValidText&) = delete;

  std::string_view View() const noexcept { return m_view; }

 private:
  std::string m_repaired;
  std::string_view m_view;
};

}  // namespace orvo::xml::detail

#endif  // ORVO_XML_VALID_TEXT_H_
