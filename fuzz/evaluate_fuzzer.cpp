// Fuzz target: formula text (or a raw parsed-expression record) through
// cEvaluate::Evaluate.
//
// The first byte picks the set-up:
//   bit 0: the last evaluation level (nothing deferred) or the first;
//   bit 1: the item is the second record of a three-record repeat;
//   bit 2: cells and ranges have values (numbers and texts holding commas,
//          brackets, quotes and operator characters) instead of "#REF";
//   bit 3: the rest is a PEx element as XML rather than a formula text, so
//          records the parser would never write (positions outside the
//          text, unknown functions, overlapping formulas) are tried too.
// Inputs are capped at 4 KiB. Evaluate must end every input with a value or
// an error value: no failure escaping it, no crash, no hang, and never NaN
// or infinity written as a value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "evaluate/evaluate.h"
#include "orvo/error.h"
#include "orvo/parser.h"
#include "orvo/xml.h"

namespace {

class FuzzCells : public orvo::IOperandResolver {
 public:
  orvo::Resolution Resolve(const orvo::OperandRequest& request, orvo::EvaluationScope&) override {
    static const char* const kValues[] = {"12.5",  "-3", "0",  "a,b", "(x",   "\"q\"",
                                          "1E300", "-",  "7%", "",    "TRUE", "x)y+z"};
    const std::size_t pick = request.text.size() + static_cast<std::size_t>(request.number);
    if (request.wants_cells) return orvo::Resolution::Cells({kValues[pick % 12], "4", "-2"});
    if (pick % 17 == 0) return orvo::Resolution::Deferred();
    return orvo::Resolution::Value(kValues[pick % 12]);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 4096) return 0;
  const std::uint8_t options = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  orvo::xml::Document document = orvo::xml::Document::Parse(
      "<Fmt><Itms><Row><Itm Key='B2' Row='2' Col='2' Value='' Str='' MgKey='' ASz='0'><PEx/>"
      "<Stl><NFmt Typ='Numeric'><Def Dec='2' Cur='None' Zer='-' Sep='-1' DisN='(1)' DisP=''"
      " RedN='-1' RedP='0'/></NFmt><Alg/><Brd/><Fnts><Fnt Clr='0'/></Fnts></Stl></Itm></Row>"
      "</Itms></Fmt>");
  orvo::xml::Node item = document.DocumentElement().SelectSingleNode("Itms/Row/Itm");
  orvo::xml::Node record;
  if ((options & 8) != 0) {
    try {
      record = document.ImportNode(orvo::xml::Document::Parse(text).DocumentElement(), true);
    } catch (const orvo::Error&) {
      return 0;  // not XML
    }
  } else {
    orvo::cParser parser;
    parser.TokenFromString(text);
    record = document.ImportNode(parser.ParsedValue(), true);
  }
  item.SetAttribute("Value", text);
  item.ReplaceChild(record, item.FirstChild());

  orvo::cEvaluate evaluator;
  const bool final_level = (options & 1) != 0;
  evaluator.EvaluateAllItems(final_level);
  evaluator.ForceLevel1Eval(final_level);
  evaluator.ForceLevel2Eval(final_level);
  evaluator.CurrentFormatName("FUZZ");
  if ((options & 4) != 0) {
    auto cells = std::make_shared<FuzzCells>();
    evaluator.SetOperandResolver(orvo::OperandKind::kCell, cells);
    evaluator.SetOperandResolver(orvo::OperandKind::kRange, cells);
  }
  orvo::xml::Node records;
  std::int32_t position = 0;
  if ((options & 2) != 0) {
    records = orvo::xml::Document::Parse("<Rpt><R AMOUNT='1'/><R AMOUNT='2'/><R AMOUNT='3'/></Rpt>")
                  .DocumentElement();
    position = 2;
  }
  orvo::xml::Node evaluated;
  try {
    evaluator.Evaluate(item, records, position, "K", evaluated);
  } catch (...) {
    std::abort();  // Evaluate must turn every failure into an error value
  }
  const std::string value = item.AttributeOr("Value", "");
  for (const char* forbidden : {"nan", "NaN", "inf", "Inf"}) {
    if (item.AttributeOr("Evaluated", "") != "0" && value != text &&
        value.find(forbidden) != std::string::npos && text.find(forbidden) == std::string::npos) {
      std::abort();
    }
  }
  item.Xml();
  return 0;
}
