// The word splitter of event strings («Foo/To/Whatever K1=V1 K2='a b'») and
// listener strings («Foo/To/* K*=V* Flag»), shared by
// EventBus::SendString and the listener string parser.
//
// A word ends at a blank outside quotes and outside (), [] and {}; a
// backslash keeps the character after it in the word (also inside quotes);
// the last character of the text never ends a word, so one trailing blank
// stays in the last word. Quotes and brackets stay in the words.
#ifndef KVL_EVENTS_INTERNAL_EVENT_WORDS_H_
#define KVL_EVENTS_INTERNAL_EVENT_WORDS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kvl/runtime/export.h"

namespace kvl::internal {

// The 1-based position of the blank that ends the word starting at `pos`
// of `s`, scanning while the position is below `hi`; 0 when the word runs
// to the end.
KVL_INTERNAL_EXPORT int32_t FindWordEnd(std::string_view s, int32_t pos,
                                        int32_t hi);

// `s` cut into words: the first word (possibly empty) and then each word
// after the blanks that end the one before. `s` is not trimmed.
KVL_INTERNAL_EXPORT std::vector<std::string> SplitEventWords(
    const std::string& s);

}  // namespace kvl::internal

#endif  // KVL_EVENTS_INTERNAL_EVENT_WORDS_H_
