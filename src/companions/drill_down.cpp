#include "orvo/drill_down.h"

#include <charconv>

#include "frame/text.h"
#include "frame/text_value.h"
#include "orvo/error.h"

namespace orvo {
namespace {

constexpr std::string_view kDrillKeyPrefix = "DRILLITEM";

// Appends the decimal digits of a count (as LongToText writes it).
void AppendNumber(std::string& text, std::int64_t number) {
  char digits[24];
  const char* end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  text.append(digits, static_cast<std::size_t>(end - digits));
}

// The number n of a drill key written "DrillItem" + n (any letter case, n
// without sign or leading zeros: the keys this object issues), or 0.
std::int64_t DrillItemNumber(std::string_view key) {
  if (key.size() <= kDrillKeyPrefix.size() || key.size() > kDrillKeyPrefix.size() + 18) return 0;
  for (std::size_t i = 0; i < kDrillKeyPrefix.size(); ++i) {
    char c = key[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != kDrillKeyPrefix[i]) return 0;
  }
  const std::string_view digits = key.substr(kDrillKeyPrefix.size());
  if (digits.front() == '0') return 0;
  std::int64_t number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + (c - '0');
  }
  return number;
}

}  // namespace

cDrillDown::cDrillDown() {
  m_document = xml::Document::Parse("<DrillKeys/>");
  m_drill_keys = m_document.DocumentElement();
}

Collection<xml::Node> cDrillDown::DrillObject(std::string_view DrillKey) const {
  Collection<xml::Node> objects;
  const std::int64_t number = DrillItemNumber(DrillKey);
  if (number < 1 || static_cast<std::uint64_t>(number) > m_position_of_item.size()) return objects;
  const std::int32_t pos = m_position_of_item[static_cast<std::size_t>(number - 1)];
  if (pos == 0) return objects;  // the key was drawn but never issued
  objects.Add(StoredObject(pos));
  return objects;
}

const xml::Node& cDrillDown::StoredObject(std::int32_t pos) const {
  xml::Node& stored = m_store[static_cast<std::size_t>(pos - 1)];
  if (!stored) {
    const ChartMapObject& waiting = m_waiting[static_cast<std::size_t>(pos - 1)];
    const RequestValues& values = *waiting.values;
    stored = m_document.CreateElement("CMDrill");
    stored.AddAttributes({{"Folder", waiting.folder},
                          {"Code", waiting.code},
                          {"DDKFieldBalanceType", values[0]},
                          {"DDKFieldBalancePeriods", values[1]},
                          {"Prd", values[2]},
                          {"PdEnd", values[3]},
                          {"PdBal", values[4]}});
  }
  return stored;
}

xml::Node cDrillDown::DrillKeys() const {
  // The keys issued since the list was last asked for join it now.
  // (A number drawn by a failed last call has no entry yet: it lists nothing.)
  std::string drill_key(kDrillKeyPrefix);
  std::string position;
  for (; m_listed < static_cast<std::int64_t>(m_position_of_item.size()); ++m_listed) {
    const std::int32_t pos = m_position_of_item[static_cast<std::size_t>(m_listed)];
    if (pos == 0) continue;  // drawn but never issued
    drill_key.resize(kDrillKeyPrefix.size());
    AppendNumber(drill_key, m_listed + 1);
    position.clear();
    AppendNumber(position, pos);
    m_drill_keys.AppendNewElement("DrillKey")
        .AddAttributes({{"Key", *m_signature_of_pos[static_cast<std::size_t>(pos - 1)]},
                        {"DKey", drill_key},
                        {"Pos", position}});
  }
  return m_drill_keys;
}

namespace {

constexpr std::string_view kRequestNames[] = {"Bal", "Year", "Prd", "PrdEnd", "PBal"};

}  // namespace

cDrillDown::Request::Request(const xml::Node& BalanceDef) {
  auto values = std::make_shared<std::array<std::string, 5>>();
  const xml::Node request = BalanceDef ? BalanceDef.FirstChild() : xml::Node();
  const bool element = request && request.Type() == xml::NodeType::kElement;
  for (std::size_t i = 0; i < values->size(); ++i) {
    if (element) request.ReadAttribute(kRequestNames[i], (*values)[i]);
    m_joined += (*values)[i];
  }
  m_values = std::move(values);
}

