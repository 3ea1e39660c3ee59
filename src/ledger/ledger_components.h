// The ledger's components in the component registry: kCommandFactoryId (the
// data driver's command factory) and kDatabaseMapProviderId (the
// database-map provider).
//
// ledger_registration.cpp registers them as defaults before main runs in
// every program linking orvoreportprv; RegisterLedgerComponents puts them
// back explicitly, replacing whatever is registered under those identifiers.
#ifndef ORVO_LEDGER_LEDGER_COMPONENTS_H_
#define ORVO_LEDGER_LEDGER_COMPONENTS_H_

namespace orvo {

void RegisterLedgerComponents();
// The same, keeping a registration that is already there (a host's own).
void RegisterLedgerDefaults();

}  // namespace orvo

#endif  // ORVO_LEDGER_LEDGER_COMPONENTS_H_
