#include "frame/driver_cache.h"

#include <charconv>
#include <cstdint>
#include <memory>
#include <optional>

#include "frame/provider_access.h"
#include "frame/thread_context.h"

namespace orvo {

struct DriverResults {
  xml::Node supported_product_fields;
  xml::Node ledger_period;
  xml::Node ledger_years;
  xml::Node relative_ledger_years;
  Int16 relative_current_year_index = 0;
  xml::Node account_code_structure;
  std::string repeat_default_primary_sort;
};

namespace {

DriverResults& Results() { return ThreadContext::Current().DriverResultCache().Get(); }

xml::Node Execute(const char* function) {
  std::shared_ptr<ICommand> command = GetCommandFactory()->CreateCommand(0, function);
  if (!command) RaiseError(function, "The data driver created no command");
  return command->Execute();
}

// The kept result when there is one, else the driver's answer (kept unless Nothing).
xml::Node Cached(xml::Node& slot, const char* function) {
  if (!slot) slot = Execute(function);
  return slot;
}

// The `Name` attribute of a driver answer; a missing answer or attribute raises.
std::string NameOf(const xml::Node& answer, const char* function) {
  if (!answer) RaiseError(function, "The data driver answered nothing");
  std::optional<std::string> name = answer.GetAttribute("Name");
  if (!name) RaiseError(function, "The data driver's answer has no Name");
  return *name;
}

}  // namespace

xml::Node SupportedProductFields() {
  return Cached(Results().supported_product_fields, "SupportedProductFields_DDKFunction");
}

xml::Node LedgerPeriod() { return Cached(Results().ledger_period, "LedgerPeriod_DDKFunction"); }

xml::Node LedgerYears() {
  DriverResults& results = Results();
  if (!results.ledger_years) {
    if (!LedgerPeriod()) RaiseError("Periods", "Error");
    results.ledger_years = Execute("LedgerYears_DDKFunction");
  }
  return results.ledger_years;
}

xml::Node RelativeLedgerYears() {
  return Cached(Results().relative_ledger_years, "RelativeLedgerYears_DDKFunction");
}

Int16 RelativeCurrentYearIndex() {
  constexpr const char* kFunction = "RelativeCurrentYearIndex_DDKFunction";
  DriverResults& results = Results();
  if (results.relative_current_year_index == 0) {
    std::string text = NameOf(Execute(kFunction), kFunction);
    std::int64_t value = 0;
    auto [end, code] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (code != std::errc() || end != text.data() + text.size()) {
      RaiseError(kFunction, "The data driver answered a year index that is not a whole number: \"" +
                                text + "\"");
    }
    results.relative_current_year_index = ToInt16(value);
  }
  return results.relative_current_year_index;
}

xml::Node AccountCodeStructure() {
  return Cached(Results().account_code_structure, "AccountCodeStructure_DDKFunction");
}

std::string RepeatDefaultPrimarySort() {
  constexpr const char* kFunction = "RepeatDefaultPrimarySort_DDKFunction";
  DriverResults& results = Results();
  if (results.repeat_default_primary_sort.empty()) {
    xml::Node answer = Execute(kFunction);
    if (!answer) RaiseError(kFunction, "The data driver answered nothing");
    results.repeat_default_primary_sort = answer.AttributeOr("Name", "");
  }
  return results.repeat_default_primary_sort;
}

void Refresh() { Execute("Refresh_DDKFunction"); }

}  // namespace orvo
