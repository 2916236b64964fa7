// param_diff: prints, one line per input, everything ParamString.Parse
// decides about a text: the verdict, LastError, the written forms (one
// line, reader form, with types) and every item's keyword, type and value.
// Built against two versions of the library, its outputs must be equal:
//
//   param_diff 200000 7 fuzz/corpus/param_string > new.txt
//   (the same with the other library) > old.txt;  cmp old.txt new.txt
//
// Inputs: every file of the given directories, then `count` texts drawn
// from a seeded generator: random token sequences of the format (words,
// numbers, quotes, brackets, braces, slashes, equals signs, commas, blanks,
// control and UTF-8 bytes), lines of the format's own shape, and
// mutations of both. Each text is parsed
// by an object that holds an earlier tree, so a rejected parse shows the
// tree it kept.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "kvl/params/param_string.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/variant_convert.h"

namespace {

using kvl::ParamItem;
using kvl::ParamString;
using kvl::Ref;

void Escape(const std::string& s, std::string& out) {
  for (unsigned char c : s) {
    if (c < 0x20 || c == '\\' || c >= 0x7f) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\%02x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
}

void Describe(const ParamItem& item, std::string& out) {
  out += '(';
  Escape(item.Keyword(), out);
  out += '/' + std::to_string(item.ParamType()) + ':';
  if (const kvl::CVParamItem* children = item.Children()) {
    for (const Ref<ParamItem>& c : children->slots().elements())
      Describe(*c, out);
  } else {
    out += std::to_string(static_cast<int>(item.Value().type())) + '=';
    try {
      Escape(kvl::ToText(item.Value()), out);
    } catch (const kvl::KVLError&) {
      out += '?';
    }
  }
  out += ')';
}

std::string Report(ParamString& ps, const std::string& text) {
  std::string out;
  const bool accepted = ps.Parse(text);
  out += accepted ? "OK " : "NO ";
  Escape(ps.LastError(), out);
  out += " | ";
  Escape(ps.Command(), out);
  out += " | ";
  Escape(ps.ToString(), out);
  out += " | ";
  Escape(ps.ToString(true), out);
  out += " | ";
  Describe(*ps.params(), out);
  ps.SetShowTypes(true);
  out += " | ";
  Escape(ps.ToString(), out);
  ps.SetShowTypes(false);
  return out;
}

const char* const kPieces[] = {
    "Ev",   "K",     "x",           "Foo",     "N",   "I4",    "A",     "B",
    "L",    "I2",    "F8",          "BOOLEAN", "U1",  "true",  "FALSE", "12",
    "-3",   "40000", "99999999999", "2.5",     "-.5", ".5",    "1e5",   "1e-3",
    "1e+5", "12abc", "'a b'",       "\"q\"",   "''",  "'",     "\"",    "=",
    "=",    "=",     "/",           "/",       "[",   "]",     "[",     "]",
    "{",    "}",     ",",           " ",       " ",   " ",     "\t",    "\r",
    "!",    "+",     "caf\xC3\xA9", "\xC3",    "_u",  "a:b.c", "8",     "0A",
    "FF",   "[]",    "{}",          "-",       "Cmd", "S",     "J",     "zz"};

std::string RandomText(std::mt19937& rng) {
  std::string s;
  const size_t n = rng() % 14;
  const size_t count = std::size(kPieces);
  for (size_t i = 0; i < n; ++i) {
    s += kPieces[rng() % count];
    if (rng() % 3 == 0) s += ' ';
  }
  return s;
}

// A line of the format's shape: a command, pairs with typed keywords,
// words, numbers, quoted strings, booleans, nested lists and arrays.
std::string Value(std::mt19937& rng, int depth);

std::string Keyword(std::mt19937& rng) {
  static const char* const kTypes[] = {"I2", "I4", "A",  "B", "BOOLEAN",
                                       "F8", "L",  "U1", "x"};
  std::string k = kPieces[rng() % 3 == 0 ? 5 : rng() % 4];
  if (rng() % 5 == 0) {
    k += '/';
    k += kTypes[rng() % std::size(kTypes)];
    if (rng() % 3 == 0) k += "[" + std::to_string(rng() % 12) + "]";
  }
  return k;
}

std::string Elements(std::mt19937& rng, int depth) {
  std::string s;
  const size_t n = 1 + rng() % 4;
  for (size_t i = 0; i < n; ++i) {
    if (i) s += rng() % 2 ? ", " : " ";
    s += rng() % 3 == 0 ? Keyword(rng) + "=" + Value(rng, depth)
                        : Value(rng, depth);
  }
  return s;
}

std::string Value(std::mt19937& rng, int depth) {
  static const char* const kLeaves[] = {
      "x",    "zz",    "12",          "-3",   "40000", "2.5",
      "-0.5", "'a b'", "\"q r\"",     "true", "False", "99999999999",
      "0A",   "FF",    "caf\xC3\xA9", "''"};
  const unsigned r = rng() % 10;
  if (depth < 4 && r == 0) return "[" + Elements(rng, depth + 1) + "]";
  if (depth < 4 && r == 1) return "{" + Elements(rng, depth + 1) + "}";
  return kLeaves[rng() % std::size(kLeaves)];
}

std::string WellFormed(std::mt19937& rng) {
  std::string s;
  if (rng() % 4) s = rng() % 2 ? "Ev" : "Foo/To/Whatever";
  const size_t n = rng() % 6;
  for (size_t i = 0; i < n; ++i) {
    if (!s.empty()) s += rng() % 4 ? " " : ", ";
    s += Keyword(rng);
    if (rng() % 6) s += "=" + Value(rng, 0);
  }
  return s;
}

std::string Mutate(std::string s, std::mt19937& rng) {
  const size_t edits = 1 + rng() % 4;
  for (size_t i = 0; i < edits; ++i) {
    const size_t at = s.empty() ? 0 : rng() % (s.size() + 1);
    switch (rng() % 3) {
      case 0: s.insert(at, kPieces[rng() % std::size(kPieces)]); break;
      case 1:
        if (at < s.size()) s.erase(at, 1 + rng() % 3);
        break;
      default:
        if (at < s.size()) s[at] = static_cast<char>(rng() % 128);
        break;
    }
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: param_diff COUNT SEED [DIR...]\n");
    return 2;
  }
  const long count = std::atol(argv[1]);
  std::mt19937 rng(static_cast<unsigned>(std::atol(argv[2])));
  std::vector<std::string> files;
  for (int i = 3; i < argc; ++i) {
    for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
      std::ifstream in(entry.path(), std::ios::binary);
      files.emplace_back(std::istreambuf_iterator<char>(in),
                         std::istreambuf_iterator<char>());
    }
  }
  std::vector<std::string> inputs = files;
  for (long i = 0; i < count; ++i) {
    const unsigned kind = rng() % 8;
    if (kind < 3) {
      inputs.push_back(WellFormed(rng));
    } else if (kind == 3) {
      inputs.push_back(Mutate(WellFormed(rng), rng));
    } else if (!files.empty() && kind == 4) {
      inputs.push_back(Mutate(files[rng() % files.size()], rng));
    } else {
      inputs.push_back(RandomText(rng));
    }
  }
  Ref<ParamString> ps = kvl::MakeRef<ParamString>();
  std::string line;
  for (const std::string& text : inputs) {
    line.clear();
    Escape(text, line);
    line += " => ";
    line += Report(*ps, text);
    line += '\n';
    std::fputs(line.c_str(), stdout);
    // Every few texts the object starts over, so kept trees vary.
    if (rng() % 8 == 0) ps = kvl::MakeRef<ParamString>();
  }
  return 0;
}
