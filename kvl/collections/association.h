// Association: the typed key/value record of the event bus and its
// listeners: a Mapping and a Value (variants; objects are held as
// references), a 16-bit set of KVLType flags (Types) and a matching flag
// (UseForMatching).
//
// A new record has Empty Mapping and Value, Types 0 and UseForMatching
// false. IsTypeSet(flag) is true when flag and Types share a bit; the flag
// is read as a 32-bit number and Types sign-extended, so ST_String (the sign
// bit, -32768) also matches 32768.
//
// Threading: used on the thread that created it.
//
//   auto a = MakeRef<Association>();
//   a->SetValue(Variant("Copies"));
//   a->SetMapping(Variant("2"));
//   a->AddType(ST_I4);
//   a->IsTypeSet(Variant(int32_t{ST_I4}));      // true
#ifndef KVL_COLLECTIONS_ASSOCIATION_H_
#define KVL_COLLECTIONS_ASSOCIATION_H_

#include <cstdint>
#include <utility>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

// Creatable (kind 2).
class KVL_EXPORT Association : public Object {
  KVL_DECLARE_CLASS(Association)
 public:
  // Types |= new_type.
  void AddType(int16_t new_type) {
    types_ = static_cast<int16_t>(types_ | new_type);
  }
  int16_t Types() const { return types_; }
  // True when type_flag (converted to a 32-bit integer) and Types share a
  // bit. Raises 13 or 6 when type_flag is not such a number.
  bool IsTypeSet(const Variant& type_flag) const;
  void SetTypes(int16_t types) { types_ = types; }
  const Variant& Mapping() const { return mapping_; }
  bool UseForMatching() const { return use_for_matching_; }
  void SetUseForMatching(bool use) { use_for_matching_ = use; }
  const Variant& Value() const { return value_; }
  void SetMapping(Variant mapping) { mapping_ = std::move(mapping); }
  void SetValue(Variant value) { value_ = std::move(value); }

 private:
  Variant mapping_;
  Variant value_;
  int16_t types_ = 0;
  bool use_for_matching_ = false;
};

}  // namespace kvl

#endif  // KVL_COLLECTIONS_ASSOCIATION_H_
