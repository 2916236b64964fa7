// KVLStrings: the text functions that the library uses wherever it reads or
// writes its small text formats.
//
// - Escapes and quoting of keyword=value text: ExtractKeyAndValue,
//   ReplaceEscapes, AddEscapes, Enquote, EnquoteIfNeeded, StripQuotes, ...
// - Scanning a line by 1-based byte positions: SkipWhite, FindDelim,
//   GetNextWord, ...
// - The value text form of a variant, read and written in two generations:
//   CStrToVariant / CVariantToStr and II_CStrToVariant / II_CVariantToStr
//   («12», «'12'», «True», «[1,x y,2.5]», «0A 01 FF», "!!EMPTY!!").
// - NUL-terminated data to text: StrZToStr, BytesToStr, WordsToStr.
//
// Text is UTF-8. Positions count bytes; comparisons of characters ignore
// ASCII letter case. The 8-bit "ANSI code" of a character is its byte value:
// a character of several bytes is not printable, and its escape is the
// "\xHH" escape of each of its bytes, so that escaping and ReplaceEscapes
// give back the same bytes (docs/platform-notes.md, "Strings").
//
// A global class (kind 1): clients reach it with GlobalObject("KVLStrings");
// the library's own code calls the internal instance through Strings().
// Apart from a lazily built character set it has no state; each thread has
// its own instances and uses them on that thread.
//
//   KVLStrings& s = Strings();
//   std::string k, v;
//   s.ExtractKeyAndValue("Name='a b'", k, v);       // true: "Name", "a b"
//   s.EnquoteIfNeeded("it's");                      // "\"it's\""
//   Variant list = s.CStrToVariant("[1, 'x y']", false);   // bounds 0..2
//   s.CVariantToStr(list);                          // "[1,x y]"
#ifndef KVL_STRINGS_KVL_STRINGS_H_
#define KVL_STRINGS_KVL_STRINGS_H_

#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

class KVL_EXPORT KVLStrings : public Object {
  KVL_DECLARE_CLASS(KVLStrings)
 public:
  KVLStrings() = default;

  // ---- escapes and quoting ----

  // Splits «key=value» at the first "=" that leaves at least one byte on
  // each side. On success `k` is the text before it, `v` the text after it
  // with enclosing quotes removed and escapes decoded, and the result is a
  // boolean true; otherwise the result is false and `k`, `v` keep their
  // values. Nothing is trimmed.
  Variant ExtractKeyAndValue(const std::string& s, std::string& k,
                             std::string& v) const;
  // Decodes \\ \n \t \r \b \a \f \' \" (letters in any case) and \x with up
  // to two hexadecimal digits (the byte of that value; none gives NUL). A
  // backslash before anything else, or at the end, stays as it is.
  std::string ReplaceEscapes(const std::string& s) const;
  // A 16-bit integer: 0-15 for one hexadecimal digit, else -1.
  Variant HexValue(const std::string& ch) const;
  // `s` without its enclosing quotes when IsQuoted(s) and it is longer than
  // two bytes; otherwise `s` unchanged.
  std::string StripQuotes(const std::string& s) const;
  // Enquote(s) when NeedsQuotes(s), else `s`.
  std::string EnquoteIfNeeded(const std::string& s) const;
  // False for a quoted text; true for a text that is empty or spaces only,
  // or that holds a space, "'", "=", a control character (0-31) or DEL.
  bool NeedsQuotes(const std::string& s) const;
  // True for two or more bytes whose first and last are both "'" or both
  // the double quotation mark.
  bool IsQuoted(const std::string& s) const;
  // `s` escaped and enclosed in "'", or in double quotation marks when it
  // contains a "'". Quote characters inside are not escaped.
  std::string Enquote(const std::string& s) const;
  // The first character of `quote`, AddEscapes(s), the last character of
  // `quote` («[]» brackets the text).
  std::string EnquoteWith(const std::string& s, const std::string& quote) const;
  // `s` with CR, LF, FF, BS, TAB and BEL as \r \n \f \b \t \a, printable
  // ASCII as it is, and every other byte as its \xHH escape. `extras` does
  // not change the result.
  std::string AddEscapes(const std::string& s, const std::string& extras) const;
  // True when the first byte of `ch` is printable ASCII (32-126). Raises 5
  // for an empty text.
  bool IsPrint(const std::string& ch) const;
  // "\x" and the code of the first character of `ch` in upper-case
  // hexadecimal without leading zeros («\x7», «\x1B»); a character of
  // several bytes gives one escape per byte. Raises 5 for an empty text.
  std::string MakeHexEscape(const std::string& ch) const;

