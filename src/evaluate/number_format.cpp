#include "evaluate/number_format.h"

#include <cstdint>
#include <optional>

#include "evaluate/date_time_format.h"
#include "evaluate/number_pattern.h"
#include "evaluate/style_record.h"
#include "frame/per_thread.h"
#include "frame/text.h"
#include "frame/text_value.h"
#include "orvo/error.h"

namespace orvo {
namespace {

// The blank definitions, parsed once per thread into one scratch document.
class NumberFormatTemplates {
 public:
  NumberFormatTemplates()
      : m_document(xml::Document::Parse(
            "<Templates><Def/>"
            "<Def Dec='' Cur='' Zer='' Sep='' DisN='' DisP='' RedN='' RedP=''/>"
            "<Def Dec=''/><Def Typ=''/></Templates>")) {
    xml::Node root = m_document.DocumentElement();
    m_general = ChildElement(root, 1);
    m_numeric = ChildElement(root, 2);
    m_percentage = ChildElement(root, 3);
    m_date_time = ChildElement(root, 4);
  }

  const xml::Node* For(std::string_view category) const {
    if (category == "General") return &m_general;
    if (category == "Numeric") return &m_numeric;
    if (category == "Percentage") return &m_percentage;
    if (category == "Date/Time") return &m_date_time;
    return nullptr;
  }

