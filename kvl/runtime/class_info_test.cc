#include "kvl/runtime/class_info.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/enum_variant.h"
#include "kvl/runtime/test_support.h"

namespace kvl {
namespace {

// A second interface, implemented by Account below.
class IAudited {
 public:
  static const ClassInfo& StaticClass();
  virtual int32_t AuditCount() = 0;

 protected:
  ~IAudited() = default;
};

const ClassInfo& IAudited::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IAudited>("IAudited", ClassKind::kPublic)
          .Get<&IAudited::AuditCount>("AuditCount")
          .Build();
  return info;
}

// A small class exercising every kind of member the binder supports.
class Account : public Object, public IAudited {
  KVL_DECLARE_CLASS(Account)
 public:
  int32_t Deposit(int32_t amount) {
    balance_ += amount;
    ++audits_;
    return balance_;
  }
  // `note` is written back to a late-bound caller.
  bool Describe(std::string& note) {
    note = owner_ + ":" + std::to_string(balance_);
    return true;
  }
  int16_t Scale(int16_t value, int16_t factor) {
    return static_cast<int16_t>(value * factor);
  }
  std::string Tag(const Variant& suffix) {
    return suffix.is_missing() ? "none" : ToText(suffix);
  }
  const std::string& Owner() const { return owner_; }
  void SetOwner(std::string owner) { owner_ = std::move(owner); }
  Ref<Object> Partner() const { return partner_; }
  void SetPartnerRef(Ref<Object> partner) { partner_ = std::move(partner); }
  std::string Item(int32_t index) { return "item" + std::to_string(index); }
  int32_t Balance() const { return balance_; }
  // Names its own class in its own table.
  Ref<Account> Self() { return Ref<Account>(this); }
  int32_t AuditCount() override { return audits_; }

 private:
  int32_t balance_ = 0;
  int32_t audits_ = 0;
  std::string owner_ = "nobody";
  Ref<Object> partner_;
};

const ClassInfo& Account::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<Account>("Account", ClassKind::kCreatable)
          .Method<&Account::Deposit>("Deposit", {Arg("amount")})
          .Method<&Account::Describe>("Describe", {Arg("note")})
          .Method<&Account::Scale>("Scale",
                                   {Arg("value"), OptArg("factor", int16_t{2})})
          .Method<&Account::Tag>("Tag", {OptArg("suffix")})
          .Get<&Account::Owner>("Owner")
          .Let<&Account::SetOwner>("Owner")
          .Get<&Account::Partner>("Partner")
          .Set<&Account::SetPartnerRef>("Partner")
          .Get<&Account::Item>("Item", {Arg("index")})
          .Get<&Account::Balance>("Balance")
          .Get<&Account::Self>("Self")
          .Implements(&IAudited::StaticClass)
          .Build();
  return info;
}

Variant Call(Object& o, std::string_view name, std::vector<Variant> args,
             CallKind kind = CallKind::kMethod) {
  return o.Invoke(name, kind, args);
}

TEST(ClassInfoTest, TableKeepsOrderKindsAndDispatchIds) {
  const ClassInfo& info = Account::StaticClass();
  std::vector<std::string> names;
  for (const MemberInfo& m : info.members()) names.push_back(m.name);
  EXPECT_THAT(names, ::testing::ElementsAre("Deposit", "Describe", "Scale",
                                            "Tag", "Owner", "Owner", "Partner",
                                            "Partner", "Item", "Balance",
                                            "Self"));
  EXPECT_EQ(info.Find("Self", CallKind::kGet)->ResultTypeName(), "Account");
  EXPECT_EQ(info.Find("item", CallKind::kGet)->dispid, kDispIdItem);
  // The Get and Let of one property share their dispatch id.
  EXPECT_EQ(info.Find("Owner", CallKind::kGet)->dispid,
            info.Find("OWNER", CallKind::kLet)->dispid);
  EXPECT_NE(info.Find("Owner", CallKind::kGet)->dispid,
            info.Find("Deposit", CallKind::kMethod)->dispid);

  const MemberInfo& scale = *info.Find("Scale", CallKind::kMethod);
  ASSERT_EQ(scale.params.size(), 2u);
  EXPECT_EQ(scale.params[0].type, VarType::kI2);
  EXPECT_TRUE(scale.params[1].optional);
  EXPECT_EQ(scale.params[1].default_value, Variant(int16_t{2}));
  EXPECT_EQ(scale.result, VarType::kI2);
  EXPECT_TRUE(info.Find("Describe", CallKind::kMethod)->params[0].by_ref);
  EXPECT_EQ(info.Find("Partner", CallKind::kSet)->params[0].type,
            VarType::kObject);
  EXPECT_EQ(info.ProgId(), "KVLCommon.Account");
  EXPECT_EQ(info.TypeFlags(), 0x2u);
  EXPECT_EQ(info.InterfaceTypeFlags(), 0x11d0u);
}

