// The bookkeeping attributes an item gets the first time it is evaluated.
//
// Readers of the preview address item attributes by position, so they are
// added together and always in this order, after the attributes the item
// already has:
//
//   Evaluated  "0" until the evaluator settles the item ("-1")
//   OrigKey    the item's Key in its definition
//   OrigRow    the item's Row in its definition
//   DCFml      the data-column formula ("" unless data-column processing set it)
//   OrigFmt    the key of the definition format
//   OrigFml    the formula as written (the item's Value)
//   RptKey     repeat key ("" outside a repeat)
//   RptIndex   repeat index ("" outside a repeat)
//   PTxt       display text ("")
//
// An attribute the item already carries keeps its place and its value.
#ifndef ORVO_EVALUATE_ITEM_BOOKKEEPING_H_
#define ORVO_EVALUATE_ITEM_BOOKKEEPING_H_

#include <string>
#include <string_view>

#include "orvo/xml.h"

namespace orvo {

// The bookkeeping attribute names in their order.
inline constexpr std::string_view kBookkeepingAttributes[] = {
    "Evaluated", "OrigKey", "OrigRow", "DCFml", "OrigFmt", "OrigFml", "RptKey", "RptIndex", "PTxt"};

// Adds the bookkeeping attributes, and a Drill child (On "0", Key "") when
// the item has none, to an item that has no Evaluated attribute yet, and
// returns true; an item that has one is left alone (false). Evaluated gets
// `evaluated` ("0": not yet evaluated; the evaluator, about to evaluate the
// item, writes "-1" at once).
bool PrepareForEvaluation(xml::Node item, std::string_view format_key,
                          std::string_view evaluated = "0");

// The builder's preparation of the items of a format it is about to
// evaluate: like PrepareForEvaluation (Evaluated "0"), but only the
// attributes that hold something at this point and differ from what the
// item has are written: Evaluated, OrigRow, OrigFmt and OrigFml, in that
// order. OrigKey would repeat the item's Key, which nothing rewrites: an
// item with OrigFmt and without OrigKey stands for its Key (OriginalKeyOf),
// and the preview shows it so. The others read as
// empty when absent and are written when they get a value: DCFml by the
// data-column insertion (an item carrying one keeps it), RptKey and RptIndex
// on the copies of a repeated row, PTxt when the item is evaluated. Tens of
// thousands of items save four attributes each this way, and the Drill
// child too: it is made (DrillFor) when a drill key is written into it, and
// the preview writes an item without one as if it had On "0", Key "".
// The item's Str and MgKey, which nothing reads while the report is built
// and the preview leaves out, are taken off.
bool PrepareForBuild(xml::Node item, std::string_view format_key);
// PrepareForBuild's writing alone, for a caller that has read the item's
// attributes and knows it has no Evaluated attribute.
void AddBuildBookkeeping(xml::Node item, std::string_view format_key);

// AddBuildBookkeeping for the items of one format, one after another: what
// does not change from item to item (the names, the format key's text, and
// for items with the same attributes as the one before, where the originals
// and the attributes taken off stand) is worked out once.
class BuildBookkeeping {
 public:
  explicit BuildBookkeeping(std::string_view format_key);
  void AddTo(xml::Node& item) { m_adder.AddTo(item); }

 private:
  xml::Node::AttributeAdder m_adder;
};

// The key an item has in its definition: its OrigKey; for an item of a
// format (OrigFmt) without one, its Key, as the placed-item index takes it;
// else empty.
std::string OriginalKeyOf(const xml::Node& item);

// The item's Drill child, or null when it has none. Readers take an item
// without one as On "0", Key "" (nothing to drill into).
xml::Node DrillOf(const xml::Node& item);

// The item's Drill child, made (On "0", Key "") when it has none. A new one
// goes where PrepareForEvaluation puts it: after the item's children, but
// before the repeat context (DepData) the builder appends to a deferred item.
xml::Node DrillFor(xml::Node item);
// DrillFor for an item that has no Drill child: the new one gets On and Key
// as given.
xml::Node AddDrill(xml::Node item, std::string_view on, std::string_view key);

}  // namespace orvo

#endif  // ORVO_EVALUATE_ITEM_BOOKKEEPING_H_