 private:
  xml::Document m_document;
  xml::Node m_general, m_numeric, m_percentage, m_date_time;
};

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string AttributeOf(const xml::Node& element, std::string_view name) {
  return element ? element.AttributeOr(name, "") : std::string();
}

// An attribute read into a buffer of the thread (empty when there is none),
// valid until the next read: the style of every item is read, so the values
// are not copied out one by one.
const std::string& ScratchAttribute(const xml::Node& element, std::string_view name) {
  thread_local std::string value;
  if (element) {
    element.ReadAttribute(name, value);
  } else {
    value.clear();
  }
  return value;
}

// A 16-bit number attribute of a definition; empty reads as 0.
std::int32_t SmallNumber(std::string_view text) {
  if (text.size() == 1 && text[0] >= '0' && text[0] <= '9') return text[0] - '0';
  if (Trim(text).empty()) return 0;
  const std::int32_t value = TextToLong(text);
  if (value < INT16_MIN || value > INT16_MAX) RaiseOverflow();
  return value;
}

std::int32_t SmallNumberOf(const xml::Node& definition, std::string_view name) {
  return SmallNumber(ScratchAttribute(definition, name));
}

// A 16-bit number used as a flag; empty reads as false, "True"/"False" are
// accepted as well.
bool Flag(std::string_view text) {
  if (text == "0") return false;
  if (text == "-1") return true;
  if (Trim(text).empty()) return false;
  return TextToBoolean(text);
}

void ShowInRed(const xml::Node& style) {
  if (xml::Node font = FirstElement(FontsOf(style))) font.SetAttribute("Clr", "255");
}

// Category names are ASCII; compare them without regard to case.
bool SameCategory(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

bool BeginsWith(std::string_view text, char first) {
  return !text.empty() && text.front() == first;
}

// The attributes of a numeric definition, in the order Numeric reads them.
constexpr std::string_view kNumericNames[] = {"Dec",  "Sep",  "Zer",  "DisN",
                                              "DisP", "RedN", "RedP", "Cur"};
enum NumericAttribute : std::size_t { kDec, kSep, kZer, kDisN, kDisP, kRedN, kRedP, kCur };

std::string Numeric(const xml::Node& style, const xml::Node& definition, std::string_view value) {
  std::optional<DecimalDigits> number = ReadDisplayNumber(value);
  if (!number) return std::string(value);

  // Every item of a report passes here: its definition is read in one walk,
  // by a set made once per thread that lets go of the definition on return.
  thread_local xml::AttributeSet attributes(kNumericNames);
  attributes.Find(definition);
  struct Release {
    xml::AttributeSet& set;
    ~Release() { set.Clear(); }
  } release{attributes};
  NumberPattern pattern;
  pattern.decimals = SmallNumber(attributes.Value(kDec));
  pattern.grouping = Flag(attributes.Value(kSep));

  std::string shown;
  if (number->digits.empty()) {
    std::string zero_text(attributes.Value(kZer));
    std::optional<DecimalDigits> zero = ReadDisplayNumber(zero_text);
    if (!zero) return zero_text;
    bool rounds_to_zero = false;
    shown = FormatMagnitude(*zero, pattern, &rounds_to_zero);
    if (zero->negative && !rounds_to_zero) shown.insert(0, 1, '-');
  } else {
    const bool negative = number->negative;
    const std::string_view rule = attributes.Value(negative ? kDisN : kDisP);
    const bool brackets = BeginsWith(rule, '(');
    const bool sign = BeginsWith(rule, '-');
    bool rounds_to_zero = false;
    shown = FormatMagnitude(*number, pattern, &rounds_to_zero);
    if (brackets) {
      shown.insert(0, 1, '(');
      shown.push_back(')');
    } else if (sign && !rounds_to_zero) {
      // Negative numbers keep their sign; positive ones are shown negated.
      shown.insert(0, 1, '-');
    }
    if (Flag(attributes.Value(negative ? kRedN : kRedP))) ShowInRed(style);
  }
  const std::string_view currency = attributes.Value(kCur);
  if (currency != "None") shown.insert(0, currency);
  return shown;
}

std::string Percentage(const xml::Node& definition, std::string_view value) {
  std::optional<DecimalDigits> number = ReadDisplayNumber(value);
  if (!number) return std::string(value);
  if (!number->digits.empty()) number->exponent += 2;
  NumberPattern pattern;
  pattern.decimals = SmallNumberOf(definition, "Dec");
  bool rounds_to_zero = false;
  std::string shown = FormatMagnitude(*number, pattern, &rounds_to_zero);
  if (number->negative && !rounds_to_zero) shown.insert(0, 1, '-');
  shown.push_back('%');
  return shown;
}

bool EndsSentence(char c) { return c == '.' || c == '!' || c == '?'; }

// Lower case of ASCII and the Latin-1 letters, the inverse of UpperCase.
std::string LowerCase(std::string_view text) {
  constexpr unsigned char kLatin1Lead = 0xC3;
  std::string out(text);
  for (std::size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (c >= 'A' && c <= 'Z') {
      out[i] = static_cast<char>(c - 'A' + 'a');
    } else if (c == kLatin1Lead && i + 1 < out.size()) {
      // U+00C0..U+00DE (but U+00D7, the multiplication sign) map 0x20 higher.
      unsigned char next = static_cast<unsigned char>(out[i + 1]);
      if (next >= 0x80 && next <= 0x9E && next != 0x97) out[i + 1] = static_cast<char>(next + 0x20);
      ++i;
    }
  }
  return out;
}

std::string TextCase(const xml::Node& definition, std::string_view value) {
  const std::string code_text = AttributeOf(definition, "Txt");
  std::int32_t code = 0;
  if (!Trim(code_text).empty()) {
    if (!IsNumeric(code_text)) return std::string();
    code = TextToLong(code_text);
  }
  switch (code) {
    case 0:
      return std::string(value);
    case 1:
      return LowerCase(value);
    case 2:
      return UpperCase(value);
    case 3: {
      // The first letter of the text and of every sentence after ".", "!", "?".
      std::string out(value);
      bool capital_due = true;
      for (char& c : out) {
        if (EndsSentence(c)) {
          capital_due = true;
        } else if (capital_due && IsAsciiLetter(c)) {
          c = AsciiUpper(c);
          capital_due = false;
        }
      }
      return out;
    }
    case 4: {
      // Every letter that starts the text or follows a blank, ".", "!" or "?".
      std::string out(value);
      for (std::size_t i = 0; i < out.size(); ++i) {
        const char before = i == 0 ? ' ' : out[i - 1];
        if (before == ' ' || EndsSentence(before)) out[i] = AsciiUpper(out[i]);
      }
      return out;
    }
    default:
      return std::string();
  }
}

}  // namespace

xml::Node NumberFormatTemplate(std::string_view category) {
  const xml::Node* found = PerThread<NumberFormatTemplates>().For(category);
  return found ? found->CloneNode(false) : xml::Node();
}

std::string FormatDisplayText(const xml::Node& item, std::string_view value) {
  const xml::Node style = StyleOf(item);
  const xml::Node number_format = NumberFormatOf(style);
  if (!number_format) return std::string(value);
  thread_local std::string category;
  number_format.ReadAttribute("Typ", category);
  if (SameCategory(category, "General")) return std::string(value);
  const xml::Node definition = DefinitionOf(number_format);
  if (SameCategory(category, "Numeric")) return Numeric(style, definition, value);
  if (SameCategory(category, "Percentage")) return Percentage(definition, value);
  if (SameCategory(category, "Date/Time")) {
    return FormatDateTime(value, AttributeOf(definition, "Typ"));
  }
  if (SameCategory(category, "Text")) return TextCase(definition, value);
  return std::string();
}

}  // namespace orvo