TEST(ClassInfoTest, LateBoundCallsConvertArgumentsAndResults) {
  auto a = MakeRef<Account>();
  EXPECT_EQ(Call(*a, "deposit", {Variant("40")}), Variant(int32_t{40}));
  EXPECT_EQ(Call(*a, "Deposit", {Variant(2.5)}), Variant(int32_t{42}));
  EXPECT_EQ(a->Balance(), 42);
  EXPECT_EQ(Call(*a, "Balance", {}, CallKind::kGet), Variant(int32_t{42}));
  // Get calls also find methods, as automation clients expect.
  EXPECT_EQ(Call(*a, "Item", {Variant(int32_t{3})}), Variant("item3"));
}

TEST(ClassInfoTest, ByReferenceArgumentIsWrittenBack) {
  auto a = MakeRef<Account>();
  a->SetOwner("ann");
  std::vector<Variant> args{Variant()};
  EXPECT_EQ(a->Invoke("Describe", CallKind::kMethod, args), Variant(true));
  EXPECT_EQ(args[0], Variant("ann:0"));
}

TEST(ClassInfoTest, VariadicCallByNameWritesBackOnlyToVariantLvalues) {
  auto a = MakeRef<Account>();
  a->SetOwner("cy");
  Variant note("before");
  const Variant fixed("fixed");
  EXPECT_EQ(CallByName(*a, "Describe", CallKind::kMethod, note), Variant(true));
  EXPECT_EQ(note, Variant("cy:0"));
  CallByName(*a, "Describe", CallKind::kMethod, fixed);
  EXPECT_EQ(fixed, Variant("fixed"));
}

TEST(ClassInfoTest, OptionalArgumentsTakeDefaultsOrArriveMissing) {
  auto a = MakeRef<Account>();
  EXPECT_EQ(Call(*a, "Scale", {Variant(int16_t{5})}), Variant(int16_t{10}));
  EXPECT_EQ(Call(*a, "Scale", {Variant(int16_t{5}), Variant::Missing()}),
            Variant(int16_t{10}));
  EXPECT_EQ(Call(*a, "Scale", {Variant(int16_t{5}), Variant(int16_t{3})}),
            Variant(int16_t{15}));
  EXPECT_EQ(Call(*a, "Tag", {}), Variant("none"));
  EXPECT_EQ(Call(*a, "Tag", {Variant(int32_t{7})}), Variant("7"));
}

TEST(ClassInfoTest, CallerArgumentsSurviveFilledAndFailedCalls) {
  auto a = MakeRef<Account>();
  // Filling an omitted optional argument must not lose the given ones.
  std::vector<Variant> given{Variant(int16_t{4})};
  a->Invoke("Scale", CallKind::kMethod, given);
  EXPECT_EQ(given[0], Variant(int16_t{4}));
  // A required argument passed as missing fails with 449 and leaves the
  // caller's other arguments as they were.
  std::vector<Variant> args{Variant::Missing(), Variant(int16_t{3})};
  EXPECT_EQ(RaisedNumber([&] { a->Invoke("Scale", CallKind::kMethod, args); }),
            kErrArgumentNotOptional);
  EXPECT_TRUE(args[0].is_missing());
  EXPECT_EQ(args[1], Variant(int16_t{3}));
}

TEST(ClassInfoTest, PropertiesLetAndSet) {
  auto a = MakeRef<Account>();
  Call(*a, "Owner", {Variant("bob")}, CallKind::kLet);
  EXPECT_EQ(a->Owner(), "bob");
  auto b = MakeRef<Account>();
  Call(*a, "Partner", {Variant(b)}, CallKind::kSet);
  EXPECT_EQ(a->Partner().get(), b.get());
  EXPECT_EQ(Call(*a, "Partner", {}, CallKind::kGet).AsObject(), b.get());
}

