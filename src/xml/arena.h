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
//
// The elements, attributes and texts the facade makes come from the arena's
// node pool (see NodePool) rather than one allocation each; nodes the
// libxml2 parser or libxslt made stay libxml2's. Tearing an arena down then
// frees, per pooled node, only the strings it owns.
#ifndef ORVO_XML_ARENA_H_
#define ORVO_XML_ARENA_H_

#include <array>
#include <cstddef>
#include <cstdint>
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

// A value of at most 16 bytes as a key: its bytes, zero-padded, and its
// length. Tables of short values (attribute values met again and again)
// find its slot from Bucket.
struct ShortValueKey {
  std::uint64_t bytes[2] = {0, 0};
  std::size_t length = 0;

  ShortValueKey() = default;
  // (Bytes copied one by one: values are a few bytes, and this runs per
  // attribute of a parse.)
  ShortValueKey(const void* text, std::size_t size) : length(size) {
    const auto* from = static_cast<const unsigned char*>(text);
    auto* into = reinterpret_cast<unsigned char*>(bytes);
    for (std::size_t i = 0; i < size; ++i) into[i] = from[i];
  }
  // The slot in a table of 2^bits slots.
  std::size_t Bucket(std::size_t bits) const {
    const std::uint64_t hash =
        (bytes[0] * 0x9E3779B97F4A7C15ULL) ^ ((bytes[1] + length) * 0xC2B2AE3D27D4EB4FULL);
    return static_cast<std::size_t>(hash >> (64 - bits));
  }
  bool operator==(const ShortValueKey&) const = default;
};

// Memory for the nodes the facade makes: large chunks carved by exact size
// (an xmlNode or an xmlAttr), with one free list per size so that nodes
// freed one by one are reused. A pooled node carries kPooledNode in its
// handle-count field (libxml.h), which libxml2 neither reads nor copies.
//
// Chunks are only returned when the pool goes, with everything carved from
// them. The largest chunks, which hold nearly all the nodes of a large
// document, are mapped from the system rather than taken from the
// allocator. When their pool goes they are kept for the pools to come, up
// to a bound, and unmapped beyond it: the next build of a large document
// fills the pages the last one left (fresh pages cost the kernel a fault
// and a clearing each, a good part of a build), and the process never
// holds more chunk memory than its largest documents needed at once. The
// allocator, left to itself, kept the pages of one build while the next
// took new ones. Pools merge as their arenas do; a node moved into a document of
// another arena without merging the arenas (Node::AppendShaped) merges the
// pools, so its memory lives as long as both.
class NodePool {
 public:
  enum Kind : std::uint8_t { kElementOrText = 0, kAttribute = 1 };

  NodePool() = default;
  NodePool(const NodePool&) = delete;
  NodePool& operator=(const NodePool&) = delete;
  ~NodePool();

  // Uninitialised memory for one node of `kind`; raises when out of memory.
  void* Take(Kind kind) {
    FreeList& free = m_free[kind];
    if (free.head) {
      FreeSlot* slot = free.head;
      Unpoison(slot, kind);
      free.head = slot->next;
      if (!free.head) free.tail = nullptr;
      --free.count;
      return slot;
    }
    return Carve(m_regions[kind], kind, kind);
  }

  // Memory for several nodes laid out one after the other by the caller,
  // each of them given back one by one, by kind, like any other (see Give):
  // uninitialised memory of `size` bytes (a multiple of 8) when what is left
  // of the current chunk of blocks holds that many, else null.
  void* TakeBlock(std::size_t size) {
    if (static_cast<std::size_t>(m_blocks.end - m_blocks.next) < size) return nullptr;
    void* block = m_blocks.next;
    m_blocks.next += size;
    UnpoisonBytes(block, size);
    return block;
  }
  // The same for one node of `kind`, next to the last one taken there (a
  // new chunk of blocks when the current one is full); raises when out of
  // memory. For a run of nodes that do not fit in one block.
  void* TakeInBlocks(Kind kind);

  // Freed nodes of `kind` waiting for reuse.
  std::size_t FreeCount(Kind kind) const { return m_free[kind].count; }

  // Buffers of the texts of pooled text nodes (those not kept inside their
  // node): the pool knows of each, so that a document freed without a walk
  // leaves none behind. Whoever gives a pooled text node a buffer calls
  // KeepString; whoever frees such a buffer calls ForgetString first.
  void KeepString(const xmlChar* text) { m_strings.Insert(AsKey(text)); }
  void ForgetString(const xmlChar* text) { m_strings.Erase(AsKey(text)); }

  // Takes back a node's memory for reuse.
  void Give(void* memory, Kind kind) {
    FreeList& free = m_free[kind];
    auto* slot = static_cast<FreeSlot*>(memory);
    slot->next = free.head;
    free.head = slot;
    if (!free.tail) free.tail = slot;
    ++free.count;
    Poison(slot, kind);
  }

