// The storage provider's registry: the format and data-column providers that
// everything using one storage provider shares. It only holds them; the
// library creates them (GetFormatProvider, GetDynamicColumnProvider).
#ifndef ORVO_PROVIDERS_PROVIDER_REGISTRY_H_
#define ORVO_PROVIDERS_PROVIDER_REGISTRY_H_

#include <memory>

#include "orvo/providers.h"

namespace orvo::providers {

class ProviderRegistry : public IProviderRegistry {
 public:
  std::shared_ptr<IFormatProvider> FormatProvider() override;
  void FormatProvider(std::shared_ptr<IFormatProvider> provider) override;
  std::shared_ptr<IDynamicColumnProvider> DynamicColumnProvider() override;
  void DynamicColumnProvider(std::shared_ptr<IDynamicColumnProvider> provider) override;

 private:
  std::shared_ptr<IFormatProvider> m_format_provider;
  std::shared_ptr<IDynamicColumnProvider> m_dynamic_column_provider;
};

}  // namespace orvo::providers

#endif  // ORVO_PROVIDERS_PROVIDER_REGISTRY_H_