TEST(ClassInfoTest, CallFailuresUseTheStandardNumbers) {
  auto a = MakeRef<Account>();
  EXPECT_EQ(RaisedNumber([&] { Call(*a, "Withdraw", {}); }), kErrNotSupported);
  EXPECT_EQ(RaisedNumber([&] { Call(*a, "Deposit", {}); }),
            kErrArgumentNotOptional);
  EXPECT_EQ(RaisedNumber([&] {
              Call(*a, "Deposit", {Variant(int32_t{1}), Variant(int32_t{2})});
            }),
            kErrWrongArgumentCount);
  EXPECT_EQ(RaisedNumber([&] { Call(*a, "Deposit", {Variant("ten")}); }),
            kErrTypeMismatch);
  EXPECT_EQ(RaisedNumber([&] { Call(*a, "Scale", {Variant(int32_t{70000})}); }),
            kErrOverflow);
  // Assigning a read-only property.
  EXPECT_EQ(RaisedNumber([&] {
              Call(*a, "Balance", {Variant(int32_t{1})}, CallKind::kLet);
            }),
            kErrWrongArgumentCount);
  // A Set needs an object.
  EXPECT_EQ(RaisedNumber([&] {
              Call(*a, "Partner", {Variant("x")}, CallKind::kSet);
            }),
            kErrTypeMismatch);
  // Nothing was deposited by the failed calls.
  EXPECT_EQ(a->Balance(), 0);
}

TEST(ClassInfoTest, QueryInterfaceSwitchesToAnotherMemberTable) {
  auto a = MakeRef<Account>();
  a->Deposit(1);
  a->Deposit(1);
  EXPECT_EQ(a->QueryInterface("_Account").get(), a.get());
  EXPECT_EQ(a->QueryInterface("IMissing"), nullptr);
  Ref<Object> audited = a->QueryInterface("IAudited");
  ASSERT_TRUE(audited);
  EXPECT_EQ(audited->Class().name(), "IAudited");
  EXPECT_EQ(audited->ClassName(), "Account");
  EXPECT_EQ(audited->Identity(), a.get());
  EXPECT_EQ(Call(*audited, "AuditCount", {}, CallKind::kGet),
            Variant(int32_t{2}));
  // The view answers only for its own interface.
  EXPECT_EQ(RaisedNumber([&] { Call(*audited, "Deposit", {Variant(1)}); }),
            kErrNotSupported);
  // The typed switch sees through views.
  EXPECT_EQ(audited->As<Account>(), a.get());
  EXPECT_NE(Ref<Object>(a).QueryInterface<IAudited>(), nullptr);
}

TEST(DynamicObjectTest, ClientObjectAnswersByName) {
  std::vector<std::string> seen;
  auto sink = MakeRef<DynamicObject>("Printer");
  sink->OnMethod("EventHandler", [&](std::span<Variant> args) {
    seen.push_back(ToText(args[0]));
    args[1] = Variant("handled");  // by-reference reply
    return Variant(true);
  });
  sink->AddProperty("Enabled", Variant(false));

  Variant reply;
  std::vector<Variant> args{Variant("Job/To/Printer"), reply};
  EXPECT_EQ(sink->Invoke("eventhandler", CallKind::kMethod, args),
            Variant(true));
  EXPECT_EQ(args[1], Variant("handled"));
  EXPECT_THAT(seen, ::testing::ElementsAre("Job/To/Printer"));

  EXPECT_EQ(CallByName(*sink, "Enabled", CallKind::kGet), Variant(false));
  CallByName(*sink, "Enabled", CallKind::kLet, true);
  EXPECT_EQ(CallByName(*sink, "Enabled", CallKind::kGet), Variant(true));
  EXPECT_EQ(RaisedNumber([&] { CallByName(*sink, "Interval", CallKind::kGet); }),
            kErrNotSupported);
  EXPECT_EQ(sink->ClassName(), "Printer");
  EXPECT_TRUE(sink->Class().HasMember("ENABLED"));
}

