// What the commands of one command factory share: where the ledger is, the
// open ledger database (opened on first use, dropped by Refresh so the next
// use reopens it) and the scratch document answers are built in.
//
// Threading: a session belongs to the thread of its factory.
#ifndef ORVO_LEDGER_LEDGER_SESSION_H_
#define ORVO_LEDGER_LEDGER_SESSION_H_

#include <functional>
#include <memory>
#include <optional>

#include "ledger/ledger_database.h"
#include "ledger/ledger_workspace.h"
#include "orvo/xml.h"

namespace orvo::ledger {

class CLedgerSession {
 public:
  // `locate` finds the ledger; it runs on the first use after creation or Refresh.
  explicit CLedgerSession(std::function<LedgerLocation()> locate);

  CLedgerDatabase& Database();
  // Answers are created (detached) in this document.
  const xml::Document& Scratch();
  // Closes the ledger; the next use locates and opens it again.
  void Refresh();
  // Closes the ledger and finds it with `locate` from now on.
  void Relocate(std::function<LedgerLocation()> locate);

 private:
  std::function<LedgerLocation()> m_locate;
  std::unique_ptr<CLedgerDatabase> m_database;
  xml::Document m_scratch;
};

}  // namespace orvo::ledger

#endif  // ORVO_LEDGER_LEDGER_SESSION_H_
