#include "orvo/xml_attribute_at.h"

#include "orvo/error.h"
#include "xml/libxml.h"
#include "xml/tree_edit.h"

namespace orvo::xml {

bool ReadAttributeAt(const Node& element, std::size_t position, std::string& value) {
  value.clear();
  if (!element)
    detail::RaiseXml("Object variable not set: the node is Nothing", kErrObjectRequired);
  xmlNodePtr node = detail::ToXml(element.Raw());
  if (node->type != XML_ELEMENT_NODE) return false;
  xmlAttrPtr attr = node->properties;
  for (; attr && position > 0; --position) attr = attr->next;
  if (!attr) return false;
  xmlNodePtr only = attr->children;
  if (only && !only->next && only->type == XML_TEXT_NODE) {
    if (only->content) value.append(reinterpret_cast<const char*>(only->content));
  } else if (only) {
    value = detail::NodeText(reinterpret_cast<xmlNodePtr>(attr));
  }
  return true;
}

}  // namespace orvo::xml
