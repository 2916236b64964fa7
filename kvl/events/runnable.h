// IRunnable: something that can be started later and asked to stop, with
// two members without arguments, Run and Quit. The deferred starter of the
// event subsystem calls Run from the message loop of the thread that armed
// it; TEventListener implements it with empty members.
//
// C++ classes implement it by deriving from IRunnable next to kvl::Object
// and listing `.Implements(&IRunnable::StaticClass)`; late-bound objects by
// having members "Run" and "Quit". Creating "KVLCommon.IRunnable" gives the
// interface's own body, whose members do nothing. Used on one thread.
//
//   class Job : public Object, public IRunnable {
//     KVL_DECLARE_CLASS(Job)
//    public:
//     void Run() override { ... }
//     void Quit() override {}
//   };
#ifndef KVL_EVENTS_RUNNABLE_H_
#define KVL_EVENTS_RUNNABLE_H_

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"

namespace kvl {

// The interface IRunnable (its table is the creatable class IRunnable).
class KVL_EXPORT IRunnable {
 public:
  static const ClassInfo& StaticClass();
  virtual void Run() = 0;
  virtual void Quit() = 0;

 protected:
  ~IRunnable() = default;
};

}  // namespace kvl

#endif  // KVL_EVENTS_RUNNABLE_H_
