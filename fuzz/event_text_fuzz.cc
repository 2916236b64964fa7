// libFuzzer target: arbitrary bytes, mostly broken UTF-8, as event strings,
// listener strings, wildcard patterns and scanned lines. Nothing may crash,
// hang, leak or trip the sanitizers, and the character boundaries found
// reading forward and stepping back must agree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "kvl/events/event_bus.h"
#include "kvl/events/wildcard.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/utf8.h"
#include "kvl/strings/kvl_strings.h"

namespace {

void CheckCharacterBoundaries(std::string_view text) {
  std::vector<size_t> starts;
  for (size_t i = 0; i < text.size(); i += kvl::Utf8CharLength(text, i))
    starts.push_back(i);
  size_t end = text.size();
  for (size_t k = starts.size(); k-- > 0;) {
    end = kvl::Utf8CharStartBefore(text, end);
    if (end != starts[k]) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  CheckCharacterBoundaries(text);

  // The text against itself and its halves as wildcard patterns.
  const std::string_view half(text.data(), size / 2);
  kvl::WildcardMatch(text, text);
  kvl::WildcardMatch(text, half);
  kvl::WildcardMatch(half, text);

  // Every word of the line, as the string functions cut it.
  const auto hi = static_cast<int32_t>(size);
  std::string word;
  for (int32_t pos = 1; pos <= hi;) {
    const int32_t next = kvl::Strings().GetNextWord(text, pos, hi, word);
    pos = next > pos ? next : pos + 1;
  }

  auto bus = kvl::MakeRef<kvl::EventBus>();
  auto receiver = kvl::MakeRef<kvl::DynamicObject>("Receiver");
  receiver->OnMethod("EventHandler",
                     [](std::span<kvl::Variant>) { return kvl::Variant(); });
  try {
    bus->ListenString(receiver, text);
    bus->MonitorString(receiver, std::string(half));
    bus->SendString(text);
    bus->SendString(std::string(half));
    bus->FireAllEvents();
  } catch (const kvl::KVLError&) {
    // A refused text is an answer, not a fault.
  }
  bus->UnlistenAll(nullptr);
  return 0;
}
