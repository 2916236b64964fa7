// EventObject: one event travelling over an EventBus: a name
// («Job/To/Printer»), an ordered list of keyword/value parameters in which
// a keyword may carry several values, a 16-bit event type (0 named, 1 id
// event), a 32-bit id and the bus that queued it.
//
// Parameters: each value is one Association (Value = the keyword, Mapping =
// the value, any variant including an object) stored under the key
// keyword + "." + n, n counting the values of that keyword from 1
// («Port.1», «Port.2»). Lookups by keyword ignore case; the stored keyword
// keeps its case. The first record of a keyword carries in Types the number
// of values the keyword has. Missing keywords and indexes never fail: Value
// gives an empty string, ParamIsMissing true, ValueTypeName "(Missing)".
// FirstValue / NextValue walk all records in insertion order with one shared
// 16-bit cursor (ToString uses the same cursor) and return the live records.
//
// Ownership: whoever holds references owns the event: the client that made
// it, the bus queue while it waits, receivers during delivery. The event
// refers to its bus without keeping it alive (`ebus` is Nothing once the bus
// has ended), so a queued event and its bus form no cycle. Used on the
// thread of the bus's client; no locks.
//
//   auto e = MakeRef<EventObject>();
//   e->SetName("Disk/From/Monitor");
//   e->SetValue("Free", int32_t{12});
//   e->SetNewValue("Unit", "MB");
//   e->ToString();            // "Disk/From/Monitor Free=12 Unit=MB"
//   e->ToStringEx(true);      // "... Free/I4=12 Unit/A=MB"
//   e->MatchQual("f*", "*");  // true
#ifndef KVL_EVENTS_EVENT_OBJECT_H_
#define KVL_EVENTS_EVENT_OBJECT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "kvl/collections/association.h"
#include "kvl/collections/keyed_store.h"
#include "kvl/events/wildcard.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"
#include "kvl/runtime/weak_ref.h"

namespace kvl {

class EventBus;

// A qualifier of a listener, (keyword pattern, value pattern), compiled
// once for repeated tests against events (EventObject::MatchQualifier).
// The value pattern "*" or empty accepts a value of any kind; any other
// value pattern only string values that match it. Immutable.
class KVL_EXPORT QualifierPattern {
 public:
  QualifierPattern() = default;
  QualifierPattern(std::string_view keyword, std::string_view value);

  const WildcardPattern& keyword() const { return keyword_; }
  const WildcardPattern& value() const { return value_; }
  // True when `v`, the value of a parameter whose keyword matches, is
  // accepted.
  bool AcceptsValue(const Variant& v) const {
    return v.is_string() ? value_.Matches(v.AsString()) : any_value_;
  }
  // The list key of the first value of the keyword when the keyword
  // pattern is a plain name (no wildcard); empty otherwise.
  const std::string& first_key() const { return first_key_; }

 private:
  bool any_value_ = true;
  WildcardPattern keyword_;
  WildcardPattern value_;
  std::string first_key_;
};

// Creatable (kind 2).
class KVL_EXPORT EventObject : public Object {
  KVL_DECLARE_CLASS(EventObject)
 public:
  EventObject() = default;
  ~EventObject() override;

