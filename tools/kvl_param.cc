// `kvl param "<text>"`: parses a parameter string and prints what the
// parser made of it:
//
//   command: Ev
//   item: N/I2 = 5
//   item: L/L
//     item: /A = x
//   one-line: Ev N=5 L=[x]
//   reader:
//   Ev  _
//      N=5  _
//      L=[ _
//         x]
//
// Values are shown in the value text form of KVLStrings; the reader form's
// line breaks are printed as plain newlines. A text the parser rejects
// prints "error: <LastError>" to stderr and exits with 1.
#include "tools/kvl_param.h"

#include <cstdio>
#include <string>

#include "kvl/params/param_string.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/strings/kvl_strings.h"

namespace kvl {
namespace {

std::string ValueText(const Variant& value) {
  try {
    return Strings().CVariantToStr(value);
  } catch (const KVLError&) {
    return "<" + TypeName(value) + ">";
  }
}

void PrintItems(const ParamItem& parent, int depth) {
  const CVParamItem* children = parent.Children();
  if (!children) return;
  for (const Ref<ParamItem>& item : children->slots().elements()) {
    if (!item) continue;
    std::string line(static_cast<size_t>(depth) * 2, ' ');
    line += "item: " + item->Keyword() + "/" + item->ParamTypeString();
    if (item->Children()) {
      std::printf("%s\n", line.c_str());
      PrintItems(*item, depth + 1);
    } else {
      std::printf("%s = %s\n", line.c_str(), ValueText(item->Value()).c_str());
    }
  }
}

std::string WithoutCarriageReturns(std::string text) {
  std::string out;
  for (char c : text)
    if (c != '\r') out += c;
  return out;
}

}  // namespace

int ParamCommand(const std::string& text) {
  Ref<ParamString> ps = MakeRef<ParamString>();
  if (!ps->Parse(text)) {
    std::fprintf(stderr, "error: %s\n", ps->LastError().c_str());
    return 1;
  }
  std::printf("command: %s\n", ps->Command().c_str());
  PrintItems(*ps->params(), 0);
  std::printf("one-line: %s\n", ps->ToString().c_str());
  std::printf("reader:\n%s\n",
              WithoutCarriageReturns(ps->ToString(true)).c_str());
  return 0;
}

}  // namespace kvl
