#include "kvl/collections/sorted_collection.h"

#include <algorithm>
#include <memory>
#include <string>
#include <utility>

#include "kvl/collections/sorted_comparator.h"
#include "kvl/collections/sorted_extractor.h"
#include "kvl/frame/catalogue.h"
#include "kvl/runtime/checked.h"
#include "kvl/runtime/client_call.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

// Counts a comparator or extractor call in progress for as long as it lives.
class CallingScope {
 public:
  explicit CallingScope(int& depth) : depth_(depth) { ++depth_; }
  ~CallingScope() { --depth_; }
  CallingScope(const CallingScope&) = delete;
  CallingScope& operator=(const CallingScope&) = delete;

 private:
  int& depth_;
};

// The object of a variant as a Ref, borrowing the variant's reference for
// as long as it lives instead of counting one of its own: the variant (the
// caller's, never changed by a search) keeps the object alive meanwhile.
class Borrowed {
 public:
  explicit Borrowed(const Variant& x)
      : ref_(Ref<Object>::Adopt(x.AsObject())) {}
  ~Borrowed() { ref_.Detach(); }
  Borrowed(const Borrowed&) = delete;
  Borrowed& operator=(const Borrowed&) = delete;
  const Ref<Object>& get() const { return ref_; }

 private:
  Ref<Object> ref_;
};

// True for a number or for text that reads as one: such a value names a
// position. Empty, booleans and dates do not.
bool NamesPosition(const Variant& x) {
  if (x.is_string()) return IsNumericText(x.AsString());
  return IsNumberType(x.type());
}

// The position named by `x` (NamesPosition), rounded half to even; -1 when
// it lies beyond the 16-bit range, which no element can have.
int16_t PositionOf(const Variant& x) {
  try {
    return ToI2(x);
  } catch (const KVLError& e) {
    if (e.number() != kErrOverflow) throw;
    return -1;
  }
}

}  // namespace

const ClassInfo& SortedCollection::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<SortedCollection>("SortedCollection", ClassKind::kCreatable)
          .Method<&SortedCollection::at>("at", {Arg("n")})
          .Method<&SortedCollection::Clear>("Clear")
          .Set<&SortedCollection::SetComparatorRef>(
              "Comparator", {Arg("Comparator").As(&IComparator::StaticClass)})
          .Get<&SortedCollection::Count>("Count")
          .Get<&SortedCollection::Elements>("Elements")
          .Set<&SortedCollection::SetExtractorRef>(
              "Extractor", {Arg("Extractor").As(&IExtractor::StaticClass)})
          .Method<&SortedCollection::Find>("Find", {Arg("x")})
          .Method<&SortedCollection::IndexOf>("IndexOf", {Arg("x")})
          .Method<&SortedCollection::Insert>("Insert", {Arg("o")})
          .Method<&SortedCollection::Item>("Item", {Arg("x")})
          .Method<&SortedCollection::Remove>("Remove", {Arg("x")})
          .Build();
  return info;
}
KVL_REGISTER_CLASS(SortedCollection)

SortedCollection::SortedCollection()
    : slots_(static_cast<size_t>(capacity_)),
      extractor_(MakeRef<DefaultExtractor>()),
      comparator_(MakeRef<DefaultComparator>()) {}

SortedCollection::~SortedCollection() {
  // The elements first, position 0 first; then the members release the
  // comparator and the extractor.
  count_ = 0;
  slots_.ReleaseAll();
}

void SortedCollection::CheckNotCalling() const {
  if (calling_ > 0)
    Raise(kErrInvalidArgument, StaticClass().ProgId(),
          "The collection cannot change while its comparator or extractor is "
          "running");
}

void SortedCollection::Clear() {
  CheckNotCalling();
  // Empty the collection before releasing anything: an element's
  // termination may reach the collection, or drop its last reference.
  std::vector<Ref<Object>> released = slots_.TakeAll();
  count_ = 0;
  for (Ref<Object>& r : released) r.reset();
}

void SortedCollection::SetComparatorRef(Ref<Object> comparator) {
  CheckNotCalling();
  if (!comparator) comparator = MakeRef<DefaultComparator>();
  internal::ComparatorHandle replaced = std::exchange(
      comparator_, internal::ComparatorHandle(std::move(comparator)));
}

void SortedCollection::SetExtractorRef(Ref<Object> extractor) {
  CheckNotCalling();
  if (!extractor) extractor = MakeRef<DefaultExtractor>();
  internal::ExtractorHandle replaced = std::exchange(
      extractor_, internal::ExtractorHandle(std::move(extractor)));
  slots_.ForgetKeys();
}

Ref<ArrayIterator> SortedCollection::Elements() const {
  // Making the snapshot can fail only for lack of memory, which propagates.
  return MakeRef<ArrayIterator>(slots_.Copy());
}

Ref<Object> SortedCollection::Find(const Variant& x) {
  return at(IndexOf(x));
}

int16_t SortedCollection::IndexOf(const Variant& x) {
  int16_t found = -1;
  // Whatever the comparator or extractor raises makes the search give -1.
  if (CallClient(ClientFailure::kReturn, [&] { found = Locate(x); })) return -1;
  return found;
}

