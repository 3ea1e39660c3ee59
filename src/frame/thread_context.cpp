#include "frame/thread_context.h"

#include <atomic>

#include "frame/provider_access.h"

namespace orvo {

ThreadContext& ThreadContext::Current() {
  thread_local ThreadContext context;
  return context;
}

ThreadContext::~ThreadContext() { ResetAll(); }

ISharedCache& ThreadContext::EvaluatorSharedCache() { return GetStoreContext()->SharedCache(); }

void ThreadContext::ResetForBuild() noexcept {
  m_note_counter = 0;
  m_preview_state.Reset();
}

void ThreadContext::ResetAll() noexcept {
  ResetForBuild();
  // Upper layers first: their parts may hold what the frame's parts handed out.
  m_formula_names.Reset();
  m_vocabulary.Reset();
  m_named_ranges.Reset();
  m_driver_results.Reset();
  // Moved out first, so a cache's destructor that asks for a cache finds an
  // empty list rather than one being cleared.
  std::vector<std::shared_ptr<void>>(std::move(m_caches)).clear();
  m_providers.Reset();
  m_open_workspaces.Reset();
  m_launch_properties = xml::Node();
}

std::size_t ThreadContext::NextCacheIndex() noexcept {
  static std::atomic<std::size_t> next{0};
  return next++;
}

}  // namespace orvo
