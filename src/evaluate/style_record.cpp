#include "evaluate/style_record.h"

namespace orvo {

xml::Node FirstElement(const xml::Node& parent) {
  if (!parent) return {};
  xml::Node child = parent.FirstChild();
  while (child && child.Type() != xml::NodeType::kElement) child = child.NextSibling();
  return child;
}

xml::Node NextElement(const xml::Node& node) {
  if (!node) return {};
  xml::Node next = node.NextSibling();
  while (next && next.Type() != xml::NodeType::kElement) next = next.NextSibling();
  return next;
}

xml::Node ChildElement(const xml::Node& parent, int position) {
  xml::Node child = FirstElement(parent);
  for (int i = 1; child && i < position; ++i) child = NextElement(child);
  return position >= 1 ? child : xml::Node();
}

int ElementCount(const xml::Node& parent) {
  int count = 0;
  for (xml::Node child = FirstElement(parent); child; child = NextElement(child)) ++count;
  return count;
}

xml::Node StyleOf(const xml::Node& item) {
  xml::Node first = FirstElement(item);
  xml::Node second = NextElement(first);
  if (second && second.NameIs("Stl")) return second;
  for (xml::Node child = first; child; child = NextElement(child)) {
    if (child.NameIs("Stl")) return child;
  }
  return {};
}

xml::Node FirstFontRun(const xml::Node& item) { return FirstElement(FontsOf(StyleOf(item))); }

}  // namespace orvo
