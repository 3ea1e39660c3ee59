#include "evaluate/item_bookkeeping.h"

#include <iterator>
#include <string>

#include "evaluate/style_record.h"

namespace orvo {

bool PrepareForEvaluation(xml::Node item, std::string_view format_key) {
  if (item.HasAttribute("Evaluated")) return false;
  const std::string key = item.AttributeOr("Key", "");
  const std::string row = item.AttributeOr("Row", "");
  const std::string formula = item.AttributeOr("Value", "");
  const std::string_view values[] = {"0", key, row, "", format_key, formula, "", "", ""};
  static_assert(std::size(values) == std::size(kBookkeepingAttributes));
  for (std::size_t i = 0; i < std::size(values); ++i) {
    item.AddAttribute(kBookkeepingAttributes[i], values[i]);
  }
  bool has_drill = false;
  for (xml::Node child = FirstElement(item); child && !has_drill; child = NextElement(child)) {
    has_drill = child.Name() == "Drill";
  }
  if (!has_drill) {
    xml::Node drill = item.AppendChild(item.OwnerDocument().CreateElement("Drill"));
    drill.SetAttribute("On", "0");
    drill.SetAttribute("Key", "");
  }
  return true;
}

}  // namespace orvo
