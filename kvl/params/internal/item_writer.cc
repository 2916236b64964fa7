#include "kvl/params/internal/item_writer.h"

#include <charconv>

#include "kvl/frame/kvl_types.h"
#include "kvl/params/param_item.h"
#include "kvl/params/tokens.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/strings/kvl_strings.h"

namespace kvl::internal {
namespace {

void AppendNumber(std::string& out, int64_t n) {
  char buf[24];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, n);
  out.append(buf, end);
}

bool BlankOnly(std::string_view s) {
  return s.find_first_not_of(' ') == std::string_view::npos;
}

// The value text form; a value that cannot be written adds nothing.
void AppendValueText(std::string& out, const Variant& value,
                     const WriteStyle& style) {
  try {
    out += style.strings->CVariantToStr(value);
  } catch (const KVLError&) {
  }
}

void AppendQuoted(std::string& out, const Variant& value,
                  const WriteStyle& style) {
  std::string converted;
  std::string_view text;
  if (value.is_string()) {
    text = value.AsString();
  } else if (value.is_array() || value.is_object()) {
    // No text of its own: written in the value text form instead.
    AppendValueText(out, value, style);
    return;
  } else {
    converted = ToText(value);
    text = converted;
  }
  if (NeedsQuoting(text) || !style.smart_quotes) {
    std::string_view q = style.quote_chars;
    if (!q.empty()) out += q[0];
    out += text;
    if (q.size() > 1) out += q[1];
  } else {
    out += text;
  }
}

}  // namespace

void WriteItem(std::string& out, const ParamItem& item, const WriteStyle& style,
               int32_t indent) {
  const size_t begin = out.size();
  if (style.reader) out.append(static_cast<size_t>(indent) * 3, ' ');
  const Variant& value = item.Value();
  if (!item.Root() && !item.Keyword().empty()) {
    out += item.Keyword();
    if (item.ShowTypes()) {
      out += '/';
      out += TypeFlagToSuffix(item.ParamType());
      if (value.is_array()) {
        out += '[';
        AppendNumber(out, value.Array().upper());
        out += ']';
      } else if (value.is_string()) {
        out += '[';
        AppendNumber(out, static_cast<int64_t>(value.AsString().size()));
        out += ']';
      }
    }
    out += '=';
  }
  switch (item.ParamType()) {
    case ST_List: {
      const CVParamItem* children = item.Children();
      if (!children) {
        // A list type over a value that is not a container: the value is
        // written as it is rather than lost.
        AppendValueText(out, value, style);
        break;
      }
      if (item.Root()) {
        out += item.Keyword();
        out += ' ';
      } else {
        out += '[';
      }
      const auto& elements = children->slots().elements();
      const size_t count = elements.size();
      for (size_t i = 0; i < count; ++i) {
        if (style.reader && !BlankOnly(std::string_view(out).substr(begin))) {
          out += " _\r\n";
        }
        if (const ParamItem* child = elements[i].get())
          WriteItem(out, *child, style, indent + 1);
        if (i + 1 < count) out += item.Root() ? " " : ", ";
      }
      if (!item.Root()) out += ']';
      break;
    }
    case ST_String:
    case ST_Ascii: AppendQuoted(out, value, style); break;
    default: AppendValueText(out, value, style); break;
  }
}

}  // namespace kvl::internal
