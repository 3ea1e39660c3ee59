// Sorting a repeat list by the fields of its definition's SItm children.
//
// The order is the one an XSLT 1.0 stylesheet gives that is built for the
// list: one xsl:sort per field, ascending, by text (byte order of the UTF-8
// text, which is code-point order), ties kept in list order. The
// stylesheet writes a new list: the root element without its attributes,
// then for every child named like the first record, in sorted order, an
// element of that name carrying the first record's attributes (in its
// order) with the record's values ("" where it lacks one). Other children
// are left out.
//
// SortRepeatList gives the same list without running XSLT: records shaped
// like the first one are moved over as they are (so the input list is
// consumed), others are rebuilt. SortRepeatListByStylesheet runs the
// stylesheet itself; the tests hold the two equal on random lists.
//
// A sort field that is not an XML name raises a failure (number 1, source
// "Repeat"), before either sort starts.
#ifndef ORVO_EVALUATE_REPEAT_SORT_H_
#define ORVO_EVALUATE_REPEAT_SORT_H_

#include <string>
#include <string_view>
#include <vector>

#include "orvo/xml.h"

namespace orvo {

// The definition's sort fields, upper case: the Fld of SItm Ind="1", "2", ...
// up to the first index missing.
std::vector<std::string> RepeatSortFields(const xml::Node& repeat_definition);

// The sort stylesheet's text for a list whose root and first record have
// these names and the first record these attributes.
std::string RepeatSortStylesheetText(std::string_view root_name, std::string_view record_name,
                                     const std::vector<std::string>& attributes,
                                     const std::vector<std::string>& fields);

// The sorted list (a new element); the input list is left as it was. A list
// without records is returned as a deep copy.
xml::Node SortRepeatListByStylesheet(const xml::Node& list, const std::vector<std::string>& fields);

// The sorted list (a new element, in the list's document); the records of
// `list` move into it. A list that already is its sorted list (records in
// order, each shaped like the first, no other children, no attributes on
// the root) comes back itself.
xml::Node SortRepeatList(const xml::Node& list, const std::vector<std::string>& fields);

}  // namespace orvo

#endif  // ORVO_EVALUATE_REPEAT_SORT_H_
