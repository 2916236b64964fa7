#include "kvl/params/param_string.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <random>
#include <string>

#include "kvl/collections/tree_iterator.h"
#include "kvl/frame/catalogue.h"
#include "kvl/frame/kvl_types.h"
#include "kvl/runtime/test_support.h"
#include "kvl/runtime/testing/random_text.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/strings/kvl_strings.h"

// Allocations left before one fails on this thread; negative: none fails.
thread_local long t_allocations_before_failure = -1;

void* operator new(std::size_t size) {
  if (t_allocations_before_failure >= 0 && t_allocations_before_failure-- == 0)
    throw std::bad_alloc();
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
// The compiler cannot see that this file's operator new uses malloc.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace kvl {
namespace {

// One line per item: keyword, type suffix and value text, children
// indented; the command first.
void Describe(const ParamItem& item, int depth, std::string& out) {
  if (const CVParamItem* children = item.Children()) {
    for (const Ref<ParamItem>& c : children->slots().elements()) {
      out += std::string(static_cast<size_t>(depth) * 2, ' ') + c->Keyword() +
             "/" + c->ParamTypeString();
      if (c->Children()) {
        out += "\n";
        Describe(*c, depth + 1, out);
      } else {
        std::string text = "?";
        try {
          text = Strings().CVariantToStr(c->Value());
        } catch (const KVLError&) {
        }
        out += "=" + text + "\n";
      }
    }
  }
}

std::string Tree(const ParamString& ps) {
  std::string out = "<" + ps.Command() + ">\n";
  Describe(*ps.params(), 1, out);
  return out;
}

struct ParseCase {
  const char* text;
  const char* tree;     // Tree() after the parse
  const char* written;  // ToString()
};

TEST(ParamStringTest, AcceptedTextsTreesAndWrittenForms) {
  const ParseCase cases[] = {
      {"", "<>\n", " "},
      {"Cmd", "<Cmd>\n", "Cmd "},
      {"Foo/To/Whatever", "<Foo/To/Whatever>\n", "Foo/To/Whatever "},
      {"Foo/To/Whatever K1=V1 K2=V2",
       "<Foo/To/Whatever>\n  K1/A=V1\n  K2/A=V2\n",
       "Foo/To/Whatever K1=V1 K2=V2"},
      {"K=1 J=2", "<>\n  K/I2=1\n  J/I2=2\n", " K=1 J=2"},
      {"Ev N=5 F=2.5 S='a b'", "<Ev>\n  N/I2=5\n  F/F8=2.5\n  S/A=a b\n",
       "Ev N=5 F=2.5 S='a b'"},
      {"Ev N=40000 M=-7 B=TRUE",
       "<Ev>\n  N/I4=40000\n  M/I2=-7\n  B/BOOLEAN=True\n",
       "Ev N=40000 M=-7 B=True"},
      {"Ev Big=99999999999", "<Ev>\n  Big/A='99999999999'\n",
       "Ev Big='99999999999'"},
      {"Ev A={1,2}", "<Ev>\n  A/V=[1,2]\n", "Ev A=[1,2]"},
      {"Ev L=[x, y]", "<Ev>\n  L/L\n    /A=x\n    /A=y\n", "Ev L=[x, y]"},
      {"Ev L=[1, 2, x=3]", "<Ev>\n  L/L\n    /I2=1\n    /I2=2\n    x/I2=3\n",
       "Ev L=[1, 2, x=3]"},
      {"Ev Flag", "<Ev>\n  Flag/A=\n", "Ev Flag=''"},
      {"Ev K=J=1", "<Ev>\n  K/A=J\n", "Ev K=J"},
      {"Ev K=", "<>\n  Ev/A=\n", " Ev=''"},
      {"Ev L=[]", "<>\n  Ev/A=\n  L/L\n", " Ev='' L=[]"},
      {"Ev K=1 ] J=2", "<Ev>\n  K/I2=1\n", "Ev K=1"},
      {"Ev N/I4=5", "<Ev>\n  N/I4=5\n", "Ev N=5"},
      {"N/I4=5 J=1", "<>\n  N/I4=5\n  J/I2=1\n", " N=5 J=1"},
      {"Ev Zip/A=01234", "<Ev>\n  Zip/A='1234'\n", "Ev Zip='1234'"},
      {"Ev Name/A[6]=ab", "<Ev>\n  Name/A='ab    '\n", "Ev Name='ab    '"},
      {"Ev F/BOOLEAN=x G/I2=true", "<Ev>\n  F/BOOLEAN=x\n  G/I2=True\n",
       "Ev F=x G=True"},
      {"Ev S/A=true", "<Ev>\n  S/A=True\n", "Ev S=True"},
      {"Ev V/B=0A W/B='0A 1 FF'", "<Ev>\n  V/B=0A\n  W/B=0A 01 FF\n",
       "Ev V=0A W=0A 01 FF"},
      {"Ev L/I2[2]=[1, 'x y']", "<Ev>\n  L/I2=[1,x y]\n", "Ev L=[1,x y]"},
      {"Ev A/B={1, 'FF'}", "<Ev>\n  A/B=01 FF\n", "Ev A=01 FF"},
      {"Ev A/A={1}", "<Ev>\n", "Ev "},
      {"'My Cmd' K='it''s'", "<'My Cmd'>\n  K/A=it\n  /A=s\n",
       "'My Cmd' K=it s"},
      {"Ev, K=1,, J=2", "<Ev>\n  K/I2=1\n  J/I2=2\n", "Ev K=1 J=2"},
      {"Ev A={{1}, 2}", "<Ev>\n  A/V=[[1],2]\n", "Ev A=[[1],2]"},
      // UTF-8 letters are word characters: in values, keywords, commands.
      {"E A=caf\xC3\xA9", "<E>\n  A/A=caf\xC3\xA9\n", "E A=caf\xC3\xA9"},
      {"E A=\xC3\xA9", "<E>\n  A/A=\xC3\xA9\n", "E A=\xC3\xA9"},
      {"\xC3\x89v/\xE6\x97\xA5 \xC3\xA9t\xC3\xA9=\xF0\x9F\x98\x80",
       "<\xC3\x89v/\xE6\x97\xA5>\n  \xC3\xA9t\xC3\xA9/A=\xF0\x9F\x98\x80\n",
       "\xC3\x89v/\xE6\x97\xA5 \xC3\xA9t\xC3\xA9=\xF0\x9F\x98\x80"},
      // A list inside an array has no value text of its own.
      {"Ev A={[1]} B=2", "<Ev>\n  A/V=?\n  B/I2=2\n", "Ev A= B=2"},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.text);
    Ref<ParamString> ps = MakeRef<ParamString>();
    EXPECT_TRUE(ps->Parse(c.text)) << ps->LastError();
    EXPECT_EQ(Tree(*ps), c.tree);
    EXPECT_EQ(ps->ToString(), c.written);
  }
}

struct ErrorCase {
  const char* text;
  const char* last_error;
};

TEST(ParamStringTest, RejectedTextsKeepTheTreeAndNameTheError) {
  const ErrorCase cases[] = {
      {"=5", "Expected identifier or string at token 1:<=>"},
      {"]", "Expected identifier or string at token 1:<]>"},
      {"true K=1",
       "Expected identifier or string, got a boolean at token 1:<True>"},
      {"'abc'=1", "Expected non-quoted string or identifier at token 2:<=>"},
      {"[1, 2", "Expected Identifier at token 4:<EOS>"},
      {"{1 2", "Expected Identifier at token 4:<EOS>"},
      {"12 K=1", "Expected identifier or string at token 1:<12>"},
      {"1.50", "Expected identifier or string at token 1:<1.5>"},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.text);
    Ref<ParamString> ps = MakeRef<ParamString>();
    ASSERT_TRUE(ps->Parse("Old K=1"));
    Ref<ParamItem> before = ps->params();
    EXPECT_FALSE(ps->Parse(c.text));
    EXPECT_EQ(ps->LastError(), c.last_error);
    EXPECT_EQ(ps->params(), before);
    EXPECT_EQ(ps->ToString(), "Old K=1");
  }
}

