#include "orvo/drill_down.h"

#include "frame/text.h"
#include "frame/text_value.h"
#include "orvo/error.h"

namespace orvo {
namespace {

std::string Attribute(const xml::Node& node, std::string_view name) {
  if (!node || node.Type() != xml::NodeType::kElement) return {};
  return node.AttributeOr(name, "");
}

}  // namespace

cDrillDown::cDrillDown() {
  m_document = xml::Document::Parse("<DrillKeys/>");
  m_drill_keys = m_document.DocumentElement();
  m_key_template = m_document.ImportNode(
      xml::Document::Parse("<DrillKey Key='' DKey='' Pos=''/>").DocumentElement(), true);
}

Collection<xml::Node> cDrillDown::DrillObject(std::string_view DrillKey) const {
  Collection<xml::Node> objects;
  const auto found = m_pos_by_drill_key.find(UpperCase(DrillKey));
  if (found == m_pos_by_drill_key.end()) return objects;
  std::string_view positions = found->second;
  while (true) {
    const std::size_t comma = positions.find(',');
    const std::int32_t pos = TextToLong(positions.substr(0, comma));
    if (pos < 1 || static_cast<std::size_t>(pos) > m_store.size()) RaiseOutOfBounds();
    objects.Add(m_store[static_cast<std::size_t>(pos - 1)]);
    if (comma == std::string_view::npos) break;
    positions.remove_prefix(comma + 1);
  }
  return objects;
}

std::string cDrillDown::AddCMDrillDownItem(std::string_view CMRepeat, const xml::Node& DrillObject,
                                           const xml::Node& BalanceDef) {
  std::string drill_key = "DrillItem" + LongToText(++m_counter);
  if (!BalanceDef) RaiseError("AddCMDrillDownItem", "Balances and Periods out of sync");

  const xml::Node request = BalanceDef.FirstChild();
  const std::string balance = Attribute(request, "Bal");
  const std::string year = Attribute(request, "Year");
  const std::string period = Attribute(request, "Prd");
  const std::string period_end = Attribute(request, "PrdEnd");
  const std::string period_balance = Attribute(request, "PBal");
  const std::string signature =
      UpperCase(std::string(CMRepeat) + balance + year + period + period_end + period_balance);

  std::string pos;
  const auto known = m_pos_by_signature.find(signature);
  if (known != m_pos_by_signature.end()) {
    pos = known->second;
  } else {
    if (!DrillObject) RaiseObjectRequired();
    xml::Node object = DrillObject;  // the caller's node: it gets the request's values too
    object.SetAttribute("DDKFieldBalanceType", balance);
    object.SetAttribute("DDKFieldBalancePeriods", year);
    object.SetAttribute("Prd", period);
    object.SetAttribute("PdEnd", period_end);
    object.SetAttribute("PdBal", period_balance);
    m_store.push_back(m_document.ImportNode(object, true));
    pos = LongToText(static_cast<std::int64_t>(m_store.size()));
    m_pos_by_signature.emplace(signature, pos);
  }

  std::string upper_key = UpperCase(drill_key);
  xml::Node entry = m_key_template.CloneNode(true);
  entry.SetAttribute("Key", signature);
  entry.SetAttribute("DKey", upper_key);
  entry.SetAttribute("Pos", pos);
  m_drill_keys.AppendChild(entry);
  m_pos_by_drill_key.emplace(std::move(upper_key), std::move(pos));
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