// A published enumeration for the Ledger below.
enum LedgerMode : int16_t { lmOpen = 1, lmClosed = 2 };
KVL_DECLARE_ENUM(LedgerMode)
const ClassInfo& KvlEnumInfo(LedgerMode) {
  static const ClassInfo info = EnumBuilder("LedgerMode")
                                    .Value("lmOpen", lmOpen)
                                    .Value("lmClosed", lmClosed)
                                    .Build();
  return info;
}

// Members whose published form says more than their C++ signature.
class Ledger : public Object {
  KVL_DECLARE_CLASS(Ledger)
 public:
  // `count` is by reference; `entries` gathers every further argument.
  std::string Post(int32_t& count, const Variant& entries) {
    const auto& items = entries.Array().items();
    count = static_cast<int32_t>(items.size());
    std::string out;
    for (const Variant& v : items) out += ToText(v) + ";";
    return out;
  }
  Ref<Object> Line(int16_t index) { return index == 1 ? self_line() : nullptr; }
  std::string Label(const std::string& prefix, int16_t width) {
    return "[" + prefix + "|" + std::to_string(width) + "]";
  }
  LedgerMode Mode(LedgerMode m) const { return m; }
  void Attach(Ref<Object> auditor) { auditor_ = std::move(auditor); }
  std::string Dump() const { return "dumped"; }
  Ref<Object> Raw() { return self_line(); }
  Ref<Object> NewEnum() {
    return MakeRef<VectorEnumerator>(std::vector<Variant>{Variant(1)});
  }

 private:
  Ref<Object> self_line() { return Ref<Object>(this); }
  Ref<Object> auditor_;
};

const ClassInfo& Ledger::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<Ledger>("Ledger", ClassKind::kCreatable)
          .Method<&Ledger::Post>("Post", {Arg("count"), ParamArray("entries")})
          .Get<&Ledger::Line>("Line", {Arg("index")})
          .Returns(&IAudited::StaticClass)
          .Default()
          .Method<&Ledger::Label>("Label", {OptArg("prefix"), OptArg("width")})
          .Method<&Ledger::Mode>("Mode", {Arg("m")})
          .Method<&Ledger::Attach>("Attach",
                                   {Arg("auditor").As(&IAudited::StaticClass)})
          .Method<&Ledger::Dump>("Dump")
          .Returns(VarType::kEmpty)
          .Method<&Ledger::Raw>("Raw")
          .Returns(VarType::kUnknown)
          .Method<&Ledger::NewEnum>("NewEnum")
          .Build();
  return info;
}

std::string Signature(const ClassInfo& info, std::string_view name,
                      CallKind kind = CallKind::kMethod) {
  const MemberInfo* m = info.Find(name, kind);
  return m ? SignatureText(*m) : "(none)";
}

TEST(ClassInfoTest, PublishedSignaturesSayWhatTheTableSays) {
  const ClassInfo& info = Ledger::StaticClass();
  EXPECT_EQ(Signature(info, "Post"),
            "Method Post(ByRef count As Long, ParamArray entries() As Variant) "
            "As String");
  EXPECT_EQ(Signature(info, "Line", CallKind::kGet),
            "Get Line(index As Integer) As IAudited");
  // Optional without a default: nothing invented.
  EXPECT_EQ(
      Signature(info, "Label"),
      "Method Label(Optional prefix As String, Optional width As Integer) "
      "As String");
  EXPECT_EQ(Signature(info, "Mode"),
            "Method Mode(m As LedgerMode) As LedgerMode");
  EXPECT_EQ(Signature(info, "Attach"), "Method Attach(auditor As IAudited)");
  EXPECT_EQ(Signature(info, "Dump"), "Method Dump()");
  EXPECT_EQ(Signature(info, "Raw"), "Method Raw() As IUnknown");
  EXPECT_EQ(Signature(info, "NewEnum"), "Method NewEnum() As IEnumVariant");
  EXPECT_EQ(Signature(Account::StaticClass(), "Scale"),
            "Method Scale(value As Integer, Optional factor As Integer = 2) "
            "As Integer");

  const ClassInfo& mode = KvlEnumInfo(lmOpen);
  EXPECT_EQ(mode.kind(), ClassKind::kEnumeration);
  EXPECT_TRUE(mode.members().empty());
  ASSERT_EQ(mode.constants().size(), 2u);
  EXPECT_EQ(mode.constants()[1].name, "lmClosed");
  EXPECT_EQ(mode.constants()[1].value, 2);
}

