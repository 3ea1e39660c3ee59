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
  objects.Add(m_store[static_cast<std::size_t>(pos - 1)]);
  return objects;
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
    xml::Node object = m_document.CreateElement("CMDrill");
    object.AddAttributes({{"Folder", Folder},
                          {"Code", Code},
                          {"DDKFieldBalanceType", values[0]},
                          {"DDKFieldBalancePeriods", values[1]},
                          {"Prd", values[2]},
                          {"PdEnd", values[3]},
                          {"PdBal", values[4]}});
    return object;
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
    m_pos_by_signature.emplace(signature, pos);
  }

  m_drill_keys.AppendNewElement("DrillKey")
      .AddAttributes(
          {{"Key", signature}, {"DKey", UpperCase(drill_key)}, {"Pos", LongToText(pos)}});
  // Numbers drawn for keys that were never issued keep position 0.
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
  for (const xml::Node& stored : m_store) objects.AppendChild(document.ImportNode(stored, true));
  return objects;
}

}  // namespace orvo
