// A hash index over the records of a list that someone else fills (the
// builder's named-range values, rows to ignore, the bookmark definitions).
//
// The owner appends records as the build goes on and hands the same list
// node out again, so the index follows appends incrementally: each look-up
// first indexes the records added after the last one it saw. When the list
// node changes, or a record it indexed has left the list, the index is built
// afresh. The first record with a key wins, as with an XPath query that
// selects the first match in document order. Records whose key attributes are
// changed in place are not seen; the owners only append and remove.
#ifndef ORVO_EVALUATE_LIST_INDEX_H_
#define ORVO_EVALUATE_LIST_INDEX_H_

#include <string>
#include <unordered_map>

#include "orvo/xml.h"

namespace orvo {

class ListIndex {
 public:
  // The key of a record; records whose key is empty are not indexed.
  using KeyOf = std::string (*)(const xml::Node& record);

  explicit ListIndex(KeyOf key_of) : m_key_of(key_of) {}

  // The first record of `list` with `key`, or null (also for a null list).
  xml::Node Find(const xml::Node& list, const std::string& key);

 private:
  void Rebuild(const xml::Node& list);
  void CatchUp(const xml::Node& list);
  void IndexFrom(xml::Node record);

  KeyOf m_key_of;
  xml::Node m_list;
  xml::Node m_last;  // the last child indexed
  std::unordered_map<std::string, xml::Node> m_index;
};

}  // namespace orvo

#endif  // ORVO_EVALUATE_LIST_INDEX_H_
