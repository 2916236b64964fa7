// Variant enumerators: the platform's enumeration protocol behind NewEnum
// and a client's for-each loop.
//
// IEnumVariant is the interface (Next, Skip, Reset, Clone) with the
// platform's statuses: kS_OK (0) when the request was met in full, kS_FALSE
// (1) when fewer elements remained, kE_NOTIMPL where an enumerator cannot be
// cloned. Containers return an object implementing it from their NewEnum
// member (dispatch id -4). VectorEnumerator is a ready-made enumerator over
// a snapshot of values. ForEach walks any collection late-bound, the way a
// client's for-each does: it calls NewEnum by name and then Next.
//
// Threading: used on the thread that created the enumerator.
//
//   ForEach(Variant(collection), [&](const Variant& item) {
//     names.push_back(ToText(item));
//     return true;   // false stops the loop
//   });
#ifndef KVL_RUNTIME_ENUM_VARIANT_H_
#define KVL_RUNTIME_ENUM_VARIANT_H_

#include <cstdint>
#include <functional>
#include <vector>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

class KVL_EXPORT IEnumVariant {
 public:
  // Copies up to `count` next elements to out[0..]; `*fetched` (when not
  // null) receives how many. kS_OK when all `count` were fetched, else
  // kS_FALSE.
  virtual int32_t Next(uint32_t count, Variant* out, uint32_t* fetched) = 0;
  // Skips `count` elements; kS_FALSE when fewer remained.
  virtual int32_t Skip(uint32_t count) = 0;
  virtual int32_t Reset() = 0;
  // A new enumerator at the same position, or a failure status.
  virtual int32_t Clone(Ref<Object>* out) = 0;

 protected:
  ~IEnumVariant() = default;
};

// An enumerator over a copy of the values it was given.
class KVL_EXPORT VectorEnumerator : public Object, public IEnumVariant {
  KVL_DECLARE_CLASS(VectorEnumerator)
 public:
  explicit VectorEnumerator(std::vector<Variant> items, size_t position = 0)
      : items_(std::move(items)), position_(position) {}

  int32_t Next(uint32_t count, Variant* out, uint32_t* fetched) override;
  int32_t Skip(uint32_t count) override;
  int32_t Reset() override;
  int32_t Clone(Ref<Object>* out) override;

 private:
  std::vector<Variant> items_;
  size_t position_;
};

// The enumerator of `collection` (its NewEnum member, called late-bound).
// Raises 438 when the collection has none, 13 when it does not return an
// enumerator, 91 when `collection` holds no object.
KVL_EXPORT Ref<Object> GetEnumerator(const Variant& collection);

// Calls `visit` with each element of `collection` until it returns false.
KVL_EXPORT void ForEach(const Variant& collection,
                        const std::function<bool(const Variant&)>& visit);

}  // namespace kvl

#endif  // KVL_RUNTIME_ENUM_VARIANT_H_
