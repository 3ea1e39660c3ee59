#include "preview/dependents.h"

#include <vector>

#include "evaluate/item_bookkeeping.h"
#include "evaluate/style_record.h"
#include "frame/text.h"
#include "frame/text_value.h"
#include "preview/builder_state.h"
#include "preview/print_condition.h"

namespace orvo {
namespace {

xml::Node ChildNamed(const xml::Node& parent, std::string_view name) {
  for (xml::Node child = FirstElement(parent); child; child = NextElement(child)) {
    if (child.Name() == name) return child;
  }
  return {};
}

bool IsDeferred(const xml::Node& item) { return item.AttributeOr("Evaluated", "") == "0"; }

// The key an item waits for: the furthest cell it references, or "".
std::string WaitKeyOf(const xml::Node& item) {
  const xml::Node record = FirstElement(item);
  if (!record || record.Name() != "PEx") return {};
  return UpperCase(Trim(record.AttributeOr("Max", "")));
}

// A key the dependency table can file: empty, or letters then digits.
bool IsFileableKey(std::string_view key) {
  return key.empty() || key.find_first_of("0123456789") != std::string_view::npos;
}

std::int32_t RepeatIndexOf(const xml::Node& item) {
  return static_cast<std::int32_t>(ParseWholeNumber(item.AttributeOr("RptIndex", "")).value_or(0));
}

// Evaluates a waiting item again, in the repeat context it was first
// evaluated in (its DepData), which it keeps while it still cannot settle.
xml::Node EvaluateWaitingItem(BuilderState& builder, const xml::Node& item,
                              std::int32_t repeat_position) {
  xml::Node context = ChildNamed(item, "DepData");
  xml::Node evaluated;
  if (!context) {
    builder.evaluator->Evaluate(item, {}, repeat_position, "", evaluated);
    return evaluated;
  }
  xml::Node(item).RemoveChild(context);
  const std::int32_t position =
      repeat_position != 0 ? repeat_position
                           : static_cast<std::int32_t>(
                                 ParseWholeNumber(context.Attributes().Item(0).Text()).value_or(0));
  const std::string key = context.Attributes().Item(1).Text();
  auto list = builder.repeat_lists.find(key);
  const xml::Node repeat_list = list == builder.repeat_lists.end() ? xml::Node() : list->second;
  builder.evaluator->Evaluate(item, repeat_list, position, key, evaluated);
  if (IsDeferred(evaluated)) xml::Node(item).AppendChild(context);
  return evaluated;
}

}  // namespace

bool IsRowCondition(const BuilderState& builder, const xml::Node& item) {
  const std::optional<std::int32_t> column = ItemColumn(item);
  return column && *column == builder.print_column;
}

bool MakesRowRecords(const BuilderState& builder, const xml::Node& item) {
  return builder.row_list && builder.header_footer_conditions.count(item.Raw()) == 0;
}

void DeferItem(BuilderState& builder, const xml::Node& item, const RepeatContext* repeat) {
  const std::string key = item.AttributeOr("Key", "");
  if (!IsFileableKey(key)) return;  // stays as evaluated so far
  if (repeat && repeat->position > 0 && !ChildNamed(item, "DepData")) {
    xml::Node context = builder.templates.NewRecord(RecordKind::kDependencyData);
    context.SetAttribute("DSI", std::to_string(repeat->position));
    context.SetAttribute("DRpt", repeat->key);
    xml::Node(item).AppendChild(context);
  }
  ThreadPreviewState().dependencies->AddDependency(item, WaitKeyOf(item),
                                                   builder.evaluator->CurrentFormatName());
  if (IsRowCondition(builder, item) && !builder.row_list) {
    builder.header_footer_conditions.emplace(item.Raw(), item);
  }
}

void DropParsedRecord(const xml::Node& item) {
  const xml::Node record = FirstElement(item);
  if (!record || !record.NameIs("PEx")) return;
  if (item.AttributeOr("Evaluated", "") != "-1") return;
  xml::Node(item).RemoveChild(record);
}

void PlaceItem(BuilderState& builder, ResultFormat& target, const xml::Node& item) {
  ResultFormat* owner = builder.OwnerOf(item);
  (owner ? *owner : target).PlaceItem(item);
}

bool ApplyRowCondition(BuilderState& builder, const xml::Node& condition, std::string_view value,
                       std::int32_t offset, bool body_row) {
  if (PrintDecision(value)) return true;
  if (body_row) {
    const std::int32_t row = AddLong(ItemRow(condition).value_or(0), offset);
    xml::Node record = builder.rows.Find(row);
    if (!record) {
      xml::Node row_template = builder.templates.Template(RecordKind::kRow);
      row_template.SetAttribute("Del", "-1");
      row_template.SetAttribute("Keep", "-1");
      row_template.SetText(std::to_string(row));
      builder.rows.Add(row_template);
    } else if (record.AttributeOr("Del", "") == "0") {
      record.SetAttribute("Del", "-1");
      record.SetAttribute("Keep", "-1");
    }
  }
  xml::Node ignored = builder.templates.Template(RecordKind::kIgnoredRow);
  ignored.SetAttribute("OrigFmt", builder.evaluator->CurrentFormatName());
  ignored.SetAttribute("OrigRow", condition.AttributeOr("OrigRow", ""));
  ignored.SetAttribute("RptIndex", condition.AttributeOr("RptIndex", ""));
  const xml::Node record =
      ThreadPreviewState().rows_to_ignore.AppendChild(ignored.CloneNode(false));
  builder.placed_items.RowIgnored(record);
  return false;
}

void RecordRowCondition(BuilderState& builder, const xml::Node& condition) {
  xml::Node record = builder.templates.NewRecord(RecordKind::kPrintCondition);
  record.SetAttribute("Fmt", builder.evaluator->CurrentFormatName());
  record.SetAttribute("Key", OriginalKeyOf(condition));
  record.SetAttribute("Value", condition.AttributeOr("Value", ""));
  record.SetAttribute("RptKey", condition.AttributeOr("RptKey", ""));
  record.SetAttribute("RptIndex", condition.AttributeOr("RptIndex", ""));
  ThreadPreviewState().print_conditions.Put(record);
}

void ResolveDependents(BuilderState& builder, ResultFormat& target, const std::string& key,
                       std::int32_t repeat_position, std::int32_t offset) {
  CDependencyTable& table = *ThreadPreviewState().dependencies;
  const xml::Node entries = table.DependentIndex();
  // Most items settle with nothing waiting at all.
  if (!entries.FirstChild()) return;
  const std::string format = builder.evaluator->CurrentFormatName();

  // One frame per key being resolved: the entries waiting for it and how
  // far the walk has come.
  struct Frame {
    std::string key;
    xml::NodeList waiting;
    std::size_t next = 0;
  };
  std::vector<Frame> frames;
  frames.push_back({key, table.DependentItemsForKey(key, format), 0});
  while (!frames.empty()) {
    Frame& frame = frames.back();
    if (frame.next >= frame.waiting.Length()) {
      frames.pop_back();
      continue;
    }
    const xml::Node entry = frame.waiting.Item(frame.next++);
    if (!(entry.ParentNode() == entries)) continue;  // settled meanwhile
    const xml::Node item = table.DependentItem(entry);
    if (!item) continue;

    bool recurse = true;
    xml::Node settled;
    if (EqualsIgnoreCase(item.AttributeOr("Key", ""), frame.key) && item.GetAttribute("OrigFmt")) {
      if (EqualsIgnoreCase(item.AttributeOr("OrigFmt", ""), format)) {
        // It waits for its own key in its own format.
        settled = item.CloneNode(true);
        settled.SetAttribute("PTxt", "#CIRC");
        settled.SetAttribute("Evaluated", "-1");
        recurse = false;
      } else {
        settled = EvaluateWaitingItem(builder, item, repeat_position);
      }
    } else {
      settled = EvaluateWaitingItem(builder, item, repeat_position);
    }
    if (IsDeferred(settled)) continue;

    if (!IsRowCondition(builder, settled)) {
      DropParsedRecord(settled);
      if (settled == item) {
        PlaceItem(builder, target, settled);
      } else {
        // The "#CIRC" copy takes the item's place in the result it stands in.
        ResultFormat* owner = builder.OwnerOf(item);
        (owner ? *owner : target).PlaceItem(settled);
      }
      // The entry goes before its dependents are walked, so a walk never
      // meets an entry that is being settled further up.
      table.RemoveDependentIndex(entry);
      if (recurse) {
        std::string settled_key = settled.AttributeOr("Key", "");
        xml::NodeList waiting = table.DependentItemsForKey(settled_key, format);
        if (!waiting.Empty()) frames.push_back({std::move(settled_key), std::move(waiting), 0});
      }
      continue;
    }
    const std::string value = settled.AttributeOr("Value", "");
    if (PrintDecision(value)) {
      ThreadPreviewState().print_conditions.Remove(format, OriginalKeyOf(settled));
    } else {
      ApplyRowCondition(builder, settled, value, offset, MakesRowRecords(builder, item));
    }
    table.RemoveDependentIndex(entry);
  }
}

bool EvaluatePendingItem(BuilderState& builder, const xml::Node& entry, ResultFormat& fallback) {
  CDependencyTable& table = *ThreadPreviewState().dependencies;
  const xml::Node item = table.DependentItem(entry);
  if (!item) return false;
  builder.evaluator->CurrentFormatName(item.AttributeOr("OrigFmt", ""));
  // The repeat context the item was deferred in still applies: it is
  // evaluated in it, and keeps it while it cannot settle.
  const xml::Node evaluated = EvaluateWaitingItem(builder, item, 0);
  if (IsDeferred(evaluated)) return false;

  ResultFormat* owner = builder.OwnerOf(evaluated);
  ResultFormat& target = owner ? *owner : fallback;
  if (IsRowCondition(builder, evaluated)) {
    const std::string value = evaluated.AttributeOr("Value", "");
    const std::string upper = UpperCase(value);
    if (upper == "TRUE" || upper == "FALSE") RecordRowCondition(builder, evaluated);
    ApplyRowCondition(builder, evaluated, value, 0, MakesRowRecords(builder, item));
    table.RemoveDependentIndex(entry);
    return true;
  }
  table.RemoveDependentIndex(entry);
  DropParsedRecord(evaluated);
  target.PlaceItem(evaluated);
  ResolveDependents(builder, target, evaluated.AttributeOr("Key", ""), RepeatIndexOf(evaluated), 0);
  return true;
}

}  // namespace orvo
