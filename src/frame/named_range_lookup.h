// The named-range lookup shared by the parser and the preview builder.
//
// A name is a defined named range when the definitions node (the store
// context's NamedRangeDefinitions: an element whose `Nrg` children carry the
// range names, upper case, in `Key`) answers the query /Nrg[@Key="NAME"],
// with NAME the name trimmed of spaces and upper-cased. The definitions node
// is expected to be the top of its own tree (a detached element), where "/"
// stands for that element. It lives here, below the parser, because the
// parser makes its "TNr" decisions with it.
#ifndef ORVO_FRAME_NAMED_RANGE_LOOKUP_H_
#define ORVO_FRAME_NAMED_RANGE_LOOKUP_H_

#include <string_view>

#include "orvo/xml.h"

namespace orvo {

// False also when the query cannot be run (a null node, a name that breaks
// the query): a failure while querying never escapes.
bool IsNamedRange(const xml::Node& definitions, std::string_view name);

// The same against the thread's store context (GetStoreContext); false when
// the definitions cannot be had (no storage provider on the thread).
bool IsNamedRange(std::string_view name);

}  // namespace orvo

#endif  // ORVO_FRAME_NAMED_RANGE_LOOKUP_H_
