#include "frame/named_range_lookup.h"

#include <string>

#include "frame/provider_access.h"
#include "frame/text.h"
#include "frame/text_value.h"
#include "orvo/error.h"

namespace orvo {

bool IsNamedRange(const xml::Node& definitions, std::string_view name) {
  const std::string query = "/Nrg[@Key=\"" + UpperCase(Trim(name)) + "\"]";
  bool found = false;
  ResumeNext resume;
  resume.Step([&] { found = !definitions.SelectSingleNode(query).IsNull(); });
  return found;
}

bool IsNamedRange(std::string_view name) {
  xml::Node definitions;
  ResumeNext resume;
  resume.Step([&] { definitions = GetStoreContext()->NamedRangeDefinitions(); });
  return IsNamedRange(definitions, name);
}

}  // namespace orvo
