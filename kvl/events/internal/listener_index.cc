#include "kvl/events/listener_index.h"

#include <algorithm>

#include "kvl/events/event_listener.h"

namespace kvl::internal {
namespace {

// The lane a listener name pattern belongs in: its leading word when that
// holds no wildcard character. A matching name then starts with the same
// characters, and its "/" (or its end) follows them, since a pattern's
// literal characters match one character each and «/» only itself (UTF-8
// never puts the «/» byte inside a longer character).
bool PatternLeadingWord(std::string_view pattern, std::string_view* word) {
  *word = NameLeadingWord(pattern);
  return word->find_first_of("*?#[") == std::string_view::npos;
}

size_t After(const std::vector<ListenerIndex::Slot>& lane, uint64_t sequence) {
  return static_cast<size_t>(
      std::upper_bound(lane.begin(), lane.end(), sequence,
                       [](uint64_t s, const ListenerIndex::Slot& slot) {
                         return s < slot.sequence;
                       }) -
      lane.begin());
}

}  // namespace

std::string_view NameLeadingWord(std::string_view name) {
  return name.substr(0, name.find('/'));
}

std::vector<ListenerIndex::Slot>* ListenerIndex::LaneOf(
    size_t priority_class, const EventListener& listener) {
  std::string_view word;
  if (!PatternLeadingWord(listener.Name(), &word))
    return &general_[priority_class];
  auto found = words_.find(word);
  return found == words_.end() ? nullptr : &found->second[priority_class];
}

void ListenerIndex::Add(size_t priority_class, EventListener* listener) {
  std::vector<Slot>* lane = LaneOf(priority_class, *listener);
  if (!lane) {
    std::string_view word;
    PatternLeadingWord(listener->Name(), &word);
    lane = &words_[std::string(word)][priority_class];
  }
  lane->push_back({next_sequence_++, listener});
  ++version_;
}

void ListenerIndex::Remove(size_t priority_class, EventListener* listener) {
  std::vector<Slot>* lane = LaneOf(priority_class, *listener);
  if (!lane) return;
  auto at = std::find_if(lane->begin(), lane->end(), [&](const Slot& slot) {
    return slot.listener == listener;
  });
  if (at == lane->end()) return;
  lane->erase(at);
  ++version_;
  std::string_view word;
  if (lane->empty() && PatternLeadingWord(listener->Name(), &word)) {
    auto found = words_.find(word);
    if (std::all_of(found->second.begin(), found->second.end(),
                    [](const auto& l) { return l.empty(); }))
      words_.erase(found);
  }
}

void ListenerIndex::Clear() {
  words_.clear();
  for (auto& lane : general_) lane.clear();
  ++version_;
}

void ListenerIndex::Walk::Seek(const EventObject& e) {
  // The word's lanes stay where they are until the index changes.
  if (index_.version_ != words_version_ || &e != event_ ||
      e.name_version() != name_version_) {
    event_ = &e;
    name_version_ = e.name_version();
    words_version_ = index_.version_;
    auto found = index_.words_.find(NameLeadingWord(e.Name()));
    word_lanes_ = found == index_.words_.end() ? &index_.none_ : &found->second;
  }
  index_version_ = index_.version_;
  general_ = &index_.general_[class_];
  word_ = &(*word_lanes_)[class_];
  general_at_ = After(*general_, last_);
  word_at_ = After(*word_, last_);
}

}  // namespace kvl::internal
