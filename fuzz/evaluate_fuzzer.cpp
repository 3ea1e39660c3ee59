// Fuzz target: formula text through the evaluator, as `orvo eval` drives it.
//
// The first byte picks the set-up: its low three bits the style the value is
// shown in (General, Numeric with brackets and red negatives, Numeric with a
// currency and a zero text, Percentage, Date/Time, three Text cases), bit 3
// whether a formula whose parse reports messages is evaluated all the same
// (from whatever record the parser made of it). The rest is the formula or
// mixed text. Inputs are capped at 4 KiB. Every input must end as a value or
// an error value: no failure escaping the evaluation, no crash, no hang, and
// never NaN or infinity written as a value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "orvo/error.h"
#include "orvo/formula_evaluator.h"

namespace {

constexpr const char* kStyles[] = {
    "<Stl><NFmt Typ='General'><Def/></NFmt><Alg/><Brd/><Fnts><Fnt Clr='0'/></Fnts></Stl>",
    "<Stl><NFmt Typ='Numeric'><Def Dec='2' Cur='None' Zer='-' Sep='-1' DisN='(1)' DisP=''"
    " RedN='-1' RedP='0'/></NFmt><Alg/><Brd/><Fnts><Fnt Clr='0'/></Fnts></Stl>",
    "<Stl><NFmt Typ='Numeric'><Def Dec='0' Cur='$' Zer='0' Sep='0' DisN='-1' DisP='(1)'"
    " RedN='0' RedP='-1'/></NFmt><Alg/><Brd/><Fnts/></Stl>",
    "<Stl><NFmt Typ='Percentage'><Def Dec='1'/></NFmt><Alg/><Brd/><Fnts/></Stl>",
    "<Stl><NFmt Typ='Date/Time'><Def Typ='dd mmm yyyy hh:nn'/></NFmt><Alg/><Brd/><Fnts/></Stl>",
    "<Stl><NFmt Typ='Text'><Def Txt='2'/></NFmt><Alg/><Brd/><Fnts/></Stl>",
    "<Stl><NFmt Typ='Text'><Def Txt='3'/></NFmt><Alg/><Brd/><Fnts/></Stl>",
    "<Stl><NFmt Typ='Text'><Def Txt='4'/></NFmt><Alg/><Brd/><Fnts/></Stl>",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 4096) return 0;
  const std::uint8_t options = data[0];
  const std::string formula(reinterpret_cast<const char*>(data + 1), size - 1);

  orvo::FormulaEvaluator evaluator;
  evaluator.EvaluateUnparsed((options & 8) != 0);
  orvo::FormulaEvaluation result;
  try {
    result = evaluator.Evaluate(formula, kStyles[options & 7]);
  } catch (...) {
    std::abort();  // evaluation turns every failure into an error value
  }
  for (const char* forbidden : {"nan", "NaN", "inf", "Inf"}) {
    if (result.value.find(forbidden) != std::string::npos &&
        formula.find(forbidden) == std::string::npos) {
      std::abort();
    }
  }
  return 0;
}
