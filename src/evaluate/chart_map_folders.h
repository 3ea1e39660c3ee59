// Chart-map folders as the evaluator reads them: the folder a reference
// names, and the account ranges the folder stands for.
//
// A reference is "CM." followed by the folder key and at most one suffix:
//   ".CR"   only accounts with credit balances (amounts below zero)
//   ".DR"   only accounts with debit balances (amounts above zero)
//   ".TCR"  the folder's total when it is a credit, else zero
//   ".TDR"  the folder's total when it is a debit, else zero
// The folder key is what remains, upper-cased: "CM.Revenue.tdr" names the
// folder REVENUE, as "CM.REVENUE" does.
//
// A folder's ranges are every Range element below it (nested folders
// included) and, for every Mapping element below it, the ranges of the
// folder the mapping names, followed from folder to folder: a mapping that
// leads back to a folder already visited is not followed again, so mapping
// cycles end. A range already taken with the same name and the same credit
// and debit settings is not taken twice. The expansion is stored in the
// shared ERange element (one Itm per folder key holding the Ranges and
// Mappings lists), so every evaluator of the thread expands a folder once.
//
// Account codes in ranges are trimmed and upper-cased; a doubled code
// splitter (the character AccountCodeStructure_DDKFunction names) counts as
// one and a trailing one is dropped, so "6000--10" and "6000-10" are the
// same code.
//
// Threading: one instance per evaluator, on its thread.
#ifndef ORVO_EVALUATE_CHART_MAP_FOLDERS_H_
#define ORVO_EVALUATE_CHART_MAP_FOLDERS_H_

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "evaluate/driver_requests.h"
#include "evaluate/list_index.h"
#include "orvo/xml.h"

namespace orvo {

enum class FolderRestriction { kNone, kCredit, kDebit, kTotalCredit, kTotalDebit };

struct FolderReference {
  std::string key;  // upper case
  FolderRestriction restriction = FolderRestriction::kNone;
};

FolderReference ParseFolderReference(std::string_view text);

// The text of a restriction as cache entries record it ("", "CR", ...).
const char* RestrictionText(FolderRestriction restriction);

// A code as ranges compare it: trimmed, upper case, repeated splitters
// collapsed, a trailing splitter dropped.
std::string NormalizedCode(std::string_view code, std::string_view splitter);

class ChartMapFolders {
 public:
  // The ranges of the folder with `key` (upper case), expanded into the
  // shared `ranges_store` on first use; nothing when no folder has the key.
  std::optional<std::vector<AccountRange>> Ranges(const std::string& key,
                                                  const xml::Node& ranges_store);

 private:
  xml::Node Folder(const std::string& key);
  xml::Node Expand(const std::string& key, const xml::Node& folder, const xml::Node& ranges_store);
  std::string Splitter();

  xml::Node m_chart_map;
  std::unordered_map<std::string, xml::Node> m_folders;  // ItemKey -> Folder
  ListIndex m_expanded{[](const xml::Node& entry) { return entry.AttributeOr("Key", ""); }};
  std::optional<std::string> m_splitter;
};

}  // namespace orvo

#endif  // ORVO_EVALUATE_CHART_MAP_FOLDERS_H_
