#include "preview/format_library.h"

#include <optional>

#include "evaluate/style_record.h"
#include "frame/provider_access.h"
#include "frame/text.h"

namespace orvo {

void FormatLibraryIndex::Build(const xml::Node& library) {
  m_formats.clear();
  m_library = library;
  m_built = true;
  if (!library) return;
  // Depth-first in document order, so the first Fmt of a key wins; the walk
  // goes down to the first child and on to the next sibling, climbing back
  // through the parents, without a list of pending nodes.
  xml::Node node = FirstElement(library);
  while (node) {
    if (node.NameIs("Fmt")) {
      if (std::optional<std::string> key = node.GetAttribute("Key")) {
        m_formats.emplace(std::move(*key), node);
      }
    }
    if (xml::Node child = FirstElement(node)) {
      node = std::move(child);
      continue;
    }
    while (node) {
      if (xml::Node next = NextElement(node)) {
        node = std::move(next);
        break;
      }
      xml::Node parent = node.ParentNode();
      node = parent == library ? xml::Node() : std::move(parent);
    }
  }
}

xml::Node FormatLibraryIndex::Find(const xml::Node& library, std::string_view name) {
  if (!m_built || !(library == m_library)) Build(library);
  auto found = m_formats.find(UpperCase(name));
  return found == m_formats.end() ? xml::Node() : found->second;
}

xml::Node FormatLibraryIndex::LookUpFormat(const xml::Node& library, std::string_view name,
                                           IFormatProvider& provider) {
  xml::Node format = Find(library, name);
  if (!format) return {};
  if (!format.HasChildNodes()) return provider.GetFormat(format.AttributeOr("Key", ""));
  return format.CloneNode(true);
}

xml::Node FormatLibraryIndex::LookUpFormat(const xml::Node& library, std::string_view name) {
  xml::Node format = Find(library, name);
  if (!format) return {};
  if (!format.HasChildNodes()) return GetFormatProvider()->GetFormat(format.AttributeOr("Key", ""));
  return format.CloneNode(true);
}

void FormatLibraryIndex::Reset() {
  m_formats.clear();
  m_library = xml::Node();
  m_built = false;
}

}  // namespace orvo
