#include "kvl/strings/kvl_strings.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "kvl/frame/catalogue.h"
#include "kvl/frame/library.h"
#include "kvl/runtime/ascii.h"
#include "kvl/runtime/checked.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/utf8.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/strings/internal/text_chars.h"
#include "kvl/strings/internal/value_text.h"

namespace kvl {

using strings_internal::ValueTextForm;

namespace {

constexpr std::string_view kWordDelimiters = " (),=";

bool IsPrintByte(unsigned char c) {
  return c >= 32 && c < 127;
}

// "\x" and `byte` in upper-case hexadecimal without leading zeros.
void AppendHexEscape(std::string& out, unsigned char byte) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  out += "\\x";
  if (byte >= 16) out += kDigits[byte >> 4];
  out += kDigits[byte & 15];
}

// The first position p in lo..hi (1-based, by characters) whose character
// `stop` accepts, or past the end of `text`; hi + 1 when there is none.
template <class Stop>
int32_t Scan(std::string_view text, int32_t lo, int32_t hi, Stop stop) {
  const int64_t length = static_cast<int64_t>(text.size());
  int64_t p = lo;
  while (p <= hi) {
    if (p < 1) Raise(kErrInvalidArgument);
    if (p > length) return static_cast<int32_t>(p);
    const size_t at = static_cast<size_t>(p - 1);
    const size_t n = Utf8CharLength(text, at);
    if (stop(text.substr(at, n))) return static_cast<int32_t>(p);
    p += static_cast<int64_t>(n);
  }
  return CheckedAdd(hi, 1);
}

bool InCharSet(std::string_view ch, std::string_view set) {
  for (size_t j = 0; j < set.size();) {
    const size_t n = Utf8CharLength(set, j);
    if (EqualsNoCase(ch, set.substr(j, n))) return true;
    j += n;
  }
  return false;
}

const SafeArray& ArrayArgument(const Variant& v) {
  if (!v.is_array()) Raise(kErrTypeMismatch);
  return v.Array();
}

}  // namespace

const ClassInfo& KVLStrings::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<KVLStrings>("KVLStrings", ClassKind::kGlobal)
          .Method<&KVLStrings::ExtractKeyAndValue>(
              "ExtractKeyAndValue", {RefArg("s"), Arg("k"), Arg("v")})
          .Method<&KVLStrings::ReplaceEscapes>("ReplaceEscapes", {RefArg("s")})
          .Method<&KVLStrings::HexValue>("HexValue", {RefArg("ch")})
          .Method<&KVLStrings::StripQuotes>("StripQuotes", {RefArg("s")})
          .Method<&KVLStrings::EnquoteIfNeeded>("EnquoteIfNeeded",
                                                {RefArg("s")})
          .Method<&KVLStrings::NeedsQuotes>("NeedsQuotes", {RefArg("s")})
          .Method<&KVLStrings::IsQuoted>("IsQuoted", {RefArg("s")})
          .Method<&KVLStrings::Enquote>("Enquote", {RefArg("s")})
          .Method<&KVLStrings::EnquoteWith>("EnquoteWith",
                                            {RefArg("s"), RefArg("quote")})
          .Method<&KVLStrings::AddEscapes>("AddEscapes",
                                           {RefArg("s"), RefArg("extras")})
          .Method<&KVLStrings::IsPrint>("IsPrint", {RefArg("ch")})
          .Method<&KVLStrings::MakeHexEscape>("MakeHexEscape", {RefArg("ch")})
          .Method<&KVLStrings::FindDelim>(
              "FindDelim",
              {RefArg("astr"), RefArg("delim"), Arg("lo"), RefArg("hi")})
          .Method<&KVLStrings::FindWhite>(
              "FindWhite", {RefArg("astr"), Arg("lo"), RefArg("hi")})
          .Method<&KVLStrings::GetNextWord>(
              "GetNextWord",
              {RefArg("theLine"), Arg("pos"), RefArg("hi"), Arg("theWord")})
          .Method<&KVLStrings::SkipWord>(
              "SkipWord", {RefArg("theLine"), Arg("pos"), RefArg("hi")})
          .Method<&KVLStrings::SkipWhite>(
              "SkipWhite", {RefArg("astr"), Arg("lo"), RefArg("hi")})
          .Method<&KVLStrings::CStrToVariant>("CStrToVariant",
                                              {RefArg("s"), RefArg("isBinary")})
          .Method<&KVLStrings::CVariantToStr>("CVariantToStr", {RefArg("v")})
          .Method<&KVLStrings::StrZToStr>("StrZToStr", {RefArg("s")})
          // The array parameters are taken as Variants and published with
          // their array kinds.
          .Method<&KVLStrings::WordsToStr>(
              "WordsToStr", {RefArg("w").Of(VarType::kArray | VarType::kI2)})
          .Method<&KVLStrings::BytesToStr>(
              "BytesToStr",
              {RefArg("ab").Of(VarType::kArray | VarType::kByte)})
          .Method<&KVLStrings::SwapWordBytes>("SwapWordBytes", {Arg("w")})
          .Method<&KVLStrings::II_CStrToVariant>(
              "II_CStrToVariant", {RefArg("s"), RefArg("isBinary")})
          .Method<&KVLStrings::II_CVariantToStr>("II_CVariantToStr",
                                                 {RefArg("v")})
          .Build();
  return info;
}

