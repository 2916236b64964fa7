// The value text form: a variant written as compact text and read back.
//
// Scalars are written with the library's text conversion; strings that
// would read back as something else are enclosed in single quotes. Arrays
// are bracketed lists «[1,x y,2.5]» (byte arrays: «0A 01 FF»); every array
// is read and written with one spare trailing slot. "!!EMPTY!!" stands for
// Empty. The readers never raise: malformed lists and byte strings read as
// Empty, a scalar that fails to convert reads as its own text. The writers
// raise 9 for an array without index 0, and what the text conversion raises
// (13 for an object, 94 for Null).
//
// Two generations differ only in the quoting of scalars (kFirst: commas,
// trailing spaces and numeric strings are quoted; kSecond: numeric strings
// only); list elements always use kFirst.
//
//   Variant list = ReadValueText("[1, 'x y', 2.5]", false,
//                                ValueTextForm::kFirst);   // bounds 0..3
//   std::string text = WriteValueText(list, ValueTextForm::kFirst);
#ifndef KVL_STRINGS_INTERNAL_VALUE_TEXT_H_
#define KVL_STRINGS_INTERNAL_VALUE_TEXT_H_

#include <string>
#include <string_view>

#include "kvl/runtime/variant.h"

namespace kvl::strings_internal {

enum class ValueTextForm { kFirst, kSecond };

Variant ReadValueText(std::string_view text, bool is_binary,
                      ValueTextForm form);
std::string WriteValueText(const Variant& value, ValueTextForm form);

}  // namespace kvl::strings_internal

#endif  // KVL_STRINGS_INTERNAL_VALUE_TEXT_H_