  // The bus that queued the event; Nothing before it was sent and after the
  // bus has ended.
  Ref<EventBus> ebus() const;
  void SetebusRef(Ref<EventBus> bus);
  void SetEventType(int16_t type) { event_type_ = type; }
  int16_t EventType() const { return event_type_; }
  // Moves the cursor to the first record and returns it; Nothing when there
  // is none.
  Ref<Association> FirstValue();
  void SetID(int32_t id) { id_ = id; }
  int32_t ID() const { return id_; }
  // True when some value satisfies the pair of patterns: a string value
  // whose keyword matches `namePat` and whose text matches `valPat`, or a
  // value of any other kind whose keyword matches `namePat` when `valPat`
  // is "*" or empty. Never fails.
  bool MatchQual(const std::string& namePat, const std::string& valPat) const;
  void SetName(std::string name) {
    name_ = std::move(name);
    ++name_version_;
  }
  const std::string& Name() const { return name_; }
  // Adds one more value to `k` (the first one when `k` has none). Raises 6
  // when `k` would carry more than 32767 values, 457 when the next record's
  // key was taken because a client changed the count in Types.
  void SetNewValue(const std::string& k, Variant value);
  // Advances the cursor and returns the record there; Nothing past the end.
  // Raises 6 when the cursor would pass 32767.
  Ref<Association> NextValue();
  // `ToStringEx(false)`.
  std::string ToString() { return ToStringEx(Variant(false)); }
  // «Name K1=V1 K2='a b' O:=<Class:its ToString>»; with ShowTypes true
  // each plain value gets its type suffix («K1/I4=5»). An omitted ShowTypes
  // is false. Walks the records with the shared cursor.
  std::string ToStringEx(const Variant& ShowTypes = Variant::Missing());
  // Replaces the first value of `k`, or creates `k` with this one value.
  void SetValue(const std::string& k, Variant value);
  // A boolean: true when `k` has no value.
  Variant ParamIsMissing(const std::string& k) const;
  // The first value of `k` (an object as the reference itself); an empty
  // string when `k` has none.
  Variant Value(const std::string& k) const;
  // n < 1: nothing; n = 1: SetValue; n > 1: replaces value n when it
  // exists, else nothing.
  void SetValueByIndex(const std::string& k, int16_t n, Variant value);
  // Value n of `k`; an empty string when there is none.
  Variant ValueByIndex(const std::string& k, int16_t n) const;
  // The class name of an object value, else the name of the value's kind
  // ("String", "Long", ...); "(Missing)" when there is no such value.
  std::string ValueTypeName(std::string aKeyword, int16_t Index = 1) const;

  // ---- for the bus and listeners ----

  // MatchQual with compiled patterns. A plain keyword is looked up by its
  // key instead of testing every parameter, unless records were handed
  // out by FirstValue / NextValue: a client may have changed their
  // keywords, so then every record is tested.
  bool MatchQualifier(const QualifierPattern& q) const {
    if (records_out_) return ScanQualifier(q);
    if (!q.first_key().empty() && params_.size() > kScanLimit)
      return FindQualifier(q);
    // Every keyword is a text while no record has left the event.
    for (const auto& entry : params_) {
      const Association& record = *entry.value;
      if (q.keyword().Matches(record.Value().AsString()) &&
          q.AcceptsValue(record.Mapping()))
        return true;
    }
    return false;
  }
  // Counts the changes of Name, so that a reader can tell that the name it
  // read before is still the name.
  uint32_t name_version() const { return name_version_; }
  // Sets the bus (null clears it) without keeping it alive.
  void SetBus(EventBus* bus);

 private:
  Association* Record(std::string_view k, int32_t n) const;
  void AppendRecord(const std::string& k, int32_t n, Variant value,
                    int16_t types);

  // Up to this many records, comparing each keyword costs less than a
  // lookup by key.
  static constexpr size_t kScanLimit = 8;
  // MatchQualifier by the keys of a plain keyword.
  bool FindQualifier(const QualifierPattern& q) const;
  // MatchQualifier for records of any content.
  bool ScanQualifier(const QualifierPattern& q) const;

  KeyedStore<Ref<Association>> params_;
  std::string name_;
  uint32_t name_version_ = 0;
  // FirstValue or NextValue handed a record to a client.
  bool records_out_ = false;
  int16_t cursor_ = 0;
  int16_t event_type_ = 0;
  int32_t id_ = 0;
  WeakRef<EventBus> bus_;
  bool printing_ = false;
};

}  // namespace kvl

#endif  // KVL_EVENTS_EVENT_OBJECT_H_
