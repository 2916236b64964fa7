#include "kvl/collections/kvl_srtd_clctn.h"

#include <utility>

#include "kvl/frame/catalogue.h"
#include "kvl/runtime/client_call.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

// Counts the client callbacks running on a collection.
class CallbackScope {
 public:
  explicit CallbackScope(int& running) : running_(running) { ++running_; }
  ~CallbackScope() { --running_; }
  CallbackScope(const CallbackScope&) = delete;
  CallbackScope& operator=(const CallbackScope&) = delete;

 private:
  int& running_;
};

// The midpoint of lo..hi, a half rounded to the even neighbour.
size_t Midpoint(size_t lo, size_t hi) {
  const size_t sum = lo + hi;
  const size_t half = sum / 2;
  return (sum % 2 == 1 && half % 2 == 1) ? half + 1 : half;
}

}  // namespace

const ClassInfo& KVLSrtdClctn::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<KVLSrtdClctn>("KVLSrtdClctn", ClassKind::kCreatable)
          .Set<&KVLSrtdClctn::SetComparatorRef>(
              "Comparator",
              {Arg("Comparator").As(&IKVLComparator::StaticClass)})
          .Set<&KVLSrtdClctn::SetKeyExtractorRef>(
              "KeyExtractor",
              {Arg("KeyExtractor").As(&IKVLKeyExtractor::StaticClass)})
          .Implements(&IKVLCollection::StaticClass)
          .Implements(&IKVLROCollection::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(KVLSrtdClctn)

void KVLSrtdClctn::SetComparatorRef(Ref<Object> comparator) {
  if (callbacks_ > 0) Raise(kErrInvalidArgument);
  comparator_ = std::move(comparator);
  Rebuild();
}

void KVLSrtdClctn::SetKeyExtractorRef(Ref<Object> extractor) {
  if (callbacks_ > 0) Raise(kErrInvalidArgument);
  extractor_ = std::move(extractor);
  Rebuild();
}

void KVLSrtdClctn::Rebuild() {
  Store old;
  old.swap(mutable_store());
  for (const Store::Entry& e : old) DoAdd(e.value, std::string(), 0);
  // Elements that could not be added again are released with `old`.
}

int16_t KVLSrtdClctn::Compare(Object& comparator, const Ref<Object>& a,
                              const Ref<Object>& b) {
  CallbackScope scope(callbacks_);
  if (auto* c = comparator.As<IKVLComparator>()) return c->compare(a, b);
  return ToI2(CallByName(comparator, "compare", CallKind::kMethod, a, b));
}

std::string KVLSrtdClctn::ExtractKey(const Ref<Object>& x) {
  CallbackScope scope(callbacks_);
  Ref<Object> extractor = extractor_;
  if (auto* k = extractor->As<IKVLKeyExtractor>()) return k->Key(x);
  return ToText(CallByName(*extractor, "Key", CallKind::kMethod, x));
}

size_t KVLSrtdClctn::InsertionPoint(const Ref<Object>& comparator,
                                    const Ref<Object>& x) {
  // The comparator may remove elements; an element that has gone makes the
  // add fail.
  auto element = [this](size_t position) {
    const Ref<Object>* e = store().At(position);
    if (!e) Raise(kErrSubscriptOutOfRange);
    return *e;
  };
  size_t lo = 1;
  size_t hi = store().size();
  while (lo <= hi) {
    const size_t mid = Midpoint(lo, hi);
    const int16_t c = Compare(*comparator, x, element(mid));
    if (c < 0) {
      hi = mid - 1;
    } else if (c > 0) {
      lo = mid + 1;
    } else {
      size_t p = mid;
      while (p + 1 <= store().size() &&
             Compare(*comparator, x, element(p + 1)) >= 0)
        ++p;
      return p;
    }
  }
  return hi;
}

KVLExceptions KVLSrtdClctn::DoAdd(Ref<Object> x, const std::string& key,
                                  int16_t before) {
  if (callbacks_ > 0) return kKVLException_DuplicateItem;
  KVLExceptions result = kKVLException_DuplicateItem;
  // Any failure, the comparator's and the extractor's included, adds
  // nothing.
  CallClient(ClientFailure::kReturn, [&] {
    Ref<Object> comparator = comparator_;
    if (!comparator) {
      std::string k = !key.empty() ? key : extractor_ ? ExtractKey(x) : "";
      result = IKVLCollection::DoAdd(std::move(x), k, before);
      return;
    }
    const size_t p = InsertionPoint(comparator, x);
    std::string k = extractor_ ? ExtractKey(x) : key;
    result = mutable_store().AddAfter(p, std::move(x), k)
                 ? kKVLException_OK
                 : kKVLException_DuplicateItem;
  });
  return result;
}

}  // namespace kvl
