// libFuzzer target: ParamString.Parse on arbitrary bytes, then the written
// forms of whatever it accepted, read back again. Nothing may crash, hang,
// leak or trip the sanitizers.
//
// Round trip: for every text that parses, writing the tree, parsing what
// was written and writing again gives the same text; the fuzzer aborts
// when it does not. The written form has no escapes and writes some values
// in a text the parser reads as something else, so the property is checked
// only for trees that hold none of these values:
// - a string holding a quote character: a quoted string ends at the next
//   quote of its kind, and a text enclosed in apostrophes is written bare
//   and loses them when read;
// - a string the quoting rule leaves bare although it does not read back
//   as that string on its own: a boolean word, a number without a leading
//   digit (".5"), text that starts with a character no word starts with;
// - a string value at the top level without a keyword: it is written as a
//   bare word, which reads back as a keyword (or as the command);
// - a string whose ParamType is not a string type (a declared type that
//   did not convert it): written without quotes by the value text form;
// - an array, a byte array or an empty value: the value text form writes
//   arrays in square brackets, which read back as a list, byte arrays as
//   hexadecimal bytes, and an empty value as "!!EMPTY!!";
// - a double whose text does not read back as a double: a positive
//   exponent ("1E+300", a plus sign after the exponent mark stops the
//   tokenizer), or a whole number beyond 32 bits ("99999999999", text);
// - an empty list: the grammar accepts none, so the text around one reads
//   back only as far as the building pass gets (a command before it
//   becomes a keyword, a list holding it ends there);
// - a written text longer than a parameter string may be (long padded
//   strings, «S/A[30000]=x»).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "kvl/frame/kvl_types.h"
#include "kvl/params/param_string.h"
#include "kvl/runtime/variant_convert.h"

namespace {

using kvl::CVParamItem;
using kvl::MakeRef;
using kvl::ParamItem;
using kvl::ParamString;
using kvl::Ref;
using kvl::Variant;

bool IsStringType(int16_t type) {
  return type == kvl::ST_Ascii || type == kvl::ST_String;
}

// Whether a value written as `text` reads back as a value written the same.
bool ValueTextReadsBack(const std::string& text) {
  Ref<ParamString> ps = MakeRef<ParamString>();
  return ps->Parse("C K=" + text) && ps->ToString() == "C K=" + text;
}

// Whether the written form carries `item` and everything below it (see the
// list above).
bool Carries(const ParamItem& item, bool top_level) {
  if (const CVParamItem* children = item.Children()) {
    if (children->Count() == 0) return false;
    for (const Ref<ParamItem>& child : children->slots().elements())
      if (!Carries(*child, item.Root())) return false;
    return true;
  }
  const Variant& value = item.Value();
  if (value.is_string()) {
    const std::string& text = value.AsString();
    if (!IsStringType(item.ParamType())) return false;
    if (text.find_first_of("'\"") != std::string::npos) return false;
    if (top_level && item.Keyword().empty()) return false;
    return kvl::NeedsQuoting(text) || ValueTextReadsBack(text);
  }
  if (value.type() == kvl::VarType::kR8)
    return ValueTextReadsBack(kvl::ToText(value));
  return value.type() == kvl::VarType::kI2 ||
         value.type() == kvl::VarType::kI4 ||
         value.type() == kvl::VarType::kBool;
}

void CheckRoundTrip(const std::string& input, const ParamString& ps) {
  const Ref<ParamItem> root = ps.AsParamItem();
  if (!Carries(*root, false)) return;
  const std::string written = ps.ToString();
  if (written.size() > 32767) return;
  Ref<ParamString> again = MakeRef<ParamString>();
  const bool accepted = again->Parse(written);
  const std::string rewritten = again->ToString();
  if (accepted && rewritten == written) return;
  std::fprintf(stderr,
               "round trip failed\n  input:     %s\n  written:   %s\n"
               "  rewritten: %s (%s)\n",
               input.c_str(), written.c_str(), rewritten.c_str(),
               accepted ? "accepted" : again->LastError().c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Ref<ParamString> ps = MakeRef<ParamString>();
  if (!ps->Parse(text)) return 0;
  CheckRoundTrip(text, *ps);
  const std::string written = ps->ToString();
  ps->ToString(true);
  ps->SetShowTypes(true);
  const std::string typed = ps->ToString();
  Ref<ParamString> again = MakeRef<ParamString>();
  again->Parse(written);
  again->Parse(typed);
  ps->ValueByIndex("k", Variant(int16_t{2}));
  for (Ref<ParamItem> item = ps->FirstItem(); item; item = ps->NextItem())
    item->ItemByIndex(item->Keyword());
  return 0;
}