  // The shared texts of short values written lately (SharedShortText in
  // tree_edit.h), each held once by its slot. Made on first use.
  struct ShortText {
    ShortValueKey key;
    xmlNodePtr text = nullptr;
  };
  static constexpr std::size_t kShortTextBits = 8;
  using ShortTexts = std::array<ShortText, std::size_t{1} << kShortTextBits>;
  ShortTexts& ShortTextTable() {
    if (!m_short_texts) m_short_texts = std::make_unique<ShortTexts>();
    return *m_short_texts;
  }

  // Moves everything `from` holds into `into`; `from` forwards to `into`.
  static void Merge(const std::shared_ptr<NodePool>& from, const std::shared_ptr<NodePool>& into);

  // The pool that currently owns the memory of `pool`.
  static NodePool& Owner(NodePool& pool) {
    NodePool* owner = &pool;
    while (owner->m_forward) owner = owner->m_forward.get();
    return *owner;
  }

  // Bytes of chunks held by every pool of the process (for tests: a loop of
  // edits must not make it grow without bound).
  static std::size_t ChunkBytes();
  // Bytes of chunks mapped from the system, held by pools or kept for them.
  static std::size_t MappedBytes();

  static constexpr std::size_t SizeOf(Kind kind) {
    return kind == kAttribute ? sizeof(xmlAttr) : sizeof(xmlNode);
  }

 private:
  // A free slot holds the link to the next one.
  struct FreeSlot {
    FreeSlot* next;
  };
  struct FreeList {
    FreeSlot* head = nullptr;
    FreeSlot* tail = nullptr;  // the first slot given, to splice lists
    std::size_t count = 0;
  };
  // A chunk of nodes; its memory comes from the allocator, or for the
  // largest chunks straight from the system (see NewChunk).
  struct Chunk {
    std::byte* memory = nullptr;
    std::size_t size = 0;
    bool mapped = false;
  };

  static xmlNodePtr AsKey(const xmlChar* text) {
    return reinterpret_cast<xmlNodePtr>(const_cast<xmlChar*>(text));
  }
  // Chunks grow from small (an arena of a few nodes is common) to this.
  static constexpr std::size_t kLargestChunk = std::size_t{1} << 20;
  // Frees the memory of a chunk, or keeps it for another pool.
  static void FreeChunk(const Chunk& chunk);
  struct Region;
  // Makes a new chunk current in `region`.
  void NewChunk(Region& region);
  // One node of `kind` carved from the current chunk of `region`; when it
  // is full, what is left of it goes to the free list of `rest` and a new
  // chunk is made current.
  void* Carve(Region& region, Kind kind, Kind rest) {
    const std::size_t size = SizeOf(kind);
    if (static_cast<std::size_t>(region.end - region.next) < size) {
      RetireRest(region, rest);
      NewChunk(region);
    }
    void* slot = region.next;
    region.next += size;
    Unpoison(slot, kind);
    return slot;
  }
  // Hands what is left of the current chunk of `region` to the free list of
  // `kind`.
  void RetireRest(Region& region, Kind kind);
  static void Poison(void* slot, Kind kind);
  static void Unpoison(void* slot, Kind kind);
  static void UnpoisonBytes(void* at, std::size_t size);

  std::vector<Chunk> m_chunks;
  // Where the next nodes of a kind are carved: each kind has chunks of its
  // own, so that the attributes of an element lie close together (a lookup
  // walks them) rather than between their text nodes.
  struct Region {
    std::byte* next = nullptr;
    std::byte* end = nullptr;
    std::size_t next_chunk = 2048;  // the size of the next chunk
  };
  Region m_regions[2];
  // Where blocks of several nodes are carved (TakeBlock): what is left of
  // its chunks goes to elements and texts.
  Region m_blocks;
  FreeList m_free[2];
  NodeSet m_strings;
  std::unique_ptr<ShortTexts> m_short_texts;
  std::shared_ptr<NodePool> m_forward;  // set once merged into another pool
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

  // The pool the arena's own nodes come from and go back to.
  NodePool& Pool() { return NodePool::Owner(*m_pool); }
  // Makes the pools of `a` and `b` one, for nodes that move from a document
  // of one into a document of the other while the arenas stay apart.
  static void SharePools(const ArenaRef& a, const ArenaRef& b);

 private:
  void Sweep();

  std::shared_ptr<NodePool> m_pool = std::make_shared<NodePool>();
  ArenaRef m_forward;  // set once merged into another arena
  std::vector<xmlDocPtr> m_documents;
  NodeSet m_detached;
  std::size_t m_sweep_at = 64;
  std::size_t m_growth = 0;
};

}  // namespace orvo::xml::detail

#endif  // ORVO_XML_ARENA_H_
