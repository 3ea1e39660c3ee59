// Finding formats by key in the stored format library.
//
// The library (from the store context) holds Fmt elements at any depth; a
// format is the first Fmt in document order whose Key equals the
// upper-cased name. A Fmt without child nodes is a stub: the full format is
// then the format provider's. The look-up is a hash index built by one walk
// over the library, not a descendant search per look-up.
//
// Invariant: the index describes the library node it was built from; it is
// rebuilt when a different library node is passed, and Reset() drops it (for
// a library changed in place). Threading: one index per builder or thread.
#ifndef ORVO_PREVIEW_FORMAT_LIBRARY_H_
#define ORVO_PREVIEW_FORMAT_LIBRARY_H_

#include <string>
#include <string_view>
#include <unordered_map>

#include "orvo/providers.h"
#include "orvo/xml.h"

namespace orvo {

class FormatLibraryIndex {
 public:
  // The first Fmt below `library` whose Key equals UpperCase(name), or null.
  xml::Node Find(const xml::Node& library, std::string_view name);

  // The format to evaluate for an entry's name: a deep copy of the library's
  // full format, or for a stub the provider's full format by the stub's Key;
  // null when the library has no such format (the entry prints nothing).
  // The library itself is never changed by what the caller does with it.
  xml::Node LookUpFormat(const xml::Node& library, std::string_view name,
                         IFormatProvider& provider);
  // The same with the thread's format provider (GetFormatProvider).
  xml::Node LookUpFormat(const xml::Node& library, std::string_view name);

  void Reset();

 private:
  void Build(const xml::Node& library);

  xml::Node m_library;
  bool m_built = false;
  std::unordered_map<std::string, xml::Node> m_formats;
};

}  // namespace orvo

#endif  // ORVO_PREVIEW_FORMAT_LIBRARY_H_
