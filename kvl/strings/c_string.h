// CString: the growable text buffer that the list writer of the value text
// form builds its text in, so that writing a long list costs time linear in
// its length instead of copying the whole text on every element.
//
// Growth rule: when an append would fill the buffer, the buffer is replaced
// by one of 3 x (bytes used) + (bytes appended) + 100 bytes; setting Value
// makes a buffer of its length + 100 bytes. The buffer always keeps at least
// one byte spare (used < capacity). Text is UTF-8; Length and the counts
// are bytes, the library's unit of text positions. A buffer is at most
// 2^31 - 1 bytes: an append beyond that raises overflow (6).
//
// A private class (kind 4): the library makes its own instances; clients
// cannot create one. It owns its buffer; like every object it is used on
// the thread that created it.
//
//   Ref<CString> text = MakeRef<CString>();
//   text->SetValue("[");
//   text->Append("1,2");
//   text->Append("]");
//   text->Value();    // "[1,2]"; Length() is 5
#ifndef KVL_STRINGS_C_STRING_H_
#define KVL_STRINGS_C_STRING_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"

namespace kvl {

class KVL_EXPORT CString : public Object {
  KVL_DECLARE_CLASS(CString)
 public:
  CString() = default;

  // The contents (property Get); empty when nothing was appended.
  std::string Value() const;
  // Replaces the contents (property Let) with a fresh buffer of
  // value.size() + 100 bytes.
  void SetValue(const std::string& value);
  // Appends `s`, growing the buffer by the rule above.
  void Append(const std::string& s) { AppendBytes(s); }
  // Appends the contents of `c` (which may be this buffer itself); raises
  // 91 when `c` is Nothing.
  void AppendCString(Ref<CString> c);
  // Bytes of contents.
  int32_t Length() const { return used_; }

  // Bytes the buffer holds room for (not published; for the library's own
  // checks of the growth rule).
  int32_t Capacity() const { return capacity_; }
  // The contents without a copy; valid until the next change.
  std::string_view View() const {
    return used_ == 0
               ? std::string_view()
               : std::string_view(buffer_.get(), static_cast<size_t>(used_));
  }
  // Append for text that is not held in a std::string.
  void AppendBytes(std::string_view s);

 private:
  std::unique_ptr<char[]> buffer_;
  int32_t used_ = 0;
  int32_t capacity_ = 0;
};

}  // namespace kvl

#endif  // KVL_STRINGS_C_STRING_H_
