// Every class of the event bus is in the catalogue with its kind, and the
// bus works entirely late-bound, as a script client uses it.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "kvl/frame/catalogue.h"
#include "kvl/frame/library.h"
#include "kvl/frame/testing/catalogue_expectations.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/test_support.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

TEST(EventsCatalogueTest, KindsAndCreation) {
  ExpectCatalogueKinds({
      {"EventObject", ClassKind::kCreatable},
      {"EventBus", ClassKind::kCreatable},
      {"TEventListener", ClassKind::kCreatable},
      {"IRunnable", ClassKind::kCreatable},
      {"ThreadStarter", ClassKind::kCreatable},
      {"EventListener", ClassKind::kPublic},
      {"IEventReceiver", ClassKind::kPublic},
      {"QueuedEvent", ClassKind::kPublic},
  });
  CreateObject("KVLCommon.IRunnable")->Invoke("Run", CallKind::kMethod, {});
  EXPECT_EQ(
      Catalogue::FindByName("TEventListener")->Info().notifications()->name(),
      "__TEventListener");
}

Variant Call(Object& o, const char* name, std::vector<Variant> args = {},
             CallKind kind = CallKind::kMethod) {
  return o.Invoke(name, kind, args);
}

TEST(EventsLateBoundTest, ScriptClientRoundTrip) {
  StartLibrary();  // the library's own objects are not the test's
  LiveObjectCheck leaks;
  {
    Ref<Object> bus = CreateObject("KVLCommon.EventBus");
    std::vector<std::string> seen;
    auto client = MakeRef<DynamicObject>("Client");
    client->OnMethod("EventHandler", [&](std::span<Variant> a) {
      Object& e = *a[0].AsObject();
      seen.push_back(
          ToText(Call(e, "ToString", {}, CallKind::kGet)) + " #" +
          ToText(a[1]) + " " +
          ToText(Call(e, "Value", {Variant("copies")}, CallKind::kGet)));
      return Variant();
    });
    Variant quals = Variant::MakeArray(VarType::kVariant, 0, 1);
    quals.Array().At(0) = Variant("Copies=*");  // slot 1 is the spare Empty
    const Variant id =
        Call(*bus, "Listen", {Variant(client), Variant("Job/To/*"), quals});
    EXPECT_EQ(id, Variant(int32_t{1}));
    Call(*bus, "Send",
         {Variant("Job/To/Printer"), Variant("Copies=2"), Variant("Doc :="),
          Variant(int16_t{3})});
    Call(*bus, "Send", {Variant("Job/To/Printer")});  // no Copies: skipped
    Variant array = Variant::MakeArray(VarType::kVariant, 0, 0);
    array.Array().At(0) = Variant("Copies=5");
    Call(*bus, "Send", {Variant("Job/To/Fax"), array});
    Call(*bus, "SendString", {Variant("Job/To/Disk Copies='1 2'")});
    EXPECT_EQ(Call(*bus, "EventCount", {}, CallKind::kGet),
              Variant(int16_t{4}));
    Call(*bus, "FireAllEvents");
    EXPECT_EQ(seen,
              (std::vector<std::string>{"Job/To/Printer Copies=2 Doc =3 #1 2",
                                        "Job/To/Fax Copies=5 #1 5",
                                        "Job/To/Disk Copies='1 2' #1 1 2"}));

    Variant listener = Call(*bus, "FirstListener",
                            {Variant::Nothing(), Variant("")}, CallKind::kGet);
    EXPECT_EQ(Call(*listener.AsObject(), "ToString", {}, CallKind::kGet),
              Variant("ID=1 Flag=None Pattern=Job/To/* Copies=*"));
    Variant args[] = {Variant(client), Variant(int32_t{0})};
    bus->Invoke("InvokeById", CallKind::kMethod, args);
    EXPECT_EQ(args[1], Variant(int32_t{2}));  // written back
    Call(*bus, "UnlistenAll", {Variant::Nothing()});
    EXPECT_EQ(Call(*bus, "ListenerCount", {}, CallKind::kGet),
              Variant(int16_t{0}));
  }
  EXPECT_EQ(leaks.Delta(), 0);
}

}  // namespace
}  // namespace kvl
