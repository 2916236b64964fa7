#include "kvl/events/thread_starter.h"

#include <algorithm>
#include <exception>
#include <utility>
#include <vector>

#include "kvl/events/runnable.h"
#include "kvl/frame/catalogue.h"
#include "kvl/frame/library.h"

namespace kvl {

// The armed starters of this thread, each kept alive until it has run; the
// rest are released when the thread ends.
struct ArmedStarters {
  std::vector<Ref<ThreadStarter>> starters;

  std::vector<Ref<ThreadStarter>>::iterator Find(ThreadStarter* s) {
    return std::find_if(
        starters.begin(), starters.end(),
        [s](const Ref<ThreadStarter>& r) { return r.get() == s; });
  }

  void Keep(ThreadStarter* s) {
    if (Find(s) == starters.end()) {
      starters.push_back(Ref<ThreadStarter>(s));
    }
  }
  // The starter's reference, for the caller to drop when done.
  Ref<ThreadStarter> Take(ThreadStarter* s) {
    auto it = Find(s);
    if (it == starters.end()) return nullptr;
    Ref<ThreadStarter> kept = std::move(*it);
    starters.erase(it);
    return kept;
  }
};
KVL_REGISTER_LIBRARY_STATE(ArmedStarters)

const ClassInfo& ThreadStarter::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<ThreadStarter>("ThreadStarter", ClassKind::kCreatable)
          .Set<&ThreadStarter::SetRunnableRef>("Runnable")
          .Build();
  return info;
}
KVL_REGISTER_CLASS(ThreadStarter)

ThreadStarter::~ThreadStarter() = default;

void ThreadStarter::SetRunnableRef(Ref<Object> runnable) {
  try {
    runnable_ = std::move(runnable);
    form_ = nullptr;
    form_ = std::make_unique<internal::TimerForm>();
    form_->SetCallBack([this] { Start(); });
    form_->SetInterval(kDelay);
    LibraryState<ArmedStarters>().Keep(this);
  } catch (const std::exception&) {
  }
}

void ThreadStarter::Start() {
  // Called from the form's timer; the form goes first (it touches nothing
  // of itself after the call).
  Ref<ThreadStarter> keep = LibraryState<ArmedStarters>().Take(this);
  form_ = nullptr;
  Ref<Object> runnable = std::move(runnable_);
  if (!runnable) return;
  try {
    if (auto* typed = runnable->As<IRunnable>()) {
      typed->Run();
    } else {
      runnable->Invoke("Run", CallKind::kMethod, {});
    }
  } catch (const std::exception&) {
  }
}

}  // namespace kvl
