// Fuzz target: the XML layer over arbitrary documents.
//
// Parses the input (4 KiB at most) and then edits it the way the library
// does: queries, clones, removals while handles are held, moves into another
// document, serialisation. Malformed input must give an orvo::Error only.
// The raw input is also stored as attribute and element text: whatever the
// bytes, the serialised tree must parse again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "orvo/error.h"
#include "orvo/xml.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    orvo::xml::Document holder = orvo::xml::Document::Parse("<T/>");
    holder.DocumentElement().SetAttribute("A", text);
    holder.DocumentElement().AppendChild(holder.CreateElement("E")).SetText(text);
    orvo::xml::Document::Parse(holder.Xml());
    orvo::xml::Document::Parse("<T A=\"" + orvo::xml::Escape(text) + "\"/>");
  } catch (const orvo::Error&) {
    std::abort();  // the text rule let an unwritable text through
  }
  try {
    orvo::xml::Document document = orvo::xml::Document::Parse(text);
    orvo::xml::Node root = document.DocumentElement();
    if (!root) return 0;
    orvo::xml::NodeList all = root.SelectNodes("//*");
    orvo::xml::Document other = orvo::xml::Document::Parse("<Out/>");
    std::vector<orvo::xml::Node> held;
    for (orvo::xml::Node node : all) {
      held.push_back(node.CloneNode(true));
      if (node.Attributes().Length() > 0) node.Attributes().Item(0).SetText("x");
      if (node.FirstChild() && node.FirstChild().Type() != orvo::xml::NodeType::kOther) {
        other.DocumentElement().AppendChild(node.RemoveChild(node.FirstChild()));
      }
    }
    for (const orvo::xml::Node& node : held) node.SelectNodes("/*|//@*");
    root.Xml();
    other.Xml();
    document.LoadXml("<Replaced/>");
    for (const orvo::xml::Node& node : all) node.Xml();
  } catch (const orvo::Error&) {
  }
  return 0;
}
