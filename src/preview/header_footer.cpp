#include "orvo/header_footer.h"

#include <utility>

#include "orvo/error.h"
#include "preview/header_footer_ranges.h"

namespace orvo {
namespace {

constexpr const char* kKeyPrefix = "HF_";

}  // namespace

cHeaderFooter::cHeaderFooter() : m_ranges(std::make_unique<detail::HeaderFooterRanges>()) {}
cHeaderFooter::cHeaderFooter(cHeaderFooter&&) noexcept = default;
cHeaderFooter& cHeaderFooter::operator=(cHeaderFooter&&) noexcept = default;
cHeaderFooter::~cHeaderFooter() = default;

xml::Node cHeaderFooter::ItemForRow(std::int32_t RowNumber) {
  m_cached_space_fillers = xml::Node();
  if (!m_ranges || m_ranges->Empty()) return {};
  const std::int64_t row = RowNumber == 0 ? 1 : RowNumber;
  const auto position = m_ranges->FirstHolding(row);
  if (!position) return {};
  const auto slot = m_slots.find(m_ranges->Index(*position));
  if (slot == m_slots.end() || slot->second == 0 || slot->second > m_blocks.size()) return {};
  m_cached_space_fillers = m_space_fillers[slot->second - 1];
  const xml::Node& block = m_blocks[slot->second - 1];
  // A block without rows prints nothing; its space fillers still count.
  const xml::Node rows = block.FirstChild();
  if (!rows || !rows.HasChildNodes()) return {};
  return block;
}

xml::Node cHeaderFooter::SpaceFillerForRow() const {
  if (!m_cached_space_fillers) return {};
  return m_cached_space_fillers.CloneNode(true);
}

void cHeaderFooter::AddHeaderFooter(std::int32_t RowNumber, const xml::Node& HeaderFooter,
                                    const xml::Node& SpaceFillers) {
  if (HeaderFooter && RowNumber != 0) {
    // A range start is a 32-bit field like its end.
    if (m_next_start > INT32_MAX || m_next_start < INT32_MIN) RaiseOverflow();
    std::string key = kKeyPrefix + std::to_string(m_key_counter);
    ++m_key_counter;
    const std::size_t slot = m_slots.size() + 1;
    m_blocks.resize(slot);
    m_space_fillers.resize(slot);
    m_blocks[slot - 1] = HeaderFooter;
    m_space_fillers[slot - 1] = SpaceFillers;
    m_slots.emplace(key, slot);
    if (!m_ranges) m_ranges = std::make_unique<detail::HeaderFooterRanges>();
    m_ranges->Append(m_next_start, RowNumber, std::move(key));
  }
  m_next_start = static_cast<std::int64_t>(RowNumber) + 1;
}

void cHeaderFooter::DeleteRow(std::int32_t RowNumber) {
  if (m_ranges) m_ranges->DeleteRow(RowNumber);
}

xml::Node cHeaderFooter::GetAsXML(const std::string& tagName) const {
  xml::Document document = xml::Document::Create();
  xml::Node list = document.CreateElement(tagName);
  if (!m_ranges) return list;
  for (std::size_t position = 0; position < m_ranges->Size(); ++position) {
    const auto slot = m_slots.find(m_ranges->Index(position));
    if (slot == m_slots.end() || slot->second == 0 || slot->second > m_blocks.size()) continue;
    xml::Node copy = list.AppendChild(document.ImportNode(m_blocks[slot->second - 1], true));
    // Whole numbers of any 32-bit size: long reports run past 32,767 rows.
    copy.SetAttribute("Start", std::to_string(m_ranges->Start(position)));
    copy.SetAttribute("End", std::to_string(m_ranges->End(position)));
  }
  return list;
}

}  // namespace orvo