KVL_REGISTER_CLASS(KVLStrings)

KVLStrings& Strings() {
  return InternalInstance<KVLStrings>();
}

// ---- escapes and quoting ---------------------------------------------------

Variant KVLStrings::ExtractKeyAndValue(const std::string& s, std::string& k,
                                       std::string& v) const {
  // The first "=" after the first byte; it must not be the last byte.
  const size_t eq = s.find('=', 1);
  if (eq == std::string::npos || eq + 1 >= s.size()) return Variant(false);
  k = s.substr(0, eq);
  v = ReplaceEscapes(StripQuotes(s.substr(eq + 1)));
  return Variant(true);
}

std::string KVLStrings::ReplaceEscapes(const std::string& s) const {
  std::string out;
  out.reserve(s.size());
  const size_t n = s.size();
  size_t i = 0;
  while (i < n) {
    const char c = s[i];
    if (c != '\\' || i + 1 == n) {
      out += c;
      ++i;
      continue;
    }
    const char next = s[i + 1];
    i += 2;
    switch (next) {
      case '\\': out += '\\'; break;
      case 'n':
      case 'N': out += '\n'; break;
      case 't':
      case 'T': out += '\t'; break;
      case 'r':
      case 'R': out += '\r'; break;
      case 'b':
      case 'B': out += '\b'; break;
      case 'a':
      case 'A': out += '\a'; break;
      case 'f':
      case 'F': out += '\f'; break;
      case '\'': out += '\''; break;
      case '"': out += '"'; break;
      case 'x':
      case 'X': {
        int value = 0;
        for (int digits = 0; digits < 2 && i < n; ++digits, ++i) {
          const int d = HexDigitValue(s[i]);
          if (d < 0) break;
          value = value * 16 + d;
        }
        out += static_cast<char>(value);
        break;
      }
      default:
        out += '\\';
        out += next;
        break;
    }
  }
  return out;
}

Variant KVLStrings::HexValue(const std::string& ch) const {
  const int value = ch.size() == 1 ? HexDigitValue(ch[0]) : -1;
  return Variant(static_cast<int16_t>(value));
}

std::string KVLStrings::StripQuotes(const std::string& s) const {
  if (s.size() > 2 && IsQuoted(s)) return s.substr(1, s.size() - 2);
  return s;
}

std::string KVLStrings::EnquoteIfNeeded(const std::string& s) const {
  return NeedsQuotes(s) ? Enquote(s) : s;
}

const std::bitset<256>& KVLStrings::QuotingSet() const {
  if (!quoting_set_built_) {
    for (int c = 0; c < 32; ++c) quoting_set_.set(static_cast<size_t>(c));
    quoting_set_.set(' ');
    quoting_set_.set('\'');
    quoting_set_.set('=');
    quoting_set_.set(127);
    quoting_set_built_ = true;
  }
  return quoting_set_;
}

bool KVLStrings::NeedsQuotes(const std::string& s) const {
  if (IsQuoted(s)) return false;
  if (strings_internal::TrimSpaces(s).empty()) return true;
  const std::bitset<256>& set = QuotingSet();
  for (char c : s)
    if (set.test(static_cast<unsigned char>(c))) return true;
  return false;
}

bool KVLStrings::IsQuoted(const std::string& s) const {
  return s.size() >= 2 && s.front() == s.back() &&
         (s.front() == '\'' || s.front() == '"');
}

std::string KVLStrings::Enquote(const std::string& s) const {
  return EnquoteWith(s, s.find('\'') == std::string::npos ? "'" : "\"");
}

std::string KVLStrings::EnquoteWith(const std::string& s,
                                    const std::string& quote) const {
  std::string out(FirstUtf8Char(quote));
  out += AddEscapes(s, quote);
  out += LastUtf8Char(quote);
  return out;
}

