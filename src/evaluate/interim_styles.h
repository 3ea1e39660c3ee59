// Interim: the display text of a value under an item's number format, about
// to come from evaluate/number_format.h; until then the value unchanged.
#ifndef ORVO_EVALUATE_INTERIM_STYLES_H_
#define ORVO_EVALUATE_INTERIM_STYLES_H_

#include <string>
#include <string_view>

#include "orvo/xml.h"

namespace orvo {

std::string FormatDisplayText(const xml::Node& item, std::string_view value);

}  // namespace orvo

#endif  // ORVO_EVALUATE_INTERIM_STYLES_H_
