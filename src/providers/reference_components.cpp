// Registers the reference providers under their programmatic identifiers
// before main runs. This file is not part of the orvo_providers archive: it
// is an object library that orvoreportprv adds to every program linking it
// (an archive member nobody references would be left out by the linker).
// RegisterDefault keeps a host's own registration, whichever runs first.
#include <memory>

#include "orvo/providers.h"
#include "providers/dynamic_col_provider.h"
#include "providers/format_provider.h"
#include "providers/node_storage_provider.h"
#include "providers/preview_services.h"
#include "providers/storage_provider.h"

namespace orvo::providers {
namespace {

template <class Component>
void RegisterReference(const char* prog_id) {
  ComponentRegistry::RegisterDefault(prog_id, [] { return std::make_shared<Component>(); });
}

const bool kReferenceProvidersRegistered = [] {
  RegisterReference<CRStorageProvider>(kStorageProviderId);
  RegisterReference<CStgProviderXMLNode>(kNodeStorageProviderId);
  RegisterReference<CFormatProvider>(kFormatProviderId);
  RegisterReference<cDynamicColProvider>(kDynamicColumnProviderId);
  RegisterReference<CParserPool>(kParserPoolId);
  RegisterReference<CPreviewStatus>(kPreviewStatusId);
  return true;
}();

}  // namespace
}  // namespace orvo::providers
