#include "providers/preview_services.h"

namespace orvo::providers {

void CParserPool::AddParser(std::shared_ptr<cParser> parser) {
  // The parser is not kept: nothing of the library reads it back.
  parser.reset();
  ++m_added;
}

void CPreviewStatus::UpdateStatus(std::optional<std::int32_t> value, std::optional<std::string>,
                                  std::optional<std::string>) {
  m_last_value = value;
  ++m_calls;
}

}  // namespace orvo::providers
