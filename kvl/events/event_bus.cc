#include "kvl/events/event_bus.h"

#include <optional>
#include <utility>
#include <vector>

#include "kvl/events/internal/event_words.h"
#include "kvl/frame/catalogue.h"
#include "kvl/runtime/checked.h"
#include "kvl/runtime/clock.h"
#include "kvl/runtime/date_time.h"
#include "kvl/runtime/client_call.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/strings/kvl_strings.h"

namespace kvl {
namespace {

constexpr int16_t kNormal = 0;
constexpr int16_t kCatch = 1;
constexpr int16_t kMonitor = 2;
constexpr int16_t kPatternListener = 0;
constexpr int16_t kIdListener = 1;
constexpr int16_t kDefaultClass = 2;

std::string ListenerKey(int32_t id) {
  return "K" + std::to_string(id);
}

std::string WithoutTrailingBlanks(const std::string& s) {
  const size_t last = s.find_last_not_of(' ');
  return last == std::string::npos ? std::string() : s.substr(0, last + 1);
}

bool SameObject(const Ref<Object>& a, const Ref<Object>& b) {
  return a && b && a->Identity() == b->Identity();
}

// After a call by name: a receiver that assigned another event object to
// the event argument hands that event to the later listeners.
void TakeReplacement(const Variant& argument, Ref<EventObject>& current) {
  if (!argument.is_object() || !argument.AsObject()) return;
  auto* replacement =
      dynamic_cast<EventObject*>(argument.AsObject()->Identity());
  if (replacement && replacement != current.get())
    current = Ref<EventObject>(replacement);
}

// "Send" by name: the name, then the parameters gathered into one array;
// a single array argument is taken as the parameters themselves.
Variant SendInvoker(Object& self, std::span<Variant> args) {
  const std::string n = ToText(args[0]);
  const auto& items = args[1].Array().items();
  std::span<const Variant> params(items.data(), items.size());
  if (params.size() == 1 && params[0].is_array()) {
    const auto& inner = params[0].Array().items();
    params = std::span<const Variant>(inner.data(), inner.size());
  }
  std::vector<Variant> given;
  given.reserve(params.size());
  for (const Variant& p : params)
    if (!p.is_missing()) given.push_back(p);
  internal::CastSelf<EventBus>(self).Send(n, given);
  return Variant();
}

// Qualifiers are published as an array of variants; a single text is
// accepted too.
ParamSpec QualsArg() {
  return RefArg("quals").Of(VarType::kArray | VarType::kVariant);
}

}  // namespace

const ClassInfo& EventBus::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<EventBus>("EventBus", ClassKind::kCreatable)
          .Let<&EventBus::SetTickFrequency>("TickFrequency")
          .Get<&EventBus::TickFrequency>("TickFrequency")
          .Let<&EventBus::SetTimerResolution>("TimerResolution")
          .Get<&EventBus::TimerResolution>("TimerResolution")
          .Let<&EventBus::SetTimerEnabled>("TimerEnabled")
          .Get<&EventBus::TimerEnabled>("TimerEnabled")
          .Method<&EventBus::Catch>("Catch",
                                    {RefArg("x"), RefArg("n"), QualsArg()})
          .Method<&EventBus::CatchString>("CatchString",
                                          {RefArg("x"), RefArg("s")})
          .Method<&EventBus::CatchTag>(
              "CatchTag", {RefArg("x"), RefArg("t"), RefArg("n"), QualsArg()})
          .Get<&EventBus::EventCount>("EventCount")
          .Method<&EventBus::FireAllEvents>("FireAllEvents")
          .Get<&EventBus::FirstListener>("FirstListener",
                                         {RefArg("x"), RefArg("p")})
          .Method<&EventBus::InvokeById>("InvokeById",
                                         {RefArg("x"), Arg("theId")})
          .Method<&EventBus::InvokeByNewId>("InvokeByNewId", {RefArg("x")})
          .Method<&EventBus::Listen>("Listen",
                                     {RefArg("x"), RefArg("n"), QualsArg()})
          .Get<&EventBus::ListenerCount>("ListenerCount")
          .Method<&EventBus::ListenId>("ListenId", {RefArg("x"), Arg("theId")})
          .Method<&EventBus::ListenString>("ListenString",
                                           {RefArg("x"), RefArg("s")})
          .Method<&EventBus::ListenTag>(
              "ListenTag", {RefArg("x"), RefArg("t"), RefArg("n"), QualsArg()})
          .Method<&EventBus::Monitor>("Monitor",
                                      {RefArg("x"), RefArg("n"), QualsArg()})
          .Method<&EventBus::MonitorString>("MonitorString",
                                            {RefArg("x"), RefArg("s")})
          .Method<&EventBus::MonitorTag>(
              "MonitorTag", {RefArg("x"), RefArg("t"), RefArg("n"), QualsArg()})
          .Get<&EventBus::NewId>("NewId")
          .Get<&EventBus::NextListener>("NextListener",
                                        {RefArg("x"), RefArg("p")})
          .Custom(CustomMember(
              "Send", CallKind::kMethod,
              {RefArg("n").Of(VarType::kString), ParamArray("params")},
              VarType::kEmpty, &SendInvoker))
          .Method<&EventBus::SendEvent>("SendEvent", {RefArg("e")})
          .Method<&EventBus::SendId>("SendId", {Arg("theId")})
          .Method<&EventBus::SendString>("SendString", {RefArg("s")})
          .Method<&EventBus::SetListenerPriority>(
              "SetListenerPriority", {RefArg("ID"), RefArg("nNewPriority")})
          .Get<&EventBus::TagForId>("TagForId", {RefArg("ID")})
          .Method<&EventBus::Unlisten>("Unlisten", {RefArg("ID")})
          .Method<&EventBus::UnlistenAll>("UnlistenAll", {RefArg("x")})
          .Method<&EventBus::UnlistenTag>("UnlistenTag",
                                          {RefArg("x"), RefArg("t")})
          .Build();
  return info;
}
KVL_REGISTER_CLASS(EventBus)

