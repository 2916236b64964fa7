// The writer of parameter-string trees (ParamItem::ToString and
// ParamString::ToString): appends the text of an item to a buffer instead
// of building and copying a string per item.
#ifndef KVL_PARAMS_INTERNAL_ITEM_WRITER_H_
#define KVL_PARAMS_INTERNAL_ITEM_WRITER_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace kvl {
class ParamItem;
class KVLStrings;
}  // namespace kvl

namespace kvl::internal {

// The settings of the item whose ToString was called; they hold for the
// whole text.
struct WriteStyle {
  bool smart_quotes = false;
  std::string_view quote_chars;
  bool reader = false;
  KVLStrings* strings = nullptr;
};

// Appends the text of `item` at `indent` levels to `out`.
void WriteItem(std::string& out, const ParamItem& item, const WriteStyle& style,
               int32_t indent);

}  // namespace kvl::internal

#endif  // KVL_PARAMS_INTERNAL_ITEM_WRITER_H_
