// Interim display text (see interim_styles.h).
#include "evaluate/interim_styles.h"

namespace orvo {

std::string FormatDisplayText(const xml::Node&, std::string_view value) {
  return std::string(value);
}

}  // namespace orvo
