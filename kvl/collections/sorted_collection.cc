#include "kvl/collections/sorted_collection.h"

#include <algorithm>
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
    : storage_(static_cast<size_t>(capacity_) + 1),
      extractor_(MakeRef<DefaultExtractor>()),
      comparator_(MakeRef<DefaultComparator>()) {}

SortedCollection::~SortedCollection() {
  // The elements first, position 0 first; then the members release the
  // comparator and the extractor.
  const int16_t count = std::exchange(count_, 0);
  for (int16_t i = 0; i < count; ++i) storage_[static_cast<size_t>(i)].reset();
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
  std::vector<Ref<Object>> released(
      std::make_move_iterator(storage_.begin()),
      std::make_move_iterator(storage_.begin() + count_));
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
}

Ref<ArrayIterator> SortedCollection::Elements() const {
  // Making the snapshot can fail only for lack of memory, which propagates.
  return MakeRef<ArrayIterator>(
      std::vector<Ref<Object>>(storage_.begin(), storage_.begin() + count_));
}

Ref<Object> SortedCollection::Find(const Variant& x) {
  return at(IndexOf(x));
}

int16_t SortedCollection::IndexOf(const Variant& x) {
  int16_t found = -1;
  // Whatever the comparator or extractor raises makes the search give -1.
  if (CallClient(ClientFailure::kReturn, [&] { found = Locate(x); }))
    return -1;
  return found;
}

int16_t SortedCollection::Insert(Ref<Object> o) {
  CheckNotCalling();
  if (!o) Raise(kErrObjectNotSet, StaticClass().ProgId());
  int16_t position = count_ == 0 ? 0 : CheckedAdd(SearchObject(o), 1);
  int16_t count = CheckedAdd(count_, 1);
  if (count_ == capacity_) Grow();
  auto first = storage_.begin() + position;
  std::move_backward(first, storage_.begin() + count_,
                     storage_.begin() + count);
  *first = std::move(o);
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
int16_t SortedCollection::Search(const Cmp& cmp) const {
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
      while (mid + 1 < count_ && cmp(mid + 1) >= 0) ++mid;
      return static_cast<int16_t>(mid);
    }
  }
  return static_cast<int16_t>(hi);
}

std::string SortedCollection::KeyOf(const Ref<Object>& o) const {
  CallingScope calling(calling_);
  return extractor_.Key(o);
}

int16_t SortedCollection::SearchObject(const Ref<Object>& x) const {
  if (count_ == 0) return -1;
  // The default order compares keys: read the sought one once.
  if (comparator_.is_default()) return SearchKey(KeyOf(x));
  return Search([&](int32_t i) {
    return comparator_.Compare(extractor_.object(), x,
                               storage_[static_cast<size_t>(i)]);
  });
}

int16_t SortedCollection::SearchKey(std::string_view key) const {
  return Search([&](int32_t i) {
    return DefaultComparator::CompareKeys(
        key, extractor_.Key(storage_[static_cast<size_t>(i)]));
  });
}

int16_t SortedCollection::LocateKey(std::string_view key) const {
  int16_t p = SearchKey(key);
  if (p < 0) return -1;
  return EqualsNoCase(KeyOf(storage_[static_cast<size_t>(p)]), key) ? p : -1;
}

int16_t SortedCollection::Locate(const Variant& x) const {
  if (x.is_string()) return LocateKey(x.AsString());
  if (!x.is_object() || count_ == 0) return -1;
  Ref<Object> o = x.ObjectRef();
  // With the default order an object is equal to an element exactly when
  // their keys are.
  if (comparator_.is_default()) return LocateKey(KeyOf(o));
  int16_t p = SearchObject(o);
  if (p < 0) return -1;
  CallingScope calling(calling_);
  return comparator_.Compare(extractor_.object(),
                             storage_[static_cast<size_t>(p)], o) == 0
             ? p
             : -1;
}

void SortedCollection::RemoveAt(int16_t p) {
  auto slot = storage_.begin() + p;
  Ref<Object> released = std::move(*slot);
  std::move(slot + 1, storage_.begin() + count_, slot);
  count_ = static_cast<int16_t>(count_ - 1);
  // `released` goes last: its termination may reach this collection.
}

void SortedCollection::Grow() {
  int16_t grown = capacity_ < 1000 ? CheckedAdd(capacity_, capacity_)
                                   : CheckedAdd(capacity_, 100);
  storage_.resize(static_cast<size_t>(grown) + 1);
  capacity_ = grown;
}

}  // namespace kvl
