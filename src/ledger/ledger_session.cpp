#include "ledger/ledger_session.h"

namespace orvo::ledger {

CLedgerSession::CLedgerSession(std::function<LedgerLocation()> locate)
    : m_locate(std::move(locate)) {}

CLedgerDatabase& CLedgerSession::Database() {
  if (!m_database) {
    LedgerLocation location = m_locate();
    m_database = std::make_unique<CLedgerDatabase>(location.ledger_path, location.current_period,
                                                   LedgerView::kSnapshot);
  }
  return *m_database;
}

const xml::Document& CLedgerSession::Scratch() {
  if (!m_scratch) m_scratch = xml::Document::Create();
  return m_scratch;
}

void CLedgerSession::Refresh() { m_database.reset(); }

void CLedgerSession::Relocate(std::function<LedgerLocation()> locate) {
  m_database.reset();
  m_locate = std::move(locate);
}

}  // namespace orvo::ledger
