// Interim: the number texts the numbers work is about to offer
// (evaluate/number_text.h), declared with the same names until it lands.
#ifndef ORVO_EVALUATE_INTERIM_NUMBERS_H_
#define ORVO_EVALUATE_INTERIM_NUMBERS_H_

#include <optional>
#include <string>
#include <string_view>

namespace orvo {

bool IsNumber(std::string_view text);
std::optional<double> ParseNumber(std::string_view text);
std::string NumberToText(double value);

}  // namespace orvo

#endif  // ORVO_EVALUATE_INTERIM_NUMBERS_H_
