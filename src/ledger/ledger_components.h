// Registers the ledger's components with the component registry:
// "OrvoLedger.CCommandFactory" (the data driver's command factory) and
// kDatabaseMapProviderId (the database-map provider). Registering again
// replaces the earlier factories with equal ones.
#ifndef ORVO_LEDGER_LEDGER_COMPONENTS_H_
#define ORVO_LEDGER_LEDGER_COMPONENTS_H_

namespace orvo {

void RegisterLedgerComponents();

}  // namespace orvo

#endif  // ORVO_LEDGER_LEDGER_COMPONENTS_H_
