#include "kvl/events/runnable.h"

#include "kvl/frame/catalogue.h"

namespace kvl {
namespace {

// What a client gets by creating "KVLCommon.IRunnable": the interface's
// own body, which does nothing.
class IRunnableBody final : public Object, public IRunnable {
 public:
  static const ClassInfo& StaticClass() { return IRunnable::StaticClass(); }
  const ClassInfo& Class() const override { return StaticClass(); }
  void Run() override {}
  void Quit() override {}
};

}  // namespace

const ClassInfo& IRunnable::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IRunnable>("IRunnable", ClassKind::kCreatable)
          .Method<&IRunnable::Run>("Run")
          .Method<&IRunnable::Quit>("Quit")
          .Build();
  return info;
}
KVL_REGISTER_CLASS(IRunnableBody)

}  // namespace kvl
