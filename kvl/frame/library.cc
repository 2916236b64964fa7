#include "kvl/frame/library.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "kvl/frame/catalogue.h"
#include "kvl/frame/internal/thread_library.h"
#include "kvl/runtime/message_loop.h"

namespace kvl {
namespace {

constexpr std::string_view kInternalClasses[] = {
    "KVLConstants", "KVLGeneric",    "K2OGlobals", "KVLPath",
    "KVLTrace",     "TimeConstants", "KVLStrings",
};

struct StateTypes {
  std::mutex mu;
  std::vector<internal::LibraryStateType> types;
};

StateTypes& RegisteredStates() {
  static StateTypes* types = new StateTypes;  // never destroyed
  return *types;
}

std::vector<internal::LibraryStateType> StateTypesSnapshot() {
  StateTypes& s = RegisteredStates();
  std::lock_guard<std::mutex> lock(s.mu);
  return s.types;
}

[[noreturn]] void Fatal(const char* problem, std::string_view name) {
  std::fprintf(stderr, "kvl: library state '%.*s': %s\n",
               static_cast<int>(name.size()), name.data(), problem);
  std::abort();
}

enum class SlotState : uint8_t { kEmpty, kCreating, kReady, kDestroyed };

struct InstanceSlot {
  std::string_view name;
  SlotState state = SlotState::kEmpty;
  Ref<Object> object;
};

struct StateSlot {
  internal::LibraryStateType type;
  SlotState state = SlotState::kEmpty;
  void* object = nullptr;
};

// The library state of one thread.
class ThreadLibrary {
 public:
  ThreadLibrary() {
    for (std::string_view name : kInternalClasses) {
      InstanceSlot slot;
      slot.name = name;
      instances_.push_back(std::move(slot));
    }
  }
  ThreadLibrary(const ThreadLibrary&) = delete;
  ThreadLibrary& operator=(const ThreadLibrary&) = delete;

  bool started() const { return started_; }

  void Start() {
    if (started_) return;
    started_ = true;
    // A failed start-up is tried again by the next call; what it made stays.
    try {
      Owned([&] {
        for (size_t i = 0; i < instances_.size(); ++i) {
          const CatalogueEntry* entry =
              Catalogue::FindByName(instances_[i].name);
          if (entry && entry->create) EnsureInstance(i);
        }
        for (const internal::LibraryStateType& type : StateTypesSnapshot())
          EnsureState(StateSlotOf(type.type));
      });
    } catch (...) {
      started_ = false;
      throw;
    }
  }

  Object& Instance(std::string_view name) {
    Start();
    for (size_t i = 0; i < instances_.size(); ++i)
      if (instances_[i].name == name) return EnsureInstance(i);
    Fatal("is not a class with an internal instance", name);
  }

  void* State(std::type_index type) {
    Start();
    return EnsureState(StateSlotOf(type));
  }

  Ref<Object> FindImplicit(const CatalogueEntry* entry) const {
    for (const auto& [e, object] : implicit_)
      if (e == entry) return object;
    return nullptr;
  }
  Ref<Object> KeepImplicit(const CatalogueEntry* entry, Ref<Object> object) {
    if (Ref<Object> kept = FindImplicit(entry)) return kept;
    implicit_.emplace_back(entry, object);
    return object;
  }
  void ClearImplicit() {
    // Released one at a time, newest first: a destructor may reach back.
    while (!implicit_.empty()) {
      Ref<Object> object = std::move(implicit_.back().second);
      implicit_.pop_back();
      object.reset();
    }
  }

  // Releases everything in reverse order of creation; the objects stay
  // reachable until their own turn.
  void TearDown() {
    ClearImplicit();
    while (!order_.empty()) {
      auto [is_instance, index] = order_.back();
      order_.pop_back();
      if (is_instance) {
        InstanceSlot& slot = instances_[index];
        Ref<Object> object = std::move(slot.object);
        slot.state = SlotState::kDestroyed;
        object.reset();
      } else {
        StateSlot& slot = states_[index];
        void* object = std::exchange(slot.object, nullptr);
        slot.state = SlotState::kDestroyed;
        slot.type.destroy(object);
      }
    }
    ClearImplicit();
  }

 private:
  // Runs `make`; the objects made meanwhile on this thread are the
  // library's own (Object::InternalScope).
  template <class F>
  void Owned(F make) {
    Object::InternalScope internal;
    make();
  }

