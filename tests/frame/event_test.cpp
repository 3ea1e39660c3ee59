#include "orvo/event.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "orvo/error.h"

namespace orvo {
namespace {

using Found = Event<const std::string&, std::string&>;

TEST(Events, HandlersRunInOrderAndCanWriteOutArguments) {
  Found found;
  std::vector<std::string> seen;
  auto first = found.Connect([&](const std::string& type, std::string& item) {
    seen.push_back(type + ":" + item);
    item = "rewritten";
  });
  found.Connect([&](const std::string&, std::string& item) { seen.push_back(item); });
  std::string item = "Sales";
  found.Raise("CM", item);
  found.Disconnect(first);
  found.Raise("DB", item);
  EXPECT_EQ(seen, (std::vector<std::string>{"CM:Sales", "rewritten", "rewritten"}));
}

// A handler disconnecting itself used to destroy its own callable while it
// ran and to make the raise skip the handler after it.
TEST(Events, HandlerDisconnectingItselfRunsToItsEndAndSkipsNoOther) {
  Event<int> event;
  std::vector<std::string> seen;
  Event<int>::ConnectionId self = 0;
  // The captured string lives in the callable: reading it after Disconnect
  // touches freed memory if the callable is destroyed too early.
  self = event.Connect([&, name = std::string(64, 'a')](int) {
    event.Disconnect(self);
    seen.push_back(name.substr(0, 1));
  });
  event.Connect([&](int) { seen.push_back("b"); });
  event.Connect([&](int) { seen.push_back("c"); });
  event.Raise(1);
  event.Raise(2);
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "c", "b", "c"}));
  EXPECT_TRUE(event.HasHandlers());
}

TEST(Events, HandlerDisconnectedByAnEarlierOneIsNotCalledInThatRaise) {
  Event<> event;
  std::vector<int> seen;
  Event<>::ConnectionId second = 0;
  Event<>::ConnectionId third = 0;
  event.Connect([&] {
    seen.push_back(1);
    event.Disconnect(second);
  });
  second = event.Connect([&] { seen.push_back(2); });
  third = event.Connect([&] {
    seen.push_back(3);
    event.Disconnect(third);
    event.Disconnect(third);  // twice, and an unknown id: ignored
    event.Disconnect(999);
  });
  event.Connect([&] { seen.push_back(4); });
  event.Raise();
  event.Raise();
  EXPECT_EQ(seen, (std::vector<int>{1, 3, 4, 1, 4}));
}

TEST(Events, HandlerConnectedDuringARaiseRunsFromTheNextRaise) {
  Event<> event;
  std::vector<int> seen;
  int connected = 0;
  // Connecting many handlers grows the handler list while it is being walked.
  event.Connect([&] {
    seen.push_back(0);
    if (connected == 0) {
      for (int i = 1; i <= 100; ++i) event.Connect([&seen, i] { seen.push_back(i); });
      connected = 100;
    }
  });
  event.Raise();
  EXPECT_EQ(seen, std::vector<int>{0});
  seen.clear();
  event.Raise();
  ASSERT_EQ(seen.size(), 101u);
  EXPECT_EQ(seen.back(), 100);
}

TEST(Events, NestedRaiseSeesNewHandlersAndBothRaisesSkipDisconnectedOnes) {
  Event<int> event;
  std::vector<std::string> seen;
  Event<int>::ConnectionId last = 0;
  event.Connect([&](int depth) {
    seen.push_back("outer" + std::to_string(depth));
    if (depth == 0) {
      event.Connect([&](int d) { seen.push_back("new" + std::to_string(d)); });
      event.Raise(1);
    }
  });
  event.Connect([&](int depth) {
    seen.push_back("middle" + std::to_string(depth));
    if (depth == 1) event.Disconnect(last);
  });
  last = event.Connect([&](int depth) { seen.push_back("last" + std::to_string(depth)); });
  event.Raise(0);
  // The nested raise disconnected "last", so the outer raise does not call it
  // either; "new" was connected before the nested raise started.
  EXPECT_EQ(seen, (std::vector<std::string>{"outer0", "outer1", "middle1", "new1", "middle0"}));
}

TEST(Events, FailureInAHandlerEndsTheRaiseAndLeavesTheEventUsable) {
  Event<> event;
  std::vector<int> seen;
  Event<>::ConnectionId thrower = 0;
  thrower = event.Connect([&] {
    event.Disconnect(thrower);
    RaiseError("handler", "refused");
  });
  event.Connect([&] { seen.push_back(2); });
  EXPECT_THROW(event.Raise(), Error);
  EXPECT_TRUE(seen.empty());
  event.Raise();
  EXPECT_EQ(seen, std::vector<int>{2});
}

TEST(Events, DisconnectingEveryHandlerDuringARaiseLeavesNone) {
  Event<> event;
  std::vector<Event<>::ConnectionId> ids;
  int calls = 0;
  for (int i = 0; i < 3; ++i) {
    ids.push_back(event.Connect([&] {
      ++calls;
      for (auto id : ids) event.Disconnect(id);
    }));
  }
  event.Raise();
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(event.HasHandlers());
  event.Raise();
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace orvo
