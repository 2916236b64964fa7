// The hash of text ignoring ASCII letter case, for every hash table of the
// library whose keys are names or keys (member tables, the catalogue, keyed
// collections).
//
// Keys of such tables often come from outside (files, messages, clients),
// so the hash is keyed with a secret seed drawn once per process from the
// kernel's random source: which keys share a probe chain differs from one
// run to the next, and keys chosen to collide in one process do not pile up
// in another. The hash is fast (eight bytes a step), not cryptographic. Do
// not store hash values or let an order depend on them.
//
// Thread-safe; the seed is drawn on first use.
//
//   std::unordered_map<std::string, int, NoCaseHash, NoCaseEqual> m;
//   m["Item"] = 1;
//   m.find(std::string_view("ITEM"));   // found
#ifndef KVL_RUNTIME_NO_CASE_HASH_H_
#define KVL_RUNTIME_NO_CASE_HASH_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kvl/runtime/ascii.h"
#include "kvl/runtime/export.h"

namespace kvl {

// The hash of `text` with ASCII letters folded, keyed with `seed`. Texts
// that are EqualsNoCase have equal hashes under every seed.
KVL_EXPORT uint64_t HashNoCase(std::string_view text, uint64_t seed) noexcept;

// This process's seed: random, the same for every call.
KVL_EXPORT uint64_t ProcessHashSeed() noexcept;

// HashNoCase with the process seed, and the matching equality; both
// transparent, for unordered containers keyed by text.
struct KVL_EXPORT NoCaseHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const noexcept;
};
struct KVL_EXPORT NoCaseEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const {
    return EqualsNoCase(a, b);
  }
};

}  // namespace kvl

#endif  // KVL_RUNTIME_NO_CASE_HASH_H_
