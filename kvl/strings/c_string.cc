#include "kvl/strings/c_string.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

#include "kvl/frame/catalogue.h"
#include "kvl/runtime/error.h"

namespace kvl {
namespace {

constexpr int64_t kSpareBytes = 100;
constexpr int64_t kMaxBytes = std::numeric_limits<int32_t>::max();

}  // namespace

const ClassInfo& CString::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<CString>("CString", ClassKind::kPrivate)
          .Get<&CString::Value>("Value")
          .Let<&CString::SetValue>("Value")
          .Method<&CString::Append>("Append", {RefArg("s")})
          .Method<&CString::AppendCString>("AppendCString", {RefArg("c")})
          .Get<&CString::Length>("Length")
          .Build();
  return info;
}

KVL_REGISTER_CLASS(CString)

std::string CString::Value() const {
  return std::string(View());
}

void CString::SetValue(const std::string& value) {
  const int64_t capacity = static_cast<int64_t>(value.size()) + kSpareBytes;
  if (capacity > kMaxBytes) Raise(kErrOverflow);
  buffer_ =
      std::make_unique_for_overwrite<char[]>(static_cast<size_t>(capacity));
  capacity_ = static_cast<int32_t>(capacity);
  used_ = 0;
  AppendBytes(value);
}

void CString::AppendBytes(std::string_view s) {
  const int64_t used = used_;
  const int64_t added = static_cast<int64_t>(s.size());
  // The old buffer stays alive until `s` is copied: `s` may be a view of it.
  std::unique_ptr<char[]> old;
  if (used + added >= capacity_) {
    // Contents that no longer leave a spare byte in 32 bits cannot be held;
    // below that the new size is capped at the 32-bit limit.
    if (used + added >= kMaxBytes) Raise(kErrOverflow);
    const int64_t capacity =
        std::min(3 * used + added + kSpareBytes, kMaxBytes);
    auto grown =
        std::make_unique_for_overwrite<char[]>(static_cast<size_t>(capacity));
    if (used > 0)
      std::memcpy(grown.get(), buffer_.get(), static_cast<size_t>(used));
    old = std::exchange(buffer_, std::move(grown));
    capacity_ = static_cast<int32_t>(capacity);
  }
  if (added > 0) std::memmove(buffer_.get() + used, s.data(), s.size());
  used_ = static_cast<int32_t>(used + added);
}

void CString::AppendCString(Ref<CString> c) {
  if (!c) Raise(kErrObjectNotSet);
  AppendBytes(c->View());
}

}  // namespace kvl
