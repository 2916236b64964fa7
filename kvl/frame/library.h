// Library start-up and library-wide state.
//
// Before the first object is made through the catalogue or an entry point,
// StartLibrary creates the library-wide objects on the calling thread:
// - an internal instance of each of KVLConstants, KVLGeneric, K2OGlobals,
//   KVLPath, KVLTrace, TimeConstants and KVLStrings that is present in the
//   catalogue (InternalInstance); these are the library's own objects,
//   separate from the implicit instances clients reach through
//   GlobalObject;
// - every state type registered with KVL_REGISTER_LIBRARY_STATE (the timer
//   table, the search-path list, the trace call stack), reached through
//   LibraryState<T>().
// Something asked for while start-up runs is made at that moment, so
// constructors may use each other's instances and states (a cycle aborts).
//
// Library-wide state is kept once per thread. Every object of the library
// is used on the thread that created it, so each client thread gets its own
// state and nothing here needs a lock. The state lives until the thread
// ends; it is then released in reverse order of creation, the thread's
// implicit instances first. (The unique-key counter of com_globals.h and
// the trace configuration of kvl/trace are the exceptions: they are
// process-wide.)
//
// Objects made on a thread while its start-up runs belong to the library
// (Object::InternalScope): they do not keep it loaded and are left out of
// Object::ClientLiveCount, also while other threads make objects. Internal
// instances and states should make at construction the objects they keep.
//
//   // timers/timer_table.cc
//   KVL_REGISTER_LIBRARY_STATE(TimerTable)
//   TimerTable& table = LibraryState<TimerTable>();
//   std::string text = InternalInstance<KVLConstants>().kKVLExceptionString(
//       kKVLException_ItemNotFound);
#ifndef KVL_FRAME_LIBRARY_H_
#define KVL_FRAME_LIBRARY_H_

#include <cstdint>
#include <span>
#include <string_view>
#include <typeindex>
#include <typeinfo>

#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"

namespace kvl {

// The global classes of which start-up makes an internal instance, in the
// order they are made.
KVL_EXPORT std::span<const std::string_view> InternalInstanceClasses();

// Runs start-up on this thread unless it ran already (or is running).
KVL_EXPORT void StartLibrary();
// True once start-up has run (or is running) on this thread.
KVL_EXPORT bool LibraryStarted();

// This thread's internal instance of the global class `class_name`;
// starts the library first. Aborts when `class_name` is not one of
// InternalInstanceClasses() or not in the catalogue: asking for it is a
// programming error.
KVL_EXPORT Object& InternalInstance(std::string_view class_name);
template <class T>
T& InternalInstance() {
  return static_cast<T&>(InternalInstance(T::StaticClass().name()));
}

namespace internal {

struct KVL_EXPORT LibraryStateType {
  std::type_index type;
  const char* name;
  void* (*create)();
  void (*destroy)(void*);
};

KVL_EXPORT void RegisterLibraryState(const LibraryStateType& type);
KVL_EXPORT void* LibraryStateOf(std::type_index type);

template <class T>
struct KVL_EXPORT LibraryStateRegistration {
  LibraryStateRegistration(const char* name) {
    RegisterLibraryState(
        LibraryStateType{typeid(T), name, []() -> void* { return new T(); },
                         [](void* p) { delete static_cast<T*>(p); }});
  }
};

}  // namespace internal

// This thread's instance of the registered state type T; starts the library
// first. Aborts when T was not registered.
template <class T>
T& LibraryState() {
  return *static_cast<T*>(internal::LibraryStateOf(typeid(T)));
}

// Registers the default-constructible type `Type` (an unqualified name in
// the current namespace) as library-wide state. Use once, at namespace
// scope, in the type's .cc file.
#define KVL_REGISTER_LIBRARY_STATE(Type)                                   \
  [[maybe_unused]] static const ::kvl::internal::LibraryStateRegistration< \
      Type>                                                                \
      kvl_state_registration_##Type(#Type);

}  // namespace kvl

#endif  // KVL_FRAME_LIBRARY_H_
