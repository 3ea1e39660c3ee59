// Ownership of libxml2 memory.
//
// An Arena owns documents and the detached subtrees created from them. Every
// Node handle holds a shared reference to an arena, so nothing it can reach is
// freed while it exists. Inserting a node of one arena into a tree of another
// merges the two: the first forwards to the second and hands over everything
// it owned, so handles of either stay valid for as long as any handle exists.
//
// Detached subtrees (removed, cloned, created but not inserted) are kept in a
// set (open addressing in one array, so creating and inserting a node, the
// commonest edit, costs no allocation of its own). A sweep frees those that
// no handle reaches; it runs when the set has doubled since the last sweep,
// so reclaiming costs amortised constant time.
// On destruction detached subtrees are freed before documents, whose
// dictionaries their strings may live in.
#ifndef ORVO_XML_ARENA_H_
#define ORVO_XML_ARENA_H_

#include <cstddef>
#include <memory>
#include <vector>

#include "xml/libxml.h"

namespace orvo::xml::detail {

// A set of node pointers: linear probing over a power-of-two table, with
// erased slots marked until the next rebuild.
class NodeSet {
 public:
  std::size_t Size() const { return m_size; }
  void Insert(xmlNodePtr node);
  void Erase(xmlNodePtr node);
  void Clear();
  // Calls `f` with every member.
  template <class F>
  void ForEach(F f) const {
    for (xmlNodePtr slot : m_slots) {
      if (IsMember(slot)) f(slot);
    }
  }
  // Erases the members for which `f` answers true.
  template <class F>
  void EraseIf(F f) {
    for (xmlNodePtr& slot : m_slots) {
      if (IsMember(slot) && f(slot)) {
        slot = Erased();
        --m_size;
      }
    }
  }

 private:
  static xmlNodePtr Erased() { return reinterpret_cast<xmlNodePtr>(alignof(xmlNode)); }
  static bool IsMember(xmlNodePtr slot) { return slot != nullptr && slot != Erased(); }
  std::size_t Home(xmlNodePtr node) const;
  void Rebuild(std::size_t capacity);

  std::vector<xmlNodePtr> m_slots;  // null: never used
  std::size_t m_size = 0;           // members
  std::size_t m_used = 0;           // members and erased slots
};

class Arena : public ArenaCount {
 public:
  Arena() = default;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  ~Arena();

  // A new arena and the first reference to it.
  static ArenaRef Make();

  // The arena that currently owns the nodes of `arena`.
  static Arena& Owner(const ArenaRef& arena) {
    auto* owner = static_cast<Arena*>(arena.Get());
    while (ArenaCount* next = owner->m_forward.Get()) owner = static_cast<Arena*>(next);
    return *owner;
  }

  // Takes ownership of a document.
  void AdoptDocument(xmlDocPtr document);
  // Records a subtree root that has no parent (may first sweep unheld ones;
  // `root` itself is recorded after the sweep, so it is never swept here).
  void AddDetached(xmlNodePtr root);
  // Forgets a root that is about to be linked into a tree.
  void RemoveDetached(xmlNodePtr root);

  // Called before names are added to `document` (an element or attribute
  // made, a subtree copied in). A document without a dictionary gets one
  // from the second such call of the arena on: from then on its names are
  // interned instead of duplicated per node. Small documents (a copy of one
  // element, made and dropped at a high rate) never pay for a dictionary.
  void NoteGrowth(xmlDocPtr document) {
    if (document && !document->dict && ++m_growth > 1) document->dict = xmlDictCreate();
  }

  // Makes `a` and `b` one arena; returns the surviving owner.
  static Arena& Merge(const ArenaRef& a, const ArenaRef& b);

 private:
  void Sweep();

  ArenaRef m_forward;  // set once merged into another arena
  std::vector<xmlDocPtr> m_documents;
  NodeSet m_detached;
  std::size_t m_sweep_at = 64;
  std::size_t m_growth = 0;
};

}  // namespace orvo::xml::detail

#endif  // ORVO_XML_ARENA_H_
