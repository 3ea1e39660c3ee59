#include "evaluate/reference_resolvers.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "companions/cell_key.h"
#include "evaluate/evaluate.h"
#include "evaluate/item_bookkeeping.h"
#include "evaluate/placed_items.h"
#include "frame/column_letters.h"
#include "frame/text.h"

namespace orvo {
namespace {

using Instance = PlacedItems::Instance;

struct CellPosition {
  std::int32_t column = -1;
  std::int32_t row = -1;
};

// Column and row of a cell key. A key without a row number fails with
// "column not found"; letters that are no column give column -1.
CellPosition PositionOf(std::string_view key) {
  // At most three letters and nine digits, without spaces, read in one pass.
  {
    std::size_t i = 0;
    std::int32_t column = 0;
    for (; i < key.size() && i < 3; ++i) {
      char c = key[i];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      if (c < 'A' || c > 'Z') break;
      column = column * 26 + (c - 'A' + 1);
    }
    if (i > 0 && i < key.size() && key.size() - i <= 9) {
      std::int32_t row = 0;
      std::size_t d = i;
      for (; d < key.size() && key[d] >= '0' && key[d] <= '9'; ++d) row = row * 10 + (key[d] - '0');
      if (d == key.size()) return {column, row};
    }
  }
  key = Trim(key);
  // Letters and at most nine digits, as most keys are, read in one pass.
  std::string_view letters;
  std::string_view digits;
  if (SplitPlainCellKey(key, letters, digits) && digits.size() <= 9) {
    std::int32_t row = 0;
    for (const char c : digits) row = row * 10 + (c - '0');
    return {LetterColumnNumber(letters), row};
  }
  const std::size_t digit = key.find_first_of("0123456789");
  if (digit == std::string_view::npos) ColumnOfKey(key);  // raises "column not found"
  // (The letters are read in either case, without an upper-case copy.)
  return {LetterColumnNumber(key.substr(0, digit)), RowOfKey(key)};
}

struct Bounds {
  CellPosition first;
  CellPosition last;
  bool Valid() const { return first.column > 0 && last.column > 0; }
};

Bounds BoundsOf(std::string_view range) {
  const std::size_t colon = range.find(':');
  Bounds bounds;
  bounds.first = PositionOf(range.substr(0, colon));
  bounds.last = colon == std::string_view::npos ? bounds.first
                                                : PositionOf(range.substr(range.rfind(':') + 1));
  return bounds;
}

PlacedItems& IndexOf(EvaluationScope& scope) {
  cEvaluate& evaluator = scope.Evaluator();
  PlacedItems& index = evaluator.PlacedItemIndex();
  index.CatchUpIgnoredRows(evaluator.Sources().rows_to_ignore);
  return index;
}

// Whether a copy is meant from the referencing item's repeat context.
bool InContext(const Instance& instance, const EvaluationScope& scope) {
  if (!scope.InRepeat() || instance.rpt_index == 0) return true;
  if (instance.rpt_key != scope.RepeatKey()) return true;
  return instance.rpt_index == scope.RepeatPosition();
}

// The row copy a reference is made from, which lets the index skip the
// other copies of its repeat (InContext would skip them), or null.
std::optional<PlacedItems::Copy> CopyOf(const EvaluationScope& scope) {
  if (!scope.InRepeat()) return std::nullopt;
  return PlacedItems::Copy{scope.RepeatKey(), scope.RepeatPosition()};
}

bool Counts(const Instance& instance, const EvaluationScope& scope) {
  return !instance.ignored || scope.Evaluator().IncludeIgnoredRows();
}

// What a taken item gives: its value when evaluated; a pending one only its
// number (its Value may still be its formula text).
std::string ValueOf(const Instance& instance) {
  if (instance.evaluated) return instance.value;
  return instance.number ? instance.value : std::string();
}

// Adds drill keys to the referencing item's Drill record, made when the
// item has none and a key is added.
class DrillKeys {
 public:
  explicit DrillKeys(const xml::Node& item) : m_item(item), m_drill(DrillOf(item)) {
    if (!m_drill) return;
    const std::string keys = m_drill.AttributeOr("Key", "");
    std::size_t start = 0;
    while (start < keys.size()) {
      std::size_t comma = keys.find(',', start);
      if (comma == std::string::npos) comma = keys.size();
      const std::string_view key = Trim(std::string_view(keys).substr(start, comma - start));
      if (!key.empty()) m_keys.emplace_back(key);
      start = comma + 1;
    }
  }

