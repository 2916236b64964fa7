// Wildcard match: the pattern test of the event bus, for anyone who needs
// the same rule (event names, qualifier keywords and values, browsing).
//
// A pattern matches the whole text, ignoring the case of ASCII letters:
//   «*»        any run of characters, also none
//   «?»        any one character
//   «#»        one decimal digit 0-9
//   «[list]»   one character of the list; «[a-z]» a range, «[!list]» one
//              character not in the list; lists and ranges combine
//              («[!a-cx#]»). A «]» right after «[» or «[!» is a member, a
//              «-» first or last is itself, a range whose ends are reversed
//              («[z-a]») matches nothing, and a «[» without its closing «]»
//              is an ordinary character.
// Every other character matches itself. A character is one well-formed
// UTF-8 sequence (so «?» matches «é»); a byte that is not part of one is a
// character of its own. Without wildcards a pattern means equality
// ignoring case; the empty pattern matches only the empty text.
//
// Cost: the match never backtracks. Segments between stars are placed at
// their leftmost position (which is optimal for this pattern language), the
// segment after the last star is anchored at the end of the text, and a
// long segment is searched with a bit-parallel scan, so a match takes
// O(text length × max(8, longest segment / 64)) steps whatever the pattern.
//
// WildcardPattern compiles a pattern once for repeated tests; WildcardMatch
// compiles and tests in one call. A compiled pattern is immutable and may be
// shared between threads.
//
//   WildcardMatch("Job/To/Printer", "job/to/*");        // true
//   WildcardPattern p("K[0-9]#");
//   p.Matches("k12");                                   // true
#ifndef KVL_EVENTS_WILDCARD_H_
#define KVL_EVENTS_WILDCARD_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kvl/runtime/export.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {

class KVL_EXPORT WildcardPattern {
 public:
  // The empty pattern.
  WildcardPattern() = default;
  explicit WildcardPattern(std::string_view pattern);

  // True when `text` as a whole matches the pattern.
  bool Matches(std::string_view text) const {
    switch (shape_) {
      case Shape::kEverything: return true;
      case Shape::kLiteral: return EqualsNoCase(text, literal_);
      case Shape::kPrefix:
        return text.size() >= literal_.size() &&
               EqualsNoCase(text.substr(0, literal_.size()), literal_);
      case Shape::kGeneral: break;
    }
    uint64_t steps = 0;
    return Matches(text, &steps);
  }
  // The same, adding to `*steps` the elementary steps the match took (one
  // per character tested against one pattern element, or against 64
  // elements at once in a bit-parallel scan).
  bool Matches(std::string_view text, uint64_t* steps) const;

  // The pattern text as given.
  const std::string& text() const { return text_; }
  // True when every text matches (the pattern is stars only).
  bool MatchesEverything() const { return shape_ == Shape::kEverything; }
  // True when the pattern has no wildcard, so that it matches exactly the
  // texts equal to it ignoring case.
  bool IsPlain() const { return shape_ == Shape::kLiteral; }

  // Matches for many patterns against one text, with `leading` =
  // LeadingWord(text) computed once: most patterns are decided by it.
  bool MatchesLeading(std::string_view text, uint64_t leading) const {
    if ((leading & prefix_mask_) != prefix_bits_) return false;
    return prefix_decides_ || Matches(text);
  }
  // The first 8 bytes of `text`, ASCII letters folded, zero-padded, in
  // memory order.
  static uint64_t LeadingWord(std::string_view text);

 private:
  enum class Kind : uint8_t { kLiteral, kAny, kDigit, kClass };
  struct Element {
    Kind kind;
    uint32_t code;  // kLiteral: the folded character; kClass: class index
  };
  // A «[...]» list. `ascii` holds the members among the folded ASCII
  // codes; `ranges` the members from code 128 up (no case folding there).
  struct CharClass {
    uint64_t ascii[2] = {0, 0};
    std::vector<std::pair<uint32_t, uint32_t>> ranges;
    bool negated = false;
    bool Contains(uint32_t code) const;
  };
  // Bit-parallel masks of one long segment.
  struct ScanTable;
  struct Segment {
    uint32_t begin = 0;  // element indexes [begin, end)
    uint32_t end = 0;
    std::shared_ptr<const ScanTable> table;  // long middle segments only
  };

  void Compile();
  bool ElementMatches(const Element& e, uint32_t code) const;
  // Matches `seg` at byte `pos`; on success `*end` is the byte after it.
  bool MatchAt(const Segment& seg, std::string_view text, size_t pos,
               size_t* end, uint64_t& steps) const;
  // Finds the leftmost match of `seg` at or after `pos`.
  bool Find(const Segment& seg, std::string_view text, size_t pos, size_t* end,
            uint64_t& steps) const;
  bool ScanFind(const Segment& seg, std::string_view text, size_t pos,
                size_t* end, uint64_t& steps) const;
  std::shared_ptr<const ScanTable> BuildTable(const Segment& seg) const;

  // How Matches decides: most patterns in use are a plain name or a name
  // prefix followed by a star, tested without the element machinery.
  enum class Shape : uint8_t {
    kGeneral,
    kLiteral,     // no wildcard: equality ignoring case with `literal_`
    kPrefix,      // ASCII `literal_` then stars only
    kEverything,  // stars only
  };

  // The leading literal bytes of the pattern (up to 8, folded) that every
  // matching text starts with.
  uint64_t prefix_bits_ = 0;
  uint64_t prefix_mask_ = 0;
  Shape shape_ = Shape::kLiteral;
  // The prefix test alone decides (a short «Name*» pattern).
  bool prefix_decides_ = false;
  std::string literal_;
  std::string text_;
  std::vector<Element> elements_;
  std::vector<CharClass> classes_;
  bool has_star_ = false;
  Segment head_;                  // before the first star (or everything)
  std::vector<Segment> middles_;  // between stars
  Segment tail_;                  // after the last star
};

// True when `text` matches `pattern` (see above).
KVL_EXPORT bool WildcardMatch(std::string_view text, std::string_view pattern);

}  // namespace kvl

#endif  // KVL_EVENTS_WILDCARD_H_
