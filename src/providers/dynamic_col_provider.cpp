#include "providers/dynamic_col_provider.h"

namespace orvo::providers {

void cDynamicColProvider::Init(const xml::Node& launch_properties) {
  m_launch_properties = launch_properties;
  m_workspace.reset();
}

xml::Node cDynamicColProvider::Configuration(const std::string& key) {
  if (!m_workspace) m_workspace = Workspace::Open(m_launch_properties);
  return DetachedCopy(m_workspace->FindDataColumnConfiguration(UpperCase(key)));
}

}  // namespace orvo::providers