  // ---- scanning by 1-based byte positions ----
  //
  // Each function looks at positions lo (or pos) to hi of its text. A
  // position past the end reads as an empty character, which is a
  // delimiter and not a blank, so it is returned once reached. Raises 5
  // when a position below 1 would be read; raises 6 when the result would
  // not fit in 32 bits.

  // The first position in lo..hi of a character that occurs in `delim`
  // (ignoring case), else hi + 1.
  int32_t FindDelim(const std::string& astr, const std::string& delim,
                    int32_t lo, int32_t hi) const;
  // FindDelim with the space alone (a tab is not white).
  int32_t FindWhite(const std::string& astr, int32_t lo, int32_t hi) const;
  // Skips blanks from `pos`, then cuts `theWord` up to the next of
  // « (),=»; returns the position of that delimiter (which the caller
  // consumes). When only blanks remain up to `hi`, `theWord` becomes empty
  // and the result is the first position after them.
  int32_t GetNextWord(const std::string& the_line, int32_t pos, int32_t hi,
                      std::string& the_word) const;
  // FindWhite(the_line, pos, hi).
  int32_t SkipWord(const std::string& the_line, int32_t pos, int32_t hi) const;
  // The first position in lo..hi whose character is not a space, else
  // hi + 1.
  int32_t SkipWhite(const std::string& astr, int32_t lo, int32_t hi) const;

  // ---- value text ----

  // Reads the value text form: a byte string when `is_binary` (one byte,
  // or a byte array with a spare trailing slot), a list for «[...]» (a
  // variant array 0..N with a spare empty slot), else a scalar: 16-bit,
  // 32-bit or decimal integer, single or double, boolean, or string. Never
  // raises: malformed lists and byte strings give Empty.
  Variant CStrToVariant(const std::string& s, bool is_binary) const;
  // Writes the value text form; raises 9 for an array without index 0.
  std::string CVariantToStr(const Variant& v) const;

  // ---- NUL-terminated data ----

  // The part of `s` before its first NUL byte.
  std::string StrZToStr(const std::string& s) const;
  // Words 0 .. upper bound - 1 of the array `w`, each high byte first, as
  // text up to the first NUL. Raises 13 when `w` is not an array, 9 when it
  // has no index 0 to read.
  std::string WordsToStr(const Variant& w) const;
  // The bytes of the array `ab` as text, up to the first NUL. Raises 13
  // when `ab` is not an array.
  std::string BytesToStr(const Variant& ab) const;
  // `w` with its two bytes exchanged (0x1234 gives 0x3412).
  int16_t SwapWordBytes(int16_t w) const;

  // Second generation of the value text form: a quoted scalar is unquoted
  // only when its inner text is numeric, and only numeric strings are
  // quoted when written. Lists and byte strings as above.
  Variant II_CStrToVariant(const std::string& s, bool is_binary) const;
  std::string II_CVariantToStr(const Variant& v) const;

 private:
  const std::bitset<256>& QuotingSet() const;

  // Built on first use by NeedsQuotes.
  mutable std::bitset<256> quoting_set_;
  mutable bool quoting_set_built_ = false;
};

// The library's shared internal instance on this thread, made when the
// library starts. Other subsystems call the string functions through it.
KVL_EXPORT KVLStrings& Strings();

}  // namespace kvl

#endif  // KVL_STRINGS_KVL_STRINGS_H_
