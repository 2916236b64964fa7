// Variant: the tagged value that crosses every interface of the library.
//
// A Variant holds one of the automation kinds (numbers below are the kind
// codes clients see): Empty 0, Null 1, 16-bit integer 2, 32-bit integer 3,
// single 4, double 5, currency 6, date 7, string 8, object 9, error 10,
// boolean 11, unknown-interface reference 13, decimal 14, byte 17, or a
// one-dimensional array (flag 0x2000 on the element kind) with explicit
// lower and upper bounds.
//
// Kinds 9 and 13 both hold a counted object reference: 9 is an object that
// answers calls by name, 13 an object handed over as a bare reference (an
// enumerator, an object rebuilt from a key). is_object() is true for both;
// type() tells them apart.
//
// Copies have value semantics: copying a Variant copies its string or array;
// an object is shared through its reference count. Strings are UTF-8. A
// boolean true is stored as -1, as clients of the automation kinds expect.
//
// The core (construction, copy, accessors) is inline so that a client that
// only loads the library at run time can use Variants without linking it;
// conversions between kinds live in variant_convert.h.
//
// Thread safety: a Variant is a value; share it across threads only as const.
//
//   Variant v = 42;                    // 32-bit integer, kind 3
//   Variant s = "text";                // string
//   Variant list = Variant::MakeArray(VarType::kVariant, 0, 2);
//   list.Array().At(0) = v;            // index by the array's own bounds
#ifndef KVL_RUNTIME_VARIANT_H_
#define KVL_RUNTIME_VARIANT_H_

#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kvl/runtime/error.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"

namespace kvl {

// Automation kind codes. kArray is a flag combined with the element kind.
enum class VarType : uint16_t {
  kEmpty = 0,
  kNull = 1,
  kI2 = 2,
  kI4 = 3,
  kR4 = 4,
  kR8 = 5,
  kCurrency = 6,
  kDate = 7,
  kString = 8,
  kObject = 9,
  kError = 10,
  kBool = 11,
  kVariant = 12,
  kUnknown = 13,
  kDecimal = 14,
  kByte = 17,
  kArray = 0x2000,
};

constexpr VarType operator|(VarType a, VarType b) {
  return static_cast<VarType>(static_cast<uint16_t>(a) |
                              static_cast<uint16_t>(b));
}
constexpr bool IsArrayType(VarType t) {
  return (static_cast<uint16_t>(t) & 0x2000) != 0;
}
constexpr VarType ElementType(VarType t) {
  return static_cast<VarType>(static_cast<uint16_t>(t) & 0x0FFF);
}

// A point in time: days since 1899-12-30 00:00 local time; the fraction is
// the time of day. Calendar arithmetic lives in date_time.h.
struct KVL_EXPORT Date {
  double days = 0;
  friend bool operator==(Date a, Date b) { return a.days == b.days; }
};

// Currency: a fixed-point number with four decimal places, stored scaled by
// 10000 (1.5 is stored as 15000).
struct KVL_EXPORT Currency {
  int64_t scaled = 0;
  friend bool operator==(Currency a, Currency b) {
    return a.scaled == b.scaled;
  }
};

// Decimal: a 96-bit unsigned magnitude with a sign and a power-of-ten scale
// from 0 to 28; the value is (negative ? -1 : 1) * magnitude / 10^scale.
struct KVL_EXPORT Decimal {
  uint32_t hi = 0;   // bits 64..95 of the magnitude
  uint64_t lo = 0;   // bits 0..63 of the magnitude
  uint8_t scale = 0;
  bool negative = false;
  friend bool operator==(const Decimal& a, const Decimal& b) {
    return a.hi == b.hi && a.lo == b.lo && a.scale == b.scale &&
           a.negative == b.negative;
  }
};

// The error kind's payload for an omitted optional argument.
inline constexpr int32_t kParamNotFound = static_cast<int32_t>(0x80020004);

class SafeArray;

class KVL_EXPORT Variant {
 public:
  Variant() noexcept : type_(VarType::kEmpty), raw_{} {}
  Variant(int16_t v) noexcept : type_(VarType::kI2), raw_{} { i2_ = v; }
  Variant(int32_t v) noexcept : type_(VarType::kI4), raw_{} { i4_ = v; }
  Variant(float v) noexcept : type_(VarType::kR4), raw_{} { r4_ = v; }
  Variant(double v) noexcept : type_(VarType::kR8), raw_{} { r8_ = v; }
  Variant(bool v) noexcept : type_(VarType::kBool), raw_{} {
    i2_ = v ? -1 : 0;
  }
  Variant(uint8_t v) noexcept : type_(VarType::kByte), raw_{} { u1_ = v; }
  Variant(Date v) noexcept : type_(VarType::kDate), raw_{} { r8_ = v.days; }
  Variant(Currency v) noexcept : type_(VarType::kCurrency), raw_{} {
    i8_ = v.scaled;
  }
  Variant(const Decimal& v) noexcept : type_(VarType::kDecimal), raw_{} {
    dec_ = v;
  }
  Variant(const char* v) : type_(VarType::kString) {
    new (&str_) std::string(v);
  }
  Variant(std::string_view v) : type_(VarType::kString) {
    new (&str_) std::string(v);
  }
  Variant(const std::string& v) : type_(VarType::kString) {
    new (&str_) std::string(v);
  }
  Variant(std::string&& v) noexcept : type_(VarType::kString) {
    new (&str_) std::string(std::move(v));
  }
  // An object reference; a null reference is the object kind holding
  // Nothing.
  Variant(Object* v) noexcept : type_(VarType::kObject), raw_{} {
    obj_ = v;
    if (obj_) obj_->AddRef();
  }
  template <class T>
  Variant(const Ref<T>& v) noexcept : Variant(static_cast<Object*>(v.get())) {}
  Variant(SafeArray&& array);
  Variant(const SafeArray& array);