EventBus::~EventBus() {
  form_ = nullptr;
  index_.Clear();
  for (Store& store : stores_) store.Clear();
  std::deque<Ref<EventObject>> queue;
  queue.swap(queue_);
  while (!queue.empty()) queue.pop_front();
}

// ---- heartbeat ----

void EventBus::SetTickFrequency(int16_t v) {
  tick_frequency_ = v;
  auto limit = CheckedCast<int16_t>(int32_t{v} * 1000);
  if (timer_resolution_ > limit) timer_resolution_ = limit;
}

void EventBus::SetTimerResolution(int16_t v) {
  auto limit = CheckedCast<int16_t>(int32_t{tick_frequency_} * 1000);
  timer_resolution_ = v > limit ? limit : v;
}

void EventBus::SetTimerEnabled(bool v) {
  timer_enabled_ = v;
  if (form_ && !v) {
    form_->SetTimerEnabled(false);
    form_ = nullptr;
  }
  if (!form_ && v) {
    // The form refers to the bus without owning it; the bus ends it first.
    form_ = std::make_unique<internal::TimerForm>([this] { Tick(); });
    form_->SetTickFrequency(tick_frequency_);
    form_->SetTimerResolution(timer_resolution_);
  }
  if (v) form_->SetTimerEnabled(true);
}

void EventBus::Tick() {
  Ref<EventBus> keep(this);  // a receiver may drop the last reference
  // The time to the nearest second, as the date texts show it.
  const Date now = Clock::Now();
  const int ms = SplitDate(now).millisecond;
  const DateParts t =
      SplitDate(AddSeconds(now, (ms >= 500 ? 1000 - ms : -ms) / 1000.0));
  auto two = [](int n) { return (n < 10 ? "0" : "") + std::to_string(n); };
  SendString(
      "EventBus/From/Tick TimeString=" + std::to_string(t.year) + two(t.month) +
      two(t.day) + two(t.hour) + two(t.minute) + two(t.second) +
      " Year=" + std::to_string(t.year) + " Month=" + std::to_string(t.month) +
      " Day=" + std::to_string(t.day) + " Hour=" + std::to_string(t.hour) +
      " Minute=" + std::to_string(t.minute) +
      " Second=" + std::to_string(t.second));
  FireAllEvents();
}

