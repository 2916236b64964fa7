// ListenerIndex: the pattern listeners of one EventBus, per priority
// class, grouped by the leading word of their name pattern, so that an
// event is tested only against the listeners that can match its name.
//
// The leading word of a name is its text before the first "/" (the whole
// name when it has none), ignoring letter case. A name pattern whose
// leading word holds no wildcard character («Job/To/*», «Svc3/Ping»,
// «Tick») matches only names with the same leading word, so it stands in
// that word's lane; every other pattern («*», «*/Ping», «Job*») stands in
// its class's general lane. Each listener gets a sequence number when it
// is added, growing across the index, and each lane keeps its listeners in
// that order. A Walk merges the event's word lane and the general lane by
// sequence number, which gives back exactly the order in which the class's
// listeners were added.
//
// The index refers to listeners without owning them: the bus takes a
// listener out of the index before it lets the listener go. Not
// thread-safe; used on the bus's thread.
//
//   ListenerIndex index;
//   index.Add(1, job_listener);                  // «Job/*», class 2
//   ListenerIndex::Walk walk(index);
//   walk.Start(1);
//   while (EventListener* l = walk.Next(*event)) Try(*l, *event);
#ifndef KVL_EVENTS_LISTENER_INDEX_H_
#define KVL_EVENTS_LISTENER_INDEX_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "kvl/events/event_object.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/no_case_hash.h"

namespace kvl {

class EventListener;

namespace internal {

class KVL_EXPORT ListenerIndex {
 public:
  static constexpr size_t kClasses = 3;
  // A listener in a lane, with its sequence number.
  struct Slot {
    uint64_t sequence;
    EventListener* listener;
  };
  // One lane per class.
  using Lanes = std::array<std::vector<Slot>, kClasses>;

  ListenerIndex() = default;
  ListenerIndex(const ListenerIndex&) = delete;
  ListenerIndex& operator=(const ListenerIndex&) = delete;

  // Adds `listener`, whose name pattern is set and stays as it is while it
  // is in the index, after the listeners of class `priority_class` (0..2).
  void Add(size_t priority_class, EventListener* listener);
  // Takes `listener` out of class `priority_class`; nothing when it is not
  // there. Never allocates.
  void Remove(size_t priority_class, EventListener* listener);
  void Clear();

  // The candidates of one class at a time for an event, in the order they
  // were added. The walk stays right when listeners are added or removed
  // and when the event's name changes between two steps (a receiver may do
  // any of these): it goes on after the last listener it returned.
  class Walk {
   public:
    explicit Walk(const ListenerIndex& index) : index_(index) {}

    // Starts over before the first listener of class `priority_class`.
    void Start(size_t priority_class) {
      class_ = priority_class;
      last_ = 0;
      index_version_ = kStale;
    }
    // The next candidate for `e` (the event being delivered, which may
    // be replaced by another between steps), or null after the last.
    EventListener* Next(const EventObject& e) {
      if (index_.version_ != index_version_ || &e != event_ ||
          e.name_version() != name_version_)
        Seek(e);
      const uint64_t from_word =
          word_at_ < word_->size() ? (*word_)[word_at_].sequence : kEnd;
      const uint64_t from_general = general_at_ < general_->size()
                                        ? (*general_)[general_at_].sequence
                                        : kEnd;
      if (from_word < from_general) {
        last_ = from_word;
        return (*word_)[word_at_++].listener;
      }
      if (from_general == kEnd) return nullptr;
      last_ = from_general;
      return (*general_)[general_at_++].listener;
    }

   private:
    static constexpr uint64_t kEnd = ~uint64_t{0};
    static constexpr uint64_t kStale = ~uint64_t{0};

    // Finds the lanes for `e` and the places in them after last_.
    void Seek(const EventObject& e);

    const ListenerIndex& index_;
    size_t class_ = 0;
    const std::vector<Slot>* general_ = nullptr;
    const std::vector<Slot>* word_ = nullptr;
    size_t general_at_ = 0;
    size_t word_at_ = 0;
    uint64_t last_ = 0;
    // The event, name and index version the word's lanes were found for.
    const EventObject* event_ = nullptr;
    uint32_t name_version_ = 0;
    uint64_t words_version_ = kStale;
    const Lanes* word_lanes_ = nullptr;
    // The index version the places were found for.
    uint64_t index_version_ = kStale;
  };

 private:
  // The lane `listener` belongs in.
  std::vector<Slot>* LaneOf(size_t priority_class,
                            const EventListener& listener);

  std::unordered_map<std::string, Lanes, NoCaseHash, NoCaseEqual> words_;
  Lanes general_;
  // The lanes of words no listener has, for names that lead nowhere.
  Lanes none_;
  uint64_t next_sequence_ = 1;
  // Changes with every Add and Remove.
  uint64_t version_ = 0;
};

// The leading word of an event name: the text before its first "/".
KVL_EXPORT std::string_view NameLeadingWord(std::string_view name);

}  // namespace internal
}  // namespace kvl

#endif  // KVL_EVENTS_LISTENER_INDEX_H_
