// EventListener and IEventReceiver: one subscription on an EventBus, and
// the interface through which the bus calls a receiver.
//
// A listener names its receiver (`Object`), which events it wants (an
// event-name pattern plus keyword/value qualifier patterns, or an event id
// for an id listener), its role (`Flag`: 0 normal, 1 catch, 2 monitor), its
// id and a free `Tag`. Patterns are wildcard patterns (wildcard.h). A
// listener matches an event when the name matches and every qualifier is
// satisfied by some parameter of the event (EventObject::MatchQual):
// qualifiers combine with AND, the values of one qualifier with OR.
//
// Qualifiers come from an array of «keyword=value» texts (split at the
// first "=", nothing unquoted; «K», «K=» mean any value) or from a
// listener string «Name K*=V* Flag», cut into words like an event
// string; there each «k=v» word goes through KVLStrings::ExtractKeyAndValue
// (so «A='x y'» gives the value «x y») and any other word w means (w, *).
// The records are Associations (Value = keyword pattern, Mapping = value
// pattern) keyed by the keyword pattern; FirstValue / NextValue return the
// live records, and a value pattern changed through them takes effect.
//
// Only the bus makes listeners: clients get them from FirstListener and
// NextListener and read them; the setters below the published members are
// the bus's. A listener holds a counted reference to its receiver until it
// ends. Used on the bus's thread.
//
// A receiver either implements IEventReceiver (C++ classes derive from it
// and list `.Implements(&IEventReceiver::StaticClass)`), or has a member
// "EventHandler" (pattern listeners) / "eventId" (id listeners) that the bus
// calls by name:
//
//   class Printer : public Object, public IEventReceiver {
//     KVL_DECLARE_CLASS(Printer)
//    public:
//     void EventHandler(const Ref<EventObject>& e, int32_t ID,
//                       int16_t Flag) override;
//   };
#ifndef KVL_EVENTS_EVENT_LISTENER_H_
#define KVL_EVENTS_EVENT_LISTENER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kvl/collections/association.h"
#include "kvl/collections/keyed_store.h"
#include "kvl/events/event_object.h"
#include "kvl/events/wildcard.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

// Public interface, not creatable (kind 3).
class KVL_EXPORT IEventReceiver {
 public:
  static const ClassInfo& StaticClass();
  // Called by the bus for each event the receiver's listener `ID` with role
  // `Flag` receives. A failure raised here is ignored by the bus.
  // The event is the caller's reference, valid for the call; keep a copy
  // of the Ref to hold the event longer.
  virtual void EventHandler(const Ref<EventObject>& e, int32_t ID,
                            int16_t Flag) = 0;

 protected:
  ~IEventReceiver() = default;
};

// Public, not creatable (kind 3).
class KVL_EXPORT EventListener : public Object {
  KVL_DECLARE_CLASS(EventListener)
 public:
  EventListener() = default;
  ~EventListener() override;

  // Moves the qualifier cursor to the first qualifier and returns it.
  Ref<Association> FirstValue();
  int16_t Flag() const { return flag_; }
  // "None" for 0; otherwise "Quiet" when bit 2 is set, then "Catch" when
  // bit 1 is set («QuietCatch» for 3).
  std::string FlagToString() const;
  int32_t ID() const { return id_; }
  // Changes the id the listener reports; the bus still finds it under the
  // id it was registered with.
  void SetID(int32_t id) { id_ = id; }
  int16_t ListenerType() const { return listener_type_; }
  const std::string& Name() const { return name_.text(); }
  // The next qualifier, or Nothing past the end; raises 6 when the cursor
  // would pass 32767.
  Ref<Association> NextValue();
  // The receiver.
  Ref<kvl::Object> Object() const { return receiver_; }
  const std::string& Tag() const { return tag_; }
  // «ID=7 Flag=Catch Pattern=Foo/To/* K*=V*»: the qualifiers as
  // keyword=value, not quoted.
  std::string ToString() const;

  // ---- set up and used by the bus ----

  void SetArmed(bool armed) { armed_ = armed; }
  bool Armed() const { return armed_; }
  void SetFlag(int16_t flag) { flag_ = flag; }
  void SetListenerType(int16_t type) { listener_type_ = type; }
  void SetName(std::string_view name) { name_ = WildcardPattern(name); }
  void SetTag(std::string tag) { tag_ = std::move(tag); }
  // Sets the receiver and records whether it implements IEventReceiver.
  void SetObjectRef(Ref<kvl::Object> receiver);
  // True when the receiver implements IEventReceiver.
  bool IsEventReceiver() const { return typed_receiver_ != nullptr; }
  // The receiver's IEventReceiver, or null.
  IEventReceiver* AsEventReceiver() const { return typed_receiver_; }
  // True when the event's name matches and every qualifier is satisfied.
  bool Matches(const EventObject& e) const {
    return Matches(e, WildcardPattern::LeadingWord(e.Name()));
  }
  // The same, with WildcardPattern::LeadingWord of the event's name, which
  // the bus computes once per event.
  bool Matches(const EventObject& e, uint64_t name_word) const {
    if (!name_.MatchesLeading(e.Name(), name_word)) return false;
    if (records_out_) return MatchesChangedQualifiers(e);
    for (const CompiledQualifier& q : compiled_)
      if (!e.MatchQualifier(q.pattern)) return false;
    return true;
  }
  // Adds the qualifier (kp, vp), or gives the qualifier with keyword
  // pattern kp (any case) the value pattern vp in its place.
  void AddQualifier(const std::string& kp, const std::string& vp);
  // Adds the qualifiers of an array of texts (a single text counts as a
  // one-element array; Empty elements and an Empty or omitted array add
  // none). Raises the conversion failure (13, 94) for an element that has
  // no text, before adding any.
  void AddQualifiers(const Variant& quals);
  // Reads a listener string: its first word becomes the name pattern,
  // the other words qualifiers.
  void ParseListenerString(const std::string& text);
  // The delivery the listener was last called in (the bus's count).
  uint64_t delivered() const { return delivered_; }
  void set_delivered(uint64_t serial) { delivered_ = serial; }

 private:
  // A qualifier as compiled from its record's texts. The records are
  // handed out live by FirstValue / NextValue; once one was, a client may
  // change its texts, and each test first compares them with the texts
  // compiled.
  struct CompiledQualifier {
    QualifierPattern pattern;
    std::string kp;
    std::string vp;
    CompiledQualifier(std::string k, std::string v)
        : pattern(k, v), kp(std::move(k)), vp(std::move(v)) {}
  };
  // The qualifiers' test once their records were handed out.
  bool MatchesChangedQualifiers(const EventObject& e) const;

  // What delivery reads for every listener comes first.
  uint64_t delivered_ = 0;
  IEventReceiver* typed_receiver_ = nullptr;
  // One per record of qualifiers_, in the same order.
  mutable std::vector<CompiledQualifier> compiled_;
  int32_t id_ = 0;
  int16_t flag_ = 0;
  bool armed_ = false;
  bool records_out_ = false;
  WildcardPattern name_;
  KeyedStore<Ref<Association>> qualifiers_;
  Ref<kvl::Object> receiver_;
  std::string tag_;
  int16_t cursor_ = 0;
  int16_t listener_type_ = 0;
};

}  // namespace kvl

#endif  // KVL_EVENTS_EVENT_LISTENER_H_
