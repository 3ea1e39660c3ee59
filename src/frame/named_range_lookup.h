// The named-range lookup shared by the parser and the preview builder.
//
// A name is a defined named range when the definitions node (the store
// context's NamedRangeDefinitions: an element whose `Nrg` children carry the
// range names, upper case, in `Key`) has an Nrg child whose Key is NAME, the
// name trimmed of spaces and upper-cased: the entries the query
// /Nrg[@Key="NAME"] selects on the detached list. It lives here, below the
// parser, because the parser makes its "TNr" decisions with it.
#ifndef ORVO_FRAME_NAMED_RANGE_LOOKUP_H_
#define ORVO_FRAME_NAMED_RANGE_LOOKUP_H_

#include <string_view>

#include "orvo/xml.h"

namespace orvo {

// The definitions' Nrg children are indexed by Key once per definitions
// node (a provider that changes its list hands out a new node), so a look-up
// costs the same however many ranges are defined. False for a null node.
bool IsNamedRange(const xml::Node& definitions, std::string_view name);

// The same against the thread's store context (GetStoreContext); false when
// the definitions cannot be had (no storage provider on the thread).
bool IsNamedRange(std::string_view name);

}  // namespace orvo

#endif  // ORVO_FRAME_NAMED_RANGE_LOOKUP_H_
