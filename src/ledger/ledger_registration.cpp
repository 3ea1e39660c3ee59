// Registers the ledger's components as defaults before main runs. Not part
// of the orvo_ledger archive: an object library that orvoreportprv adds to
// every program linking it (an unreferenced archive member would be dropped).
#include "ledger/ledger_components.h"

namespace {

const bool kLedgerComponentsRegistered = [] {
  orvo::RegisterLedgerDefaults();
  return true;
}();

}  // namespace