int16_t SortedCollection::Insert(Ref<Object> o) {
  CheckNotCalling();
  if (!o) Raise(kErrObjectNotSet, StaticClass().ProgId());
  int16_t position = 0;
  std::unique_ptr<std::string> key;
  if (count_ > 0 && comparator_.is_default()) {
    // The default order compares keys: read the new one once, and keep it
    // when the extractor's keys are kept.
    std::string k = KeyOf(o);
    position = CheckedAdd(SearchKey(k).position, 1);
    if (extractor_.keeps_keys())
      key = std::make_unique<std::string>(std::move(k));
  } else if (count_ > 0) {
    position = CheckedAdd(SearchObject(o), 1);
  }
  int16_t count = CheckedAdd(count_, 1);
  if (count_ == capacity_) Grow();
  slots_.Insert(static_cast<size_t>(position), std::move(o), std::move(key));
  count_ = count;
  return position;
}

Ref<Object> SortedCollection::Item(const Variant& x) {
  if (NamesPosition(x)) return at(PositionOf(x));
  if (x.is_object()) return at(Locate(x));
  return Find(x);
}

int16_t SortedCollection::Remove(const Variant& x) {
  CheckNotCalling();
  int16_t p = -1;
  if (NamesPosition(x)) {
    p = PositionOf(x);
  } else if (x.is_object() || x.is_string()) {
    p = IndexOf(x);
  }
  if (p < 0 || p >= count_) return -1;
  RemoveAt(p);
  return p;
}

// ---- private ---------------------------------------------------------------

template <class Cmp>
SortedCollection::Found SortedCollection::Search(const Cmp& cmp) const {
  CallingScope calling(calling_);
  int32_t lo = 0;
  int32_t hi = count_ - 1;
  while (lo <= hi) {
    int32_t sum = lo + hi;
    int32_t mid = sum / 2;
    if ((sum & 1) != 0 && (mid & 1) != 0) ++mid;  // halves to the even one
    int c = cmp(mid);
    if (c < 0) {
      hi = mid - 1;
    } else if (c > 0) {
      lo = mid + 1;
    } else {
      while (mid + 1 < count_) {
        int next = cmp(mid + 1);
        if (next < 0) break;
        ++mid;
        c = next;
      }
      return {static_cast<int16_t>(mid), c == 0};
    }
  }
  // Element hi, when there is one, was compared and sorts before.
  return {static_cast<int16_t>(hi), false};
}

std::string SortedCollection::KeyOf(const Ref<Object>& o) const {
  CallingScope calling(calling_);
  return extractor_.Key(o);
}

int16_t SortedCollection::SearchObject(const Ref<Object>& x) const {
  if (count_ == 0) return -1;
  // The default order compares keys: read the sought one once.
  if (comparator_.is_default()) return SearchKey(KeyOf(x)).position;
  return SearchObjectFound(x).position;
}

SortedCollection::Found SortedCollection::SearchObjectFound(
    const Ref<Object>& x) const {
  if (IComparator* typed = comparator_.typed()) {
    // Nothing changes the collection while the search runs (a change
    // raises), so the elements and the extractor can be read once.
    const Ref<Object>* elements = slots_.data();
    const Ref<Object>& extractor = extractor_.object();
    return Search([typed, elements, &extractor, &x](int32_t i) {
      return static_cast<int>(typed->compare(extractor, x, elements[i]));
    });
  }
  return Search([&](int32_t i) {
    return comparator_.Compare(extractor_.object(), x,
                               slots_[static_cast<size_t>(i)]);
  });
}

int SortedCollection::CompareWithElement(std::string_view key, size_t i) const {
  if (!extractor_.keeps_keys())
    return extractor_.WithKey(slots_[i], [&](std::string_view element_key) {
      return DefaultComparator::CompareKeys(key, element_key);
    });
  if (slots_.key(i) == nullptr) slots_.KeepKey(i, extractor_.Key(slots_[i]));
  return DefaultComparator::CompareKeys(key, *slots_.key(i));
}

SortedCollection::Found SortedCollection::SearchKey(
    std::string_view key) const {
  return Search([&](int32_t i) {
    return CompareWithElement(key, static_cast<size_t>(i));
  });
}

int16_t SortedCollection::LocateKey(std::string_view key) const {
  // The search compared the key with the element where it ended: that
  // comparison says whether the element's key equals it.
  Found found = SearchKey(key);
  return found.equal ? found.position : -1;
}

int16_t SortedCollection::Locate(const Variant& x) const {
  if (x.is_string()) return LocateKey(x.AsString());
  if (!x.is_object() || count_ == 0) return -1;
  Borrowed borrowed(x);
  const Ref<Object>& o = borrowed.get();
  // With the default order an object is equal to an element exactly when
  // their keys are.
  if (comparator_.is_default()) return LocateKey(KeyOf(o));
  // The search ended on the last element the comparator found equal, or
  // on one that sorts before: its own comparison decides.
  Found found = SearchObjectFound(o);
  return found.equal ? found.position : -1;
}

void SortedCollection::RemoveAt(int16_t p) {
  Ref<Object> released = slots_.Take(static_cast<size_t>(p));
  count_ = static_cast<int16_t>(count_ - 1);
  // `released` goes last: its termination may reach this collection.
}

void SortedCollection::Grow() {
  int16_t grown = capacity_ < 1000 ? CheckedAdd(capacity_, capacity_)
                                   : CheckedAdd(capacity_, 100);
  slots_.Reserve(static_cast<size_t>(grown));
  capacity_ = grown;
}

}  // namespace kvl
