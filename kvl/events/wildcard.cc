#include "kvl/events/wildcard.h"

#include <algorithm>

#include "kvl/runtime/ascii.h"
#include "kvl/runtime/utf8.h"

namespace kvl {
namespace {

// Middle segments up to this many elements are searched by trying each
// start position; longer ones with the bit-parallel scan.
constexpr uint32_t kNaiveSearchLimit = 8;

// The character at byte `i` as the matcher compares it: ASCII letters
// folded, a stray byte as kUtf8StrayByteBase plus the byte.
inline uint32_t DecodeFolded(std::string_view s, size_t i, size_t* len) {
  return AsciiToLower(static_cast<uint32_t>(DecodeUtf8(s, i, len)));
}

}  // namespace

struct WildcardPattern::ScanTable {
  size_t words = 0;
  // Bit t of ascii[c * words + t / 64]: element t accepts the folded ASCII
  // code c.
  std::vector<uint64_t> ascii;
  // Elements that accept every code from 128 up ...
  std::vector<uint64_t> other;
  // ... and those whose answer for such a code depends on the code.
  std::vector<uint32_t> code_dependent;
};

bool WildcardPattern::CharClass::Contains(uint32_t code) const {
  bool member;
  if (code < 128) {
    member = (ascii[code >> 6] >> (code & 63)) & 1;
  } else {
    member = std::any_of(ranges.begin(), ranges.end(), [&](const auto& r) {
      return code >= r.first && code <= r.second;
    });
  }
  return member != negated;
}

WildcardPattern::WildcardPattern(std::string_view pattern) : text_(pattern) {
  Compile();
}

void WildcardPattern::Compile() {
  const std::string_view p = text_;
  std::vector<uint32_t> cuts;  // element indexes at which a star stands
  size_t i = 0;
  while (i < p.size()) {
    const char c = p[i];
    if (c == '*') {
      has_star_ = true;
      const auto at = static_cast<uint32_t>(elements_.size());
      if (cuts.empty() || cuts.back() != at) cuts.push_back(at);
      ++i;
      continue;
    }
    if (c == '?' || c == '#') {
      elements_.push_back({c == '?' ? Kind::kAny : Kind::kDigit, 0});
      ++i;
      continue;
    }
    if (c == '[') {
      // A list: members, «a-z» ranges, «!» first for the complement.
      size_t j = i + 1;
      CharClass cls;
      if (j < p.size() && p[j] == '!') {
        cls.negated = true;
        ++j;
      }
      std::vector<std::pair<uint32_t, uint32_t>> members;
      bool first = true;
      bool closed = false;
      while (j < p.size()) {
        if (p[j] == ']' && !first) {
          closed = true;
          ++j;
          break;
        }
        first = false;
        size_t len;
        const uint32_t lo = DecodeUtf8(p, j, &len);
        j += len;
        uint32_t hi = lo;
        if (j + 1 < p.size() && p[j] == '-' && p[j + 1] != ']') {
          hi = DecodeUtf8(p, j + 1, &len);
          j += 1 + len;
        }
        if (lo <= hi) members.emplace_back(lo, hi);
      }
      if (closed) {
        auto in = [&](uint32_t code) {
          for (const auto& [lo, hi] : members)
            if (code >= lo && code <= hi) return true;
          return false;
        };
        for (uint32_t ch = 0; ch < 128; ++ch) {
          if (in(AsciiToLower(ch)) || in(AsciiToUpper(ch))) {
            const uint32_t f = AsciiToLower(ch);
            cls.ascii[f >> 6] |= uint64_t{1} << (f & 63);
          }
        }
        for (const auto& [lo, hi] : members)
          if (hi >= 128) cls.ranges.emplace_back(std::max(lo, 128u), hi);
        elements_.push_back(
            {Kind::kClass, static_cast<uint32_t>(classes_.size())});
        classes_.push_back(std::move(cls));
        i = j;
        continue;
      }
      // Without its «]» the «[» is an ordinary character.
    }
    size_t len;
    const uint32_t code = DecodeUtf8(p, i, &len);
    elements_.push_back({Kind::kLiteral, AsciiToLower(code)});
    i += len;
  }

  const auto n = static_cast<uint32_t>(elements_.size());
  if (cuts.empty()) {
    head_ = {0, n, nullptr};
  } else {
    head_ = {0, cuts.front(), nullptr};
    for (size_t k = 0; k + 1 < cuts.size(); ++k) {
      Segment seg{cuts[k], cuts[k + 1], nullptr};
      if (seg.end - seg.begin > kNaiveSearchLimit) seg.table = BuildTable(seg);
      middles_.push_back(std::move(seg));
    }
    tail_ = {cuts.back(), n, nullptr};
  }

  for (size_t k = 0; k < p.size() && k < 8; ++k) {
    const char c = p[k];
    if (c == '*' || c == '?' || c == '#' || c == '[') break;
    prefix_bits_ |= uint64_t{AsciiToLower(static_cast<unsigned char>(c))}
                    << (8 * k);
    prefix_mask_ |= uint64_t{0xFF} << (8 * k);
  }
  const bool literal_only =
      std::all_of(elements_.begin(), elements_.end(),
                  [](const Element& e) { return e.kind == Kind::kLiteral; });
  if (!has_star_) {
    shape_ = literal_only ? Shape::kLiteral : Shape::kGeneral;
    if (literal_only) {
      literal_.reserve(p.size());
      for (char c : p) literal_ += AsciiToLower(c);
    }
  } else if (elements_.empty()) {
    shape_ = Shape::kEverything;
  } else if (middles_.empty() && tail_.begin == tail_.end && literal_only &&
             std::all_of(elements_.begin(), elements_.end(),
                         [](const Element& e) { return e.code < 128; })) {
    shape_ = Shape::kPrefix;
    for (const Element& e : elements_) literal_ += static_cast<char>(e.code);
    // Up to 8 bytes (none of them NUL, which the zero padding would take
    // for a match) the leading word compares the whole prefix.
    prefix_decides_ =
        literal_.size() <= 8 && literal_.find('\0') == std::string::npos;
  } else {
    shape_ = Shape::kGeneral;
  }
}

uint64_t WildcardPattern::LeadingWord(std::string_view text) {
  uint64_t word = 0;
  const size_t n = std::min<size_t>(text.size(), 8);
  for (size_t i = 0; i < n; ++i)
    word |= uint64_t{AsciiToLower(static_cast<unsigned char>(text[i]))}
            << (8 * i);
  return word;
}

std::shared_ptr<const WildcardPattern::ScanTable> WildcardPattern::BuildTable(
    const Segment& seg) const {
  auto table = std::make_shared<ScanTable>();
  const uint32_t k = seg.end - seg.begin;
  const size_t words = (k + 63) / 64;
  table->words = words;
  table->ascii.assign(128 * words, 0);
  table->other.assign(words, 0);
  for (uint32_t t = 0; t < k; ++t) {
    const Element& e = elements_[seg.begin + t];
    const uint64_t bit = uint64_t{1} << (t & 63);
    const size_t word = t >> 6;
    for (uint32_t c = 0; c < 128; ++c)
      if (ElementMatches(e, c)) table->ascii[c * words + word] |= bit;
    switch (e.kind) {
      case Kind::kAny: table->other[word] |= bit; break;
      case Kind::kDigit: break;
      case Kind::kLiteral:
        if (e.code >= 128) table->code_dependent.push_back(t);
        break;
      case Kind::kClass: {
        const CharClass& cls = classes_[e.code];
        if (!cls.ranges.empty()) {
          table->code_dependent.push_back(t);
        } else if (cls.negated) {
          table->other[word] |= bit;
        }
        break;
      }
    }
  }
  return table;
}

bool WildcardPattern::ElementMatches(const Element& e, uint32_t code) const {
  switch (e.kind) {
    case Kind::kLiteral: return e.code == code;
    case Kind::kAny: return true;
    case Kind::kDigit: return code >= '0' && code <= '9';
    case Kind::kClass: return classes_[e.code].Contains(code);
  }
  return false;
}

bool WildcardPattern::MatchAt(const Segment& seg, std::string_view text,
                              size_t pos, size_t* end, uint64_t& steps) const {
  size_t i = pos;
  for (uint32_t k = seg.begin; k < seg.end; ++k) {
    if (i >= text.size()) return false;
    size_t len;
    const uint32_t code = DecodeFolded(text, i, &len);
    ++steps;
    if (!ElementMatches(elements_[k], code)) return false;
    i += len;
  }
  *end = i;
  return true;
}

bool WildcardPattern::Find(const Segment& seg, std::string_view text,
                           size_t pos, size_t* end, uint64_t& steps) const {
  if (seg.table) return ScanFind(seg, text, pos, end, steps);
  for (size_t q = pos; q < text.size();) {
    if (MatchAt(seg, text, q, end, steps)) return true;
    size_t len;
    DecodeUtf8(text, q, &len);
    q += len;
  }
  return false;
}

// Shift-And: bit t of `state` is set when the last t + 1 characters read
// match the first t + 1 elements of the segment.
bool WildcardPattern::ScanFind(const Segment& seg, std::string_view text,
                               size_t pos, size_t* end, uint64_t& steps) const {
  const ScanTable& table = *seg.table;
  const size_t words = table.words;
  const uint32_t k = seg.end - seg.begin;
  const size_t last_word = (k - 1) >> 6;
  const uint64_t last_bit = uint64_t{1} << ((k - 1) & 63);
  std::vector<uint64_t> state(words, 0);
  std::vector<uint64_t> scratch(words);
  for (size_t i = pos; i < text.size();) {
    size_t len;
    const uint32_t code = DecodeFolded(text, i, &len);
    const uint64_t* mask;
    if (code < 128) {
      mask = &table.ascii[code * words];
    } else {
      scratch = table.other;
      for (uint32_t t : table.code_dependent)
        if (ElementMatches(elements_[seg.begin + t], code))
          scratch[t >> 6] |= uint64_t{1} << (t & 63);
      mask = scratch.data();
    }
    uint64_t carry = 1;
    for (size_t w = 0; w < words; ++w) {
      const uint64_t out = state[w] >> 63;
      state[w] = ((state[w] << 1) | carry) & mask[w];
      carry = out;
    }
    steps += words;
    i += len;
    if (state[last_word] & last_bit) {
      *end = i;
      return true;
    }
  }
  return false;
}

bool WildcardPattern::Matches(std::string_view text, uint64_t* steps) const {
  uint64_t& count = *steps;
  switch (shape_) {
    case Shape::kEverything: return true;
    case Shape::kLiteral:
      count += literal_.size() + 1;
      return EqualsNoCase(text, literal_);
    case Shape::kPrefix:
      count += literal_.size() + 1;
      return text.size() >= literal_.size() &&
             EqualsNoCase(text.substr(0, literal_.size()), literal_);
    case Shape::kGeneral: break;
  }
  size_t pos = 0;
  if (!MatchAt(head_, text, 0, &pos, count)) return false;
  if (!has_star_) return pos == text.size();
  for (const Segment& seg : middles_)
    if (!Find(seg, text, pos, &pos, count)) return false;
  // The tail takes the last characters of the text; the middles placed
  // leftmost must end before them.
  size_t start = text.size();
  for (uint32_t k = tail_.begin; k < tail_.end; ++k) {
    if (start <= pos) return false;
    start = Utf8CharStartBefore(text, start, pos);
    ++count;
  }
  size_t end;
  return MatchAt(tail_, text, start, &end, count) && end == text.size();
}

bool WildcardMatch(std::string_view text, std::string_view pattern) {
  if (pattern.find_first_of("*?#[") == std::string_view::npos)
    return EqualsNoCase(text, pattern);
  return WildcardPattern(pattern).Matches(text);
}

}  // namespace kvl
