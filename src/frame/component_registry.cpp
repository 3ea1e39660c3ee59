#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>

#include "orvo/error.h"
#include "orvo/providers.h"

namespace orvo {
namespace {

constexpr const char* kCreateSource = "ComponentRegistry.Create";

// The factories by identifier. A function-local static so that registrars
// running during static initialisation of other translation units find it
// constructed.
struct FactoryTable {
  std::mutex mutex;
  std::unordered_map<std::string, ComponentRegistry::Factory> factories;
};

FactoryTable& Table() {
  static FactoryTable table;
  return table;
}

}  // namespace

ComponentRegistry::Factory ComponentRegistry::Register(const std::string& prog_id,
                                                       Factory factory) {
  FactoryTable& table = Table();
  std::lock_guard lock(table.mutex);
  Factory previous;
  auto found = table.factories.find(prog_id);
  if (found != table.factories.end()) {
    previous = std::move(found->second);
    table.factories.erase(found);
  }
  if (factory) table.factories.emplace(prog_id, std::move(factory));
  return previous;
}

void ComponentRegistry::RegisterDefault(const std::string& prog_id, Factory factory) {
  if (!factory) return;
  FactoryTable& table = Table();
  std::lock_guard lock(table.mutex);
  table.factories.try_emplace(prog_id, std::move(factory));
}

std::shared_ptr<IComponent> ComponentRegistry::Create(const std::string& prog_id) {
  Factory factory;
  {
    FactoryTable& table = Table();
    std::lock_guard lock(table.mutex);
    auto found = table.factories.find(prog_id);
    if (found != table.factories.end()) factory = found->second;
  }
  // The factory runs outside the lock: it may itself create components.
  if (!factory) RaiseError(kCreateSource, "No component is registered as \"" + prog_id + "\"");
  std::shared_ptr<IComponent> component = factory();
  if (!component) {
    RaiseError(kCreateSource, "The factory registered as \"" + prog_id + "\" created nothing");
  }
  return component;
}

void ComponentRegistry::RaiseWrongInterface(const std::string& prog_id) {
  RaiseError(kCreateSource, "The component registered as \"" + prog_id +
                                "\" does not offer the interface its caller needs");
}

}  // namespace orvo
