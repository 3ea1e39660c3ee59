// One data-driver command: a function of the ledger driver, its filters, and
// Execute, which answers an XML element named after the function.
//
//   auto command = factory.CreateCommand(0, "AccountValue_DDKFunction");
//   command->definition().Filters().Add("#1", std::nullopt, "CODE", "4000");
//   xml::Node answer = command->Execute();  // <AccountValue_DDKFunction AMOUNT=".." .../>
//
// Filters are found by field name (any case); several filters with the same
// field, and array values, are read as one list in the order they were added.
// docs/ledger.md lists every function's filters and answer.
#ifndef ORVO_LEDGER_LEDGER_COMMAND_H_
#define ORVO_LEDGER_LEDGER_COMMAND_H_

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ledger/ledger_session.h"
#include "orvo/data_driver.h"

namespace orvo::ledger {

enum class LedgerFunction {
  kSupportedProductFields,
  kLedgerPeriod,
  kLedgerYears,
  kRelativeLedgerYears,
  kRelativeCurrentYearIndex,
  kAccountCodeStructure,
  kRepeatDefaultPrimarySort,
  kDriverDynamicColumnConfiguration,
  kTallixYear,
  kTallixPeriod,
  kAccountValue,
  kRepeatingBalance,
  kRefresh,
};

// The function of that name (any case), or nothing.
std::optional<LedgerFunction> FindLedgerFunction(std::string_view name);
const char* LedgerFunctionName(LedgerFunction function);

// The filters of a command, kept in the order they were added.
class CLedgerFilters : public ICommandFilters {
 public:
  void Clear() override { m_filters.clear(); }
  void Add(const std::string& key, std::optional<std::int32_t> option, const std::string& field,
           const FilterValue& value, std::optional<std::int32_t> mode = std::nullopt,
           std::optional<std::int32_t> extra = std::nullopt) override;

  // The first value given for the field, or nothing.
  std::optional<std::string_view> Value(std::string_view field) const;
  // Every value given for the field, arrays flattened, in order.
  std::vector<std::string> Values(std::string_view field) const;
  bool Has(std::string_view field) const;

 private:
  struct Filter {
    std::string key;
    std::string field;
    FilterValue value;
  };
  std::vector<Filter> m_filters;
};

class CLedgerCommand : public ICommand, public ICommandDefinition {
 public:
  CLedgerCommand(LedgerFunction function, std::shared_ptr<CLedgerSession> session);

  ICommandDefinition& definition() override { return *this; }
  ICommandFilters& Filters() override { return m_filters; }
  xml::Node Execute() override;

 private:
  xml::Node SupportedProductFields();
  xml::Node LedgerPeriodAnswer();
  xml::Node LedgerYears();
  xml::Node RelativeLedgerYears();
  xml::Node RelativeCurrentYearIndex();
  xml::Node AccountCodeStructure();
  xml::Node RepeatDefaultPrimarySort();
  xml::Node DriverDynamicColumnConfiguration();
  xml::Node TallixYear();
  xml::Node TallixPeriod();
  xml::Node AccountValue();
  xml::Node Refresh();

  xml::Node NewAnswer();
  const char* Source() const { return LedgerFunctionName(m_function); }

  LedgerFunction m_function;
  std::shared_ptr<CLedgerSession> m_session;
  CLedgerFilters m_filters;
};

}  // namespace orvo::ledger

#endif  // ORVO_LEDGER_LEDGER_COMMAND_H_
