#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/notifier.h"
#include "kvl/runtime/test_support.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

// A class written the usual way: a Notifier member and `.Notifies(...)`,
// nothing about connection points.
class KettleEvents {
 public:
  static const ClassInfo& StaticClass();
  virtual void Boiled(int32_t degrees) = 0;

 protected:
  ~KettleEvents() = default;
};

const ClassInfo& KettleEvents::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<KettleEvents>("__Kettle", ClassKind::kNotification)
          .Method<&KettleEvents::Boiled>("Boiled", {Arg("degrees")})
          .Build();
  return info;
}

class Kettle : public Object {
  KVL_DECLARE_CLASS(Kettle)
 public:
  void Boil(int32_t degrees) {
    events_.Fire<&KettleEvents::Boiled>("Boiled", degrees);
  }

 private:
  std::string label_ = "kettle";
  Notifier<KettleEvents> events_;
};

const ClassInfo& Kettle::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<Kettle>("Kettle", ClassKind::kCreatable)
          .Method<&Kettle::Boil>("Boil", {Arg("degrees")})
          .Notifies(&KettleEvents::StaticClass)
          .Build();
  return info;
}

// A derived class with a table of its own: the notifier sits in the base.
class SmartKettle : public Kettle {
  KVL_DECLARE_CLASS(SmartKettle)
};

const ClassInfo& SmartKettle::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<SmartKettle>("SmartKettle", ClassKind::kCreatable)
          .Method<&Kettle::Boil>("Boil", {Arg("degrees")})
          .Notifies(&KettleEvents::StaticClass)
          .Build();
  return info;
}

// Remembers each notification as "name:args".
class Recorder {
 public:
  Recorder() : sink_(MakeRef<DynamicObject>("Recorder")) {
    sink_->OnAnyMember(
        [this](std::string_view name, CallKind, std::span<Variant> args) {
          std::string line(name);
          for (const Variant& a : args) line += ":" + ToText(a);
          heard_.push_back(line);
          return Variant();
        });
  }
  const Ref<DynamicObject>& sink() const { return sink_; }
  const std::vector<std::string>& heard() const { return heard_; }

 private:
  Ref<DynamicObject> sink_;
  std::vector<std::string> heard_;
};

Variant Call(Object& o, std::string_view name, std::vector<Variant> args,
             CallKind kind = CallKind::kMethod) {
  return o.Invoke(name, kind, args);
}

TEST(ConnectionPointTest, ConnectsByCookieWithoutKnowingTheClass) {
  LiveObjectCheck leaks;
  {
    auto kettle = MakeRef<Kettle>();
    auto other = MakeRef<Kettle>();  // its notifier must not be taken
    Recorder rec;
    uint32_t cookie = ConnectSink(*kettle, rec.sink());
    EXPECT_NE(cookie, 0u);
    kettle->Boil(100);
    other->Boil(1);
    EXPECT_TRUE(DisconnectSink(*kettle, cookie));
    EXPECT_FALSE(DisconnectSink(*kettle, cookie));
    kettle->Boil(90);
    EXPECT_THAT(rec.heard(), ::testing::ElementsAre("Boiled:100"));
  }
  EXPECT_EQ(leaks.Delta(), 0);
}

TEST(ConnectionPointTest, LateBoundThroughTheInterfaceOrOnTheObject) {
  auto kettle = MakeRef<SmartKettle>();
  Recorder rec;
  Ref<Object> point = kettle->QueryInterface("IConnectionPoint");
  ASSERT_TRUE(point);
  EXPECT_EQ(Call(*point, "InterfaceName", {}, CallKind::kGet),
            Variant("__Kettle"));
  Variant cookie = Call(*point, "Connect", {Variant(rec.sink())});
  Call(*kettle, "Boil", {Variant(int32_t{7})});
  // The members also answer by name on the object itself.
  EXPECT_EQ(Call(*kettle, "Disconnect", {cookie}), Variant(true));
  Call(*kettle, "Boil", {Variant(int32_t{8})});
  EXPECT_THAT(rec.heard(), ::testing::ElementsAre("Boiled:7"));
  EXPECT_EQ(Call(*point, "Disconnect", {Variant(int32_t{0})}), Variant(false));
}

TEST(ConnectionPointTest, ObjectsWithoutNotificationsRefuse) {
  auto plain = MakeRef<DynamicObject>("Plain");
  Recorder rec;
  EXPECT_EQ(RaisedNumber([&] { ConnectSink(*plain, rec.sink()); }),
            kErrNotSupported);
  EXPECT_EQ(plain->QueryInterface("IConnectionPoint"), nullptr);
  auto kettle = MakeRef<Kettle>();
  EXPECT_EQ(RaisedNumber([&] { ConnectSink(*kettle, nullptr); }),
            kErrObjectNotSet);
}

}  // namespace
}  // namespace kvl
