// The store context's shared cache: elements held by name ("ERange",
// "EPRItems") for every evaluator on the thread.
#ifndef ORVO_PROVIDERS_SHARED_CACHE_H_
#define ORVO_PROVIDERS_SHARED_CACHE_H_

#include <string>
#include <unordered_map>

#include "orvo/providers.h"

namespace orvo::providers {

class SharedCache : public ISharedCache {
 public:
  xml::Node Item(const std::string& name) override;
  // Stores the element under the name; a null element removes the entry.
  void Item(const std::string& name, const xml::Node& element) override;

 private:
  std::unordered_map<std::string, xml::Node> m_items;
};

}  // namespace orvo::providers

#endif  // ORVO_PROVIDERS_SHARED_CACHE_H_