TEST(ClassInfoTest, VariableArgumentListGathersTheRest) {
  auto l = MakeRef<Ledger>();
  std::vector<Variant> args{Variant(), Variant("a"), Variant(int32_t{2}),
                            Variant("c")};
  EXPECT_EQ(l->Invoke("Post", CallKind::kMethod, args), Variant("a;2;c;"));
  // The fixed by-reference argument is written back, the gathered ones are
  // left as given.
  EXPECT_EQ(args[0], Variant(int32_t{3}));
  EXPECT_EQ(args[3], Variant("c"));
  std::vector<Variant> only{Variant()};
  EXPECT_EQ(l->Invoke("Post", CallKind::kMethod, only), Variant(""));
  EXPECT_EQ(only[0], Variant(int32_t{0}));
  EXPECT_EQ(RaisedNumber([&] { Call(*l, "Post", {}); }),
            kErrArgumentNotOptional);
}

TEST(ClassInfoTest, MarkedDefaultMemberHasDispatchIdZeroAndAnswersUnnamed) {
  auto l = MakeRef<Ledger>();
  const ClassInfo& info = Ledger::StaticClass();
  EXPECT_EQ(info.Find("Line", CallKind::kGet)->dispid, kDispIdItem);
  EXPECT_TRUE(info.Find("Line", CallKind::kGet)->is_default);
  EXPECT_EQ(Call(*l, "", {Variant(int16_t{1})}, CallKind::kGet).AsObject(),
            l.get());
  // Without a mark the member named Item is the default.
  auto a = MakeRef<Account>();
  EXPECT_EQ(Call(*a, "", {Variant(int32_t{4})}, CallKind::kGet),
            Variant("item4"));
  EXPECT_EQ(RaisedNumber([&] { Call(*a, "", {}, CallKind::kLet); }),
            kErrNotSupported);
}

TEST(ClassInfoTest, OmittedOptionalsWithoutDefaultReachTypedParameters) {
  auto l = MakeRef<Ledger>();
  EXPECT_EQ(Call(*l, "Label", {}), Variant("[|0]"));
  EXPECT_EQ(Call(*l, "Label", {Variant::Missing(), Variant(int16_t{5})}),
            Variant("[|5]"));
  EXPECT_EQ(Call(*l, "Label", {Variant("x")}), Variant("[x|0]"));
}

TEST(ClassInfoTest, PublishedResultKindsReachLateBoundCallers) {
  auto l = MakeRef<Ledger>();
  // Published without result although the C++ function returns text.
  EXPECT_TRUE(Call(*l, "Dump", {}).is_empty());
  Variant raw = Call(*l, "Raw", {});
  EXPECT_EQ(raw.type(), VarType::kUnknown);
  EXPECT_EQ(raw.AsObject(), l.get());
  EXPECT_EQ(Call(*l, "NewEnum", {}).type(), VarType::kUnknown);
  // Enumerations travel as their integer; named-interface parameters take
  // any object.
  EXPECT_EQ(Call(*l, "Mode", {Variant(int32_t{2})}), Variant(int16_t{2}));
  EXPECT_EQ(Call(*l, "Attach", {Variant(MakeRef<Account>())}), Variant());
}

TEST(ClassInfoTest, InterfaceMembersAnswerByNameOnTheObject) {
  auto a = MakeRef<Account>();
  a->Deposit(5);
  // AuditCount lives only in IAudited, which Account implements.
  EXPECT_EQ(Call(*a, "AuditCount", {}, CallKind::kGet), Variant(int32_t{1}));
  EXPECT_EQ(RaisedNumber(
                [&] { Call(*a, "AuditCount", {Variant(1)}, CallKind::kLet); }),
            kErrNotSupported);
}

// A table of many members whose names share their first byte, so that
// repeated lookups meet in the table's cache of recent names.
struct ManyMembers {
  static constexpr int kNames = 40;
  ManyMembers() : info("Many", ClassKind::kPrivate, Members()) {}