  bool Full() const { return !m_item || m_keys.size() >= kMaxDrillKeys; }

  // `keys`: one key or several joined by "," (a referenced item that itself
  // took keys from its references); each is added once.
  void Add(std::string_view keys) {
    std::size_t start = 0;
    while (start < keys.size() && !Full()) {
      std::size_t comma = keys.find(',', start);
      if (comma == std::string_view::npos) comma = keys.size();
      const std::string_view key = Trim(keys.substr(start, comma - start));
      start = comma + 1;
      if (key.empty() || std::find(m_keys.begin(), m_keys.end(), key) != m_keys.end()) continue;
      m_keys.emplace_back(key);
      m_changed = true;
    }
  }

  ~DrillKeys() {
    if (!m_changed) return;
    std::string joined;
    for (const std::string& key : m_keys) {
      if (!joined.empty()) joined += ',';
      joined += key;
    }
    if (!m_drill) m_drill = DrillFor(m_item);
    m_drill.SetAttribute("On", "-1");
    m_drill.SetAttribute("Key", joined);
  }

  DrillKeys(const DrillKeys&) = delete;
  DrillKeys& operator=(const DrillKeys&) = delete;

 private:
  xml::Node m_item;
  xml::Node m_drill;
  std::vector<std::string> m_keys;
  bool m_changed = false;
};

enum class Wanted { kCell, kSum, kCells };

// The value of the items taken for a cell or range: deferred while one is
// pending below the last pass.
Resolution ValueOfTaken(const std::vector<const Instance*>& taken, EvaluationScope& scope,
                        Wanted wanted) {
  const bool last_pass = scope.Evaluator().EvaluateAllItems();
  for (const Instance* instance : taken) {
    if (!instance->evaluated && !last_pass) return Resolution::Deferred();
  }
  const bool drillable = std::any_of(taken.begin(), taken.end(), [](const Instance* instance) {
    return !instance->drill_key.empty();
  });
  if (drillable) {
    DrillKeys drill(scope.Item());
    for (const Instance* instance : taken) {
      if (drill.Full()) break;
      drill.Add(instance->drill_key);
    }
  }
  if (wanted == Wanted::kCells) {
    std::vector<std::string> values;
    values.reserve(taken.size());
    for (const Instance* instance : taken) values.push_back(ValueOf(*instance));
    return Resolution::Cells(std::move(values));
  }
  if (wanted == Wanted::kCell && taken.size() == 1)
    return Resolution::Value(ValueOf(*taken.front()));
  PlacedItems::Amount sum;
  for (const Instance* instance : taken) {
    if (instance->number) sum += *instance->number;
  }
  return Resolution::Value(sum.ToText());
}

class CellReferenceResolver : public IOperandResolver {
 public:
  Resolution Resolve(const OperandRequest& request, EvaluationScope& scope) override {
    thread_local std::string key;  // keeps its storage from call to call
    key.assign(Trim(request.text));
    MakeUpperCase(key);
    std::string_view letters;
    std::string_view digits;
    // A key without a row number fails in PositionOf.
    if (!SplitPlainCellKey(key, letters, digits)) PositionOf(key);
    cEvaluate& evaluator = scope.Evaluator();
    if (std::optional<std::string> cached = evaluator.CachedCellValue(key, scope.RepeatKey())) {
      return Resolution::Value(std::move(*cached));
    }
    bool matched = false;
    thread_local std::vector<const Instance*> taken;  // keeps its storage from call to call
    Take(key, scope, matched, taken);
    if (!matched) return Resolution::ErrorValue("#REF");
    if (taken.empty()) return Resolution::Value("0");
    return ValueOfTaken(taken, scope, Wanted::kCell);
  }

  std::int32_t CellCount(const OperandRequest& request, EvaluationScope& scope) override {
    const std::string key = UpperCase(Trim(request.text));
    PositionOf(key);
    bool matched = false;
    std::vector<const Instance*> taken;
    Take(key, scope, matched, taken);
    return static_cast<std::int32_t>(taken.size());
  }