  static Variant Null() {
    Variant v;
    v.type_ = VarType::kNull;
    return v;
  }
  static Variant Error(int32_t scode) {
    Variant v;
    v.type_ = VarType::kError;
    v.i4_ = scode;
    return v;
  }
  // The value a caller passes for an omitted optional argument.
  static Variant Missing() { return Error(kParamNotFound); }
  static Variant Nothing() { return Variant(static_cast<Object*>(nullptr)); }
  // An unknown-interface reference (kind 13) to `object`, which may be null.
  static Variant Unknown(Object* object) {
    Variant v(object);
    v.type_ = VarType::kUnknown;
    return v;
  }
  // A new array of `element` kind with bounds lower..upper (upper may be
  // lower - 1 for an empty array).
  static Variant MakeArray(VarType element, int32_t lower, int32_t upper);

  Variant(const Variant& other) : type_(VarType::kEmpty), raw_{} {
    CopyFrom(other);
  }
  Variant(Variant&& other) noexcept : type_(VarType::kEmpty), raw_{} {
    MoveFrom(std::move(other));
  }
  Variant& operator=(const Variant& other) {
    if (this != &other) {
      Variant copy(other);
      Clear();
      MoveFrom(std::move(copy));
    }
    return *this;
  }
  Variant& operator=(Variant&& other) noexcept {
    if (this != &other) {
      Clear();
      MoveFrom(std::move(other));
    }
    return *this;
  }
  ~Variant() { Clear(); }

  VarType type() const { return type_; }
  bool is_empty() const { return type_ == VarType::kEmpty; }
  bool is_null() const { return type_ == VarType::kNull; }
  bool is_string() const { return type_ == VarType::kString; }
  // True for an object reference of either kind (9 or 13).
  bool is_object() const {
    return type_ == VarType::kObject || type_ == VarType::kUnknown;
  }
  bool is_unknown() const { return type_ == VarType::kUnknown; }
  bool is_array() const { return IsArrayType(type_); }
  bool is_missing() const {
    return type_ == VarType::kError && i4_ == kParamNotFound;
  }
  // True for an object reference (either kind) holding Nothing.
  bool is_nothing() const { return is_object() && !obj_; }

