// KVLError: the one failure type of the library, thrown as a C++ exception.
//
// A failure carries a 32-bit number, a source and a description. Numbers
// below 65536 are the standard automation error numbers (kErr* below); the
// library raises numbers of its own only where a class documents them. Raise
// fills in the standard description when none is given.
//
// Across the C entry points, where exceptions must not travel, failures are
// returned as 32-bit statuses (ToStatus) and the failure itself is kept in a
// per-thread error record (SetErrorRecord / TakeErrorRecord). Calls into
// client code keep or clear what the client raised there as client_call.h
// says.
//
// Everything here is inline so that clients that only load the library at
// run time can catch and read failures.
//
//   if (index < 1) Raise(kErrSubscriptOutOfRange);
//   try { obj->Invoke(...); } catch (const KVLError& e) { e.number(); }
#ifndef KVL_RUNTIME_ERROR_H_
#define KVL_RUNTIME_ERROR_H_

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

#include "kvl/runtime/export.h"

namespace kvl {

inline constexpr int32_t kErrInvalidArgument = 5;
inline constexpr int32_t kErrOverflow = 6;
inline constexpr int32_t kErrSubscriptOutOfRange = 9;
inline constexpr int32_t kErrDivisionByZero = 11;
inline constexpr int32_t kErrTypeMismatch = 13;
inline constexpr int32_t kErrInvalidUseOfNull = 94;
inline constexpr int32_t kErrObjectNotSet = 91;
inline constexpr int32_t kErrNotSupported = 438;
inline constexpr int32_t kErrArgumentNotOptional = 449;
inline constexpr int32_t kErrWrongArgumentCount = 450;
inline constexpr int32_t kErrDuplicateKey = 457;
inline constexpr int32_t kErrTooManyTimers = 1001;

// Statuses (32-bit HRESULT-style codes).
inline constexpr int32_t kS_OK = 0;
inline constexpr int32_t kS_FALSE = 1;
inline constexpr int32_t kE_NOTIMPL = static_cast<int32_t>(0x80004001);
inline constexpr int32_t kE_POINTER = static_cast<int32_t>(0x80004003);
inline constexpr int32_t kE_NOINTERFACE = static_cast<int32_t>(0x80004002);
inline constexpr int32_t kE_FAIL = static_cast<int32_t>(0x80004005);
inline constexpr int32_t kCLASS_E_CLASSNOTAVAILABLE =
    static_cast<int32_t>(0x80040111);
inline constexpr int32_t kREGDB_E_CLASSNOTREG =
    static_cast<int32_t>(0x80040154);

// The source given to failures raised by the library without a class.
inline constexpr std::string_view kLibrarySource = "KVLCommon";

// The standard description of an automation error number, or "" when the
// number has none.
inline std::string_view StandardDescription(int32_t number) {
  switch (number) {
    case kErrInvalidArgument: return "Invalid procedure call or argument";
    case kErrOverflow: return "Overflow";
    case kErrSubscriptOutOfRange: return "Subscript out of range";
    case kErrDivisionByZero: return "Division by zero";
    case kErrTypeMismatch: return "Type mismatch";
    case kErrObjectNotSet:
      return "Object variable or With block variable not set";
    case kErrInvalidUseOfNull: return "Invalid use of Null";
    case kErrNotSupported:
      return "Object doesn't support this property or method";
    case kErrArgumentNotOptional: return "Argument not optional";
    case kErrWrongArgumentCount:
      return "Wrong number of arguments or invalid property assignment";
    case kErrDuplicateKey:
      return "This key is already associated with an element of this "
             "collection";
    case kE_NOTIMPL: return "Not implemented";
    case kCLASS_E_CLASSNOTAVAILABLE: return "Class not available";
    case kREGDB_E_CLASSNOTREG: return "Class not registered";
    default: return "";
  }
}

class KVL_EXPORT KVLError : public std::exception {
 public:
  KVLError(int32_t number, std::string source, std::string description)
      : number_(number),
        source_(std::move(source)),
        description_(std::move(description)) {}

  int32_t number() const noexcept { return number_; }
  const std::string& source() const noexcept { return source_; }
  const std::string& description() const noexcept { return description_; }
  void set_source(std::string source) { source_ = std::move(source); }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  int32_t number_;
  std::string source_;
  std::string description_;
};

// Throws a KVLError. An empty source becomes "KVLCommon"; an empty
// description becomes the number's standard description.
[[noreturn]] inline void Raise(int32_t number, std::string_view source = {},
                               std::string_view description = {}) {
  throw KVLError(number,
                 std::string(source.empty() ? kLibrarySource : source),
                 std::string(description.empty() ? StandardDescription(number)
                                                 : description));
}

// The 32-bit status that reports error `number`: 0 stays 0, 1 and negative
// numbers (already statuses) are unchanged, any other n becomes
// 0x800A0000 + n.
constexpr int32_t ToStatus(int32_t number) {
  if (number == 0 || number == 1 || number < 0) return number;
  return static_cast<int32_t>(0x800A0000u + static_cast<uint32_t>(number));
}

// The per-thread error record that C entry points leave for their caller.
struct ErrorRecord {
  bool set = false;
  int32_t number = 0;
  std::string source;
  std::string description;
};

namespace internal {
KVL_EXPORT inline ErrorRecord& ThreadErrorRecord() {
  thread_local ErrorRecord record;
  return record;
}
// Mirrors the record's `set`. A plain thread-local is one cheap read, so
// clearing a record that is clear (around every event receiver) costs
// next to nothing.
KVL_EXPORT inline thread_local bool t_error_record_set
    __attribute__((tls_model("initial-exec"))) = false;
}  // namespace internal

inline void SetErrorRecord(const KVLError& e) {
  internal::ThreadErrorRecord() =
      ErrorRecord{true, e.number(), e.source(), e.description()};
  internal::t_error_record_set = true;
}
inline void ClearErrorRecord() {
  if (!internal::t_error_record_set) return;
  internal::ThreadErrorRecord() = {};
  internal::t_error_record_set = false;
}
// Returns the record and clears it.
inline ErrorRecord TakeErrorRecord() {
  if (!internal::t_error_record_set) return {};
  internal::t_error_record_set = false;
  return std::exchange(internal::ThreadErrorRecord(), ErrorRecord{});
}

}  // namespace kvl

#endif  // KVL_RUNTIME_ERROR_H_
