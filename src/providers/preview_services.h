// The reference parser pool ("OrvoServices.CParserPool") and status object
// ("OrvoServices.CPreviewStatus") that preview builders call. Neither does
// anything a host would notice: the pool counts the parsers it is handed
// and lets them go, the status object remembers the last value it was told.
#ifndef ORVO_PROVIDERS_PREVIEW_SERVICES_H_
#define ORVO_PROVIDERS_PREVIEW_SERVICES_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "orvo/providers.h"

namespace orvo::providers {

class CParserPool : public IParserPool {
 public:
  void AddParser(std::shared_ptr<cParser> parser) override;
  std::int64_t ParsersAdded() const noexcept { return m_added; }

 private:
  std::int64_t m_added = 0;
};

class CPreviewStatus : public IPreviewStatus {
 public:
  void UpdateStatus(std::optional<std::int32_t> value, std::optional<std::string> text,
                    std::optional<std::string> detail) override;
  // The value of the last call (nothing when it was omitted) and the count.
  std::optional<std::int32_t> LastValue() const noexcept { return m_last_value; }
  std::int64_t Calls() const noexcept { return m_calls; }

 private:
  std::optional<std::int32_t> m_last_value;
  std::int64_t m_calls = 0;
};

}  // namespace orvo::providers

#endif  // ORVO_PROVIDERS_PREVIEW_SERVICES_H_
