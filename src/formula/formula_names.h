// What the parser asks about names defined outside a formula: bookmarks,
// named ranges, chart-map folders, database-map tables and fields, the data
// driver's fields, and column letters.
//
// The definitions are XML lists read through the providers. The parser asks
// once or more per operand, so each list is indexed in a hash set, rebuilt
// when the provider hands out a different list node. A provider that changes
// a list therefore hands out a new node for it (the reference providers read
// each list once).
//
// Threading: one instance per thread (ForThread); no locking.
#ifndef ORVO_FORMULA_FORMULA_NAMES_H_
#define ORVO_FORMULA_FORMULA_NAMES_H_

#include <cstdint>
#include <memory>
#include <string>

#include "frame/key_index.h"
#include "orvo/providers.h"
#include "orvo/xml.h"

namespace orvo {

class FormulaNames {
 public:
  virtual ~FormulaNames() = default;

  // The thread's names: read through the providers once launch properties
  // are stored on the thread; before that nothing is defined and columns
  // follow the letter rule.
  static FormulaNames& ForThread();

  // Called at the start of every parse: the providers are asked afresh for
  // each parse, and reused for the operands within it.
  virtual void StartParse() {}

  // While one lives on the thread, the parses reuse the providers the first
  // of them asked for instead of asking afresh for each parse. For a run of
  // parses during which the launch properties cannot change, such as the
  // evaluation of one format; nests.
  class ReuseProviders {
   public:
    ReuseProviders();
    ~ReuseProviders();
    ReuseProviders(const ReuseProviders&) = delete;
    ReuseProviders& operator=(const ReuseProviders&) = delete;
  };

  // Keys are compared as given; callers pass them upper-cased.
  virtual bool IsBookmark(const std::string& key) = 0;
  virtual bool IsNamedRange(const std::string& key) = 0;
  virtual bool IsChartMapFolder(const std::string& key) = 0;
  virtual bool IsDriverField(const std::string& name) = 0;
  // The database-map table of that name, or null.
  virtual std::shared_ptr<IDatabaseMapTable> DatabaseMapTable(const std::string& name) = 0;
  // The column number of column letters, -1 when they are not a column:
  // the format provider's answer, or the letter rule (frame/column_letters.h)
  // while nothing is defined.
  virtual std::int16_t ColumnNumber(const std::string& letters) = 0;
};

}  // namespace orvo

#endif  // ORVO_FORMULA_FORMULA_NAMES_H_
