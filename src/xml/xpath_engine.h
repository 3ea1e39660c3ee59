// Evaluates XPath node-set queries for the facade. Compiled expressions are
// cached per thread by query text (the cache is emptied when it grows past a
// bound, since queries built from key values are unbounded in number).
#ifndef ORVO_XML_XPATH_ENGINE_H_
#define ORVO_XML_XPATH_ENGINE_H_

#include <string_view>
#include <vector>

#include "xml/libxml.h"

namespace orvo::xml::detail {

// The nodes the query selects from `context`, in document order; at most one
// when `first_only`. A query that is not valid XPath or does not yield a node
// set raises a failure.
std::vector<xmlNodePtr> SelectNodeSet(xmlNodePtr context, std::string_view xpath, bool first_only);

}  // namespace orvo::xml::detail

#endif  // ORVO_XML_XPATH_ENGINE_H_
