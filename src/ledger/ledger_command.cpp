#include "ledger/ledger_command.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

#include "frame/text.h"
#include "ledger/repeating_balance.h"
#include "orvo/error.h"

namespace orvo::ledger {
namespace {

struct FunctionName {
  LedgerFunction function;
  const char* name;
};

constexpr std::array<FunctionName, 13> kFunctions = {{
    {LedgerFunction::kSupportedProductFields, "SupportedProductFields_DDKFunction"},
    {LedgerFunction::kLedgerPeriod, "LedgerPeriod_DDKFunction"},
    {LedgerFunction::kLedgerYears, "LedgerYears_DDKFunction"},
    {LedgerFunction::kRelativeLedgerYears, "RelativeLedgerYears_DDKFunction"},
    {LedgerFunction::kRelativeCurrentYearIndex, "RelativeCurrentYearIndex_DDKFunction"},
    {LedgerFunction::kAccountCodeStructure, "AccountCodeStructure_DDKFunction"},
    {LedgerFunction::kRepeatDefaultPrimarySort, "RepeatDefaultPrimarySort_DDKFunction"},
    {LedgerFunction::kDriverDynamicColumnConfiguration,
     "DriverDynamicColumnConfiguration_DDKFunction"},
    {LedgerFunction::kTallixYear, "TallixYear_DDKFunction"},
    {LedgerFunction::kTallixPeriod, "TallixPeriod_DDKFunction"},
    {LedgerFunction::kAccountValue, "AccountValue_DDKFunction"},
    {LedgerFunction::kRepeatingBalance, "RepeatingBalance_DDKFunction"},
    {LedgerFunction::kRefresh, "Refresh_DDKFunction"},
}};

// Fields a formula can name in a repeat or in AccountValue.
struct ProductField {
  const char* name;
  const char* description;
};
constexpr std::array<ProductField, 6> kProductFields = {{
    {"AMOUNT", "Balance: debit minus credit"},
    {"CODE", "Account code"},
    {"DESCRIPTION", "Account description"},
    {"TYPE", "Account type"},
    {"DEBIT", "Debit movements"},
    {"CREDIT", "Credit movements"},
}};

std::string RelativeYearName(int index, int current) {
  int distance = index - current;
  if (distance == 0) return "Y";
  return distance > 0 ? "Y-" + std::to_string(distance) : "Y+" + std::to_string(-distance);
}

}  // namespace

std::optional<LedgerFunction> FindLedgerFunction(std::string_view name) {
  for (const FunctionName& entry : kFunctions) {
    if (EqualsIgnoreCase(entry.name, name)) return entry.function;
  }
  return std::nullopt;
}

const char* LedgerFunctionName(LedgerFunction function) {
  for (const FunctionName& entry : kFunctions) {
    if (entry.function == function) return entry.name;
  }
  return "";
}

void CLedgerFilters::Add(const std::string& key, std::optional<std::int32_t>,
                         const std::string& field, const FilterValue& value,
                         std::optional<std::int32_t>, std::optional<std::int32_t>) {
  m_filters.push_back(Filter{key, field, value});
}

std::optional<std::string_view> CLedgerFilters::Value(std::string_view field) const {
  for (const Filter& filter : m_filters) {
    if (!EqualsIgnoreCase(filter.field, field)) continue;
    if (const auto* text = std::get_if<std::string>(&filter.value)) return *text;
    const auto& list = std::get<std::vector<std::string>>(filter.value);
    if (!list.empty()) return list.front();
  }
  return std::nullopt;
}

std::vector<std::string> CLedgerFilters::Values(std::string_view field) const {
  std::vector<std::string> values;
  for (const Filter& filter : m_filters) {
    if (!EqualsIgnoreCase(filter.field, field)) continue;
    if (const auto* text = std::get_if<std::string>(&filter.value)) {
      values.push_back(*text);
    } else {
      const auto& list = std::get<std::vector<std::string>>(filter.value);
      values.insert(values.end(), list.begin(), list.end());
    }
  }
  return values;
}

bool CLedgerFilters::Has(std::string_view field) const {
  return std::any_of(m_filters.begin(), m_filters.end(),
                     [&](const Filter& filter) { return EqualsIgnoreCase(filter.field, field); });
}

CLedgerCommand::CLedgerCommand(LedgerFunction function, std::shared_ptr<CLedgerSession> session)
    : m_function(function), m_session(std::move(session)) {}

xml::Node CLedgerCommand::Execute() {
  // Refresh closes the database; the product fields are no ledger data.
  if (m_function == LedgerFunction::kRefresh) return Refresh();
  if (m_function == LedgerFunction::kSupportedProductFields) return SupportedProductFields();
  CLedgerDatabase::ReadScope reading(m_session->Database());
  switch (m_function) {
    case LedgerFunction::kSupportedProductFields:
      return SupportedProductFields();
    case LedgerFunction::kLedgerPeriod:
      return LedgerPeriodAnswer();
    case LedgerFunction::kLedgerYears:
      return LedgerYears();
    case LedgerFunction::kRelativeLedgerYears:
      return RelativeLedgerYears();
    case LedgerFunction::kRelativeCurrentYearIndex:
      return RelativeCurrentYearIndex();
    case LedgerFunction::kAccountCodeStructure:
      return AccountCodeStructure();
    case LedgerFunction::kRepeatDefaultPrimarySort:
      return RepeatDefaultPrimarySort();
    case LedgerFunction::kDriverDynamicColumnConfiguration:
      return DriverDynamicColumnConfiguration();
    case LedgerFunction::kTallixYear:
      return TallixYear();
    case LedgerFunction::kTallixPeriod:
      return TallixPeriod();
    case LedgerFunction::kAccountValue:
      return AccountValue();
    case LedgerFunction::kRepeatingBalance: {
      CRepeatingBalance request(m_session->Database(), m_filters);
      return request.Execute(m_session->Scratch());
    }
    case LedgerFunction::kRefresh:
      return Refresh();
  }
  return {};
}

xml::Node CLedgerCommand::NewAnswer() { return m_session->Scratch().CreateElement(Source()); }

xml::Node CLedgerCommand::SupportedProductFields() {
  xml::Node answer = NewAnswer();
  const xml::Document& scratch = m_session->Scratch();
  for (const ProductField& field : kProductFields) {
    xml::Node child = answer.AppendChild(scratch.CreateElement("Field"));
    child.SetAttribute("Name", field.name);
    child.SetAttribute("Description", field.description);
  }
  return answer;
}

xml::Node CLedgerCommand::LedgerPeriodAnswer() {
  CLedgerDatabase& database = m_session->Database();
  int current = database.CurrentYearIndex();
  // "Nothing" tells the caller the ledger has no periods to report on.
  if (current < 0) return {};
  const LedgerYear& year = database.Years()[static_cast<std::size_t>(current)];
  std::vector<LedgerPeriod> periods = database.Periods(year);
  auto period = std::find_if(periods.begin(), periods.end(), [&](const LedgerPeriod& candidate) {
    return candidate.id == database.CurrentPeriod();
  });
  if (period == periods.end()) return {};
  xml::Node answer = NewAnswer();
  answer.SetAttribute("DDKFieldYearName", year.name);
  answer.SetAttribute("DDKFieldPeriodID", std::to_string(period->id));
  answer.SetAttribute("DDKFieldPeriodName", period->name);
  answer.SetAttribute("DDKFieldPeriodStart", period->start_date);
  answer.SetAttribute("DDKFieldPeriodEnd", period->end_date);
  answer.SetAttribute("DDKFieldPeriodCount", std::to_string(periods.size()));
  return answer;
}

xml::Node CLedgerCommand::LedgerYears() {
  CLedgerDatabase& database = m_session->Database();
  const std::vector<LedgerYear>& years = database.Years();
  bool any_periods = std::any_of(years.begin(), years.end(),
                                 [](const LedgerYear& year) { return year.period_count > 0; });
  if (!any_periods) RaiseError("Periods", "Error");
  xml::Node answer = NewAnswer();
  const xml::Document& scratch = m_session->Scratch();
  for (std::size_t i = 0; i < years.size(); ++i) {
    xml::Node child = answer.AppendChild(scratch.CreateElement("Year"));
    child.SetAttribute("DDKFieldYearName", years[i].name);
    child.SetAttribute("DDKFieldYearDescription", years[i].description);
    child.SetAttribute("DDKFieldYearStart", years[i].start_date);
    child.SetAttribute("DDKFieldYearEnd", years[i].end_date);
    child.SetAttribute("DDKFieldPeriodCount", std::to_string(years[i].period_count));
    child.SetAttribute("DDKFieldCurrentYear",
                       static_cast<int>(i) == database.CurrentYearIndex() ? "-1" : "0");
  }
  return answer;
}

xml::Node CLedgerCommand::RelativeLedgerYears() {
  CLedgerDatabase& database = m_session->Database();
  xml::Node answer = NewAnswer();
  const xml::Document& scratch = m_session->Scratch();
  const std::vector<LedgerYear>& years = database.Years();
  for (std::size_t i = 0; i < years.size(); ++i) {
    xml::Node child = answer.AppendChild(scratch.CreateElement("Year"));
    child.SetAttribute("Name", RelativeYearName(static_cast<int>(i), database.CurrentYearIndex()));
    child.SetAttribute("DDKFieldYearName", years[i].name);
  }
  return answer;
}

xml::Node CLedgerCommand::RelativeCurrentYearIndex() {
  xml::Node answer = NewAnswer();
  answer.SetAttribute("Name", std::to_string(m_session->Database().CurrentYearIndex() + 1));
  return answer;
}

xml::Node CLedgerCommand::AccountCodeStructure() {
  xml::Node answer = NewAnswer();
  const xml::Document& scratch = m_session->Scratch();
  for (const CodeSegment& segment : m_session->Database().CodeSegments()) {
    xml::Node child = answer.AppendChild(scratch.CreateElement("Segment"));
    child.SetAttribute("DDKFieldSegmentPosition", std::to_string(segment.position));
    child.SetAttribute("DDKFieldSegmentName", segment.name);
    child.SetAttribute("DDKFieldSegmentLength", std::to_string(segment.length));
    child.SetAttribute("DDKFieldAccountCodeSplitter", segment.splitter);
  }
  return answer;
}

xml::Node CLedgerCommand::RepeatDefaultPrimarySort() {
  std::string sort = m_session->Database().Setting("default_sort");
  xml::Node answer = NewAnswer();
  answer.SetAttribute("Name", sort.empty() ? "CODE" : sort);
  return answer;
}

xml::Node CLedgerCommand::DriverDynamicColumnConfiguration() {
  std::string name(m_filters.Value("Name").value_or(""));
  std::string definition = m_session->Database().ColumnConfiguration(name);
  if (definition.empty()) {
    // No stored configuration: an empty one, so the caller inserts no columns.
    xml::Node answer = m_session->Scratch().CreateElement("DC");
    answer.SetAttribute("Key", UpperCase(name));
    return answer;
  }
  xml::Document stored;
  ResumeNext resume;
  resume.Step([&] { stored = xml::Document::Parse(definition); });
  if (resume.IsErrorPending()) {
    RaiseError(Source(), "Column configuration '" + name + "' in ledger file '" +
                             m_session->Database().Path() + "' is not well-formed XML (" +
                             resume.Pending()->Description() + ")");
  }
  return stored.DocumentElement();
}

xml::Node CLedgerCommand::TallixYear() {
  CLedgerDatabase& database = m_session->Database();
  const LedgerYear* year =
      database.ResolveYear(m_filters.Value("DDKFieldYearName").value_or(""), Source());
  xml::Node answer = NewAnswer();
  answer.SetAttribute("DDKFieldYearName", year ? year->name : "");
  answer.SetAttribute("DDKFieldYearDescription", year ? year->description : "");
  answer.SetAttribute("DDKFieldYearStart", year ? year->start_date : "");
  answer.SetAttribute("DDKFieldYearEnd", year ? year->end_date : "");
  return answer;
}

xml::Node CLedgerCommand::TallixPeriod() {
  CLedgerDatabase& database = m_session->Database();
  const LedgerYear* year =
      database.ResolveYear(m_filters.Value("DDKFieldYearName").value_or(""), Source());
  xml::Node answer = NewAnswer();
  if (year == nullptr) {
    for (const char* name : {"DDKFieldYearName", "DDKFieldPeriodID", "DDKFieldPeriodName",
                             "DDKFieldPeriodStart", "DDKFieldPeriodEnd"}) {
      answer.SetAttribute(name, "");
    }
    return answer;
  }
  LedgerPeriod period =
      database.Period(*year, m_filters.Value("DDKFieldPeriodID").value_or(""), Source());
  answer.SetAttribute("DDKFieldYearName", year->name);
  answer.SetAttribute("DDKFieldPeriodID", std::to_string(period.id));
  answer.SetAttribute("DDKFieldPeriodName", period.name);
  answer.SetAttribute("DDKFieldPeriodStart", period.start_date);
  answer.SetAttribute("DDKFieldPeriodEnd", period.end_date);
  return answer;
}

xml::Node CLedgerCommand::AccountValue() {
  CLedgerDatabase& database = m_session->Database();
  std::string code = UpperCase(m_filters.Value("CODE").value_or(""));
  std::string field = UpperCase(m_filters.Value("FIELD").value_or("AMOUNT"));
  if (code.empty()) RaiseError(Source(), "No account code given (filter CODE)");
  if (std::none_of(kProductFields.begin(), kProductFields.end(),
                   [&](const ProductField& known) { return field == known.name; })) {
    RaiseError(Source(), "Unknown account field '" + field + "'");
  }

  const LedgerYear* year =
      database.ResolveYear(m_filters.Value("DDKFieldYearName").value_or("Current"), Source());
  std::int64_t balance_type =
      database.BalanceTypeId(m_filters.Value("DDKFieldBalanceType").value_or(""), Source());
  PeriodSpan span;
  if (year != nullptr) {
    std::optional<std::string_view> start = m_filters.Value("DDKFieldBalanceStartPeriod");
    std::optional<std::string_view> end = m_filters.Value("DDKFieldBalanceEndPeriod");
    bool has_range = (start && !start->empty()) || (end && !end->empty());
    span = database.ResolvePeriodSpan(*year, start.value_or(""), end.value_or(""),
                                      m_filters.Value("DDKFieldBalancePeriodBalType").value_or(""),
                                      has_range, Source());
  }
  AccountTotals totals = database.AccountBalance(code, year, balance_type, span);
  if (!totals.found) {
    RaiseError(Source(),
               "Account '" + code + "' does not exist in ledger file '" + database.Path() + "'");
  }

  xml::Node answer = NewAnswer();
  answer.SetAttribute("CODE", code);
  answer.SetAttribute("FIELD", field);
  answer.SetAttribute("AMOUNT", FormatCents(totals.debit - totals.credit));
  answer.SetAttribute("DEBIT", FormatCents(totals.debit));
  answer.SetAttribute("CREDIT", FormatCents(totals.credit));
  answer.SetAttribute("DESCRIPTION", totals.description);
  answer.SetAttribute("TYPE", totals.account_type);
  return answer;
}

xml::Node CLedgerCommand::Refresh() {
  m_session->Refresh();
  return NewAnswer();
}

}  // namespace orvo::ledger
