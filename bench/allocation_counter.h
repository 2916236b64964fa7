// Counts heap allocations in a benchmark program: include it in exactly one
// file of the program; it replaces the global operator new and delete.
// Benchmarks read g_allocations before and after their loop (they run on
// one thread).
#ifndef KVL_BENCH_ALLOCATION_COUNTER_H_
#define KVL_BENCH_ALLOCATION_COUNTER_H_

#include <cstdint>
#include <cstdlib>
#include <new>

inline int64_t g_allocations = 0;

// The replacement pairs malloc with free; GCC cannot see through the
// replaceable allocation functions and warns about every delete.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(size_t n) {
  ++g_allocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t n) {
  return operator new(n);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
  std::free(p);
}

#endif  // KVL_BENCH_ALLOCATION_COUNTER_H_
