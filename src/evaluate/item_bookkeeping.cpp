#include "evaluate/item_bookkeeping.h"

#include <array>
#include <iterator>
#include <optional>
#include <string>
#include <utility>

#include "evaluate/style_record.h"

namespace orvo {

std::string OriginalKeyOf(const xml::Node& item) {
  std::optional<std::string> key = item.GetAttribute("OrigKey");
  if (key) return std::move(*key);
  return item.HasAttribute("OrigFmt") ? item.AttributeOr("Key", "") : std::string();
}

xml::Node DrillOf(const xml::Node& item) {
  for (xml::Node child = FirstElement(item); child; child = NextElement(child)) {
    if (child.NameIs("Drill")) return child;
  }
  return {};
}

namespace {

// A new Drill child before `repeat_context`, or last when that is null.
xml::Node MakeDrill(xml::Node& item, const xml::Node& repeat_context, std::string_view on,
                    std::string_view key) {
  xml::Node drill = repeat_context ? item.InsertBefore(item.OwnerDocument().CreateElement("Drill"),
                                                       repeat_context)
                                   : item.AppendNewElement("Drill");
  drill.AddAttributes({{"On", on}, {"Key", key}});
  return drill;
}

}  // namespace

xml::Node DrillFor(xml::Node item) {
  xml::Node repeat_context;
  for (xml::Node child = FirstElement(item); child; child = NextElement(child)) {
    if (child.NameIs("Drill")) return child;
    if (!repeat_context && child.NameIs("DepData")) repeat_context = child;
  }
  return MakeDrill(item, repeat_context, "0", "");
}

xml::Node AddDrill(xml::Node item, std::string_view on, std::string_view key) {
  xml::Node repeat_context;
  for (xml::Node child = FirstElement(item); child && !repeat_context; child = NextElement(child)) {
    if (child.NameIs("DepData")) repeat_context = child;
  }
  return MakeDrill(item, repeat_context, on, key);
}

bool PrepareForEvaluation(xml::Node item, std::string_view format_key, std::string_view evaluated) {
  if (item.HasAttribute("Evaluated")) return false;
  // Read into buffers that keep their storage from item to item.
  thread_local std::string key, row, formula;
  item.ReadAttribute("Key", key);
  item.ReadAttribute("Row", row);
  item.ReadAttribute("Value", formula);
  const std::string_view values[] = {evaluated, key, row, "", format_key, formula, "", "", ""};
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
  DrillFor(item);
  return true;
}

bool PrepareForBuild(xml::Node item, std::string_view format_key) {
  if (item.HasAttribute("Evaluated")) return false;
  AddBuildBookkeeping(std::move(item), format_key);
  return true;
}

namespace {

// The attributes the builder's preparation writes; the originals are copied
// from the item's own attributes node to node.
std::array<xml::Node::AttributeToAdd, 4> BuildAttributes(std::string_view format_key) {
  return {{{"Evaluated", {}, "0"},
           {"OrigRow", "Row", {}},
           {"OrigFmt", {}, format_key},
           {"OrigFml", "Value", {}}}};
}

// Str and MgKey are read by nothing while the report is built and the
// preview leaves them out: their memory goes to the new attributes.
constexpr std::string_view kUnread[] = {"Str", "MgKey"};

}  // namespace

void AddBuildBookkeeping(xml::Node item, std::string_view format_key) {
  item.AddAttributesFrom(BuildAttributes(format_key), kUnread);
}

BuildBookkeeping::BuildBookkeeping(std::string_view format_key)
    : m_adder(BuildAttributes(format_key), kUnread) {}

}  // namespace orvo
