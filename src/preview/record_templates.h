// The internal records of a report build and the empty containers that hold
// them.
//
// Every record is a deep copy of a template element, made once from its
// template text: the text is wrapped as "<" + text + "/>" and parsed into
// the builder's scratch document. The attribute order of the template is
// the attribute order of every record, and readers rely on it (a Sect's
// Start and End, a Row's Del and Keep are read by position).
//
// One RecordTemplates belongs to one builder: the builder may change a
// template (it sets the Row template's Del and Keep before writing rows),
// and later copies carry the change. Records and containers are created
// detached in the scratch document and may be inserted anywhere.
#ifndef ORVO_PREVIEW_RECORD_TEMPLATES_H_
#define ORVO_PREVIEW_RECORD_TEMPLATES_H_

#include <array>
#include <cstddef>
#include <string_view>

#include "orvo/xml.h"

namespace orvo {

enum class RecordKind : std::size_t {
  kPageSetup,       // PgB in PgBks (PageThrows)
  kSpaceFiller,     // SF in SpFs, SpFsH, SpFsF
  kKeptSection,     // Sect in KpSections
  kPrintCondition,  // EPRC in EPRCs
  kNamedRange,      // NR in NRgs
  kDependent,       // Dep in dependency lists
  kRow,             // Row in Rows; text = row number
  kIgnoredRow,      // RowIgn in RowsToIgnore
  kColumn,          // Col in Cols
  kBalanceKey,      // Key in Keys
  kDependencyData,  // DepData child of an item
};
inline constexpr std::size_t kRecordKindCount = 11;

// The template text of a record kind, exactly as it is parsed.
std::string_view RecordTemplateText(RecordKind kind);

// The containers created empty at the start of every report build, and the
// report queue.
inline constexpr std::string_view kBuildContainers[] = {
    "PgBks",    "SpFs",         "SpFsH",      "SpFsF", "EPRCs", "NRgs",
    "IncNotes", "RowsToIgnore", "KpSections", "Rows",  "Itms"};
inline constexpr std::string_view kReportQueue = "Reps";

class RecordTemplates {
 public:
  // Parses every template into a new scratch document.
  RecordTemplates();

  RecordTemplates(const RecordTemplates&) = delete;
  RecordTemplates& operator=(const RecordTemplates&) = delete;

  // The template element itself; changes to it show in later records.
  xml::Node Template(RecordKind kind) const;
  // A new record: a deep copy of the template.
  xml::Node NewRecord(RecordKind kind) const;
  // A new empty element `<name/>` (a container such as "PgBks").
  xml::Node NewContainer(std::string_view name) const;

  const xml::Document& Scratch() const { return m_scratch; }

 private:
  xml::Document m_scratch;
  std::array<xml::Node, kRecordKindCount> m_templates;
};

}  // namespace orvo

#endif  // ORVO_PREVIEW_RECORD_TEMPLATES_H_
