#include "orvo/header_footer.h"


namespace orvo {

void cHeaderFooter::AddHeaderFooter(std::int32_t RowNumber, const xml::Node& HeaderFooter,
                                    const xml::Node& SpaceFillers) {
  if (HeaderFooter && RowNumber != 0) {
    const std::string key = "HF_" + std::to_string(m_key_counter++);
    const std::size_t slot = m_slots.size() + 1;
    m_blocks.resize(slot);
    m_space_fillers.resize(slot);
    m_blocks[slot - 1] = HeaderFooter;
    m_space_fillers[slot - 1] = SpaceFillers;
    m_slots.emplace(key, slot);
    m_ranges.push_back({m_next_start, RowNumber, key});
  }
  m_next_start = RowNumber + 1;
}

void cHeaderFooter::DeleteRow(std::int32_t RowNumber) {
  for (auto range = m_ranges.rbegin(); range != m_ranges.rend(); ++range) {
    if (range->start > RowNumber) --range->start;
    if (range->end >= RowNumber) --range->end;
  }
}

xml::Node cHeaderFooter::GetAsXML(const std::string& tagName) const {
  xml::Document document = xml::Document::Create();
  xml::Node list = document.CreateElement(tagName);
  for (const Range& range : m_ranges) {
    auto slot = m_slots.find(range.index);
    if (slot == m_slots.end() || slot->second > m_blocks.size()) continue;
    const xml::Node& block = m_blocks[slot->second - 1];
    if (!block) continue;
    xml::Node copy = list.AppendChild(document.ImportNode(block, true));
    // Written as whole numbers of any size: reports run past 32,767 rows.
    copy.SetAttribute("Start", std::to_string(range.start));
    copy.SetAttribute("End", std::to_string(range.end));
  }
  return list;
}

}  // namespace orvo