std::string KVLStrings::AddEscapes(const std::string& s,
                                   const std::string& /*extras*/) const {
  std::string out;
  out.reserve(s.size() + 2);
  for (char c : s) {
    switch (c) {
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\a': out += "\\a"; break;
      default: {
        const auto byte = static_cast<unsigned char>(c);
        // The bytes of a character of several bytes are escaped one by
        // one, as MakeHexEscape does.
        if (IsPrintByte(byte)) {
          out += c;
        } else {
          AppendHexEscape(out, byte);
        }
      }
    }
  }
  return out;
}

bool KVLStrings::IsPrint(const std::string& ch) const {
  if (ch.empty()) Raise(kErrInvalidArgument);
  return IsPrintByte(static_cast<unsigned char>(ch[0]));
}

std::string KVLStrings::MakeHexEscape(const std::string& ch) const {
  if (ch.empty()) Raise(kErrInvalidArgument);
  std::string out;
  for (char c : FirstUtf8Char(ch))
    AppendHexEscape(out, static_cast<unsigned char>(c));
  return out;
}

// ---- scanning --------------------------------------------------------------

int32_t KVLStrings::FindDelim(const std::string& astr, const std::string& delim,
                              int32_t lo, int32_t hi) const {
  return Scan(astr, lo, hi,
              [&](std::string_view ch) { return InCharSet(ch, delim); });
}

int32_t KVLStrings::FindWhite(const std::string& astr, int32_t lo,
                              int32_t hi) const {
  return Scan(astr, lo, hi, [](std::string_view ch) { return ch == " "; });
}

int32_t KVLStrings::GetNextWord(const std::string& the_line, int32_t pos,
                                int32_t hi, std::string& the_word) const {
  const int32_t start = SkipWhite(the_line, pos, hi);
  if (start > hi) {
    the_word.clear();
    return start;
  }
  const int32_t end = Scan(the_line, start, hi, [](std::string_view ch) {
    return InCharSet(ch, kWordDelimiters);
  });
  // start may be just past the end of the line; the word is then empty.
  const size_t first = static_cast<size_t>(start - 1);
  the_word = first < the_line.size()
                 ? the_line.substr(first, static_cast<size_t>(end - start))
                 : std::string();
  return end;
}

int32_t KVLStrings::SkipWord(const std::string& the_line, int32_t pos,
                             int32_t hi) const {
  return FindWhite(the_line, pos, hi);
}

int32_t KVLStrings::SkipWhite(const std::string& astr, int32_t lo,
                              int32_t hi) const {
  return Scan(astr, lo, hi, [](std::string_view ch) { return ch != " "; });
}

// ---- value text ------------------------------------------------------------

Variant KVLStrings::CStrToVariant(const std::string& s, bool is_binary) const {
  return strings_internal::ReadValueText(s, is_binary, ValueTextForm::kFirst);
}

std::string KVLStrings::CVariantToStr(const Variant& v) const {
  return strings_internal::WriteValueText(v, ValueTextForm::kFirst);
}

Variant KVLStrings::II_CStrToVariant(const std::string& s,
                                     bool is_binary) const {
  return strings_internal::ReadValueText(s, is_binary, ValueTextForm::kSecond);
}

std::string KVLStrings::II_CVariantToStr(const Variant& v) const {
  return strings_internal::WriteValueText(v, ValueTextForm::kSecond);
}

// ---- NUL-terminated data ---------------------------------------------------

std::string KVLStrings::StrZToStr(const std::string& s) const {
  return s.substr(0, s.find('\0'));
}

std::string KVLStrings::WordsToStr(const Variant& w) const {
  const SafeArray& words = ArrayArgument(w);
  // Words 0 .. upper - 1, each high byte first, then a final NUL.
  std::string bytes;
  const int32_t upper = words.upper();
  if (upper > 0) bytes.reserve(2 * static_cast<size_t>(upper) + 1);
  for (int32_t i = 0; i < upper; ++i) {
    const auto swapped =
        static_cast<uint16_t>(SwapWordBytes(ToI2(words.At(i))));
    // The swapped word as it lies in memory, low byte first.
    bytes += static_cast<char>(swapped & 0xFF);
    bytes += static_cast<char>(swapped >> 8);
  }
  bytes += '\0';
  return StrZToStr(bytes);
}

std::string KVLStrings::BytesToStr(const Variant& ab) const {
  const SafeArray& bytes = ArrayArgument(ab);
  std::string text;
  text.reserve(static_cast<size_t>(bytes.size()));
  for (const Variant& b : bytes.items())
    text +=
        static_cast<char>(b.type() == VarType::kByte ? b.AsByte() : ToByte(b));
  return StrZToStr(text);
}

int16_t KVLStrings::SwapWordBytes(int16_t w) const {
  const auto u = static_cast<uint16_t>(w);
  return static_cast<int16_t>(static_cast<uint16_t>((u << 8) | (u >> 8)));
}

}  // namespace kvl