std::string cDrillDown::AddCMDrillDownItem(std::string_view CMRepeat, const xml::Node& DrillObject,
                                           const xml::Node& BalanceDef) {
  return Issue(CMRepeat, BalanceDef, [&](const RequestValues& values) {
    if (!DrillObject) RaiseObjectRequired();
    xml::Node object = DrillObject;  // the caller's node: it gets the request's values too
    object.SetAttribute("DDKFieldBalanceType", values[0]);
    object.SetAttribute("DDKFieldBalancePeriods", values[1]);
    object.SetAttribute("Prd", values[2]);
    object.SetAttribute("PdEnd", values[3]);
    object.SetAttribute("PdBal", values[4]);
    return m_document.ImportNode(object, true);
  });
}

std::string cDrillDown::AddChartMapDrillItem(std::string_view CMRepeat, std::string_view Folder,
                                             std::string_view Code, const xml::Node& BalanceDef) {
  if (!BalanceDef) return AddChartMapDrillItem(CMRepeat, Folder, Code, nullptr);
  const Request request(BalanceDef);
  return AddChartMapDrillItem(CMRepeat, Folder, Code, &request);
}

std::string cDrillDown::AddChartMapDrillItem(std::string_view CMRepeat, std::string_view Folder,
                                             std::string_view Code, const Request* request) {
  std::string drill_key = DrawKey();
  if (!request) RaiseError("AddCMDrillDownItem", "Balances and Periods out of sync");
  m_signature.assign(CMRepeat);
  m_signature += request->m_joined;
  MakeUpperCase(m_signature);
  // Making the object cannot fail: the signature is filed at once, with the
  // position its object is about to take.
  const auto [known, added] =
      m_pos_by_signature.try_emplace(m_signature, static_cast<std::int32_t>(m_store.size() + 1));
  if (added) {
    // The object waits until it is asked for (StoredObject); objects asking
    // the same request share one copy of its values.
    if (!m_last_values || *m_last_values != *request->m_values) m_last_values = request->m_values;
    m_waiting.resize(m_store.size() + 1);
    ChartMapObject& waiting = m_waiting.back();
    waiting.folder.assign(Folder);
    waiting.code.assign(Code);
    waiting.values = m_last_values;
    m_store.emplace_back();
    m_signature_of_pos.push_back(&known->first);
  }
  Assign(known->second);
  return drill_key;
}

template <typename MakeObject>
std::string cDrillDown::Issue(std::string_view CMRepeat, const xml::Node& BalanceDef,
                              const MakeObject& make_object) {
  std::string drill_key = DrawKey();
  if (!BalanceDef) RaiseError("AddCMDrillDownItem", "Balances and Periods out of sync");

  const xml::Node request = BalanceDef.FirstChild();
  RequestValues values;
  const bool element = request && request.Type() == xml::NodeType::kElement;
  m_signature.assign(CMRepeat);
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (element) request.ReadAttribute(kRequestNames[i], values[i]);
    m_signature += values[i];
  }
  std::int32_t pos = KnownPosition();
  if (pos == 0) pos = Store(make_object(values));
  Assign(pos);
  return drill_key;
}

std::string cDrillDown::DrawKey() {
  std::string key = "DrillItem";
  AppendNumber(key, ++m_counter);
  return key;
}

std::int32_t cDrillDown::KnownPosition() {
  MakeUpperCase(m_signature);
  const auto known = m_pos_by_signature.find(m_signature);
  return known == m_pos_by_signature.end() ? 0 : known->second;
}

std::int32_t cDrillDown::Store(xml::Node object) {
  m_store.push_back(std::move(object));
  const auto pos = static_cast<std::int32_t>(m_store.size());
  m_signature_of_pos.push_back(&m_pos_by_signature.emplace(m_signature, pos).first->first);
  return pos;
}

void cDrillDown::Assign(std::int32_t pos) {
  // The key joins DrillKeys when the list is next asked for. Numbers drawn
  // for keys that were never issued keep position 0.
  m_position_of_item.resize(static_cast<std::size_t>(m_counter), 0);
  m_position_of_item.back() = pos;
}

std::string cDrillDown::UpdateCMDrillDownItem(std::string_view /*SourceDrillKey*/,
                                              std::string_view /*DrillKey*/) {
  return {};
}

xml::Node cDrillDown::GetAsXML(std::string_view tagName) const {
  const xml::Document document = xml::Document::Create();
  xml::Node objects = document.CreateElement(tagName);
  for (std::size_t pos = 1; pos <= m_store.size(); ++pos) {
    objects.AppendChild(document.ImportNode(StoredObject(static_cast<std::int32_t>(pos)), true));
  }
  return objects;
}

}  // namespace orvo