size_t EventBus::Slot(int16_t priority, int16_t type) {
  const size_t priority_class = priority == 1 ? 0 : priority == 3 ? 2 : 1;
  return priority_class * 2 + (type == kPatternListener ? 0 : 1);
}

// ---- registration ----

int32_t EventBus::Register(Ref<Object> x, std::string_view n, std::string t,
                           int16_t flag, int16_t type, int32_t id,
                           const std::string& listen_string,
                           const Variant* quals) {
  if (!x) Raise(kErrObjectNotSet, ClassName());
  auto listener = MakeRef<EventListener>();
  listener->SetObjectRef(std::move(x));
  listener->SetName(n);
  listener->SetArmed(!firing_);
  if (id == 0) id = NewId();
  listener->SetID(id);
  listener->SetFlag(flag);
  listener->SetListenerType(type);
  listener->SetTag(std::move(t));
  if (quals) listener->AddQualifiers(*quals);
  const std::string trimmed = WithoutTrailingBlanks(listen_string);
  if (!trimmed.empty()) listener->ParseListenerString(trimmed);
  if (firing_) unarmed_.reserve(unarmed_.size() + 1);
  if (!Insert(Slot(kDefaultClass, type), listener, id))
    Raise(kErrDuplicateKey, ClassName());
  if (firing_) unarmed_.push_back(std::move(listener));
  return id;
}

bool EventBus::Insert(size_t slot, const Ref<EventListener>& listener,
                      int32_t id) {
  Store& store = stores_[slot];
  if (!store.Add(listener, ListenerKey(id))) return false;
  if (slot % 2 == 0) {
    try {
      index_.Add(slot / 2, listener.get());
    } catch (...) {
      store.TakeAt(store.size());  // out of memory: not registered at all
      throw;
    }
  }
  return true;
}

int32_t EventBus::Listen(Ref<Object> x, const std::string& n,
                         const Variant& quals) {
  return Register(std::move(x), n, {}, kNormal, kPatternListener, 0, {},
                  &quals);
}
int32_t EventBus::ListenTag(Ref<Object> x, const std::string& t,
                            const std::string& n, const Variant& quals) {
  return Register(std::move(x), n, t, kNormal, kPatternListener, 0, {}, &quals);
}
int32_t EventBus::Monitor(Ref<Object> x, const std::string& n,
                          const Variant& quals) {
  return Register(std::move(x), n, {}, kMonitor, kPatternListener, 0, {},
                  &quals);
}
int32_t EventBus::MonitorTag(Ref<Object> x, const std::string& t,
                             const std::string& n, const Variant& quals) {
  return Register(std::move(x), n, t, kMonitor, kPatternListener, 0, {},
                  &quals);
}
int32_t EventBus::Catch(Ref<Object> x, const std::string& n,
                        const Variant& quals) {
  return Register(std::move(x), n, {}, kCatch, kPatternListener, 0, {}, &quals);
}
int32_t EventBus::CatchTag(Ref<Object> x, const std::string& t,
                           const std::string& n, const Variant& quals) {
  return Register(std::move(x), n, t, kCatch, kPatternListener, 0, {}, &quals);
}
int32_t EventBus::ListenString(Ref<Object> x, const std::string& s) {
  return Register(std::move(x), {}, {}, kNormal, kPatternListener, 0, s,
                  nullptr);
}
int32_t EventBus::MonitorString(Ref<Object> x, const std::string& s) {
  return Register(std::move(x), {}, {}, kMonitor, kPatternListener, 0, s,
                  nullptr);
}
int32_t EventBus::CatchString(Ref<Object> x, const std::string& s) {
  return Register(std::move(x), {}, {}, kCatch, kPatternListener, 0, s,
                  nullptr);
}
int32_t EventBus::ListenId(Ref<Object> x, int32_t theId) {
  return Register(std::move(x), {}, {}, kNormal, kIdListener, theId, {},
                  nullptr);
}

int32_t EventBus::NewId() {
  last_id_ = CheckedAdd(last_id_, 1);
  return last_id_;
}

