#include "evaluate/operand_resolver.h"

#include <charconv>

#include "evaluate/evaluate.h"
#include "evaluate/ledger_amounts.h"
#include "evaluate/reference_resolvers.h"
#include "frame/column_letters.h"
#include "frame/named_range_lookup.h"
#include "frame/text.h"

namespace orvo {
namespace {

// Row and column number of a cell key ("C12"); nothing for other text.
std::optional<std::pair<std::int32_t, std::int32_t>> CellOf(std::string_view key) {
  key = Trim(key);
  const std::size_t digit = key.find_first_of("0123456789");
  if (digit == std::string_view::npos || digit == 0) return std::nullopt;
  std::int32_t row = 0;
  const std::string_view digits = key.substr(digit);
  const auto [end, failure] = std::from_chars(digits.data(), digits.data() + digits.size(), row);
  if (failure != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  const std::int16_t column = LetterColumnNumber(UpperCase(key.substr(0, digit)));
  if (column < 0) return std::nullopt;
  return std::make_pair(row, static_cast<std::int32_t>(column));
}

// An operand that stands for itself.
class AsWrittenResolver : public IOperandResolver {
 public:
  Resolution Resolve(const OperandRequest& request, EvaluationScope&) override {
    return Resolution::Value(std::string(request.text));
  }
};

// %Heading%: the heading's name between the percent signs.
class HeadingResolver : public IOperandResolver {
 public:
  Resolution Resolve(const OperandRequest& request, EvaluationScope&) override {
    std::string_view name = request.text;
    if (name.size() >= 2 && name.front() == '%' && name.back() == '%') {
      name = name.substr(1, name.size() - 2);
    }
    return Resolution::Value(std::string(name));
  }
};

// A named range: its value recorded in the build's named-range values.
// Ranges are valued format by format, after the format's rows, so a defined
// range not valued yet waits until the named-range pass; after it, and for
// a name no definition holds, the value is "#REF".
class NamedRangeResolver : public IOperandResolver {
 public:
  Resolution Resolve(const OperandRequest& request, EvaluationScope& scope) override {
    const std::string name = UpperCase(Trim(request.text));
    cEvaluate& evaluator = scope.Evaluator();
    const xml::Node record = evaluator.NamedRangeValue(name);
    if (record) return Resolution::Value(record.AttributeOr("Value", ""));
    if (!evaluator.ForceLevel2Eval() && !evaluator.EvaluateAllItems() && IsNamedRange(name)) {
      return Resolution::Deferred();
    }
    return Resolution::ErrorValue("#REF");
  }
};

// Until their resolvers are plugged in: what an unresolvable reference gives.
class UnresolvedResolver : public IOperandResolver {
 public:
  explicit UnresolvedResolver(std::string error_value) : m_error_value(std::move(error_value)) {}
  Resolution Resolve(const OperandRequest&, EvaluationScope&) override {
    return Resolution::ErrorValue(m_error_value);
  }

 private:
  std::string m_error_value;
};

}  // namespace

OperandKind KindOf(OperandType type) {
  switch (type) {
    case OperandType::kHeading:
      return OperandKind::kHeading;
    case OperandType::kBookmark:
    case OperandType::kUnresolvedBookmark:
      return OperandKind::kBookmark;
    case OperandType::kBoolean:
      return OperandKind::kBoolean;
    case OperandType::kRange:
      return OperandKind::kRange;
    case OperandType::kCell:
      return OperandKind::kCell;
    case OperandType::kChartMap:
    case OperandType::kChartMapLastYear:
      return OperandKind::kChartMap;
    case OperandType::kDatabaseMap:
    case OperandType::kDatabaseMapLastYear:
      return OperandKind::kDatabaseMap;
    case OperandType::kDriverField:
    case OperandType::kDriverFieldLastYear:
      return OperandKind::kDriverField;
    case OperandType::kNamedRange:
    case OperandType::kUnresolvedName:
      return OperandKind::kNamedRange;
  }
  return OperandKind::kNamedRange;
}

std::int32_t IOperandResolver::CellCount(const OperandRequest& request, EvaluationScope&) {
  if (request.type != OperandType::kRange) return 1;
  const std::string_view text = request.text;
  const std::size_t colon = text.find(':');
  const auto first = CellOf(text.substr(0, colon));
  const auto last =
      colon == std::string_view::npos ? first : CellOf(text.substr(text.rfind(':') + 1));
  if (!first || !last) return 1;
  const std::int64_t rows = std::abs(static_cast<std::int64_t>(last->first) - first->first) + 1;
  const std::int64_t columns =
      std::abs(static_cast<std::int64_t>(last->second) - first->second) + 1;
  return static_cast<std::int32_t>(std::min<std::int64_t>(rows * columns, INT32_MAX));
}

std::shared_ptr<IOperandResolver> DefaultOperandResolver(OperandKind kind) {
  switch (kind) {
    case OperandKind::kHeading:
      return std::make_shared<HeadingResolver>();
    case OperandKind::kBookmark:
    case OperandKind::kBoolean:
      return std::make_shared<AsWrittenResolver>();
    case OperandKind::kNamedRange:
      return std::make_shared<NamedRangeResolver>();
    case OperandKind::kCell:
      return MakeCellReferenceResolver();
    case OperandKind::kRange:
      return MakeRangeReferenceResolver();
    case OperandKind::kChartMap:
    case OperandKind::kDatabaseMap:
    case OperandKind::kDriverField:
      return LedgerOperandResolver(kind);
  }
  return std::make_shared<UnresolvedResolver>("#ERROR");
}

std::shared_ptr<IFunctionResolver> DefaultFunctionResolver() { return LedgerFunctionResolver(); }

std::shared_ptr<IRepeatExpander> DefaultRepeatExpander() { return LedgerRepeatExpander(); }

}  // namespace orvo
