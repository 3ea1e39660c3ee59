// The checks the parser runs while it reads a formula. Each only adds
// messages to the error list; none stops the parse.
#ifndef ORVO_FORMULA_FORMULA_CHECKS_H_
#define ORVO_FORMULA_FORMULA_CHECKS_H_

#include <optional>
#include <string>
#include <string_view>

#include "formula/parser_state.h"

namespace orvo {

// Whole formula: "(" and ")" counted outside quoted strings must agree.
void CheckBrackets(cParser::State& state, std::string_view formula);

// Mixed text: the braces of its embedded formulas.
void CheckBraces(cParser::State& state, std::string_view text);

// The bracket check of a function whose name ends just before one-based
// `position`: the text between the first "(" and the first ")" from there,
// or nothing (after adding a message) when they are missing or out of order.
std::optional<std::string> CheckFunctionBrackets(cParser::State& state, std::string_view text,
                                                 int position);

// The If and RecordValue checks: at most `max_commas` commas at the call's
// own bracket level. `function` names the messages ("If", "RecordValue").
void CheckCallCommas(cParser::State& state, std::string_view text, int position, int max_commas,
                     std::string_view function);

// Page and PageCount must be the whole text handed to the parse.
void CheckStandsAlone(cParser::State& state, std::string_view text, std::string_view function);

// Whether the text holds none of the characters a plain name may not hold;
// single quotes are allowed.
bool IsPlainName(std::string_view text);

}  // namespace orvo

#endif  // ORVO_FORMULA_FORMULA_CHECKS_H_
