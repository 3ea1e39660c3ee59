#include "formula/parser_state.h"

namespace orvo {

ErrorList::ErrorList(const xml::Document& document)
    : m_document(document), m_errors(document.CreateElement("Errs")) {}

void ErrorList::Clear() {
  // The list is handed out only as a copy, so an empty one is kept.
  if (m_count == 0) return;
  m_errors = m_document.CreateElement("Errs");
  m_count = 0;
}

void ErrorList::Add(std::string_view description) {
  xml::Node error = m_errors.AppendChild(m_document.CreateElement("Err"));
  error.SetAttribute("Desc", description);
  ++m_count;
}

}  // namespace orvo