  Object& EnsureInstance(size_t i) {
    InstanceSlot& slot = instances_[i];
    switch (slot.state) {
      case SlotState::kReady: return *slot.object;
      case SlotState::kCreating: Fatal("is needed to create itself", slot.name);
      case SlotState::kDestroyed:
        Fatal("used after the thread ended", slot.name);
      case SlotState::kEmpty: break;
    }
    const CatalogueEntry* entry = Catalogue::FindByName(slot.name);
    if (!entry || !entry->create) Fatal("is not in the catalogue", slot.name);
    slot.state = SlotState::kCreating;
    Ref<Object> object;
    try {
      Owned([&] { object = entry->create(); });
    } catch (...) {
      instances_[i].state = SlotState::kEmpty;
      throw;
    }
    InstanceSlot& made = instances_[i];
    made.object = std::move(object);
    made.state = SlotState::kReady;
    order_.emplace_back(true, i);
    return *made.object;
  }

  size_t StateSlotOf(std::type_index type) {
    for (size_t i = 0; i < states_.size(); ++i)
      if (states_[i].type.type == type) return i;
    for (const internal::LibraryStateType& t : StateTypesSnapshot()) {
      if (t.type == type) {
        states_.push_back(StateSlot{t, SlotState::kEmpty, nullptr});
        return states_.size() - 1;
      }
    }
    Fatal("was not registered with KVL_REGISTER_LIBRARY_STATE", type.name());
  }

  void* EnsureState(size_t i) {
    StateSlot& slot = states_[i];
    switch (slot.state) {
      case SlotState::kReady: return slot.object;
      case SlotState::kCreating:
        Fatal("is needed to create itself", slot.type.name);
      case SlotState::kDestroyed:
        Fatal("used after the thread ended", slot.type.name);
      case SlotState::kEmpty: break;
    }
    slot.state = SlotState::kCreating;
    void* object = nullptr;
    try {
      Owned([&] { object = states_[i].type.create(); });
    } catch (...) {
      states_[i].state = SlotState::kEmpty;
      throw;
    }
    // states_ may have grown while `create` ran.
    states_[i].object = object;
    states_[i].state = SlotState::kReady;
    order_.emplace_back(false, i);
    return object;
  }

  bool started_ = false;
  std::vector<InstanceSlot> instances_;
  std::vector<StateSlot> states_;
  std::vector<std::pair<bool, size_t>> order_;  // (is instance, index)
  std::vector<std::pair<const CatalogueEntry*, Ref<Object>>> implicit_;
};

// The thread's library lives behind a plain pointer so that it can still be
// reached while it is torn down; the reaper tears it down when the thread
// ends. A use after that (from another thread-local destructor) makes a new
// state that is not torn down again.
thread_local ThreadLibrary* t_library = nullptr;

struct Reaper {
  bool armed = false;
  ~Reaper() {
    if (ThreadLibrary* library = t_library) {
      library->TearDown();
      t_library = nullptr;
      delete library;
    }
  }
};
thread_local Reaper t_reaper;

ThreadLibrary& Current() {
  if (!t_library) {
    // Thread-locals end in reverse order of construction: making the
    // thread's loop before the reaper keeps it alive while the library
    // state, which may still kill timers and post, is torn down.
    MessageLoop::Current();
    t_reaper.armed = true;  // constructs the reaper on this thread
    t_library = new ThreadLibrary;
  }
  return *t_library;
}

}  // namespace

std::span<const std::string_view> InternalInstanceClasses() {
  return kInternalClasses;
}

void StartLibrary() {
  Current().Start();
}

bool LibraryStarted() {
  return t_library && t_library->started();
}

Object& InternalInstance(std::string_view class_name) {
  return Current().Instance(class_name);
}

namespace internal {

void RegisterLibraryState(const LibraryStateType& type) {
  StateTypes& s = RegisteredStates();
  std::lock_guard<std::mutex> lock(s.mu);
  for (const LibraryStateType& t : s.types)
    if (t.type == type.type) Fatal("is registered twice", type.name);
  s.types.push_back(type);
}

void* LibraryStateOf(std::type_index type) {
  return Current().State(type);
}

Ref<Object> FindImplicitInstance(const CatalogueEntry* entry) {
  return Current().FindImplicit(entry);
}

Ref<Object> KeepImplicitInstance(const CatalogueEntry* entry,
                                 Ref<Object> object) {
  return Current().KeepImplicit(entry, std::move(object));
}

void ClearImplicitInstances() {
  if (t_library) t_library->ClearImplicit();
}

}  // namespace internal
}  // namespace kvl