  // Raw accessors: the caller has checked type(). For conversions between
  // kinds use variant_convert.h.
  int16_t AsI2() const { return i2_; }
  int32_t AsI4() const { return i4_; }
  float AsR4() const { return r4_; }
  double AsR8() const { return r8_; }
  bool AsBool() const { return i2_ != 0; }
  int16_t AsBoolRaw() const { return i2_; }
  uint8_t AsByte() const { return u1_; }
  Date AsDate() const { return Date{r8_}; }
  Currency AsCurrency() const { return Currency{i8_}; }
  const Decimal& AsDecimal() const { return dec_; }
  int32_t AsError() const { return i4_; }
  const std::string& AsString() const { return str_; }
  std::string& MutableString() { return str_; }
  Object* AsObject() const { return obj_; }
  Ref<Object> ObjectRef() const { return Ref<Object>(obj_); }
  const SafeArray& Array() const { return *arr_; }
  SafeArray& Array() { return *arr_; }

  // Identity comparison: same kind and same payload (strings by content,
  // objects by identity, arrays element by element). Not the automation
  // comparison rules; see variant_convert.h for those.
  friend KVL_EXPORT bool operator==(const Variant& a, const Variant& b);
  friend bool operator!=(const Variant& a, const Variant& b) {
    return !(a == b);
  }

 private:
  void Clear() noexcept;
  void CopyFrom(const Variant& other);
  void MoveFrom(Variant&& other) noexcept;

  VarType type_;
  // raw_ spans the scalar payloads (the widest is Decimal): constructors
  // zero it so that copying a payload never reads uninitialised bytes.
  struct Raw {
    uint64_t words[3];
  };
  static_assert(sizeof(Decimal) <= sizeof(Raw));
  union {
    Raw raw_;
    int16_t i2_;
    int32_t i4_;
    float r4_;
    double r8_;
    int64_t i8_;
    uint8_t u1_;
    Decimal dec_;
    std::string str_;
    Object* obj_;
    SafeArray* arr_;
  };
};

// A one-dimensional array with explicit bounds. Elements of a typed array
// (for example bytes) are kept converted to the element kind; a variant array
// (element kind kVariant) holds any values.
class KVL_EXPORT SafeArray {
 public:
  SafeArray(VarType element, int32_t lower, int32_t upper)
      : element_(element),
        lower_(lower),
        items_(upper >= lower ? static_cast<size_t>(upper - lower + 1) : 0,
               DefaultElement(element)) {}

  VarType element_type() const { return element_; }
  int32_t lower() const { return lower_; }
  int32_t upper() const {
    return lower_ + static_cast<int32_t>(items_.size()) - 1;
  }
  int32_t size() const { return static_cast<int32_t>(items_.size()); }
  bool InBounds(int32_t index) const {
    return index >= lower_ && index <= upper();
  }

  // Element at `index` (array bounds); raises error 9 when out of bounds.
  const Variant& At(int32_t index) const;
  Variant& At(int32_t index);
  // Stores `value` at `index`, converted to the element kind of a typed
  // array; raises 9 out of bounds, 13 or 6 when the value does not convert.
  void Put(int32_t index, Variant value);
  // Changes the upper bound, keeping elements (ReDim Preserve).
  void Resize(int32_t upper) {
    items_.resize(upper >= lower_ ? static_cast<size_t>(upper - lower_ + 1)
                                  : 0,
                  DefaultElement(element_));
  }
  std::vector<Variant>& items() { return items_; }
  const std::vector<Variant>& items() const { return items_; }

  friend bool operator==(const SafeArray& a, const SafeArray& b) {
    return a.element_ == b.element_ && a.lower_ == b.lower_ &&
           a.items_ == b.items_;
  }

 private:
  static Variant DefaultElement(VarType element);

