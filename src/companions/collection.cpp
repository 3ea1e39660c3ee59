#include "orvo/collection.h"

#include "frame/text.h"

namespace orvo::collection_detail {

std::string FoldKey(std::string_view key) { return UpperCase(key); }

}  // namespace orvo::collection_detail
