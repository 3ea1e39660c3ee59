// Settling items: registering the ones that must wait, placing the settled
// ones into their result, evaluating again the items that wait for a key
// once it is settled, and the effect of row print conditions.
//
// An item waits for the furthest cell its formula references (the Max of
// its parsed record, kept up to date by the evaluator); an item deferred for
// another reason (a note number, a page number) waits for "", a key no item
// has, so only the evaluation passes take it up again.
//
// ResolveDependents walks its chains without recursion (an explicit stack of
// the lists being walked), so a chain of any length costs no stack. An item
// that waits for its own key in its own format is shown as "#CIRC"; items
// that wait for each other stay deferred until the last pass.
//
// Threading: one thread (the builder's).
#ifndef ORVO_PREVIEW_DEPENDENTS_H_
#define ORVO_PREVIEW_DEPENDENTS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "orvo/xml.h"

namespace orvo {

struct BuilderState;
struct RepeatContext;
class ResultFormat;

// Whether an item is a row print condition (its column is the "PRINT" column).
bool IsRowCondition(const BuilderState& builder, const xml::Node& item);

// Registers a deferred item in the dependency table under its wait key and
// format, with its repeat context (DepData) when it stands in a repeat.
void DeferItem(BuilderState& builder, const xml::Node& item, const RepeatContext* repeat);

// A settled item is never evaluated again: its parsed record has served, and
// on a report of tens of thousands of rows it is most of the memory an item
// holds. Takes the record (parsed or bare) off a settled item (Evaluated
// "-1"): an item without one reads as one with the bare record, and the
// preview leaves records out. Anything else is left alone.
void DropParsedRecord(const xml::Node& item);

// Puts an evaluated item into the result it stands in (or `target` when it
// stands in none).
void PlaceItem(BuilderState& builder, ResultFormat& target, const xml::Node& item);

// Evaluates again the items waiting for `key` in the current format, places
// the settled ones (and resolves what waits for them), marks self-waiting
// items "#CIRC" and applies settled row print conditions. `offset` is added
// to the row of a row print condition to give its body row.
void ResolveDependents(BuilderState& builder, ResultFormat& target, const std::string& key,
                       std::int32_t repeat_position, std::int32_t offset);

// A row print condition `condition` settled with `value` on body row
// `condition`'s Row + `offset`. A row that does not print gets a Row record
// (Del and Keep "-1"; an existing record with Del "0" is turned) when
// `body_row`, and a RowIgn record always. Returns whether the row prints.
bool ApplyRowCondition(BuilderState& builder, const xml::Node& condition, std::string_view value,
                       std::int32_t offset, bool body_row);

// Records a settled row print condition as an EPRC, replacing the earlier
// record of its format and key.
void RecordRowCondition(BuilderState& builder, const xml::Node& condition);

// Whether row print conditions of `item`'s kind make Row records (body rows).
bool MakesRowRecords(const BuilderState& builder, const xml::Node& item);

// The per-item handling of the evaluation passes (and of the pending items
// of a format just evaluated): the dependency entry `entry`'s item is
// evaluated again in its own format; when settled, a row print condition is
// recorded and applied, the entry is removed and the item's dependents are
// resolved. Returns whether the item settled.
bool EvaluatePendingItem(BuilderState& builder, const xml::Node& entry, ResultFormat& fallback);

}  // namespace orvo

#endif  // ORVO_PREVIEW_DEPENDENTS_H_
