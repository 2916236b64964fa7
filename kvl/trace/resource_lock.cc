#include "kvl/trace/resource_lock.h"

#include <errno.h>

#include <atomic>

#include "kvl/frame/catalogue.h"

namespace kvl {
namespace {

// Handles are numbered per process, never 0.
int32_t NextHandle() {
  static std::atomic<uint32_t> last{0};
  uint32_t h = (last.fetch_add(1, std::memory_order_relaxed) + 1) & 0x7fffffff;
  return h == 0 ? 1 : static_cast<int32_t>(h);
}

}  // namespace

const ClassInfo& ResourceLock::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<ResourceLock>("ResourceLock", ClassKind::kPrivate)
          .Get<&ResourceLock::Name>("Name")
          .Method<&ResourceLock::CreateLock>("CreateLock",
                                             {Arg("name"), Arg("owner")})
          .Method<&ResourceLock::ObtainLock>("ObtainLock")
          .Method<&ResourceLock::ReleaseLock>("ReleaseLock")
          .Build();
  return info;
}
KVL_REGISTER_CLASS(ResourceLock)

ResourceLock::~ResourceLock() {
  if (!mutex_) return;
  pthread_mutex_t* m = mutex_.get();
  int rc = pthread_mutex_trylock(m);
  const bool taken_over = rc == EOWNERDEAD;
  if (taken_over) rc = pthread_mutex_consistent(m);
  if (rc != 0) {
    // Another thread holds it: closing it would pull it from under that
    // thread, so it stays open.
    (void)mutex_.release();
    return;
  }
  // Release every hold of this thread (the one just taken included), and
  // no more: unlocking a mutex not held is an error.
  const bool held_before =
      !taken_over && depth_ > 0 && pthread_equal(holder_, pthread_self());
  for (int32_t n = held_before ? depth_ + 1 : 1; n > 0; --n)
    pthread_mutex_unlock(m);
  pthread_mutex_destroy(m);
}

int32_t ResourceLock::CreateLock(const std::string& name, bool owner) {
  if (handle_ != 0) return 0;
  auto m = std::make_unique<pthread_mutex_t>();
  pthread_mutexattr_t attr;
  if (pthread_mutexattr_init(&attr) != 0) return 0;
  bool made = pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE) == 0 &&
              pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST) == 0 &&
              pthread_mutex_init(m.get(), &attr) == 0;
  pthread_mutexattr_destroy(&attr);
  if (!made) return 0;
  mutex_ = std::move(m);
  if (owner && !Lock()) {
    pthread_mutex_destroy(mutex_.get());
    mutex_.reset();
    return 0;
  }
  name_ = name;
  handle_ = NextHandle();
  return handle_;
}

bool ResourceLock::Lock() {
  int rc = pthread_mutex_lock(mutex_.get());
  const bool taken_over = rc == EOWNERDEAD;
  if (taken_over) rc = pthread_mutex_consistent(mutex_.get());
  if (rc != 0) return false;
  if (!taken_over && depth_ > 0 && pthread_equal(holder_, pthread_self())) {
    ++depth_;
  } else {
    holder_ = pthread_self();
    depth_ = 1;
  }
  return true;
}

bool ResourceLock::ObtainLock() {
  return mutex_ && Lock();
}

void ResourceLock::ReleaseLock() {
  if (!mutex_ || depth_ == 0 || !pthread_equal(holder_, pthread_self()))
    return;  // not held by this thread: nothing to release
  --depth_;
  pthread_mutex_unlock(mutex_.get());
}

}  // namespace kvl
