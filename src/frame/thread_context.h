// Everything the library keeps per host thread.
//
// The library's objects on one thread share state: the launch properties,
// the outside components and what the library has read through them, the
// formula vocabulary, and the state of the report being built. All of it
// lives in the calling thread's ThreadContext and is listed in this header.
// (Below this layer the XML layer keeps per-thread caches of its own, such as
// compiled queries; they hold no state of the library.)
//
// Lifetime: ThreadContext::Current() makes the thread's context on first use
// and it is destroyed when the thread ends. Each part is made on first use.
// The parts fall into two groups with one reset each:
//   * The thread part is kept for the thread's life: launch properties,
//     outside components, driver results, name look-ups, vocabulary, open
//     workspaces and the per-thread caches of constants.
//   * The build part holds what one report build fills: the note counter and
//     the shared preview state. ResetForBuild clears it; the preview builder
//     calls it at the start of every report build, so the results of the
//     last build stay readable until the next one starts.
// ResetAll clears both groups, leaving the context as a new thread finds it.
// Tests call it to start from a clean state without a new thread
// (FreshThreadContext, InFreshContext below). A reset invalidates every reference
// obtained from the parts it clears: call it only while no library object of
// the thread is in the middle of a member call.
//
// Layering: the frame may not see the types of the layers above it. Their
// parts are declared below by name only and held in ThreadPart slots: the
// layer that defines a part's type makes it on first use, and the slot
// destroys it through the deleter stored then. A layer adds a part by
// declaring its type here and giving it a slot in the right group; the
// preview builder's shared state already has one (SharedPreviewState).
//
// Threading: a context belongs to its thread. Nothing in it is shared with
// another thread, and nothing locks.
#ifndef ORVO_FRAME_THREAD_CONTEXT_H_
#define ORVO_FRAME_THREAD_CONTEXT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "orvo/xml.h"

namespace orvo {

class ISharedCache;

// The parts, each defined in the file named beside it.
struct ProviderSlots;       // frame/provider_access.cpp
struct DriverResults;       // frame/driver_cache.cpp
struct NamedRangeIndex;     // frame/named_range_lookup.cpp
struct FormulaNameLookups;  // formula/formula_names.cpp
struct TokenVocabulary;     // formula/token_lists.cpp
class SharedPreviewState;   // the preview layer's, with the preview builder
namespace providers {
struct OpenWorkspaces;  // providers/workspace.cpp
}  // namespace providers

// An owned part whose type only the layer that defines it needs to see.
template <class Part>
class ThreadPart {
 public:
  // The part, made with Part() on first use. Call it where Part is complete.
  Part& Get() {
    if (!m_part) m_part = std::make_shared<Part>();
    return *static_cast<Part*>(m_part.get());
  }
  bool Exists() const noexcept { return m_part != nullptr; }
  // Destroys the part; the next Get makes a new one. The slot is already
  // empty while the part's destructor runs.
  void Reset() noexcept { std::shared_ptr<void>(std::move(m_part)).reset(); }

 private:
  // shared_ptr<void> keeps the deleter of the type it was made with, so the
  // frame destroys parts it cannot see.
  std::shared_ptr<void> m_part;
};

class ThreadContext {
 public:
  // The calling thread's context.
  static ThreadContext& Current();

  ThreadContext() = default;
  ThreadContext(const ThreadContext&) = delete;
  ThreadContext& operator=(const ThreadContext&) = delete;
  ~ThreadContext();

  // ---- Thread part: kept for the thread's life --------------------------

  // The deep copy of the launch-properties node of the first Init
  // (frame/launch_properties.h); null before it.
  xml::Node& LaunchProperties() noexcept { return m_launch_properties; }
  // The storage provider, the XML-node storage provider and the data
  // driver's command factory (frame/provider_access.h).
  ThreadPart<ProviderSlots>& Providers() noexcept { return m_providers; }
  // The parameterless data-driver results (frame/driver_cache.h).
  ThreadPart<DriverResults>& DriverResultCache() noexcept { return m_driver_results; }
  // The key index of the named-range definitions (frame/named_range_lookup.h).
  ThreadPart<NamedRangeIndex>& NamedRanges() noexcept { return m_named_ranges; }
  // The indexed look-ups of the names a formula may use (formula/formula_names.h).
  ThreadPart<FormulaNameLookups>& NameLookups() noexcept { return m_formula_names; }
  // The function and operator lists and the tokenizer's operator table
  // (formula/token_lists.h).
  ThreadPart<TokenVocabulary>& Vocabulary() noexcept { return m_vocabulary; }
  // The reference providers' open workspaces by folder (providers/workspace.h).
  ThreadPart<providers::OpenWorkspaces>& Workspaces() noexcept { return m_open_workspaces; }

