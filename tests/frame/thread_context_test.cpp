#include "frame/thread_context.h"

#include <gtest/gtest.h>

#include <thread>

#include "frame/launch_properties.h"
#include "frame/provider_access.h"
#include "orvo/providers.h"
#include "support/fake_components.h"

namespace orvo {
namespace {

// Counts the live instances of a part type the frame never sees complete.
struct CountedPart {
  CountedPart() { ++alive; }
  ~CountedPart() { --alive; }
  CountedPart(const CountedPart&) = delete;
  CountedPart& operator=(const CountedPart&) = delete;
  static inline int alive = 0;
  int value = 0;
};

TEST(ThreadContext, PartsAreMadeOnFirstUseAndDestroyedThroughTheirSlot) {
  ThreadPart<CountedPart> slot;
  EXPECT_FALSE(slot.Exists());
  slot.Get().value = 7;
  EXPECT_EQ(CountedPart::alive, 1);
  EXPECT_EQ(slot.Get().value, 7);
  slot.Reset();
  EXPECT_EQ(CountedPart::alive, 0);
  EXPECT_EQ(slot.Get().value, 0);
  {
    ThreadPart<CountedPart> other;
    other.Get();
    EXPECT_EQ(CountedPart::alive, 2);
  }
  EXPECT_EQ(CountedPart::alive, 1);
}

TEST(ThreadContext, ResetForBuildClearsTheBuildPartAndKeepsTheThreadPart) {
  FreshThreadContext fresh;
  auto provider = std::make_shared<testing::FakeStorageProvider>();
  ComponentRegistry::Register(kStorageProviderId, [provider] { return provider; });
  ThreadContext& context = ThreadContext::Current();
  SetLaunchProperties(xml::Document::Parse("<LaunchProperties Workspace='w'/>"));
  ISharedCache& shared = ThreadContext::EvaluatorSharedCache();
  EXPECT_EQ(&shared, &provider->context->SharedCache());
  context.NoteCounter() = 5;
  context.Cached<CountedPart>().value = 3;

  context.ResetForBuild();
  EXPECT_EQ(context.NoteCounter(), 0);
  EXPECT_FALSE(context.PreviewState().Exists());
  EXPECT_EQ(GetLaunchProperties().AttributeOr("Workspace", ""), "w");
  EXPECT_EQ(GetStorageProvider(), provider);
  EXPECT_EQ(&ThreadContext::EvaluatorSharedCache(), &shared);
  EXPECT_EQ(context.Cached<CountedPart>().value, 3);

  // ResetAll leaves what a new thread finds: no launch properties, no
  // provider kept, caches made afresh.
  context.ResetAll();
  EXPECT_TRUE(GetLaunchProperties().IsNull());
  EXPECT_FALSE(context.Providers().Exists());
  EXPECT_EQ(CountedPart::alive, 0);
  EXPECT_EQ(context.Cached<CountedPart>().value, 0);
}

TEST(ThreadContext, EachThreadHasItsOwnContextAndCachesAreKeptApartByType) {
  FreshThreadContext fresh;
  struct OtherCache {
    int value = 0;
  };
  ThreadContext& mine = ThreadContext::Current();
  mine.NoteCounter() = 9;
  mine.Cached<OtherCache>().value = 4;
  mine.Cached<CountedPart>().value = 2;
  EXPECT_EQ(PerThread<OtherCache>().value, 4);
  std::thread([&mine] {
    EXPECT_NE(&ThreadContext::Current(), &mine);
    EXPECT_EQ(ThreadContext::Current().NoteCounter(), 0);
    EXPECT_EQ(PerThread<OtherCache>().value, 0);
  }).join();
  EXPECT_EQ(mine.NoteCounter(), 9);
  EXPECT_EQ(mine.Cached<CountedPart>().value, 2);
}

}  // namespace
}  // namespace orvo
