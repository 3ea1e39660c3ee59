#include "preview/format_library.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <vector>

#include "evaluate/style_record.h"
#include "frame/provider_access.h"
#include "frame/text.h"

namespace orvo {

void FormatLibraryIndex::Build(const xml::Node& library) {
  m_formats.clear();
  m_library = library;
  m_built = true;
  if (!library) return;
  // Depth-first in document order, so the first Fmt of a key wins.
  std::vector<xml::Node> pending{library};
  while (!pending.empty()) {
    xml::Node node = std::move(pending.back());
    pending.pop_back();
    if (!(node == library) && node.Name() == "Fmt") {
      if (std::optional<std::string> key = node.GetAttribute("Key")) {
        m_formats.emplace(std::move(*key), node);
      }
    }
    const std::size_t first_child = pending.size();
    for (xml::Node child = FirstElement(node); child; child = NextElement(child)) {
      pending.push_back(child);
    }
    std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(first_child), pending.end());
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
