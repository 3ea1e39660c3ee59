#include "orvo/drill_down.h"

#include "frame/text.h"
#include "frame/text_value.h"
#include "orvo/error.h"

namespace orvo {
namespace {

constexpr std::string_view kDrillKeyPrefix = "DRILLITEM";

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
  for (; m_listed < static_cast<std::int64_t>(m_position_of_item.size()); ++m_listed) {
    const std::int32_t pos = m_position_of_item[static_cast<std::size_t>(m_listed)];
    if (pos == 0) continue;  // drawn but never issued
    const std::string number = LongToText(m_listed + 1);
    m_drill_keys.AppendNewElement("DrillKey")
        .AddAttributes({{"Key", *m_signature_of_pos[static_cast<std::size_t>(pos - 1)]},
                        {"DKey", std::string(kDrillKeyPrefix) + number},
                        {"Pos", LongToText(pos)}});
  }
  return m_drill_keys;
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
  return Issue(CMRepeat, BalanceDef, [&](const RequestValues& values) {
    // The object waits until it is asked for (StoredObject); objects asking
    // the same request share one copy of its values.
    if (!m_last_values || *m_last_values != values) {
      m_last_values = std::make_shared<const RequestValues>(values);
    }
    m_waiting.resize(m_store.size() + 1);
    m_waiting.back() = {std::string(Folder), std::string(Code), m_last_values};
    return xml::Node();
  });
}

std::string cDrillDown::Issue(std::string_view CMRepeat, const xml::Node& BalanceDef,
                              const std::function<xml::Node(const RequestValues&)>& make_object) {
  std::string drill_key = "DrillItem" + LongToText(++m_counter);
  if (!BalanceDef) RaiseError("AddCMDrillDownItem", "Balances and Periods out of sync");

  const xml::Node request = BalanceDef.FirstChild();
  RequestValues values;
  const bool element = request && request.Type() == xml::NodeType::kElement;
  std::string signature(CMRepeat);
  const std::string_view names[] = {"Bal", "Year", "Prd", "PrdEnd", "PBal"};
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (element) request.ReadAttribute(names[i], values[i]);
    signature += values[i];
  }
  signature = UpperCase(signature);

  std::int32_t pos = 0;
  const auto known = m_pos_by_signature.find(signature);
  if (known != m_pos_by_signature.end()) {
    pos = known->second;
  } else {
    m_store.push_back(make_object(values));
    pos = static_cast<std::int32_t>(m_store.size());
    m_signature_of_pos.push_back(&m_pos_by_signature.emplace(signature, pos).first->first);
  }

  // The key joins DrillKeys when the list is next asked for. Numbers drawn
  // for keys that were never issued keep position 0.
  m_position_of_item.resize(static_cast<std::size_t>(m_counter), 0);
  m_position_of_item.back() = pos;
  return drill_key;
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