// ---- sending ----

void EventBus::Send(const std::string& n, std::span<const Variant> params) {
  auto e = MakeRef<EventObject>();
  e->SetName(n);
  KVLStrings& strings = Strings();
  for (size_t i = 0; i < params.size(); ++i) {
    if (params[i].is_empty()) continue;
    try {
      const std::string s = ToText(params[i]);
      const int32_t length = CheckedCast<int32_t>(s.size());
      const int32_t p = strings.FindDelim(s, "=", 1, length);
      std::string k = s.substr(0, static_cast<size_t>(p - 1));
      if (p < length) {
        e->SetNewValue(k, Variant(s.substr(static_cast<size_t>(p))));
      } else if (s.find(":=") == std::string::npos) {
        e->SetNewValue(k, Variant(std::string()));
      } else {
        // «keyword :=» and the next element, unchanged.
        k = s.substr(0, static_cast<size_t>(p - 2));
        const size_t first = k.find_first_not_of(' ');
        k.erase(0, first == std::string::npos ? k.size() : first);
        if (++i < params.size()) e->SetNewValue(k, params[i]);
      }
    } catch (const KVLError&) {
      // An element without text is left out.
    }
  }
  SendEvent(std::move(e));
}

void EventBus::SendString(const std::string& s) {
  const std::vector<std::string> words = internal::SplitEventWords(s);
  auto e = MakeRef<EventObject>();
  e->SetName(words.front());
  KVLStrings& strings = Strings();
  for (size_t i = 1; i < words.size(); ++i) {
    std::string k;
    std::string v;
    if (ToBool(strings.ExtractKeyAndValue(words[i], k, v))) {
      e->SetNewValue(k, Variant(std::move(v)));
    } else {
      e->SetNewValue(words[i], Variant(std::string()));
    }
  }
  SendEvent(std::move(e));
}

void EventBus::SendEvent(Ref<EventObject> e) {
  if (!e) Raise(kErrObjectNotSet, ClassName());
  e->SetBus(this);
  queue_.push_back(std::move(e));
}

void EventBus::SendId(int32_t& theId) {
  auto e = MakeRef<EventObject>();
  e->SetEventType(1);
  theId = NewId();
  e->SetID(theId);
  SendEvent(std::move(e));
}

void EventBus::InvokeById(Ref<Object> x, int32_t& theId) {
  if (!x) Raise(kErrObjectNotSet, ClassName());
  SendId(theId);
  ListenId(std::move(x), theId);
}

int32_t EventBus::InvokeByNewId(Ref<Object> x) {
  int32_t id = NewId();
  InvokeById(std::move(x), id);
  return id;
}

int16_t EventBus::EventCount() const {
  return CheckedCast<int16_t>(queue_.size());
}

// ---- delivery ----

void EventBus::FireAllEvents() {
  if (firing_) return;
  Ref<EventBus> keep(this);
  firing_ = true;
  struct Stop {
    EventBus& bus;
    ~Stop() {
      bus.firing_ = false;
      bus.walking_ = nullptr;
      bus.ArmAdded();  // also when a delivery ended with out of memory
      bus.ReleaseRetired();
    }
  } stop{*this};
  while (!queue_.empty()) {
    {
      Ref<EventObject> e = queue_.front();
      try {
        Deliver(e);
      } catch (...) {
        queue_.pop_front();  // out of memory or cancelled: not delivered again
        throw;
      }
      Ref<EventObject> done = std::move(queue_.front());
      queue_.pop_front();
      ReleaseRetired();
    }  // what is released here may run client code; the bus is consistent
    ArmAdded();
  }
}

void EventBus::ArmAdded() {
  while (!unarmed_.empty()) {
    std::vector<Ref<EventListener>> added;
    added.swap(unarmed_);
    for (const Ref<EventListener>& listener : added) listener->SetArmed(true);
  }
}