TEST(ParamStringTest, AcceptedParseMayKeepTheFurthestError) {
  struct Case {
    const char* text;
    const char* last_error;
  } cases[] = {
      {"Ev K=", "Expected Identifier at token 4:<EOS>"},
      {"Ev N/", "Expected type name at token 4:<EOS>"},
      {"Ev N/A[3", "Expected right bracket at token 7:<EOS>"},
      {"Cmd K", ""},
      // Usual texts keep the first message at the furthest token tried.
      {"Cmd K=1 J=2",
       "Expected non-quoted string or identifier at token 7:<2>"},
      {"K=1 J=x", "Expected slash at token 5:<=>"},
      {"Ev L=[x, y=2.5] S/A[4]=ab",
       "Expected non-quoted string or identifier at token 14:<4>"},
      {"Ev A={1, 'x'} B=true",
       "Expected non-quoted string or identifier at token 10:<True>"},
      {"Ev K=x y", "Expected slash at token 5:<y>"},
      {"Cmd [1, 2]", "Expected non-quoted string or identifier at token 5:<]>"},
      {"Cmd\r\n", "Expected non-quoted string or identifier at token 2:<\r>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Ref<ParamString> ps = MakeRef<ParamString>();
    EXPECT_TRUE(ps->Parse(c.text));
    EXPECT_EQ(ps->LastError(), c.last_error);
  }
}

TEST(ParamStringTest, ScannerStopsShortenTheInput) {
  Ref<ParamString> ps = MakeRef<ParamString>();
  EXPECT_TRUE(ps->Parse("Ev K=1 S='open"));
  EXPECT_EQ(ps->ToString(), "Ev K=1");  // S = before the quote: no value
  EXPECT_TRUE(ps->Parse("1e+5 b"));
  EXPECT_EQ(ps->ToString(), " ");
}

TEST(ParamStringTest, TooLongAndTooDeepAreRefused) {
  Ref<ParamString> ps = MakeRef<ParamString>();
  ASSERT_TRUE(ps->Parse("Keep"));
  std::string long_text = "Ev K='" + std::string(32767, 'x') + "'";
  EXPECT_FALSE(ps->Parse(long_text));
  EXPECT_EQ(ps->LastError(), "Text too long: 32774 characters, at most 32767");
  EXPECT_EQ(ps->Command(), "Keep");

  auto nested = [](int depth) {
    return "Ev K=" + std::string(static_cast<size_t>(depth), '[') + "1" +
           std::string(static_cast<size_t>(depth), ']');
  };
  EXPECT_TRUE(ps->Parse(nested(255)));
  EXPECT_FALSE(ps->Parse(nested(256)));
  EXPECT_EQ(ps->LastError(), "Values nested too deeply at token 260:<1>");
  EXPECT_FALSE(ps->Parse(std::string(20000, '[')));
  std::string chain = "Ev";
  for (int i = 0; i < 5000; ++i) chain += " K=";
  EXPECT_FALSE(ps->Parse(chain + "1"));
  EXPECT_EQ(ps->Command(), "Ev");
}

TEST(ParamStringTest, SettingsApplyToLaterTrees) {
  Ref<ParamString> ps = MakeRef<ParamString>();
  ASSERT_TRUE(ps->Parse("Ev N=5 S=abc"));
  ps->SetShowTypes(true);
  EXPECT_EQ(ps->ToString(), "Ev N/I2=5 S/A[3]=abc");
  ps->SetShowTypes(false);
  ps->SetSmartQuotes(false);
  ps->SetQuoteChars("\"\"");
  ps->SetQuoteChars("x");
  EXPECT_EQ(ps->QuoteChars(), "\"\"");
  EXPECT_EQ(ps->ToString(), "Ev N=5 S=abc");  // the current root keeps its own
  ASSERT_TRUE(ps->Parse("Ev N=5 S=abc"));
  EXPECT_EQ(ps->ToString(), "Ev N=5 S=\"abc\"");
  ASSERT_TRUE(ps->Parse("Ev A=1"));
  EXPECT_EQ(ps->ToString(true), "Ev  _\r\n   A=1");
}

TEST(ParamStringTest, ReadingByKeywordAndPosition) {
  Ref<ParamString> ps = MakeRef<ParamString>();
  ASSERT_TRUE(ps->Parse("Ev K1=V1 L=[A=2] a=3"));
  EXPECT_EQ(ps->Value("k1"), Variant("V1"));
  EXPECT_TRUE(ps->Value("none").is_nothing());
  EXPECT_TRUE(ps->Value("L").is_object());
  EXPECT_EQ(ps->ValueByIndex("A", Variant(2)), Variant(int16_t{3}));
  EXPECT_EQ(ps->ValueByIndex("A"), Variant(int16_t{2}));
  EXPECT_EQ(RaisedNumber([&] { ps->ValueByIndex("A", Variant("x")); }),
            kErrTypeMismatch);
  EXPECT_EQ(ps->ItemByIndex("a", 2)->Value(), Variant(int16_t{3}));
  EXPECT_EQ(ps->FirstItem()->Keyword(), "K1");
  EXPECT_EQ(ps->NextItem()->Keyword(), "L");
  EXPECT_EQ(ps->Item(3)->Keyword(), "a");
  EXPECT_EQ(ps->CurrentItem()->Keyword(), "a");
  EXPECT_EQ(ps->NextItem(), nullptr);

  ITreeIterator* it = ps->As<ITreeIterator>();
  ASSERT_NE(it, nullptr);
  int count = 0;
  for (Ref<Object> c = it->FirstItem(); c; c = it->NextItem()) ++count;
  EXPECT_EQ(count, 3);
}

TEST(ParamStringTest, LateBoundParseAndMembers) {
  Ref<Object> ps = CreateObject("KVLCommon.ParamString");
  EXPECT_TRUE(
      ToBool(CallByName(*ps, "Parse", CallKind::kMethod, "Ev N=5 F=2.5")));
  EXPECT_EQ(ToText(CallByName(*ps, "ToString", CallKind::kGet)),
            "Ev N=5 F=2.5");
  EXPECT_EQ(ToText(CallByName(*ps, "Command", CallKind::kGet)), "Ev");
  EXPECT_EQ(CallByName(*ps, "Value", CallKind::kMethod, "f"), Variant(2.5));
  EXPECT_EQ(CallByName(*ps, "ValueByIndex", CallKind::kMethod, "N"),
            Variant(int16_t{5}));
  EXPECT_TRUE(ToBool(CallByName(*ps, "Parse", CallKind::kMethod)));
  EXPECT_EQ(ToText(CallByName(*ps, "ToString", CallKind::kGet)), " ");
  EXPECT_FALSE(ToBool(CallByName(*ps, "Parse", CallKind::kMethod, "=5")));
  EXPECT_EQ(ToText(CallByName(*ps, "LastError", CallKind::kGet)),
            "Expected identifier or string at token 1:<=>");
  CallByName(*ps, "Command", CallKind::kLet, "New");
  Variant added = CallByName(*ps, "Add", CallKind::kMethod, "K", int16_t{1});
  CallByName(*added.AsObject(), "ParamType", CallKind::kLet, int16_t{32});
  EXPECT_EQ(ToText(CallByName(*ps, "ToString", CallKind::kGet, true)),
            "New  _\r\n   K=1");
}

TEST(ParamStringTest, TreesAreReleased) {
  Strings();  // the library's own instances are made once
  LiveObjectCheck leaks;
  {
    Ref<ParamString> ps = MakeRef<ParamString>();
    ASSERT_TRUE(ps->Parse("Ev L=[1, [2, x=[3]]] A={[1], 2} K=v"));
    ASSERT_TRUE(ps->Parse("Again L=[1]"));
    EXPECT_FALSE(ps->Parse("[[["));
  }
  EXPECT_EQ(leaks.Delta(), 0);
}

// Runs `step(fail)` for n = 0, 1, ... until a run sees no allocation fail;
// `fail(operation)` runs the operation with the (n+1)-th allocation
// failing and absorbs the bad_alloc it raises.
template <typename Step>
void ForEachFailingAllocation(Step step) {
  for (long n = 0;; ++n) {
    SCOPED_TRACE(n);
    bool failed = false;
    auto fail = [&](auto&& operation) {
      t_allocations_before_failure = n;
      try {
        operation();
      } catch (const std::bad_alloc&) {
        failed = true;
      }
      t_allocations_before_failure = -1;
    };
    step(fail);
    if (!failed) break;
  }
}

// Running out of memory at any point of a parse fails it with bad_alloc;
// it never leaves a tree that silently lacks items.
TEST(ParamStringTest, OutOfMemoryFailsTheParseAtEveryStep) {
  const std::string text = "Ev N=5 L=[1, [2, x=3]] S='a b' A={1,2}";
  Ref<ParamString> reference = MakeRef<ParamString>();
  ASSERT_TRUE(reference->Parse(text));
  const std::string expected = Tree(*reference);
  ForEachFailingAllocation([&](auto fail) {
    Ref<ParamString> ps = MakeRef<ParamString>();
    bool parsed = false;
    bool threw = true;
    fail([&] {
      parsed = ps->Parse(text);
      threw = false;
    });
    if (threw) return;
    EXPECT_TRUE(parsed);
    EXPECT_EQ(Tree(*ps), expected);
  });
}

// The items of a parsed tree are made when first reached; running out of
// memory then fails that access and loses nothing: the next one makes them.
TEST(ParamStringTest, OutOfMemoryOnFirstUseKeepsTheTree) {
  const std::string text = "Ev N=5 L=[1, [2, x=3]] S='a b' A={[1], 2}";
  Ref<ParamString> reference = MakeRef<ParamString>();
  ASSERT_TRUE(reference->Parse(text));
  const std::string expected = Tree(*reference);
  ForEachFailingAllocation([&](auto fail) {
    Ref<ParamString> ps = MakeRef<ParamString>();
    ASSERT_TRUE(ps->Parse(text));
    fail([&] { ps->FirstItem(); });
    EXPECT_EQ(Tree(*ps), expected);
  });
}

TEST(ParamStringTest, ItemsMadeOnFirstUseCarryTheParseSettings) {
  Ref<ParamString> ps = MakeRef<ParamString>();
  ps->SetSmartQuotes(false);
  EXPECT_TRUE(ps->AsParamItem()->SmartQuotes());  // made with the object
  ASSERT_TRUE(ps->Parse("Ev S=abc L=[x]"));
  EXPECT_EQ(ps->Command(), "Ev");
  ps->SetSmartQuotes(true);
  ps->SetQuoteChars("\"\"");
  EXPECT_EQ(ps->ToString(), "Ev S='abc' L=['x']");

  // Made once, then kept: every access reaches the same items.
  Ref<ParamItem> first = ps->FirstItem();
  EXPECT_EQ(ps->ItemByIndex("s"), first);
  EXPECT_EQ(ps->params(), ps->AsParamItem());
  first->SetValue(Variant("changed"));
  ps->SetCommand("New");
  EXPECT_EQ(ps->ToString(), "New S='changed' L=['x']");
  EXPECT_FALSE(ps->Parse("=5"));
  EXPECT_EQ(ps->Item(1), first);
}

TEST(ParamStringTest, WrittenFormReadsBack) {
  const char* texts[] = {
      "Foo/To/Whatever K1=V1 K2=V2",
      "Ev N=5 F=2.5 S='a b' B=False",
      "Ev L=[1, 2, x=3, [y, z]]",
      "Ev E='' Q='a=b' D=-0.5 I=40000",
  };
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    Ref<ParamString> ps = MakeRef<ParamString>();
    ASSERT_TRUE(ps->Parse(text));
    std::string written = ps->ToString();
    EXPECT_EQ(written, text);
    Ref<ParamString> again = MakeRef<ParamString>();
    ASSERT_TRUE(again->Parse(written));
    EXPECT_EQ(Tree(*again), Tree(*ps));
  }
}

// Commands, keywords and string values made of UTF-8 letters, written by
// the library, read back unchanged; so do texts with malformed UTF-8,
// which the writer quotes.
TEST(ParamStringTest, Utf8WordsReadBackUnchanged) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 500; ++round) {
    const std::string command = RandomUtf8Word(rng);
    const std::string keyword = RandomUtf8Word(rng);
    std::string value = RandomUtf8Word(rng);
    if (round % 5 == 0) value.insert(rng() % value.size(), "\xC3");
    Ref<ParamString> ps = MakeRef<ParamString>();
    ps->SetCommand(command);
    ps->Add(keyword, Variant(value))->SetParamType(ST_Ascii);
    const std::string written = ps->ToString();
    SCOPED_TRACE(written);
    Ref<ParamString> again = MakeRef<ParamString>();
    ASSERT_TRUE(again->Parse(written)) << again->LastError();
    EXPECT_EQ(again->Command(), command);
    Ref<ParamItem> item = again->FirstItem();
    ASSERT_TRUE(item);
    EXPECT_EQ(item->Keyword(), keyword);
    EXPECT_EQ(item->Value(), Variant(value));
    EXPECT_EQ(again->ToString(), written);
  }
}

}  // namespace
}  // namespace kvl
