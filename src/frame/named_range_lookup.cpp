#include "frame/named_range_lookup.h"

#include <string>

#include "frame/key_index.h"
#include "frame/provider_access.h"
#include "frame/text.h"
#include "frame/thread_context.h"
#include "orvo/error.h"

namespace orvo {

// The thread's index of the Nrg keys of the definitions node asked last.
struct NamedRangeIndex {
  KeyIndex keys;
};

namespace {

void ReadNamedRangeKeys(const xml::Node& definitions, std::unordered_set<std::string>& keys) {
  for (const xml::Node& child : definitions.ChildNodes()) {
    if (child.Type() != xml::NodeType::kElement || child.Name() != "Nrg") continue;
    if (auto key = child.GetAttribute("Key")) keys.insert(*key);
  }
}

}  // namespace

bool IsNamedRange(const xml::Node& definitions, std::string_view name) {
  if (!definitions) return false;
  return ThreadContext::Current()
             .NamedRanges()
             .Get()
             .keys.For(definitions, ReadNamedRangeKeys)
             .count(UpperCase(Trim(name))) > 0;
}

bool IsNamedRange(std::string_view name) {
  xml::Node definitions;
  ResumeNext resume;
  resume.Step([&] { definitions = GetStoreContext()->NamedRangeDefinitions(); });
  return IsNamedRange(definitions, name);
}

}  // namespace orvo
