#include "evaluate/balance_context.h"

#include "frame/driver_cache.h"
#include "frame/provider_access.h"
#include "frame/text.h"

namespace orvo {
namespace {

constexpr char kSeparator = '\x1f';

std::string Joined(std::initializer_list<std::string_view> parts) {
  std::string joined;
  for (std::string_view part : parts) {
    joined.append(part);
    joined.push_back(kSeparator);
  }
  return joined;
}

// A whole number with an optional sign, digits only; nothing otherwise or
// when it has more digits than any ledger has years.
std::optional<std::int64_t> SignedNumber(std::string_view text) {
  if (text.empty()) return std::nullopt;
  bool negative = false;
  if (text.front() == '+' || text.front() == '-') {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() > 9) return std::nullopt;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return negative ? -value : value;
}

}  // namespace

BalanceContext BalanceContext::Default() { return {"Current", "", "", "", "Actuals"}; }

BalanceContext BalanceContext::FromColumn(const xml::Node& column) {
  return {column.AttributeOr("Year", ""), column.AttributeOr("Prd", ""),
          column.AttributeOr("PdEnd", ""), column.AttributeOr("PdBal", ""),
          column.AttributeOr("Bal", "")};
}

BalanceContext BalanceContext::FromKey(const xml::Node& key) {
  return {key.AttributeOr("Year", ""), key.AttributeOr("Prd", ""), key.AttributeOr("PrdEnd", ""),
          key.AttributeOr("PBal", ""), key.AttributeOr("Bal", "")};
}

std::string BalanceContext::Signature() const {
  return Joined({year, period, end_period, period_balance, balance});
}

std::string BalanceRequest::Signature() const {
  return Joined({year, period, end_period, period_balance, balance});
}

std::string SignatureOf(const std::vector<BalanceRequest>& requests) {
  std::string signature;
  for (const BalanceRequest& request : requests) {
    signature += request.Signature();
    signature.push_back('\x1e');
  }
  return signature;
}

std::optional<std::int64_t> YearOffset(std::string_view designation) {
  designation = Trim(designation);
  if (designation.empty() || EqualsIgnoreCase(designation, "Y") ||
      EqualsIgnoreCase(designation, "Current")) {
    return 0;
  }
  if (designation.front() != 'Y' && designation.front() != 'y') return std::nullopt;
  return SignedNumber(designation.substr(1));
}

void LedgerCalendar::LoadYears() {
  if (m_years_loaded) return;
  const xml::Node years = LedgerYears();
  for (xml::Node year = years ? years.FirstChild() : xml::Node(); year; year = year.NextSibling()) {
    if (year.Type() != xml::NodeType::kElement) continue;
    std::string name = year.AttributeOr("DDKFieldYearName", "");
    m_by_name.emplace(UpperCase(name), m_year_names.size());
    m_year_names.push_back(std::move(name));
  }
  m_current = static_cast<std::int64_t>(RelativeCurrentYearIndex()) - 1;
  m_years_loaded = true;
}

std::string LedgerCalendar::ResolveYear(std::string_view designation, int years_back) {
  LoadYears();
  std::int64_t index = -1;
  if (const std::optional<std::int64_t> offset = YearOffset(designation)) {
    // Later entries are earlier years: n years after the current one lie n
    // entries up the list.
    if (m_current >= 0) index = m_current - *offset;
  } else if (auto found = m_by_name.find(UpperCase(Trim(designation))); found != m_by_name.end()) {
    index = static_cast<std::int64_t>(found->second);
  }
  if (index < 0) return std::string();
  index += years_back;
  if (index < 0 || index >= static_cast<std::int64_t>(m_year_names.size())) return std::string();
  return m_year_names[static_cast<std::size_t>(index)];
}

std::string LedgerCalendar::CurrentPeriod() {
  if (!m_current_period) m_current_period = std::to_string(GetStoreContext()->CurrentPeriod());
  return *m_current_period;
}

std::string LedgerCalendar::ResolvePeriod(std::string_view period) {
  period = Trim(period);
  if (EqualsIgnoreCase(period, "Current Period")) return CurrentPeriod();
  return std::string(period);
}

const BalanceRequest& LedgerCalendar::Resolve(const BalanceContext& context, bool last_year) {
  std::string key = context.Signature();
  key.push_back(last_year ? '1' : '0');
  auto found = m_resolved.find(key);
  if (found != m_resolved.end()) return found->second;
  BalanceRequest request{ResolveYear(context.year, last_year ? 1 : 0),
                         ResolvePeriod(context.period), ResolvePeriod(context.end_period),
                         std::string(Trim(context.period_balance)),
                         std::string(Trim(context.balance))};
  return m_resolved.emplace(std::move(key), std::move(request)).first->second;
}

}  // namespace orvo