  VarType element_;
  int32_t lower_;
  std::vector<Variant> items_;
};

// ---- inline implementation -------------------------------------------------

inline Variant SafeArray::DefaultElement(VarType element) {
  switch (element) {
    case VarType::kI2: return Variant(int16_t{0});
    case VarType::kI4: return Variant(int32_t{0});
    case VarType::kR4: return Variant(0.0f);
    case VarType::kR8: return Variant(0.0);
    case VarType::kBool: return Variant(false);
    case VarType::kByte: return Variant(uint8_t{0});
    case VarType::kString: return Variant(std::string());
    case VarType::kDate: return Variant(Date{});
    case VarType::kCurrency: return Variant(Currency{});
    case VarType::kDecimal: return Variant(Decimal{});
    case VarType::kObject: return Variant::Nothing();
    case VarType::kUnknown: return Variant::Unknown(nullptr);
    default: return Variant();
  }
}

inline const Variant& SafeArray::At(int32_t index) const {
  if (!InBounds(index)) Raise(kErrSubscriptOutOfRange);
  return items_[static_cast<size_t>(index - lower_)];
}
inline Variant& SafeArray::At(int32_t index) {
  if (!InBounds(index)) Raise(kErrSubscriptOutOfRange);
  return items_[static_cast<size_t>(index - lower_)];
}

inline Variant::Variant(SafeArray&& array)
    : type_(VarType::kArray | array.element_type()), raw_{} {
  arr_ = new SafeArray(std::move(array));
}
inline Variant::Variant(const SafeArray& array)
    : type_(VarType::kArray | array.element_type()), raw_{} {
  arr_ = new SafeArray(array);
}

inline Variant Variant::MakeArray(VarType element, int32_t lower,
                                  int32_t upper) {
  return Variant(SafeArray(element, lower, upper));
}

inline void Variant::Clear() noexcept {
  if (IsArrayType(type_)) {
    delete arr_;
  } else if (type_ == VarType::kString) {
    str_.~basic_string();
  } else if (is_object()) {
    if (obj_) obj_->Release();
  }
  type_ = VarType::kEmpty;
  raw_ = Raw{};
}

inline void Variant::CopyFrom(const Variant& other) {
  // Precondition: *this is Empty.
  if (IsArrayType(other.type_)) {
    arr_ = new SafeArray(*other.arr_);
  } else if (other.type_ == VarType::kString) {
    new (&str_) std::string(other.str_);
  } else if (other.is_object()) {
    obj_ = other.obj_;
    if (obj_) obj_->AddRef();
  } else {
    raw_ = other.raw_;
  }
  type_ = other.type_;
}

inline void Variant::MoveFrom(Variant&& other) noexcept {
  // Precondition: *this is Empty.
  if (other.type_ == VarType::kString) {
    new (&str_) std::string(std::move(other.str_));
    other.str_.~basic_string();
  } else {
    raw_ = other.raw_;  // scalars, the array pointer, the object pointer
  }
  type_ = other.type_;
  other.type_ = VarType::kEmpty;
  other.raw_ = Raw{};
}

inline bool operator==(const Variant& a, const Variant& b) {
  if (a.type_ != b.type_) return false;
  if (a.is_array()) return *a.arr_ == *b.arr_;
  switch (a.type_) {
    case VarType::kEmpty:
    case VarType::kNull: return true;
    case VarType::kString: return a.str_ == b.str_;
    case VarType::kObject:
    case VarType::kUnknown: return a.obj_ == b.obj_;
    case VarType::kDecimal: return a.dec_ == b.dec_;
    case VarType::kR4: return a.r4_ == b.r4_;
    case VarType::kR8:
    case VarType::kDate: return a.r8_ == b.r8_;
    case VarType::kI2:
    case VarType::kBool: return a.i2_ == b.i2_;
    case VarType::kByte: return a.u1_ == b.u1_;
    case VarType::kI4:
    case VarType::kError: return a.i4_ == b.i4_;
    default: return a.i8_ == b.i8_;
  }
}

}  // namespace kvl

#endif  // KVL_RUNTIME_VARIANT_H_