  static std::string Name(int i) { return "k" + std::to_string(i) + "x"; }
  static std::vector<MemberInfo> Members() {
    std::vector<MemberInfo> members;
    auto add = [&](int i, CallKind kind) {
      MemberInfo m;
      m.name = Name(i);
      m.kind = kind;
      members.push_back(std::move(m));
    };
    for (int i = 0; i < kNames; ++i) {
      if (i % 3 == 0) add(i, CallKind::kMethod);
      if (i % 3 != 1) add(i, CallKind::kGet);
      if (i % 2 == 0) add(i, CallKind::kLet);
    }
    return members;
  }
  // What a lookup must answer: the member of the name and kind, else for a
  // Method or Get call the first method or Get of the name.
  const MemberInfo* Expected(std::string_view name, CallKind kind) const {
    const MemberInfo* fallback = nullptr;
    for (const MemberInfo& m : info.members()) {
      if (!EqualsNoCase(m.name, name)) continue;
      if (m.kind == kind) return &m;
      bool reads = kind == CallKind::kMethod || kind == CallKind::kGet;
      bool answers = m.kind == CallKind::kMethod || m.kind == CallKind::kGet;
      if (reads && answers && !fallback) fallback = &m;
    }
    return fallback;
  }
  // Looks names up in a mixed order of names, spellings and kinds; the
  // number of answers that differ from Expected.
  int Mismatches(unsigned seed) const {
    const CallKind kinds[] = {CallKind::kMethod, CallKind::kGet, CallKind::kLet,
                              CallKind::kSet};
    int wrong = 0;
    for (int step = 0; step < 4000; ++step) {
      seed = seed * 1103515245 + 12345;
      std::string name = Name(static_cast<int>(seed >> 8) % (kNames + 2));
      if ((seed >> 20) % 3 == 0) name[0] = 'K';
      CallKind kind = kinds[(seed >> 24) % 4];
      if (info.Find(name, kind) != Expected(name, kind)) ++wrong;
    }
    return wrong;
  }

  ClassInfo info;
};

TEST(ClassInfoTest, RepeatedLookupsAnswerAsTheFirst) {
  ManyMembers many;
  EXPECT_EQ(many.Mismatches(1), 0);
  // The same from several threads at once.
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (unsigned t = 0; t < 4; ++t)
    threads.emplace_back([&, t] { wrong += many.Mismatches(t + 2); });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);

  // Calls keep answering by kind and spelling after the cache has seen
  // the name: the Get of a property, then its Let, then another spelling.
  auto a = MakeRef<Account>();
  for (int round = 0; round < 2; ++round) {
    Call(*a, "Owner", {Variant("ann")}, CallKind::kLet);
    EXPECT_EQ(Call(*a, "Owner", {}, CallKind::kGet), Variant("ann"));
    EXPECT_EQ(Call(*a, "OWNER", {}, CallKind::kGet), Variant("ann"));
    EXPECT_EQ(RaisedNumber([&] { Call(*a, "Owner", {}, CallKind::kSet); }),
              kErrWrongArgumentCount);
  }
}

TEST(DynamicObjectTest, CatchAllAnswersNamesWithoutHandler) {
  std::vector<std::string> heard;
  auto sink = MakeRef<DynamicObject>("Any");
  sink->OnMethod("Known", [](std::span<Variant>) { return Variant(1); });
  sink->OnAnyMember(
      [&](std::string_view name, CallKind kind, std::span<Variant> args) {
        heard.push_back(std::string(name) + "/" +
                        std::to_string(static_cast<int>(kind)) + "/" +
                        std::to_string(args.size()));
        if (!args.empty()) args[0] = Variant("reply");
        return Variant(2);
      });
  std::vector<Variant> args{Variant("in")};
  EXPECT_EQ(sink->Invoke("Whatever", CallKind::kMethod, args), Variant(2));
  EXPECT_EQ(args[0], Variant("reply"));
  EXPECT_EQ(CallByName(*sink, "Known", CallKind::kMethod), Variant(1));
  EXPECT_EQ(CallByName(*sink, "Level", CallKind::kGet), Variant(2));
  EXPECT_THAT(heard, ::testing::ElementsAre("Whatever/1/1", "Level/2/0"));
}

}  // namespace
}  // namespace kvl
