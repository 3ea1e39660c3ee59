// What the commands of one command factory share: where the ledger is, the
// open ledger database and the scratch document answers are built in.
//
// The database is opened on first use and dropped by Refresh and Relocate,
// so the next use reopens it. It is opened with LedgerView::kSnapshot: on a
// ledger in WAL mode everything read between two Refresh calls (a build:
// the preview builder runs Refresh first) comes from one snapshot taken at
// the first read (docs/ledger.md, "Reading while a host writes").
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