 private:
  static void Take(const std::string& key, EvaluationScope& scope, bool& matched,
                   std::vector<const Instance*>& taken) {
    taken.clear();
    const std::optional<PlacedItems::Copy> copy = CopyOf(scope);
    for (const Instance* instance : IndexOf(scope).Instances(
             scope.Evaluator().CurrentFormatName(), key, scope.Item(), copy ? &*copy : nullptr)) {
      if (!InContext(*instance, scope)) continue;
      matched = true;
      if (Counts(*instance, scope)) taken.push_back(instance);
    }
  }
};

class RangeReferenceResolver : public IOperandResolver {
 public:
  Resolution Resolve(const OperandRequest& request, EvaluationScope& scope) override {
    const Bounds bounds = BoundsOf(request.text);
    if (!bounds.Valid()) return Resolution::ErrorValue("#REF");
    PlacedItems& index = IndexOf(scope);
    cEvaluate& evaluator = scope.Evaluator();
    const std::string& format = evaluator.CurrentFormatName();
    if (scope.InRepeat() || request.wants_cells) {
      return ValueOfTaken(Take(index, bounds, scope), scope,
                          request.wants_cells ? Wanted::kCells : Wanted::kSum);
    }
    const bool include_ignored = evaluator.IncludeIgnoredRows();
    const PlacedItems::RangeTotals totals =
        index.Totals(format, bounds.first.column, bounds.last.column, bounds.first.row,
                     bounds.last.row, include_ignored, scope.Item());
    m_counted_serial = scope.Serial();
    m_counted_range.assign(request.text);
    m_counted_cells = totals.cells;
    if (totals.pending > 0 && !evaluator.EvaluateAllItems()) return Resolution::Deferred();
    if (totals.drillable > 0) {
      DrillKeys drill(scope.Item());
      index.ForEachInRange(
          format, bounds.first.column, bounds.last.column, bounds.first.row, bounds.last.row, true,
          [&](const Instance& instance) {
            if (Counts(instance, scope)) drill.Add(instance.drill_key);
            return !drill.Full();
          },
          scope.Item());
    }
    return Resolution::Value(totals.sum.ToText());
  }

  std::int32_t CellCount(const OperandRequest& request, EvaluationScope& scope) override {
    const Bounds bounds = BoundsOf(request.text);
    if (!bounds.Valid()) return 0;
    PlacedItems& index = IndexOf(scope);
    std::int64_t cells = 0;
    if (scope.InRepeat()) {
      cells = static_cast<std::int64_t>(Take(index, bounds, scope).size());
    } else if (scope.Serial() == m_counted_serial && request.text == m_counted_range) {
      // Counted when the range was resolved for the same item (Avg divides by it).
      cells = m_counted_cells;
    } else {
      cells = index
                  .Totals(scope.Evaluator().CurrentFormatName(), bounds.first.column,
                          bounds.last.column, bounds.first.row, bounds.last.row,
                          scope.Evaluator().IncludeIgnoredRows(), scope.Item())
                  .cells;
    }
    return static_cast<std::int32_t>(std::min<std::int64_t>(cells, INT32_MAX));
  }

 private:
  // The range Resolve totalled last, in the scope of that serial, and its cells.
  std::uint64_t m_counted_serial = 0;
  std::string m_counted_range;
  std::int64_t m_counted_cells = 0;

  // The items taken, in a list that keeps its storage from call to call
  // (valid until the next call).
  static const std::vector<const Instance*>& Take(PlacedItems& index, const Bounds& bounds,
                                                  EvaluationScope& scope) {
    thread_local std::vector<const Instance*> taken;
    taken.clear();
    const std::optional<PlacedItems::Copy> copy = CopyOf(scope);
    index.ForEachInRange(
        scope.Evaluator().CurrentFormatName(), bounds.first.column, bounds.last.column,
        bounds.first.row, bounds.last.row, false,
        [&](const Instance& instance) {
          if (InContext(instance, scope) && Counts(instance, scope)) {
            taken.push_back(&instance);
          }
          return true;
        },
        scope.Item(), copy ? &*copy : nullptr);
    return taken;
  }
};

}  // namespace

std::shared_ptr<IOperandResolver> MakeCellReferenceResolver() {
  return std::make_shared<CellReferenceResolver>();
}

std::shared_ptr<IOperandResolver> MakeRangeReferenceResolver() {
  return std::make_shared<RangeReferenceResolver>();
}

}  // namespace orvo