void EventBus::Deliver(const Ref<EventObject>& e) {
  ++delivery_;
  Ref<EventObject> current = e;
  if (e->EventType() != 0) {
    for (int16_t priority = 1; priority <= 3; ++priority)
      DeliverToIds(StoreFor(priority, kIdListener), current);
    walking_ = nullptr;
    return;
  }
  internal::ListenerIndex::Walk walk(index_);
  for (size_t priority_class = 0; priority_class < 3; ++priority_class)
    DeliverToPatterns(walk, priority_class, current);
}

// The index hands out the listeners of the class that can match the
// event's name, in registration order, and keeps its place when receivers
// change the listeners or the event. Nothing it hands out is destroyed
// while delivering (Retire).
void EventBus::DeliverToPatterns(internal::ListenerIndex::Walk& walk,
                                 size_t priority_class,
                                 Ref<EventObject>& current) {
  int normal = 0;
  int catches = 0;
  // The leading bytes of the name, which decide most name patterns; read
  // again after calls that replaced the event or renamed it.
  uint64_t word = 0;
  const EventObject* word_of = nullptr;
  uint32_t word_version = 0;
  auto name_word = [&] {
    if (current.get() != word_of || current->name_version() != word_version) {
      word_of = current.get();
      word_version = current->name_version();
      word = WildcardPattern::LeadingWord(current->Name());
    }
    return word;
  };
  walk.Start(priority_class);
  while (EventListener* next = walk.Next(*current)) {
    EventListener& listener = *next;
    if (!listener.Armed() || listener.delivered() == delivery_ ||
        !listener.Matches(*current, name_word()))
      continue;
    const int16_t flag = listener.Flag();
    if (flag == kCatch) {
      ++catches;
      continue;
    }
    CallPatternListener(listener, current);
    if (flag != kMonitor) ++normal;
  }
  if (normal > 0 || catches == 0) return;
  walk.Start(priority_class);
  while (EventListener* next = walk.Next(*current)) {
    EventListener& listener = *next;
    if (!listener.Armed() || !(listener.Flag() & kCatch) ||
        listener.delivered() == delivery_ ||
        !listener.Matches(*current, name_word()))
      continue;
    CallPatternListener(listener, current);
  }
}

// Inline: called for every listener, from this file only.
inline void EventBus::CallPatternListener(EventListener& listener,
                                          Ref<EventObject>& current) {
  listener.set_delivered(delivery_);
  if (IEventReceiver* typed = listener.AsEventReceiver()) {
    CallClient(ClientFailure::kClear, [&] {
      typed->EventHandler(current, listener.ID(), listener.Flag());
    });
  } else {
    CallByName(listener, "EventHandler", current);
  }
}

void EventBus::CallByName(EventListener& listener, std::string_view member,
                          Ref<EventObject>& current) {
  CallClient(ClientFailure::kClear, [&] {
    const bool pattern = member == "EventHandler";
    Variant args[3] = {Variant(current), Variant(listener.ID()),
                       Variant(listener.Flag())};
    listener.Object()->Invoke(member, CallKind::kMethod,
                              std::span<Variant>(args, pattern ? 3 : 1));
    TakeReplacement(args[0], current);
  });
}

void EventBus::DeliverToIds(Store& store, Ref<EventObject>& current) {
  walking_ = &store;
  for (walk_position_ = 1; walk_position_ <= store.size(); ++walk_position_) {
    EventListener& listener = **store.At(walk_position_);
    if (!listener.Armed() || listener.delivered() == delivery_ ||
        listener.ID() != current->ID())
      continue;
    listener.set_delivered(delivery_);
    CallByName(listener, "eventId", current);
  }
  walking_ = nullptr;
}

void EventBus::Retire(Ref<EventListener> listener) {
  if (firing_ && listener) retired_.push_back(std::move(listener));
}

void EventBus::ReleaseRetired() {
  while (!retired_.empty()) {
    std::vector<Ref<EventListener>> retired;
    retired.swap(retired_);
  }
}

// ---- removal and priorities ----

Ref<EventListener> EventBus::TakeListener(Store& store, size_t position) {
  std::optional<Ref<EventListener>> taken = store.TakeAt(position);
  if (!taken) return nullptr;
  const auto slot = static_cast<size_t>(&store - stores_.data());
  if (slot % 2 == 0) index_.Remove(slot / 2, taken->get());
  if (&store == walking_ && position <= walk_position_) --walk_position_;
  return std::move(*taken);
}

