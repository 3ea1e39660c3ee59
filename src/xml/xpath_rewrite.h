// Rewrites an XPath 1.0 expression so that every location path that starts at
// the root ("/", "/step", "//step") starts at a variable instead. Bound to the
// top of the context node's tree, the variable gives "/" the meaning the
// library's queries rely on: the document when the node is attached, the top
// of the fragment when it is detached. String literals are left alone.
#ifndef ORVO_XML_XPATH_REWRITE_H_
#define ORVO_XML_XPATH_REWRITE_H_

#include <string>
#include <string_view>

namespace orvo::xml::detail {

// Name of the variable that stands for the root (without the "$").
inline constexpr std::string_view kRootVariable = "orvo-root";

std::string RewriteRootPaths(std::string_view xpath);

}  // namespace orvo::xml::detail

#endif  // ORVO_XML_XPATH_REWRITE_H_
