// A read by position in an element's attribute list, for code that takes the
// same attribute of many elements (an item's column is its third attribute).
#ifndef ORVO_XML_ATTRIBUTE_AT_H_
#define ORVO_XML_ATTRIBUTE_AT_H_

#include <cstddef>
#include <string>

#include "orvo/xml.h"

namespace orvo::xml {

// Copies the value of the attribute at `position` (from 0) of `element` into
// `value`, reusing its storage, and returns true; returns false and empties
// `value` when there is none (or `element` is no element).
bool ReadAttributeAt(const Node& element, std::size_t position, std::string& value);

}  // namespace orvo::xml

#endif  // ORVO_XML_ATTRIBUTE_AT_H_
