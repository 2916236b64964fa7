#include "kvl/events/event_object.h"

#include <algorithm>

#include "kvl/events/event_bus.h"
#include "kvl/frame/catalogue.h"
#include "kvl/runtime/checked.h"
#include "kvl/runtime/client_call.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/strings/kvl_strings.h"

namespace kvl {
namespace {

std::string RecordKey(std::string_view k, int32_t n) {
  std::string key;
  key.reserve(k.size() + 7);
  key.append(k);
  key += '.';
  key += std::to_string(n);
  return key;
}

// The type suffix ToStringEx writes for a plain value.
std::string_view TypeSuffix(VarType type) {
  switch (type) {
    case VarType::kI2: return "/I2";
    case VarType::kI4: return "/I4";
    case VarType::kR4: return "/F4";
    case VarType::kR8: return "/F8";
    case VarType::kString: return "/A";
    case VarType::kBool: return "/BOOLEAN";
    default: return {};
  }
}

// The text of a plain value in an event's text form. Null, which has no
// text, reads "Null"; an array is written in the value text form.
std::string ValueText(const Variant& v) {
  if (v.is_null()) return "Null";
  if (v.is_array()) return Strings().CVariantToStr(v);
  return ToText(v);
}

bool KeywordMatches(const Variant& keyword, const WildcardPattern& pattern) {
  if (keyword.is_string()) return pattern.Matches(keyword.AsString());
  return pattern.Matches(ToText(keyword));
}

}  // namespace

QualifierPattern::QualifierPattern(std::string_view keyword,
                                   std::string_view value)
    : any_value_(value.empty() || value == "*"),
      keyword_(keyword),
      value_(value) {
  if (keyword_.IsPlain()) first_key_ = RecordKey(keyword, 1);
}

const ClassInfo& EventObject::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<EventObject>("EventObject", ClassKind::kCreatable)
          .Get<&EventObject::ebus>("ebus")
          .Set<&EventObject::SetebusRef>("ebus")
          .Let<&EventObject::SetEventType>("EventType")
          .Get<&EventObject::EventType>("EventType")
          .Get<&EventObject::FirstValue>("FirstValue")
          .Let<&EventObject::SetID>("ID")
          .Get<&EventObject::ID>("ID")
          .Method<&EventObject::MatchQual>("MatchQual",
                                           {Arg("namePat"), Arg("valPat")})
          .Let<&EventObject::SetName>("Name")
          .Get<&EventObject::Name>("Name")
          .Let<&EventObject::SetNewValue>("NewValue", {Arg("k")})
          .Get<&EventObject::NextValue>("NextValue")
          .Get<&EventObject::ToString>("ToString")
          .Method<&EventObject::ToStringEx>("ToStringEx", {OptArg("ShowTypes")})
          .Let<&EventObject::SetValue>("Value", {Arg("k")})
          .Method<&EventObject::ParamIsMissing>("ParamIsMissing", {Arg("k")})
          .Get<&EventObject::Value>("Value", {Arg("k")})
          .Let<&EventObject::SetValueByIndex>("ValueByIndex",
                                              {Arg("k"), Arg("n")})
          .Get<&EventObject::ValueByIndex>("ValueByIndex", {Arg("k"), Arg("n")})
          .Method<&EventObject::ValueTypeName>(
              "ValueTypeName",
              {Arg("aKeyword"), OptArg("Index", Variant(int16_t{1}))})
          .Build();
  return info;
}
KVL_REGISTER_CLASS(EventObject)

EventObject::~EventObject() = default;

Ref<EventBus> EventObject::ebus() const { return bus_.Lock(); }

void EventObject::SetebusRef(Ref<EventBus> bus) {
  SetBus(bus.get());
}

void EventObject::SetBus(EventBus* bus) { bus_ = WeakRef<EventBus>(bus); }

Association* EventObject::Record(std::string_view k, int32_t n) const {
  if (n < 1) return nullptr;
  const Ref<Association>* found = params_.Find(RecordKey(k, n));
  return found ? found->get() : nullptr;
}

void EventObject::AppendRecord(const std::string& k, int32_t n, Variant value,
                               int16_t types) {
  auto record = MakeRef<Association>();
  record->SetValue(Variant(k));
  record->SetMapping(std::move(value));
  record->SetTypes(types);
  if (!params_.Add(std::move(record), RecordKey(k, n)))
    Raise(kErrDuplicateKey, ClassName());
}

void EventObject::SetValue(const std::string& k, Variant value) {
  if (Association* first = Record(k, 1)) {
    first->SetMapping(std::move(value));
    if (first->Types() < 1) first->SetTypes(1);
    return;
  }
  AppendRecord(k, 1, std::move(value), 1);
}

