// Golden XML comparison: both sides parsed and written back, so quotes and
// the blanks between elements do not matter while names, attribute order,
// values and child order do.
#ifndef ORVO_TESTS_PREVIEW_CANONICAL_XML_H_
#define ORVO_TESTS_PREVIEW_CANONICAL_XML_H_

#include <string>
#include <string_view>

#include "orvo/xml.h"

namespace orvo::testing {

inline std::string Canonical(std::string_view text) {
  return xml::Document::Parse(text).DocumentElement().Xml();
}

inline std::string Canonical(const xml::Node& node) { return Canonical(node.Xml()); }

}  // namespace orvo::testing

#endif  // ORVO_TESTS_PREVIEW_CANONICAL_XML_H_
