#include "xml/arena.h"

#include "xml/tree_edit.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define ORVO_POOL_POISON(at, size) ASAN_POISON_MEMORY_REGION(at, size)
#define ORVO_POOL_UNPOISON(at, size) ASAN_UNPOISON_MEMORY_REGION(at, size)
#else
#define ORVO_POOL_POISON(at, size) static_cast<void>(0)
#define ORVO_POOL_UNPOISON(at, size) static_cast<void>(0)
#endif

namespace orvo::xml::detail {
namespace {

std::atomic<std::size_t> chunk_bytes{0};
std::atomic<std::size_t> mapped_bytes{0};

// Mapped chunks (all of NodePool's largest size) whose pools went, for the
// pools to come. Whatever the thread: a build runs on any thread, and the
// next one on another.
class ChunkCache {
 public:
  // At most this many bytes are kept; more is unmapped. Enough for the
  // nodes of a report of tens of thousands of items.
  static constexpr std::size_t kKeptBytes = std::size_t{128} << 20;

  static ChunkCache& Get() {
    // Never destroyed: pools may go after static destruction has begun.
    static ChunkCache* const cache = new ChunkCache;
    return *cache;
  }

  // A kept chunk, or null.
  std::byte* Take() {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_chunks.empty()) return nullptr;
    std::byte* chunk = m_chunks.back();
    m_chunks.pop_back();
    return chunk;
  }

  // Keeps `chunk` of `size` bytes when there is room; false when not.
  bool Keep(std::byte* chunk, std::size_t size) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if ((m_chunks.size() + 1) * size > kKeptBytes) return false;
    try {
      m_chunks.push_back(chunk);
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }

 private:
  std::mutex m_mutex;
  std::vector<std::byte*> m_chunks;
};

// `size` bytes mapped from the system, or null.
std::byte* MapChunk(std::size_t size) {
  void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) return nullptr;
  mapped_bytes.fetch_add(size, std::memory_order_relaxed);
  return static_cast<std::byte*>(memory);
}

}  // namespace

void NodePool::FreeChunk(const Chunk& chunk) {
  if (!chunk.mapped) {
    delete[] chunk.memory;
  } else if (!ChunkCache::Get().Keep(chunk.memory, chunk.size)) {
    munmap(chunk.memory, chunk.size);
    mapped_bytes.fetch_sub(chunk.size, std::memory_order_relaxed);
  }
}

std::size_t NodePool::MappedBytes() { return mapped_bytes.load(std::memory_order_relaxed); }

NodePool::~NodePool() {
  m_strings.ForEach([](xmlNodePtr text) { xmlFree(text); });
  std::size_t bytes = 0;
  for (const Chunk& chunk : m_chunks) {
    // Freed slots are poisoned; the allocator may look at any of its bytes.
    ORVO_POOL_UNPOISON(chunk.memory, chunk.size);
    bytes += chunk.size;
    FreeChunk(chunk);
  }
  chunk_bytes.fetch_sub(bytes, std::memory_order_relaxed);
}

std::size_t NodePool::ChunkBytes() { return chunk_bytes.load(std::memory_order_relaxed); }

void NodePool::Poison(void* slot, Kind kind) {
  ORVO_POOL_POISON(slot, SizeOf(kind));
  static_cast<void>(slot);
  static_cast<void>(kind);
}

void NodePool::UnpoisonBytes(void* at, std::size_t size) {
  ORVO_POOL_UNPOISON(at, size);
  static_cast<void>(at);
  static_cast<void>(size);
}

void NodePool::Unpoison(void* slot, Kind kind) {
  ORVO_POOL_UNPOISON(slot, SizeOf(kind));
  static_cast<void>(slot);
  static_cast<void>(kind);
}

void NodePool::RetireRest(Region& region, Kind kind) {
  const std::size_t size = SizeOf(kind);
  while (static_cast<std::size_t>(region.end - region.next) >= size) {
    std::byte* slot = region.next;
    region.next += size;
    Unpoison(slot, kind);
    Give(slot, kind);
  }
  region.next = nullptr;
  region.end = nullptr;
}

