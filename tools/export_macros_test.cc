#include "tools/export_macros.h"

#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"

namespace kvl::tools {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<std::string> Missing(const std::string& header) {
  std::vector<std::string> out;
  for (const ExportFinding& f : FindMissingExports(header)) {
    out.push_back(std::to_string(f.line + 1) + " " + f.what);
  }
  return out;
}

TEST(ExportMacrosTest, FindsWhatTheLibraryMustExport) {
  const std::string header = R"(#define KVL_X_H_
namespace kvl {
class Forward;
class Widget : public Object,
               public IThing {
  KVL_DECLARE_CLASS(Widget)
 public:
  friend bool operator==(const Widget& a, const Widget& b);
  friend bool operator!=(const Widget& a, const Widget& b) { return !(a == b); }
  int Size() const { static int calls; return ++calls; }
};
template <class T>
struct Holder { T value; };
template <>
struct Holder<int> { int value; };
std::string Describe(const Widget& w,
                     int depth = 0);
inline int Twice(int x) { return 2 * x; }
inline int& Counter() {
  static int count = 0;
  return count;
}
int Widget::Size2() { static int s; return s; }
inline constexpr int kLimit = 5;
inline thread_local bool t_busy = false;
extern int g_level;
enum class Mode { kA, kB };
namespace {
class Hidden {};
void Helper();
}  // namespace
}  // namespace kvl
extern "C" {
int32_t Entry(void** out);
}
)";
  EXPECT_THAT(Missing(header),
              ElementsAre("4 class Widget", "8 friend bool operator==",
                          "13 struct Holder", "16 function Describe",
                          "19 function Counter", "25 variable t_busy",
                          "26 variable g_level", "34 function Entry"));
}

TEST(ExportMacrosTest, IgnoresCommentsLiteralsDirectivesAndMarkedCode) {
  const std::string header = R"(namespace kvl {
// class Commented { };  void Commented();
/* struct Block {
   void Block(); */
#define KVL_MAKE(X) \
  class X {};
KVL_DECLARE_ENUM(Mode)
class KVL_EXPORT Marked {
  const char* text = "class Quoted { void f(); }";
  char brace = '{';
};
KVL_EXPORT void Exported(int x);
KVL_INTERNAL_EXPORT void ForTests();
}  // namespace kvl
)";
  EXPECT_THAT(Missing(header), IsEmpty());
}

TEST(ExportMacrosTest, FixAddsTheMacroAndItsIncludeOnce) {
  const std::string header = R"(#ifndef KVL_A_H_
#define KVL_A_H_

#include <string>

#include "kvl/runtime/error.h"
#include "kvl/runtime/variant.h"

namespace kvl {
template <class T>
class Box {};
[[nodiscard]] std::string Name(int x);
}  // namespace kvl
#endif
)";
  const std::string fixed = InsertExports(header, FindMissingExports(header));
  EXPECT_EQ(fixed, R"(#ifndef KVL_A_H_
#define KVL_A_H_

#include <string>

#include "kvl/runtime/error.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/variant.h"

namespace kvl {
template <class T>
class KVL_EXPORT Box {};
[[nodiscard]] KVL_EXPORT std::string Name(int x);
}  // namespace kvl
#endif
)");
  EXPECT_THAT(FindMissingExports(fixed), IsEmpty());
  EXPECT_TRUE(IncludesExportHeader(fixed));

  // Without includes of the library the include goes after the others.
  const std::string bare = "#define KVL_B_H_\n#include <string>\nvoid F();\n";
  EXPECT_EQ(InsertExports(bare, FindMissingExports(bare)),
            "#define KVL_B_H_\n#include <string>\n\n"
            "#include \"kvl/runtime/export.h\"\nKVL_EXPORT void F();\n");
}

}  // namespace
}  // namespace kvl::tools
