#include "xml/arena.h"

#include "xml/tree_edit.h"

#include <algorithm>

namespace orvo::xml::detail {
namespace {

void FreeDetached(xmlNodePtr root) {
  if (root->type == XML_ATTRIBUTE_NODE) {
    xmlFreeProp(reinterpret_cast<xmlAttrPtr>(root));
  } else {
    xmlFreeNode(root);
  }
}

}  // namespace

Arena::~Arena() {
  for (xmlNodePtr root : m_detached) FreeDetached(root);
  for (xmlDocPtr document : m_documents) xmlFreeDoc(document);
}

const std::shared_ptr<Arena>& Arena::OwnerPtr(const std::shared_ptr<Arena>& arena) {
  const std::shared_ptr<Arena>* owner = &arena;
  while ((*owner)->m_forward) owner = &(*owner)->m_forward;
  return *owner;
}

Arena& Arena::Owner(const std::shared_ptr<Arena>& arena) { return *OwnerPtr(arena); }

void Arena::AdoptDocument(xmlDocPtr document) { m_documents.push_back(document); }

void Arena::AddDetached(xmlNodePtr root) {
  if (m_detached.size() >= m_sweep_at) Sweep();
  m_detached.insert(root);
}

void Arena::RemoveDetached(xmlNodePtr root) { m_detached.erase(root); }

void Arena::Sweep() {
  for (auto it = m_detached.begin(); it != m_detached.end();) {
    if (IsUnreferenced(*it)) {
      FreeDetached(*it);
      it = m_detached.erase(it);
    } else {
      ++it;
    }
  }
  m_sweep_at = std::max<std::size_t>(64, 2 * m_detached.size());
}

Arena& Arena::Merge(const std::shared_ptr<Arena>& a, const std::shared_ptr<Arena>& b) {
  const std::shared_ptr<Arena>& from = OwnerPtr(a);
  const std::shared_ptr<Arena>& into = OwnerPtr(b);
  if (from == into) return *into;
  Arena& target = *into;
  target.m_documents.insert(target.m_documents.end(), from->m_documents.begin(),
                            from->m_documents.end());
  target.m_detached.insert(from->m_detached.begin(), from->m_detached.end());
  target.m_sweep_at = std::max(target.m_sweep_at, 2 * target.m_detached.size());
  from->m_documents.clear();
  from->m_detached.clear();
  from->m_forward = into;
  return target;
}

}  // namespace orvo::xml::detail
