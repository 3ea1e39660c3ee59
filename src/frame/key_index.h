// A hash set of the keys of an XML list, kept in step with the list node it
// was read from. Look-ups that the formula language makes per operand (named
// ranges, bookmarks, chart-map folders, driver fields) use it instead of an
// XPath scan over the list.
#ifndef ORVO_FRAME_KEY_INDEX_H_
#define ORVO_FRAME_KEY_INDEX_H_

#include <string>
#include <unordered_set>

#include "orvo/xml.h"

namespace orvo {

// A set of keys read from a list node, kept in step with it.
class KeyIndex {
 public:
  // Re-reads `list` when it is not the node indexed last. `read` adds the
  // keys of one list to the set.
  template <class Read>
  const std::unordered_set<std::string>& For(const xml::Node& list, Read&& read) {
    if (!m_built || !(list == m_list)) {
      m_keys.clear();
      if (list) read(list, m_keys);
      m_list = list;
      m_built = true;
    }
    return m_keys;
  }

 private:
  xml::Node m_list;
  bool m_built = false;
  std::unordered_set<std::string> m_keys;
};

}  // namespace orvo

#endif  // ORVO_FRAME_KEY_INDEX_H_
