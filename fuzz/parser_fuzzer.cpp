// Fuzz target: cParser over arbitrary text.
//
// The first byte picks the parser's options (converting, ignoring spaces);
// the rest is the formula or mixed text. Inputs are capped at 4 KiB. Every
// outcome must be a record and messages: no crash, no hang, no leak.
#include <cstddef>
#include <cstdint>
#include <string>

#include "orvo/error.h"
#include "orvo/parser.h"
#include "orvo/xml.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 4096) return 0;
  const std::uint8_t options = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  orvo::cParser parser;
  parser.Converting((options & 1) != 0);
  parser.IgnoreSpaces((options & 2) == 0);
  parser.TokenFromString(text);
  parser.ParsedValue().Xml();
  parser.ErrorCollection().Xml();

  // The tokenizer on its own, as the evaluator walks texts.
  parser.CurrentPosition(1);
  for (std::size_t calls = 0; parser.CurrentPosition() != -1 && calls <= text.size() + 1; ++calls) {
    parser.GetToken(text);
  }
  bool is_range = false;
  parser.IsCellRef(text, is_range);
  return 0;
}
