#include "evaluate/driver_requests.h"

#include "frame/provider_access.h"
#include "frame/text.h"

namespace orvo {
namespace {

constexpr const char* kTrue = "-1";
constexpr const char* kFalse = "0";

std::shared_ptr<ICommand> NewCommand(const char* function) {
  std::shared_ptr<ICommand> command = GetCommandFactory()->CreateCommand(0, function);
  command->definition().Filters().Clear();
  return command;
}

std::string FieldOf(const xml::Node& answer, std::string_view field) {
  if (!answer) return std::string();
  const xml::Node value = answer.Attributes().GetNamedItem(field);
  return value ? value.Text() : std::string();
}

xml::Node FirstElement(const xml::Node& parent) {
  for (xml::Node child = parent ? parent.FirstChild() : xml::Node(); child;
       child = child.NextSibling()) {
    if (child.Type() == xml::NodeType::kElement) return child;
  }
  return {};
}

}  // namespace

std::string AmountField(std::size_t k) {
  return k <= 1 ? std::string("AMOUNT") : "AMOUNT" + std::to_string(k);
}

std::string RequestAccountValue(std::string_view code, std::string_view field,
                                const BalanceRequest& balance) {
  std::shared_ptr<ICommand> command = NewCommand("AccountValue_DDKFunction");
  ICommandFilters& filters = command->definition().Filters();
  const std::string field_name = UpperCase(field);
  filters.Add("#1", std::nullopt, "CODE", UpperCase(code));
  filters.Add("#2", std::nullopt, "FIELD", field_name);
  filters.Add("#3", std::nullopt, "DDKFieldYearName", balance.year);
  filters.Add("#4", std::nullopt, "DDKFieldBalanceType", balance.balance);
  if (balance.HasPeriodRange()) {
    filters.Add("DDKFieldBalanceStartPeriod", 0, "DDKFieldBalanceStartPeriod", balance.period, 2);
    filters.Add("DDKFieldBalanceEndPeriod", 0, "DDKFieldBalanceEndPeriod", balance.end_period, 2);
    filters.Add("DDKFieldBalancePeriodBalType", 0, "DDKFieldBalancePeriodBalType",
                balance.period_balance, 2);
  }
  return FieldOf(command->Execute(), field_name);
}

std::string RequestYearName(std::string_view year) {
  std::shared_ptr<ICommand> command = NewCommand("TallixYear_DDKFunction");
  command->definition().Filters().Add("#1", std::nullopt, "DDKFieldYearName", std::string(year));
  return FieldOf(command->Execute(), "DDKFieldYearName");
}

std::string RequestPeriodEnd(std::string_view year, std::string_view period) {
  std::shared_ptr<ICommand> command = NewCommand("TallixPeriod_DDKFunction");
  ICommandFilters& filters = command->definition().Filters();
  filters.Add("#1", std::nullopt, "DDKFieldYearName", std::string(year));
  filters.Add("#2", std::nullopt, "DDKFieldPeriodID", std::string(period));
  return FieldOf(command->Execute(), "DDKFieldPeriodEnd");
}

xml::Node RequestRepeatingBalance(const std::vector<AccountRange>& ranges,
                                  const std::vector<BalanceRequest>& keys, bool show_sub_codes,
                                  bool show_zero_balances) {
  std::vector<std::string> from, to, stepping, allow_credit, allow_debit;
  for (const AccountRange& range : ranges) {
    from.push_back(range.from);
    to.push_back(range.to);
    stepping.push_back(range.stepping);
    allow_credit.push_back(range.allow_credit ? kTrue : kFalse);
    allow_debit.push_back(range.allow_debit ? kTrue : kFalse);
  }
  std::vector<std::string> types, years, with_periods, starts, ends, period_balances;
  for (const BalanceRequest& key : keys) {
    types.push_back(key.balance);
    years.push_back(key.year);
    with_periods.push_back(key.HasPeriodRange() ? kTrue : kFalse);
    if (!key.HasPeriodRange()) continue;
    starts.push_back(key.period);
    ends.push_back(key.end_period);
    period_balances.push_back(key.period_balance);
  }

  std::shared_ptr<ICommand> command = NewCommand("RepeatingBalance_DDKFunction");
  ICommandFilters& filters = command->definition().Filters();
  auto add = [&](const char* field, std::vector<std::string> values) {
    filters.Add(field, std::nullopt, field, std::move(values));
  };
  add("DDKFieldFromCode", std::move(from));
  add("DDKFieldToCode", std::move(to));
  add("DDKFieldCodeStepping", std::move(stepping));
  add("DDKFieldAllowCredit", std::move(allow_credit));
  add("DDKFieldAllowDebit", std::move(allow_debit));
  add("DDKFieldBalanceType", std::move(types));
  add("DDKFieldYearName", std::move(years));
  add("DDKFieldBalancePeriods", std::move(with_periods));
  if (!starts.empty()) {
    add("DDKFieldBalanceStartPeriod", std::move(starts));
    add("DDKFieldBalanceEndPeriod", std::move(ends));
    add("DDKFieldBalancePeriodBalType", std::move(period_balances));
  }
  filters.Add("ShowSubCodes", std::nullopt, "ShowSubCodes", show_sub_codes ? kTrue : kFalse);
  filters.Add("ShowZeroBalances", std::nullopt, "ShowZeroBalances",
              show_zero_balances ? kTrue : kFalse);

  xml::Node records = FirstElement(command->Execute());
  if (!records) records = xml::Document::Create().CreateElement("Records");
  return records;
}

}  // namespace orvo
