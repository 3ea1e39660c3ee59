#include "formula/parser_state.h"

namespace orvo {

ErrorList::ErrorList(const xml::Document& document)
    : m_document(document), m_errors(document.CreateElement("Errs")) {}

void ErrorList::Clear() {
  m_errors = m_document.CreateElement("Errs");
  m_count = 0;
}

void ErrorList::Add(std::string_view description) {
  xml::Node error = m_errors.AppendChild(m_document.CreateElement("Err"));
  error.SetAttribute("Desc", description);
  ++m_count;
}

}  // namespace orvo
