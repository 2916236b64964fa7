// ResourceLock: a named wrapper around a recursive process mutex, for
// callers that need a lock by handle. The library itself does not use it.
//
// CreateLock makes the mutex once (optionally owned by the caller at once)
// and returns its handle, a non-zero number; a second CreateLock returns 0.
// ObtainLock waits without limit and is true when the caller now owns the
// mutex, also when its former owner thread ended while holding it (the
// mutex is robust: the lock is then handed on as if it had been released).
// The owner may obtain it again (recursive); ReleaseLock releases one level
// and does nothing for a thread that does not own it. Failures show only
// in the results: 0 and false.
//
// When the object ends, the levels its thread holds are released and the
// mutex is closed; a mutex that another thread still holds is left open
// rather than closed under it.
//
// Threading: Name and CreateLock on the creating thread; ObtainLock and
// ReleaseLock from any thread that shares the object.
//
//   auto lock = MakeRef<ResourceLock>();
//   if (lock->CreateLock("journal", false) != 0 && lock->ObtainLock()) {
//     ...
//     lock->ReleaseLock();
//   }
#ifndef KVL_TRACE_RESOURCE_LOCK_H_
#define KVL_TRACE_RESOURCE_LOCK_H_

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"

namespace kvl {

// Private class (kind 4).
class KVL_EXPORT ResourceLock : public Object {
  KVL_DECLARE_CLASS(ResourceLock)
 public:
  ResourceLock() = default;
  ~ResourceLock() override;

  // The name given to the successful CreateLock; "" before.
  std::string Name() const { return name_; }
  // The new handle, or 0 when a handle exists already or the mutex cannot
  // be made. `name` is only recorded: the mutex is not shared by name.
  int32_t CreateLock(const std::string& name, bool owner);
  bool ObtainLock();
  void ReleaseLock();

 private:
  std::string name_;
  int32_t handle_ = 0;
  // Takes the mutex, taking it over from a holder that ended, and counts
  // the holder's depth.
  bool Lock();
  std::unique_ptr<pthread_mutex_t> mutex_;
  // The holding thread and how often it holds the mutex; written only by
  // the holder, while it holds the mutex (atomic: other threads read them).
  std::atomic<pthread_t> holder_{};
  std::atomic<int32_t> depth_{0};
};

}  // namespace kvl

#endif  // KVL_TRACE_RESOURCE_LOCK_H_
