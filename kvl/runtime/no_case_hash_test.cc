#include "kvl/runtime/no_case_hash.h"

#include <gtest/gtest.h>


namespace kvl {
namespace {

TEST(NoCaseHashTest, FoldsAsciiLettersOnlyUnderEverySeed) {
  for (uint64_t seed : {uint64_t{0}, uint64_t{1}, ProcessHashSeed()}) {
    EXPECT_EQ(HashNoCase("Member-Name.1", seed),
              HashNoCase("mEMBER-nAME.1", seed));
    EXPECT_EQ(HashNoCase("A rather long key, longer than 16 bytes", seed),
              HashNoCase("a RATHER long KEY, longer THAN 16 bytes", seed));
    // "@" and "[" border the capitals, "`" and "{" the small letters.
    EXPECT_NE(HashNoCase("@[", seed), HashNoCase("`{", seed));
    EXPECT_NE(HashNoCase("\xC3\xA9", seed), HashNoCase("\xC3\x89", seed));
  }
  EXPECT_NE(HashNoCase("Item", 1), HashNoCase("Item", 2));
}

}  // namespace
}  // namespace kvl
