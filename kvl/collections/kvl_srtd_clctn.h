// KVLSrtdClctn: a keyed collection kept in the order of a client comparator,
// with keys taken from a client key extractor.
//
// It is an IKVLCollection (Count, Item, Add, Remove, Clear, NewEnum behave
// as there) and answers for IKVLCollection and IKVLROCollection; its own
// members are the Set properties Comparator (IKVLComparator) and
// KeyExtractor (IKVLKeyExtractor). Either may be an object implementing the
// C++ interface or a late-bound object with a "compare" (o1, o2) or "Key" (o)
// member.
//
// Add without a comparator: the key is the given one, else the extractor's
// Key(x), else none; the element goes before position `before` when that is
// a position, else at the end. With a comparator: a binary search finds the
// last element that x does not sort before and x goes right after it (so
// elements that compare equal stay in the order added; `before` is ignored);
// the key comes from the extractor when one is set (the given key is then
// ignored), else it is the given key. A duplicate key, or a comparator or
// extractor that fails, gives kKVLException_DuplicateItem and adds nothing.
//
// Setting Comparator or KeyExtractor re-adds every element, in order, with
// no explicit key: keys given earlier are lost unless the extractor makes
// them, and an element whose re-adding fails (its new key is a duplicate, or
// a callback fails) is dropped.
//
// The comparator and extractor may read the collection. An Add from inside
// them fails with kKVLException_DuplicateItem, and setting Comparator or
// KeyExtractor from inside them raises 5; elements they remove are gone
// safely, but the order of what remains is then not guaranteed.
//
// Ownership and threading as IKVLCollection; the collection holds counted
// references to its comparator and extractor.
//
//   auto s = MakeRef<KVLSrtdClctn>();
//   s->SetComparatorRef(by_priority);
//   s->SetKeyExtractorRef(by_name);
//   s->Add(job);        // placed by priority, stored under its name
#ifndef KVL_COLLECTIONS_KVL_SRTD_CLCTN_H_
#define KVL_COLLECTIONS_KVL_SRTD_CLCTN_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "kvl/collections/keyed_collection.h"
#include "kvl/runtime/export.h"

namespace kvl {

// Creatable (kind 2).
class KVL_EXPORT KVLSrtdClctn final : public IKVLCollection {
  KVL_DECLARE_CLASS(KVLSrtdClctn)
 public:
  KVLSrtdClctn() = default;

  // Property Set Comparator / KeyExtractor: stores the object (null for
  // none) and re-adds every element.
  void SetComparatorRef(Ref<Object> comparator);
  void SetKeyExtractorRef(Ref<Object> extractor);

  const Ref<Object>& comparator() const { return comparator_; }
  const Ref<Object>& key_extractor() const { return extractor_; }

 protected:
  KVLExceptions DoAdd(Ref<Object> x, const std::string& key,
                      int16_t before) override;

 private:
  int16_t Compare(Object& comparator, const Ref<Object>& a,
                  const Ref<Object>& b);
  // The position after which x goes (0: at the front).
  size_t InsertionPoint(const Ref<Object>& comparator, const Ref<Object>& x);
  std::string ExtractKey(const Ref<Object>& x);
  void Rebuild();

  Ref<Object> comparator_;
  Ref<Object> extractor_;
  int callbacks_ = 0;  // comparator or extractor calls running
};

}  // namespace kvl

#endif  // KVL_COLLECTIONS_KVL_SRTD_CLCTN_H_