void NodePool::NewChunk(Region& region) {
  const std::size_t size = region.next_chunk;
  Chunk chunk;
  chunk.size = size;
  // The largest chunks are mapped; should that fail, the allocator has a go.
  if (size == kLargestChunk) {
    chunk.memory = ChunkCache::Get().Take();
    if (!chunk.memory) chunk.memory = MapChunk(size);
    chunk.mapped = chunk.memory != nullptr;
  }
  if (!chunk.memory) chunk.memory = new (std::nothrow) std::byte[size];
  if (!chunk.memory) RaiseXml("Out of memory creating nodes");
  try {
    m_chunks.push_back(chunk);
  } catch (const std::bad_alloc&) {
    FreeChunk(chunk);
    RaiseXml("Out of memory creating nodes");
  }
  region.next = chunk.memory;
  region.end = region.next + size;
  chunk_bytes.fetch_add(size, std::memory_order_relaxed);
  region.next_chunk = std::min(kLargestChunk, 2 * size);
  // Not handed out yet: any access before Take is an error.
  ORVO_POOL_POISON(region.next, size);
}

void* NodePool::TakeInBlocks(Kind kind) { return Carve(m_blocks, kind, kElementOrText); }

void NodePool::Merge(const std::shared_ptr<NodePool>& from_ref,
                     const std::shared_ptr<NodePool>& into_ref) {
  NodePool& from = Owner(*from_ref);
  NodePool& into = Owner(*into_ref);
  if (&from == &into) return;
  from.RetireRest(from.m_blocks, kElementOrText);
  for (Kind kind : {kElementOrText, kAttribute}) {
    // The larger rest of a current chunk stays current; the other is carved.
    Region& kept = into.m_regions[kind];
    Region& other = from.m_regions[kind];
    if (other.end - other.next > kept.end - kept.next) {
      std::swap(other.next, kept.next);
      std::swap(other.end, kept.end);
    }
    kept.next_chunk = std::max(kept.next_chunk, other.next_chunk);
    from.RetireRest(other, kind);
    FreeList& target = into.m_free[kind];
    FreeList& source = from.m_free[kind];
    if (!source.head) continue;
    // The source's list goes in front of the target's.
    Unpoison(source.tail, kind);
    source.tail->next = target.head;
    Poison(source.tail, kind);
    if (!target.tail) target.tail = source.tail;
    target.head = source.head;
    target.count += source.count;
    source = FreeList();
  }
  from.m_strings.ForEach([&into](xmlNodePtr text) { into.m_strings.Insert(text); });
  from.m_strings.Clear();
  // The table's holds are let go of (its texts' memory goes to `into`).
  if (from.m_short_texts) {
    for (const ShortText& slot : *from.m_short_texts) {
      if (slot.text) ReleaseShared(&into, slot.text);
    }
    from.m_short_texts.reset();
  }
  into.m_chunks.insert(into.m_chunks.end(), from.m_chunks.begin(), from.m_chunks.end());
  from.m_chunks.clear();
  // The reference that owns `into` keeps it alive for `from`'s nodes.
  const std::shared_ptr<NodePool>* owner = &into_ref;
  while ((*owner)->m_forward) owner = &(*owner)->m_forward;
  from.m_forward = *owner;
}

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
  // Pooled nodes go back to the pool only when it outlives this arena (it
  // took in nodes of another arena's document); else their chunks go with it.
  NodePool* recycle = m_pool.use_count() > 1 || &Pool() != m_pool.get() ? &Pool() : nullptr;
  // What came from a pure document is left to the pool; the rest is walked.
  m_detached.ForEach([recycle](xmlNodePtr root) {
    if (!IsPooled(root) || !IsPure(root->doc)) FreeTree(recycle, root);
  });
  for (xmlDocPtr document : m_documents) {
    if (IsPure(document)) {
      document->children = nullptr;
      document->last = nullptr;
    }
    FreeDocument(recycle, document);
  }
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
  NodePool& pool = Pool();
  m_detached.EraseIf([&pool](xmlNodePtr root) {
    if (!IsUnreferenced(root)) return false;
    FreeTree(&pool, root);
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
  NodePool::Merge(from.m_pool, target.m_pool);
  from.m_forward = ArenaRef(&target);
  return target;
}

void Arena::SharePools(const ArenaRef& a, const ArenaRef& b) {
  NodePool::Merge(Owner(a).m_pool, Owner(b).m_pool);
}

void ReleaseArena(ArenaCount* arena) noexcept {
  // Owned from here on, and freed with everything it still owns.
  std::unique_ptr<Arena> owned(static_cast<Arena*>(arena));
}

}  // namespace orvo::xml::detail
