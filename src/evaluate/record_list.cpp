#include "evaluate/record_list.h"

namespace orvo {

RecordList::RecordList(const xml::Document& document, std::string_view list_name,
                       std::string_view record_template)
    : m_document(document), m_list_name(list_name) {
  m_list = m_document.CreateElement(m_list_name);
  const xml::Document scratch = xml::Document::Parse("<" + std::string(record_template) + "/>");
  m_template = m_document.ImportNode(scratch.DocumentElement(), true);
}

xml::Node RecordList::Find(const std::string& key) const {
  auto found = m_index.find(key);
  return found == m_index.end() ? xml::Node() : found->second;
}

xml::Node RecordList::Add(const std::string& key, Values values) {
  xml::Node record = m_template.CloneNode(true);
  for (const auto& [name, value] : values) record.SetAttribute(name, value);
  m_list.AppendChild(record);
  m_index[key] = record;
  return record;
}

xml::Node RecordList::FindOrAdd(const std::string& key, Values values) {
  if (xml::Node found = Find(key)) return found;
  return Add(key, values);
}

void RecordList::Clear() {
  m_list = m_document.CreateElement(m_list_name);
  m_index.clear();
}

}  // namespace orvo
