// Guid: 128-bit class and interface identifiers in the registry form
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
//
// Every class, interface and enumeration of the library has an identifier in
// one block whose last three groups are 9BE3-11D4-A4D8-00B0D02B011D; the
// first group is derived from the name (LibraryGuid), so identifiers are
// stable without a hand-kept table. A test checks that no two collide.
//
//   Guid clsid = LibraryGuid("KVLCommon.ParamString");
//   std::string text = clsid.ToString();
#ifndef KVL_RUNTIME_GUID_H_
#define KVL_RUNTIME_GUID_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "kvl/runtime/ascii.h"
#include "kvl/runtime/export.h"

namespace kvl {

struct KVL_EXPORT Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  uint8_t data4[8] = {};

  // Upper-case registry form with braces.
  std::string ToString() const {
    char buf[40];
    std::snprintf(buf, sizeof buf,
                  "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", data1,
                  data2, data3, data4[0], data4[1], data4[2], data4[3],
                  data4[4], data4[5], data4[6], data4[7]);
    return buf;
  }
  bool is_null() const { return *this == Guid{}; }

  // Reads the registry form, with or without braces, either case.
  static bool Parse(std::string_view text, Guid* out);

  friend bool operator==(const Guid& a, const Guid& b) {
    if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3)
      return false;
    for (int i = 0; i < 8; ++i)
      if (a.data4[i] != b.data4[i]) return false;
    return true;
  }
};

// The identifier of `name` in the library's block: the first group is the
// 32-bit FNV-1a hash of the name, the rest is 9BE3-11D4-A4D8-00B0D02B011D.
inline Guid LibraryGuid(std::string_view name) {
  uint32_t h = 2166136261u;
  for (unsigned char c : name) {
    h ^= c;
    h *= 16777619u;
  }
  return Guid{h, 0x9BE3, 0x11D4, {0xA4, 0xD8, 0x00, 0xB0, 0xD0, 0x2B, 0x01, 0x1D}};
}

inline bool Guid::Parse(std::string_view text, Guid* out) {
  if (text.size() == 38 && text.front() == '{' && text.back() == '}')
    text = text.substr(1, 36);
  if (text.size() != 36) return false;
  uint8_t bytes[16];
  int n = 0;
  for (size_t i = 0; i < text.size();) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != '-') return false;
      ++i;
      continue;
    }
    int v = 0;
    for (int k = 0; k < 2; ++k, ++i) {
      const int d = HexDigitValue(text[i]);
      if (d < 0) return false;
      v = v * 16 + d;
    }
    bytes[n++] = static_cast<uint8_t>(v);
  }
  Guid g;
  g.data1 = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) |
            (uint32_t{bytes[2]} << 8) | bytes[3];
  g.data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
  g.data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) g.data4[i] = bytes[8 + i];
  *out = g;
  return true;
}

}  // namespace kvl

#endif  // KVL_RUNTIME_GUID_H_
