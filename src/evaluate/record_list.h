// An XML list of records made from a template, with a hash index on a key
// the caller forms from the record's attributes.
//
// The list element is what the store looks like from outside (tests, the
// builder, a debugger); the index answers the look-ups the evaluator makes
// per operand, which an XPath scan over the list would make linear. The index
// is kept in step by making every change through this class.
#ifndef ORVO_EVALUATE_RECORD_LIST_H_
#define ORVO_EVALUATE_RECORD_LIST_H_

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "orvo/xml.h"

namespace orvo {

class RecordList {
 public:
  using Values = std::initializer_list<std::pair<std::string_view, std::string_view>>;

  // `list_name` names the list element; `record_template` is a template text
  // such as "Cell Key='' Rpt='' Val=''" (wrapped as "<" text "/>").
  RecordList(const xml::Document& document, std::string_view list_name,
             std::string_view record_template);

  const xml::Node& Element() const { return m_list; }
  std::size_t Size() const { return m_index.size(); }

  // The record indexed under `key`, or null.
  xml::Node Find(const std::string& key) const;
  // Appends a copy of the template with `values` written into it and indexes
  // it under `key` (replacing what the key found before in the index).
  xml::Node Add(const std::string& key, Values values);
  // The record under `key`, added from `values` when there is none.
  xml::Node FindOrAdd(const std::string& key, Values values);
  // Replaces the list by a fresh empty one.
  void Clear();

 private:
  xml::Document m_document;
  std::string m_list_name;
  xml::Node m_list;
  xml::Node m_template;
  std::unordered_map<std::string, xml::Node> m_index;
};

}  // namespace orvo

#endif  // ORVO_EVALUATE_RECORD_LIST_H_
