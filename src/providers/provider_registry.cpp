#include "providers/provider_registry.h"

#include <utility>

namespace orvo::providers {

std::shared_ptr<IFormatProvider> ProviderRegistry::FormatProvider() { return m_format_provider; }

void ProviderRegistry::FormatProvider(std::shared_ptr<IFormatProvider> provider) {
  m_format_provider = std::move(provider);
}

std::shared_ptr<IDynamicColumnProvider> ProviderRegistry::DynamicColumnProvider() {
  return m_dynamic_column_provider;
}

void ProviderRegistry::DynamicColumnProvider(std::shared_ptr<IDynamicColumnProvider> provider) {
  m_dynamic_column_provider = std::move(provider);
}

}  // namespace orvo::providers
