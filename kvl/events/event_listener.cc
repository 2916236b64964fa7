#include "kvl/events/event_listener.h"


#include "kvl/events/internal/event_words.h"
#include "kvl/frame/catalogue.h"
#include "kvl/runtime/checked.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/strings/kvl_strings.h"

namespace kvl {
namespace {

std::string WithoutTrailingBlanks(const std::string& s) {
  const size_t last = s.find_last_not_of(' ');
  return last == std::string::npos ? std::string() : s.substr(0, last + 1);
}

}  // namespace

const ClassInfo& IEventReceiver::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IEventReceiver>("IEventReceiver", ClassKind::kPublic)
          .Method<&IEventReceiver::EventHandler>(
              "EventHandler", {Arg("e"), Arg("ID"), Arg("Flag")})
          .Build();
  return info;
}
KVL_REGISTER_CLASS(IEventReceiver)

const ClassInfo& EventListener::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<EventListener>("EventListener", ClassKind::kPublic)
          .Get<&EventListener::FirstValue>("FirstValue")
          .Get<&EventListener::Flag>("Flag")
          .Get<&EventListener::FlagToString>("FlagToString")
          .Get<&EventListener::ID>("ID")
          .Let<&EventListener::SetID>("ID")
          .Get<&EventListener::ListenerType>("ListenerType")
          .Get<&EventListener::Name>("Name")
          .Get<&EventListener::NextValue>("NextValue")
          .Get<&EventListener::Object>("Object")
          .Get<&EventListener::Tag>("Tag")
          .Get<&EventListener::ToString>("ToString")
          .Build();
  return info;
}
KVL_REGISTER_CLASS(EventListener)

EventListener::~EventListener() = default;

Ref<Association> EventListener::FirstValue() {
  cursor_ = 1;
  const Ref<Association>* record = qualifiers_.At(1);
  if (!record) return nullptr;
  records_out_ = true;
  return *record;
}

Ref<Association> EventListener::NextValue() {
  cursor_ = CheckedAdd(cursor_, 1);
  const Ref<Association>* record = qualifiers_.At(static_cast<size_t>(cursor_));
  if (!record) return nullptr;
  records_out_ = true;
  return *record;
}

std::string EventListener::FlagToString() const {
  if (flag_ == 0) return "None";
  std::string text;
  if (flag_ & 2) text = "Quiet";
  if (flag_ & 1) text += "Catch";
  return text;
}

std::string EventListener::ToString() const {
  std::string out = "ID=" + std::to_string(id_) + " Flag=" + FlagToString() +
                    " Pattern=" + Name();
  for (const auto& entry : qualifiers_) {
    try {
      std::string kp = ToText(entry.value->Value());
      std::string vp = ToText(entry.value->Mapping());
      out += ' ';
      out += kp;
      out += '=';
      out += vp;
    } catch (const KVLError&) {
      // A record a client gave a value without text is left out.
    }
  }
  return out;
}

void EventListener::SetObjectRef(Ref<kvl::Object> receiver) {
  receiver_ = std::move(receiver);
  typed_receiver_ = receiver_ ? receiver_->As<IEventReceiver>() : nullptr;
}

bool EventListener::MatchesChangedQualifiers(const EventObject& e) const {
  for (size_t i = 0; i < compiled_.size(); ++i) {
    CompiledQualifier& compiled = compiled_[i];
    const Association& record = **qualifiers_.At(i + 1);
    const Variant& k = record.Value();
    const Variant& v = record.Mapping();
    try {
      if (!k.is_string() || !v.is_string() || k.AsString() != compiled.kp ||
          v.AsString() != compiled.vp)
        compiled = CompiledQualifier(ToText(k), ToText(v));
    } catch (const KVLError&) {
      return false;  // a qualifier without text is never satisfied
    }
    if (!e.MatchQualifier(compiled.pattern)) return false;
  }
  return true;
}

void EventListener::AddQualifier(const std::string& kp, const std::string& vp) {
  size_t position = qualifiers_.PositionOf(kp);
  if (kp.empty()) {
    // The store keeps no empty keys; the empty keyword pattern is unique
    // all the same.
    size_t i = 0;
    for (const auto& entry : qualifiers_) {
      ++i;
      const Variant& k = entry.value->Value();
      if (k.is_string() && k.AsString().empty()) {
        position = i;
        break;
      }
    }
  }
  if (position != 0) {
    Association& record = **qualifiers_.At(position);
    CompiledQualifier compiled(ToText(record.Value()), vp);
    record.SetMapping(Variant(vp));
    compiled_[position - 1] = std::move(compiled);
    return;
  }
  auto record = MakeRef<Association>();
  record->SetValue(Variant(kp));
  record->SetMapping(Variant(vp));
  compiled_.reserve(qualifiers_.size() + 1);
  CompiledQualifier compiled(kp, vp);
  qualifiers_.Add(std::move(record), kp);
  compiled_.push_back(std::move(compiled));
}

void EventListener::AddQualifiers(const Variant& quals) {
  if (quals.is_missing() || quals.is_empty()) return;
  std::vector<std::string> texts;
  if (quals.is_array()) {
    for (const Variant& element : quals.Array().items())
      if (!element.is_empty()) texts.push_back(ToText(element));
  } else {
    texts.push_back(ToText(quals));
  }
  KVLStrings& strings = Strings();
  for (const std::string& s : texts) {
    const int32_t length = CheckedCast<int32_t>(s.size());
    const int32_t p = strings.FindDelim(s, "=", 1, length);
    const std::string kp = s.substr(0, static_cast<size_t>(p - 1));
    AddQualifier(kp, p < length ? s.substr(static_cast<size_t>(p)) : "*");
  }
}

void EventListener::ParseListenerString(const std::string& text) {
  const std::vector<std::string> words =
      internal::SplitEventWords(WithoutTrailingBlanks(text));
  SetName(words.front());
  KVLStrings& strings = Strings();
  for (size_t i = 1; i < words.size(); ++i) {
    std::string k;
    std::string v;
    if (ToBool(strings.ExtractKeyAndValue(words[i], k, v))) {
      AddQualifier(k, v);
    } else {
      AddQualifier(words[i], "*");
    }
  }
}

}  // namespace kvl
