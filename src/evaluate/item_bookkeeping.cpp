#include "evaluate/item_bookkeeping.h"

#include <iterator>
#include <string>

#include "evaluate/style_record.h"

namespace orvo {

bool PrepareForEvaluation(xml::Node item, std::string_view format_key) {
  if (item.HasAttribute("Evaluated")) return false;
  // Read into buffers that keep their storage from item to item.
  thread_local std::string key, row, formula;
  item.ReadAttribute("Key", key);
  item.ReadAttribute("Row", row);
  item.ReadAttribute("Value", formula);
  const std::string_view values[] = {"0", key, row, "", format_key, formula, "", "", ""};
  static_assert(std::size(values) == std::size(kBookkeepingAttributes));
  const auto& names = kBookkeepingAttributes;
  item.AddAttributes({{names[0], values[0]},
                      {names[1], values[1]},
                      {names[2], values[2]},
                      {names[3], values[3]},
                      {names[4], values[4]},
                      {names[5], values[5]},
                      {names[6], values[6]},
                      {names[7], values[7]},
                      {names[8], values[8]}});
  bool has_drill = false;
  for (xml::Node child = FirstElement(item); child && !has_drill; child = NextElement(child)) {
    has_drill = child.NameIs("Drill");
  }
  if (!has_drill) item.AppendNewElement("Drill").AddAttributes({{"On", "0"}, {"Key", ""}});
  return true;
}

}  // namespace orvo
