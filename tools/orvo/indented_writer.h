// The indented XML text `orvo preview` prints: one element per line,
// children indented by two blanks, an element's text written only when it
// has no child elements (other children are left out), attribute values and
// texts escaped as xml::Escape escapes them.
//
// A preview of tens of thousands of rows is hundreds of thousands of lines,
// so the text is made in one buffer handed to the stream in large blocks,
// and escaping copies the runs between the few characters that need it.
#ifndef ORVO_TOOLS_INDENTED_WRITER_H_
#define ORVO_TOOLS_INDENTED_WRITER_H_

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "orvo/xml.h"

namespace orvo::cli {

class IndentedWriter {
 public:
  explicit IndentedWriter(std::ostream& out);
  ~IndentedWriter();  // flushes
  IndentedWriter(const IndentedWriter&) = delete;
  IndentedWriter& operator=(const IndentedWriter&) = delete;

  // An element with its attributes, its text when it has no child elements,
  // and its child elements, at indentation `depth`.
  void Element(const xml::Node& node, int depth);
  // An element without attributes or content: <NAME/>.
  void Empty(std::string_view name, int depth);
  // The start and end tags of an element whose children are written between.
  void Open(std::string_view name, int depth);
  void Close(std::string_view name, int depth);

  // Hands the text made so far to the stream.
  void Flush();

 private:
  // The buffer is handed over once it holds this much, between elements.
  static constexpr std::size_t kBlock = std::size_t{1} << 20;

  // Room for `size` more bytes at the end of the buffer.
  char* Room(std::size_t size) {
    if (m_capacity - m_size < size) Grow(size);
    return m_data.get() + m_size;
  }
  void Grow(std::size_t size);
  void Put(std::string_view text) {
    if (text.empty()) return;
    std::char_traits<char>::copy(Room(text.size()), text.data(), text.size());
    m_size += text.size();
  }
  void Put(char c) {
    *Room(1) = c;
    ++m_size;
  }
  void Indent(int depth);
  void EndTag(std::string_view name);
  void PutEscaped(std::string_view text);

  std::ostream& m_out;
  std::unique_ptr<char[]> m_data;
  std::size_t m_size = 0;
  std::size_t m_capacity = 0;
  std::string m_text;  // storage reused from element to element
};

// Writes `node` (an element) as the indented text, flushed at the end.
void WriteIndented(std::ostream& out, const xml::Node& node);

}  // namespace orvo::cli

#endif  // ORVO_TOOLS_INDENTED_WRITER_H_
