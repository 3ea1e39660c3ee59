// The reference data-column provider ("OrvoBusMng.cDynamicColProvider"):
// answers the stored data-column configurations of the workspace named by
// the launch properties given to Init (the `DC` children of
// <DataColumns><Configurations> in data_columns.xml, keyed by `Key`).
#ifndef ORVO_PROVIDERS_DYNAMIC_COL_PROVIDER_H_
#define ORVO_PROVIDERS_DYNAMIC_COL_PROVIDER_H_

#include <memory>
#include <string>

#include "orvo/providers.h"
#include "providers/workspace.h"

namespace orvo::providers {

class cDynamicColProvider : public IDynamicColumnProvider {
 public:
  void Init(const xml::Node& launch_properties) override;
  // A copy of the configuration whose Key is `key` (upper-cased), or Nothing.
  xml::Node Configuration(const std::string& key) override;

 private:
  xml::Node m_launch_properties;
  std::shared_ptr<Workspace> m_workspace;
};

}  // namespace orvo::providers

#endif  // ORVO_PROVIDERS_DYNAMIC_COL_PROVIDER_H_