void EventObject::SetNewValue(const std::string& k, Variant value) {
  Association* first = Record(k, 1);
  if (!first) {
    SetValue(k, std::move(value));
    return;
  }
  const int16_t count =
      CheckedAdd<int16_t>(std::max<int16_t>(first->Types(), 1), 1);
  if (Record(k, count)) Raise(kErrDuplicateKey, ClassName());
  first->SetTypes(count);
  AppendRecord(k, count, std::move(value), 0);
}

Variant EventObject::Value(const std::string& k) const {
  return ValueByIndex(k, 1);
}

Variant EventObject::ValueByIndex(const std::string& k, int16_t n) const {
  if (const Association* record = Record(k, n)) return record->Mapping();
  return Variant(std::string());
}

void EventObject::SetValueByIndex(const std::string& k, int16_t n,
                                  Variant value) {
  if (n < 1) return;
  if (n == 1) {
    SetValue(k, std::move(value));
    return;
  }
  if (Association* record = Record(k, n)) record->SetMapping(std::move(value));
}

Variant EventObject::ParamIsMissing(const std::string& k) const {
  return Variant(Record(k, 1) == nullptr);
}

std::string EventObject::ValueTypeName(std::string aKeyword,
                                       int16_t Index) const {
  const Association* record = Record(aKeyword, Index);
  return record ? TypeName(record->Mapping()) : "(Missing)";
}

Ref<Association> EventObject::FirstValue() {
  cursor_ = 1;
  const Ref<Association>* record = params_.At(1);
  if (!record) return nullptr;
  records_out_ = true;
  return *record;
}

Ref<Association> EventObject::NextValue() {
  cursor_ = CheckedAdd(cursor_, 1);
  const Ref<Association>* record = params_.At(static_cast<size_t>(cursor_));
  if (!record) return nullptr;
  records_out_ = true;
  return *record;
}

bool EventObject::MatchQual(const std::string& namePat,
                            const std::string& valPat) const {
  try {
    return MatchQualifier(QualifierPattern(namePat, valPat));
  } catch (const KVLError&) {
    return false;
  }
}

// While no record has left the event, the records of keyword k are exactly
// those under the keys k.1 ... k.c (c in the first record's Types), and
// each holds k (in some letter case) as its keyword.
bool EventObject::FindQualifier(const QualifierPattern& q) const {
  const Ref<Association>* first = params_.Find(q.first_key());
  if (!first) return false;
  if (q.AcceptsValue((*first)->Mapping())) return true;
  const int32_t count = (*first)->Types();
  for (int32_t n = 2; n <= count; ++n) {
    const Association* record = Record(q.keyword().text(), n);
    if (record && q.AcceptsValue(record->Mapping())) return true;
  }
  return false;
}

bool EventObject::ScanQualifier(const QualifierPattern& q) const {
  try {
    for (const auto& entry : params_) {
      const Association& record = *entry.value;
      if (KeywordMatches(record.Value(), q.keyword()) &&
          q.AcceptsValue(record.Mapping()))
        return true;
    }
  } catch (const KVLError&) {
    // A keyword that has no text (a client changed it through the live
    // record) ends the test.
  }
  return false;
}

std::string EventObject::ToStringEx(const Variant& ShowTypes) {
  const bool show_types = !ShowTypes.is_missing() && ToBool(ShowTypes);
  // An event that holds itself (directly or through other objects) prints
  // the inner occurrence as its class name only.
  if (printing_) Raise(kErrInvalidArgument, ClassName());
  printing_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{printing_};

  KVLStrings& strings = Strings();
  std::string out = name_;
  // The walk moves the shared cursor as FirstValue / NextValue do; it reads
  // from its own position, so a ToString of a parameter object that walks
  // this event cannot send it round in circles.
  for (size_t position = 1;; ++position) {
    try {
      cursor_ = CheckedCast<int16_t>(position);
    } catch (const KVLError&) {
      break;
    }
    const Ref<Association>* slot = params_.At(position);
    if (!slot) break;
    const Ref<Association> record = *slot;
    out += ' ';
    try {
      out += ToText(record->Value());
    } catch (const KVLError&) {
    }
    const Variant value = record->Mapping();
    if (value.is_object()) {
      out += ":=<";
      out += TypeName(value);
      if (Object* object = value.AsObject()) {
        // An object without a usable ToString shows its class only.
        CallClient(ClientFailure::kReturn, [&] {
          std::string text =
              ToText(CallByName(*object, "ToString", CallKind::kGet));
          out += ':';
          out += text;
        });
      }
      out += '>';
      continue;
    }
    if (show_types) out += TypeSuffix(value.type());
    try {
      std::string text = strings.EnquoteIfNeeded(ValueText(value));
      out += '=';
      out += text;
    } catch (const KVLError&) {
    }
  }
  return out;
}

}  // namespace kvl
