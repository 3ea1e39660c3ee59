// Data-column configurations: columns a report adds to its formats from a
// stored configuration, one column per configured period or balance.
//
// A configuration is a DC element (Key) of the workspace's data-column
// configuration library, holding one DCol per column, in the order of their
// Ind: Hdg (the heading), Year, Prd, PdEnd, PdBal, Bal (its balance). A
// data-column definition (DC with an ID, of the definition list) names its
// configuration in Cfg.
//
// Which configuration is in force: the report's (the data-column override
// AddReport appended, or the configuration the report's DCC names), then
// inside a group, kept section or format entry the one its DCC names, or its
// DCID's definition's, until the element is done (Restore). An element that
// names none keeps the one in force. Keys are looked up in the override
// first (its DC children, or the override itself when it is a DC), then in
// the library; a key found in neither puts no configuration in force.
//
// Inserting a configuration into a format (a copy about to be evaluated):
// only a format with balance columns (ColBals) takes data columns. Its first
// balance column is the template. For each configured column, in order, a
// new column is added after the last one (MCol grows by one): every item of
// the template column is copied into it with its key, column and, for a
// formula, the references to the template column moved to the new column
// (the formula written to Value and DCFml, the parsed record left for
// parsing again); the first item of the column that is plain text becomes
// the heading (Hdg); the column gets a ColBal with the configured balance.
// Without a configuration, or for a format without ColBals, the format is
// left as it is.
//
// Threading: one thread (the builder's).
#ifndef ORVO_PREVIEW_DATA_COLUMNS_H_
#define ORVO_PREVIEW_DATA_COLUMNS_H_

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "orvo/xml.h"

namespace orvo {

class DataColumnScope {
 public:
  // Empties the collection; nothing is in force. `configurations` is the
  // configuration library (DC children by Key) and `definitions` the
  // definition list (DC children by ID); either may be null.
  void Reset(xml::Node configurations, xml::Node definitions);

  // The override appended by AddReport: in force for the whole report, filed
  // under "REPORT".
  void Override(const xml::Node& data_column_override);
  // The report's own configuration, by key; an empty key files an empty
  // entry under "REPORT" and puts nothing in force.
  void ReportConfiguration(const std::string& key);

  // Puts the configuration `element` names (DCC, else DCID) in force and
  // returns what Restore needs to go back to the one in force before.
  std::size_t Apply(const xml::Node& element);
  void Restore(std::size_t previous);

  // The configuration in force, or null.
  xml::Node Current() const;
  // The configurations met so far, by key ("REPORT" for the report's).
  const std::unordered_map<std::string, xml::Node>& Collection() const { return m_collection; }

  // Inserts the configuration in force into `format` (see the file comment).
  void InsertInto(const xml::Node& format) const;

 private:
  xml::Node FindConfiguration(const std::string& key) const;

  xml::Node m_library;
  xml::Node m_definitions;
  xml::Node m_override;
  std::vector<xml::Node> m_in_force;  // the stack; back() is current
  std::unordered_map<std::string, xml::Node> m_collection;
};

// Inserts configuration `configuration` (a DC element) into `format`.
void InsertDataColumns(const xml::Node& format, const xml::Node& configuration);

}  // namespace orvo

#endif  // ORVO_PREVIEW_DATA_COLUMNS_H_
