// Item and token containers and the enumerators that walk them.
//
// CVParamItem holds the children of a list item (ParamItem), CVToken the
// tokens of a scan (Token). Both are 1-based slot arrays: a new container
// has ten empty slots and next index 1; after any Add or Remove the slots
// run exactly from 1 to the next index, the last one (the spare slot)
// empty. Count is the next index minus 1. A container owns its elements.
//
// Enumeration: NewEnum (dispatch id -4) makes a walker for the container
// (CVParamItemWalker, CVTokenWalker: IVariantWalker implementations) and
// returns the walker's CEnumVariant, the enumerator a client's for-each
// loop drives (kvl::IEnumVariant). The enumerator owns its walker and the
// walker owns the container; the walker only points back at its enumerator
// without a reference, so releasing the enumerator releases the whole
// pair. A client may attach a walker of its own to a CEnumVariant: an
// object implementing IVariantWalker is called through it, any other by
// the member names More, Reset and Skip.
//
// Threading: used on the thread that created them.
//
//   Ref<CVParamItem> children = MakeRef<CVParamItem>();
//   children->Add(item);
//   ForEach(Variant(children), [](const Variant& v) { ...; return true; });
#ifndef KVL_PARAMS_VARIANT_WALKERS_H_
#define KVL_PARAMS_VARIANT_WALKERS_H_

#include <cstdint>

#include "kvl/params/object_slots.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/enum_variant.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

class ParamItem;
class Token;
class CEnumVariant;

// A base number for enumerator failures; no failure of the library uses
// it.
enum EErrorEnumVariant : int32_t { eeBaseEnumVariant = 13050 };
KVL_DECLARE_ENUM(EErrorEnumVariant)

// Public interface (not creatable): what a CEnumVariant delegates to.
class KVL_EXPORT IVariantWalker {
 public:
  static const ClassInfo& StaticClass();
  // Advances and stores the next element in `v`; false when there is none.
  virtual bool More(Variant& v) = 0;
  // Back to before the first element.
  virtual void Reset() = 0;
  // Advances the position by `c` without reading.
  virtual void Skip(int32_t& c) = 0;

 protected:
  ~IVariantWalker() = default;
};

// Creatable: the enumerator object. Next fetches through the attached
// walker's More; a failure raised inside is returned as its status
// (ToStatus) after clearing what that call had fetched. Next answers S_OK
// when it fetched at least one element and S_FALSE when it fetched none.
// Clone is not supported (E_NOTIMPL).
class KVL_EXPORT CEnumVariant : public Object, public IEnumVariant {
  KVL_DECLARE_CLASS(CEnumVariant)
 public:
  CEnumVariant() = default;
  ~CEnumVariant() override;

  // Stores the walker to delegate to (an IVariantWalker, or any object
  // answering More/Reset/Skip by name); Nothing detaches.
  void Attach(Ref<Object> connectA);
  // The walker's More(v); raises 91 when no walker is attached.
  bool ClsNext(Variant& v);
  // The walker's Skip(c); raises 91 when no walker is attached.
  void ClsSkip(int32_t& c);

  // IEnumVariant. `count` is taken as a 16-bit count: above 32767 the call
  // fails with the overflow status.
  int32_t Next(uint32_t count, Variant* out, uint32_t* fetched) override;
  int32_t Skip(uint32_t count) override;
  int32_t Reset() override;
  int32_t Clone(Ref<Object>* out) override;

 private:
  void CallReset();

  Ref<Object> walker_;
  IVariantWalker* typed_ = nullptr;
};

namespace internal {

// A walker that makes its own enumerator on demand and points back at it
// without a reference (the enumerator holds the walker).
class KVL_EXPORT EnumeratedWalker : public Object, public IVariantWalker {
 public:
  // The walker's enumerator: the live one, or a new one attached to this
  // walker.
  Ref<CEnumVariant> NewEnum();
  // Called by an enumerator that lets go of this walker.
  void EnumeratorGone(const CEnumVariant* e) {
    if (enumerator_ == e) enumerator_ = nullptr;
  }

 private:
  CEnumVariant* enumerator_ = nullptr;
};

// The walker of one container class; `C` has slots() with Count and Get.
template <class C>
class KVL_EXPORT ContainerWalker : public EnumeratedWalker {
 public:
  void Attach(Ref<C> container) { container_ = std::move(container); }

  bool More(Variant& v) override;
  void Reset() override { position_ = 0; }
  void Skip(int32_t& c) override;

 private:
  Ref<C> container_;
  int32_t position_ = 0;
};

}  // namespace internal

// Creatable: the children of a list item.
class KVL_EXPORT CVParamItem : public Object {
  KVL_DECLARE_CLASS(CVParamItem)
 public:
  CVParamItem();
  ~CVParamItem() override;

  // A new enumerator over this container (dispatch id -4, hidden).
  Ref<CEnumVariant> NewEnum();
  // Default member: null for i < 1 and for empty slots (the spare slot);
  // raises 9 beyond the last slot.
  Ref<ParamItem> Item(int32_t i) const;
  // Stores the item at the next index and grows the array by one slot.
  void Add(Ref<ParamItem> iItemA);
  int32_t Count() const { return slots_.Count(); }
  // Removes element i when 1 <= i <= Count; other indexes change nothing.
  void Remove(int32_t i);

  const internal::ObjectSlots<ParamItem>& slots() const { return slots_; }
  internal::ObjectSlots<ParamItem>& slots() { return slots_; }

 private:
  internal::ObjectSlots<ParamItem> slots_;
};

// Private: the tokens of a scan. Item Set stores at an index (raising the
// next index when the index is at or beyond it); Last is the next index
// (Let resizes the array to that many slots; values below 1 are ignored);
// Chunk is kept (10 at first, values below 1 ignored, capped at 100).
class KVL_EXPORT CVToken : public Object {
  KVL_DECLARE_CLASS(CVToken)
 public:
  CVToken();
  ~CVToken() override;

  Ref<CEnumVariant> NewEnum();
  Ref<Token> Item(int32_t i) const;
  void SetItemRef(int32_t i, Ref<Token> token);
  int32_t Last() const { return slots_.NextIndex(); }
  void SetLast(int32_t n);
  // A variant holding a 32-bit integer.
  Variant Count() const { return Variant(slots_.Count()); }
  void Remove(int32_t i);
  void Add(Ref<Token> token);
  int32_t Chunk() const { return slots_.Chunk(); }
  void SetChunk(int32_t chunk) { slots_.SetChunk(chunk); }

  const internal::ObjectSlots<Token>& slots() const { return slots_; }
  internal::ObjectSlots<Token>& slots() { return slots_; }

 private:
  internal::ObjectSlots<Token> slots_;
};

// Private walkers of the two containers.
class KVL_EXPORT CVParamItemWalker
    : public internal::ContainerWalker<CVParamItem> {
  KVL_DECLARE_CLASS(CVParamItemWalker)
};

class KVL_EXPORT CVTokenWalker : public internal::ContainerWalker<CVToken> {
  KVL_DECLARE_CLASS(CVTokenWalker)
};

}  // namespace kvl

#endif  // KVL_PARAMS_VARIANT_WALKERS_H_
