#include "xml/arena.h"

#include "xml/tree_edit.h"

#include <algorithm>
#include <cstdint>
#include <memory>

namespace orvo::xml::detail {
namespace {

void FreeDetached(xmlNodePtr root) { FreeTree(root); }

}  // namespace

std::size_t NodeSet::Home(xmlNodePtr node) const {
  // Fibonacci hashing of the address (nodes are at least 8-byte aligned).
  const auto bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(node) >> 3);
  return static_cast<std::size_t>(bits * 0x9E3779B97F4A7C15ULL) & (m_slots.size() - 1);
}

void NodeSet::Rebuild(std::size_t capacity) {
  std::vector<xmlNodePtr> old(capacity, nullptr);
  old.swap(m_slots);
  m_size = 0;
  m_used = 0;
  for (xmlNodePtr slot : old) {
    if (IsMember(slot)) Insert(slot);
  }
}

void NodeSet::Insert(xmlNodePtr node) {
  // At most 3/4 of the slots used (members and erased), at least 1/4 free.
  if (4 * (m_used + 1) > 3 * m_slots.size()) {
    std::size_t capacity = m_slots.empty() ? 64 : m_slots.size();
    while (4 * (m_size + 1) > capacity) capacity *= 2;
    Rebuild(capacity);
  }
  const std::size_t mask = m_slots.size() - 1;
  std::size_t at = Home(node);
  std::size_t erased = m_slots.size();
  for (; m_slots[at] != nullptr; at = (at + 1) & mask) {
    if (m_slots[at] == node) return;
    if (m_slots[at] == Erased() && erased == m_slots.size()) erased = at;
  }
  if (erased != m_slots.size()) {
    m_slots[erased] = node;
  } else {
    m_slots[at] = node;
    ++m_used;
  }
  ++m_size;
}

void NodeSet::Erase(xmlNodePtr node) {
  if (m_size == 0) return;
  const std::size_t mask = m_slots.size() - 1;
  for (std::size_t at = Home(node); m_slots[at] != nullptr; at = (at + 1) & mask) {
    if (m_slots[at] == node) {
      m_slots[at] = Erased();
      --m_size;
      return;
    }
  }
}

void NodeSet::Clear() {
  m_slots.clear();
  m_size = 0;
  m_used = 0;
}

Arena::~Arena() {
  m_detached.ForEach(FreeDetached);
  for (xmlDocPtr document : m_documents) FreeDocument(document);
  // After the frees: what was remembered of a dictionary while its document
  // was freed must not outlive it.
  if (!m_documents.empty()) NoteDocumentFreed();
}

ArenaRef Arena::Make() { return ArenaRef(std::make_unique<Arena>().release()); }

void Arena::AdoptDocument(xmlDocPtr document) { m_documents.push_back(document); }

void Arena::AddDetached(xmlNodePtr root) {
  if (m_detached.Size() >= m_sweep_at) Sweep();
  m_detached.Insert(root);
}

void Arena::RemoveDetached(xmlNodePtr root) { m_detached.Erase(root); }

void Arena::Sweep() {
  m_detached.EraseIf([](xmlNodePtr root) {
    if (!IsUnreferenced(root)) return false;
    FreeDetached(root);
    return true;
  });
  m_sweep_at = std::max<std::size_t>(64, 2 * m_detached.Size());
}

Arena& Arena::Merge(const ArenaRef& a, const ArenaRef& b) {
  Arena& from = Owner(a);
  Arena& target = Owner(b);
  if (&from == &target) return target;
  target.m_documents.insert(target.m_documents.end(), from.m_documents.begin(),
                            from.m_documents.end());
  from.m_detached.ForEach([&target](xmlNodePtr root) { target.m_detached.Insert(root); });
  target.m_sweep_at = std::max(target.m_sweep_at, 2 * target.m_detached.Size());
  from.m_documents.clear();
  from.m_detached.Clear();
  from.m_forward = ArenaRef(&target);
  return target;
}

void ReleaseArena(ArenaCount* arena) noexcept {
  // Owned from here on, and freed with everything it still owns.
  std::unique_ptr<Arena> owned(static_cast<Arena*>(arena));
}

}  // namespace orvo::xml::detail
