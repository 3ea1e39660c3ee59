#include "formula/formula_names.h"

#include "frame/launch_properties.h"
#include "frame/per_thread.h"

namespace orvo {
namespace {

// Before any Init on the thread nothing outside the formula is defined.
class NoDefinedNames : public FormulaNames {
 public:
  bool IsBookmark(const std::string&) override { return false; }
  bool IsNamedRange(const std::string&) override { return false; }
  bool IsChartMapFolder(const std::string&) override { return false; }
  bool IsDriverField(const std::string&) override { return false; }
  std::shared_ptr<IDatabaseMapTable> DatabaseMapTable(const std::string&) override {
    return nullptr;
  }
  std::int16_t ColumnNumber(const std::string& letters) override {
    return LetterColumnNumber(letters);
  }
};

}  // namespace

std::int16_t LetterColumnNumber(std::string_view letters) {
  if (letters.empty() || letters.size() > 3) return -1;
  std::int32_t number = 0;
  for (char c : letters) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c < 'A' || c > 'Z') return -1;
    number = number * 26 + (c - 'A' + 1);
  }
  return number > INT16_MAX ? std::int16_t{-1} : static_cast<std::int16_t>(number);
}

FormulaNames& FormulaNames::ForThread() { return PerThread<NoDefinedNames>(); }

}  // namespace orvo