bool EventBus::FindListener(int32_t id, Store** store, size_t* position) {
  const std::string key = ListenerKey(id);
  for (Store& candidate : stores_) {
    if (size_t at = candidate.PositionOf(key)) {
      *store = &candidate;
      *position = at;
      return true;
    }
  }
  return false;
}

template <class Pred>
void EventBus::RemoveWhere(Pred pred) {
  const Ref<EventBus> keep(this);
  // Listeners end (and may release receivers that call back into the bus)
  // only after every removal is done.
  std::vector<Ref<EventListener>> removed;
  for (Store& store : stores_) {
    for (size_t position = 1; position <= store.size();) {
      if (pred(**store.At(position))) {
        removed.push_back(TakeListener(store, position));
      } else {
        ++position;
      }
    }
  }
  for (Ref<EventListener>& listener : removed) Retire(std::move(listener));
}

void EventBus::Unlisten(int32_t ID) {
  const Ref<EventBus> keep(this);
  Store* store;
  size_t position;
  if (FindListener(ID, &store, &position))
    Retire(TakeListener(*store, position));
}

void EventBus::UnlistenAll(Ref<Object> x) {
  RemoveWhere(
      [&](EventListener& l) { return !x || SameObject(l.Object(), x); });
}

void EventBus::UnlistenTag(Ref<Object> x, const std::string& t) {
  RemoveWhere([&](EventListener& l) {
    return (!x || SameObject(l.Object(), x)) && EqualsNoCase(l.Tag(), t);
  });
}

bool EventBus::SetListenerPriority(int32_t ID, const Variant& nNewPriority) {
  Store* from;
  size_t position;
  if (!FindListener(ID, &from, &position)) return false;
  int16_t priority = kDefaultClass;
  if (!nNewPriority.is_empty() && IsNumeric(nNewPriority)) {
    const double value = ToR8(nNewPriority);
    if (value == 1 || value == 3) priority = static_cast<int16_t>(value);
  }
  const Ref<EventBus> keep(this);
  const int16_t type =
      (from - stores_.data()) % 2 == 0 ? kPatternListener : kIdListener;
  Ref<EventListener> listener = TakeListener(*from, position);
  if (!Insert(Slot(priority, type), listener, ID)) {
    Retire(std::move(listener));
    Raise(kErrDuplicateKey, ClassName());
  }
  return true;
}

// ---- reading ----

std::string EventBus::TagForId(int32_t ID) const {
  const std::string key = ListenerKey(ID);
  for (const Store& store : stores_) {
    const Ref<EventListener>* found = store.Find(key);
    if (found && !(*found)->Tag().empty()) return (*found)->Tag();
  }
  return {};
}

int16_t EventBus::ListenerCount() const {
  size_t count = 0;
  for (int16_t priority = 1; priority <= 3; ++priority)
    count += stores_[Slot(priority, kPatternListener)].size();
  return CheckedCast<int16_t>(count);
}

Ref<EventListener> EventBus::FirstListener(Ref<Object> x,
                                           const std::string& p) {
  browse_class_ = 1;
  browse_position_ = 0;
  return NextListener(std::move(x), p);
}

Ref<EventListener> EventBus::NextListener(Ref<Object> x, const std::string& p) {
  std::optional<WildcardPattern> pattern;
  if (!p.empty()) pattern.emplace(p);
  while (browse_class_ >= 1 && browse_class_ <= 3) {
    Store& store = StoreFor(browse_class_, kPatternListener);
    browse_position_ = CheckedAdd(browse_position_, 1);
    if (static_cast<size_t>(browse_position_) > store.size()) {
      ++browse_class_;
      browse_position_ = 0;
      continue;
    }
    EventListener& listener = **store.At(static_cast<size_t>(browse_position_));
    if (x && !SameObject(listener.Object(), x)) continue;
    if (pattern && !pattern->Matches(listener.Name())) continue;
    return Ref<EventListener>(&listener);
  }
  return nullptr;
}

}  // namespace kvl
