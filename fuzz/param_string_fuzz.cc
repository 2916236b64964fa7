// libFuzzer target: ParamString.Parse on arbitrary bytes, then the written
// forms of whatever it accepted, read back again. Nothing may crash, hang,
// leak or trip the sanitizers; the parse result itself is not checked.
#include <cstddef>
#include <cstdint>
#include <string>

#include "kvl/params/param_string.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using kvl::MakeRef;
  using kvl::ParamString;
  using kvl::Ref;
  const std::string text(reinterpret_cast<const char*>(data), size);
  Ref<ParamString> ps = MakeRef<ParamString>();
  if (!ps->Parse(text)) return 0;
  const std::string written = ps->ToString();
  ps->ToString(true);
  ps->SetShowTypes(true);
  const std::string typed = ps->ToString();
  Ref<ParamString> again = MakeRef<ParamString>();
  again->Parse(written);
  again->Parse(typed);
  ps->ValueByIndex("k", kvl::Variant(int16_t{2}));
  for (Ref<kvl::ParamItem> item = ps->FirstItem(); item; item = ps->NextItem())
    item->ItemByIndex(item->Keyword());
  return 0;
}