  // The evaluator's shared `ERange` and `EPRItems` elements. They are not
  // held here but in the shared cache of the thread's store context
  // (IStoreContext::SharedCache, through Providers()), so they last as long
  // as the thread's storage provider: ResetForBuild keeps them (a second
  // build of the same report reuses them), ResetAll lets them go with the
  // providers. Raises what GetStoreContext raises.
  static ISharedCache& EvaluatorSharedCache();

  // A per-thread cache of constants (templates, tables built from fixed
  // texts), one per type, made with Cache() on first use. For state use a
  // named part above instead; caches go only with ResetAll.
  template <class Cache>
  Cache& Cached() {
    const std::size_t index = CacheIndex<Cache>();
    if (index >= m_caches.size()) m_caches.resize(index + 1);
    std::shared_ptr<void>& slot = m_caches[index];
    if (!slot) slot = std::make_shared<Cache>();
    return *static_cast<Cache*>(slot.get());
  }

  // ---- Build part: cleared by ResetForBuild ------------------------------

  // The note counter (companions/note_counter.h); 0 at the start of a build.
  std::int32_t& NoteCounter() noexcept { return m_note_counter; }
  // The shared preview state of the report being built: page setups, space
  // fillers, kept sections, print-condition records, named-range values,
  // notes, bookmarks, dependency table, header and footer collections. The
  // preview layer defines SharedPreviewState and fills this slot.
  ThreadPart<SharedPreviewState>& PreviewState() noexcept { return m_preview_state; }

  // ---- Resets ------------------------------------------------------------

  // Clears the build part: the note counter to 0, the shared preview state
  // destroyed (the next PreviewState().Get() makes a new one).
  void ResetForBuild() noexcept;
  // Clears everything: the build part, then the upper layers' parts, the
  // caches, the outside components and the launch properties.
  void ResetAll() noexcept;

 private:
  // A process-wide index per cache type: one function-local static per type.
  static std::size_t NextCacheIndex() noexcept;
  template <class Cache>
  static std::size_t CacheIndex() noexcept {
    static const std::size_t index = NextCacheIndex();
    return index;
  }

  xml::Node m_launch_properties;
  ThreadPart<ProviderSlots> m_providers;
  ThreadPart<DriverResults> m_driver_results;
  ThreadPart<NamedRangeIndex> m_named_ranges;
  ThreadPart<FormulaNameLookups> m_formula_names;
  ThreadPart<TokenVocabulary> m_vocabulary;
  ThreadPart<providers::OpenWorkspaces> m_open_workspaces;
  std::vector<std::shared_ptr<void>> m_caches;

  std::int32_t m_note_counter = 0;
  ThreadPart<SharedPreviewState> m_preview_state;
};

// Resets the calling thread's context when made and again when it goes, so
// the scope neither sees what ran before it on the thread nor leaves anything
// behind: how a test gets the state of a new thread without starting one.
// (Tests about state being per thread still need a second thread.)
class FreshThreadContext {
 public:
  FreshThreadContext() { ThreadContext::Current().ResetAll(); }
  ~FreshThreadContext() { ThreadContext::Current().ResetAll(); }
  FreshThreadContext(const FreshThreadContext&) = delete;
  FreshThreadContext& operator=(const FreshThreadContext&) = delete;
};

// Runs `body` between two resets of the calling thread's context.
template <class Body>
void InFreshContext(Body body) {
  FreshThreadContext fresh;
  body();
}

// Shorthand for ThreadContext::Current().Cached<Cache>().
template <class Cache>
Cache& PerThread() {
  return ThreadContext::Current().Cached<Cache>();
}

}  // namespace orvo

#endif  // ORVO_FRAME_THREAD_CONTEXT_H_
