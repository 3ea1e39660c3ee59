#include "evaluate/list_index.h"

namespace orvo {

xml::Node ListIndex::Find(const xml::Node& list, const std::string& key) {
  if (!list) return {};
  CatchUp(list);
  auto found = m_index.find(key);
  if (found == m_index.end()) return {};
  if (found->second.ParentNode() == list) return found->second;
  // A record left the list since it was indexed: look again from scratch.
  Rebuild(list);
  found = m_index.find(key);
  return found == m_index.end() ? xml::Node() : found->second;
}

void ListIndex::Rebuild(const xml::Node& list) {
  m_index.clear();
  m_list = list;
  m_last = xml::Node();
  IndexFrom(list.FirstChild());
}

void ListIndex::CatchUp(const xml::Node& list) {
  if (!(list == m_list)) {
    Rebuild(list);
    return;
  }
  const xml::Node last = list.LastChild();
  if (last == m_last) return;
  if (!m_last) {
    IndexFrom(list.FirstChild());
  } else if (m_last.ParentNode() == list) {
    IndexFrom(m_last.NextSibling());
  } else {
    Rebuild(list);
  }
}

void ListIndex::IndexFrom(xml::Node record) {
  for (; record; record = record.NextSibling()) {
    m_last = record;
    if (record.Type() != xml::NodeType::kElement) continue;
    std::string key = m_key_of(record);
    if (!key.empty()) m_index.emplace(std::move(key), record);
  }
}

}  // namespace orvo
