#include "providers/shared_cache.h"

namespace orvo::providers {

xml::Node SharedCache::Item(const std::string& name) {
  auto found = m_items.find(name);
  return found == m_items.end() ? xml::Node() : found->second;
}

void SharedCache::Item(const std::string& name, const xml::Node& element) {
  if (element) {
    m_items[name] = element;
  } else {
    m_items.erase(name);
  }
}

}  // namespace orvo::providers
