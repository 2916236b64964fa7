// What libkvlcommon.so exports. The library is compiled with hidden
// visibility (-fvisibility=hidden -fvisibility-inlines-hidden), so a
// declaration reaches clients only when it carries KVL_EXPORT: every class
// and function of the public headers does, together with the few inline
// functions and variables whose state must be one for the whole process
// (the thread's error record). Exported classes export their type
// information and virtual tables too, so KVLError thrown by the library is
// caught by its type in client code, and `As<I>()` works on interfaces
// across the library boundary.
//
// KVL_INTERNAL_EXPORT marks the few helpers of internal/ headers that the
// library's own test programs call. Those headers are not installed; the
// symbols are not part of the interface and may change with any release.
//
// `kvl_export_macros --fix <checkout>` (tools/) adds KVL_EXPORT where a
// public header lacks it; the `export_macros` test fails until it is there.
//
//   class KVL_EXPORT Thermostat : public Object { ... };
//   KVL_EXPORT std::string ToText(const Variant& v);
#ifndef KVL_RUNTIME_EXPORT_H_
#define KVL_RUNTIME_EXPORT_H_

#if defined(__GNUC__) || defined(__clang__)
#define KVL_EXPORT __attribute__((visibility("default")))
#else
#define KVL_EXPORT
#endif

#define KVL_INTERNAL_EXPORT KVL_EXPORT

#endif  // KVL_RUNTIME_EXPORT_H_
