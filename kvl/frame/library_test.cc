#include "kvl/frame/library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "kvl/frame/catalogue.h"
#include "kvl/frame/kvl_constants.h"
#include "kvl/runtime/message_loop.h"

namespace kvl {
namespace {

// Creation and teardown of the test's library states, in order. Written by
// one thread at a time (threads are joined before reading).
std::vector<std::string>& Events() {
  static std::vector<std::string> events;
  return events;
}

struct FirstState {
  FirstState() { Events().push_back("+first"); }
  ~FirstState() { Events().push_back("-first"); }
  int value = 0;
};

struct ThirdState;

// Needs ThirdState, which is registered after it.
struct SecondState {
  SecondState();
  ~SecondState() { Events().push_back("-second"); }
};

struct ThirdState {
  ThirdState() { Events().push_back("+third"); }
  ~ThirdState() { Events().push_back("-third"); }
};

SecondState::SecondState() {
  LibraryState<ThirdState>();
  Events().push_back("+second");
}

// Keeps a timer armed for as long as it lives, like a table of timers.
struct TimerState {
  TimerState()
      : id(MessageLoop::Current().SetTimer(3'600'000, [](uint32_t) {})) {}
  ~TimerState() {
    if (id != 0 && !MessageLoop::Current().KillTimer(id))
      Events().push_back("timer gone before its state");
  }
  uint32_t id;
};

KVL_REGISTER_LIBRARY_STATE(FirstState)
KVL_REGISTER_LIBRARY_STATE(SecondState)
KVL_REGISTER_LIBRARY_STATE(ThirdState)
KVL_REGISTER_LIBRARY_STATE(TimerState)

TEST(LibraryTest, StartUpMakesStatesOncePerThreadAndTearsThemDownInReverse) {
  Events().clear();
  std::thread worker([] {
    EXPECT_FALSE(LibraryStarted());
    CreateObject("KVLCommon.KVLConstants");
    EXPECT_TRUE(LibraryStarted());
    LibraryState<FirstState>().value = 7;
    StartLibrary();  // runs once
    EXPECT_EQ(LibraryState<FirstState>().value, 7);
  });
  worker.join();
  EXPECT_EQ(Events(),
            (std::vector<std::string>{"+first", "+third", "+second", "-second",
                                      "-third", "-first"}));
}

TEST(LibraryTest, TheThreadsLoopOutlivesItsLibraryState) {
  Events().clear();
  std::thread worker([] { LibraryState<TimerState>(); });
  worker.join();
  EXPECT_EQ(std::count(Events().begin(), Events().end(),
                       "timer gone before its state"),
            0);
}

TEST(LibraryTest, EachThreadHasItsOwnState) {
  LibraryState<FirstState>().value = 1;
  FirstState* mine = &LibraryState<FirstState>();
  std::thread worker([&] {
    EXPECT_NE(&LibraryState<FirstState>(), mine);
    EXPECT_EQ(LibraryState<FirstState>().value, 0);
  });
  worker.join();
  EXPECT_EQ(mine->value, 1);
}

TEST(LibraryTest, InternalInstancesAreTheLibrarysOwn) {
  KVLConstants& internal = InternalInstance<KVLConstants>();
  EXPECT_EQ(&InternalInstance<KVLConstants>(), &internal);
  EXPECT_EQ(internal.kKVLExceptionString(kKVLException_OK), "OK");
  EXPECT_NE(GlobalObject("KVLConstants").get(), &internal);

  // Only classes in the catalogue get one; the others wait for their
  // subsystem.
  std::vector<std::string> made;
  for (std::string_view name : InternalInstanceClasses())
    if (Catalogue::FindByName(name)) made.emplace_back(name);
  EXPECT_FALSE(made.empty());

  const int64_t clients = Object::ClientLiveCount();
  const int64_t internal_objects = Object::LiveCount() - clients;
  Object* theirs = nullptr;
  std::thread worker([&] {
    theirs = &InternalInstance<KVLConstants>();
    EXPECT_EQ(Object::ClientLiveCount(), clients);
    EXPECT_GE(Object::LiveCount() - clients,
              internal_objects + static_cast<int64_t>(made.size()));
  });
  worker.join();
  EXPECT_NE(theirs, &internal);
  EXPECT_EQ(Object::LiveCount() - clients, internal_objects);
}

}  // namespace
}  // namespace kvl
