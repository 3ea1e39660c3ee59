#include "indented_writer.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace orvo::cli {
namespace {

// What escaping makes of each byte: kPlain the byte itself, kReference a
// character reference, kUnusual a byte the text rule may change (a control
// character, a byte of a character beyond ASCII): a text holding one goes
// through xml::Escape as a whole.
enum ByteKind : std::uint8_t { kPlain, kReference, kUnusual };

constexpr std::array<std::uint8_t, 256> kByteKinds = [] {
  std::array<std::uint8_t, 256> kinds{};
  for (std::size_t byte = 0; byte < kinds.size(); ++byte) {
    kinds[byte] = byte < 0x20 || byte >= 0x80 ? kUnusual : kPlain;
  }
  for (const unsigned char c : {'&', '<', '>', '"', '\t', '\n', '\r'}) kinds[c] = kReference;
  return kinds;
}();

std::string_view ReferenceFor(char c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    case '\r':
      return "&#13;";
    case '\n':
      return "&#10;";
    default:  // '\t'
      return "&#9;";
  }
}

constexpr std::size_t kLongestReference = 6;  // &quot;

constexpr std::string_view kBlanks =
    "                                                                ";

}  // namespace

IndentedWriter::IndentedWriter(std::ostream& out)
    : m_out(out), m_data(std::make_unique<char[]>(kBlock + 4096)), m_capacity(kBlock + 4096) {}

IndentedWriter::~IndentedWriter() { Flush(); }

void IndentedWriter::Element(const xml::Node& node, int depth) {
  const std::string name = node.Name();
  Indent(depth);
  Put('<');
  Put(name);
  node.VisitAttributes([this](std::string_view attribute, std::string_view value) {
    // ' NAME="' in one piece, then the value.
    char* at = Room(attribute.size() + 3);
    *at++ = ' ';
    std::char_traits<char>::copy(at, attribute.data(), attribute.size());
    at += attribute.size();
    *at++ = '=';
    *at = '"';
    m_size += attribute.size() + 3;
    PutEscaped(value);
    Put('"');
  });
  // The text counts until the first child element, which opens the body.
  bool has_elements = false;
  m_text.clear();
  for (xml::Node child = node.FirstChild(); child; child = child.NextSibling()) {
    const xml::NodeType type = child.Type();
    if (type == xml::NodeType::kElement) {
      if (!has_elements) Put(">\n");
      has_elements = true;
      Element(child, depth + 1);
    } else if (!has_elements && (type == xml::NodeType::kText || type == xml::NodeType::kCData)) {
      m_text += child.Text();
    }
  }
  if (has_elements) {
    Indent(depth);
    EndTag(name);
  } else if (m_text.empty()) {
    Put("/>\n");
  } else {
    Put('>');
    PutEscaped(m_text);
    EndTag(name);
  }
  if (m_size >= kBlock) Flush();
}

void IndentedWriter::Empty(std::string_view name, int depth) {
  Indent(depth);
  Put('<');
  Put(name);
  Put("/>\n");
}

void IndentedWriter::Open(std::string_view name, int depth) {
  Indent(depth);
  Put('<');
  Put(name);
  Put(">\n");
}

void IndentedWriter::Close(std::string_view name, int depth) {
  Indent(depth);
  EndTag(name);
}

void IndentedWriter::Flush() {
  if (m_size == 0) return;
  m_out.write(m_data.get(), static_cast<std::streamsize>(m_size));
  m_size = 0;
}

void IndentedWriter::Grow(std::size_t size) {
  const std::size_t capacity = std::max(m_capacity * 2, m_size + size);
  auto data = std::make_unique<char[]>(capacity);
  std::char_traits<char>::copy(data.get(), m_data.get(), m_size);
  m_data = std::move(data);
  m_capacity = capacity;
}

void IndentedWriter::Indent(int depth) {
  for (std::size_t blanks = static_cast<std::size_t>(std::max(depth, 0)) * 2; blanks > 0;) {
    const std::size_t piece = std::min(blanks, kBlanks.size());
    Put(kBlanks.substr(0, piece));
    blanks -= piece;
  }
}

void IndentedWriter::EndTag(std::string_view name) {
  Put("</");
  Put(name);
  Put(">\n");
}

void IndentedWriter::PutEscaped(std::string_view text) {
  // Copied byte by byte into room for the longest result (a reference of
  // six bytes for each); the size is taken only at the end, so a text found
  // unusual halfway is written again by xml::Escape in its place.
  char* const start = Room(text.size() * kLongestReference);
  char* out = start;
  for (const char c : text) {
    const std::uint8_t kind = kByteKinds[static_cast<unsigned char>(c)];
    if (kind == kPlain) {
      *out++ = c;
    } else if (kind == kReference) {
      const std::string_view reference = ReferenceFor(c);
      std::char_traits<char>::copy(out, reference.data(), reference.size());
      out += reference.size();
    } else {
      Put(xml::Escape(text));
      return;
    }
  }
  m_size += static_cast<std::size_t>(out - start);
}

void WriteIndented(std::ostream& out, const xml::Node& node) {
  IndentedWriter writer(out);
  writer.Element(node, 0);
}

}  // namespace orvo::cli
