#include "kvl/collections/keyed_store.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "kvl/runtime/no_case_hash.h"

namespace kvl {
namespace {

using Store = KeyedStore<int>;

std::vector<int> Values(const Store& s) {
  std::vector<int> out;
  for (const auto& e : s) out.push_back(e.value);
  return out;
}

TEST(KeyedStoreTest, KeysIgnoreAsciiCaseOnly) {
  Store s;
  EXPECT_TRUE(s.Add(1, "Alpha"));
  EXPECT_FALSE(s.Add(2, "ALPHA"));
  EXPECT_FALSE(s.AddBefore(1, 3, "alpha"));
  EXPECT_TRUE(s.Add(4));
  EXPECT_TRUE(s.Add(5, ""));  // any number of elements without key
  EXPECT_EQ(s.Find(""), nullptr);
  EXPECT_EQ(s.KeyAt(1), "Alpha");
  EXPECT_TRUE(s.Add(6, "A-Rather-Long-Key-With-Many-Words.1"));
  EXPECT_EQ(s.PositionOf("a-rather-long-key-with-many-words.1"), 4u);
  EXPECT_EQ(s.PositionOf("a-rather-long-key-with-many-words.2"), 0u);
}

// Keys chosen to share one home slot of the index under a seed someone
// might know spread out under the process's seed, and each is still found
// in any letter case.
TEST(KeyedStoreTest, KeysCraftedForAKnownSeedSpreadAndStayReachable) {
  constexpr uint64_t kKnownSeed = 0;
  constexpr size_t kMask = 1023;
  std::vector<std::string> keys;
  for (int i = 0; keys.size() < 64; ++i) {
    std::string key = "Key-" + std::to_string(i);
    if ((HashNoCase(key, kKnownSeed) & kMask) == 0) keys.push_back(key);
  }
  ASSERT_NE(ProcessHashSeed(), kKnownSeed);
  std::set<size_t> homes;
  Store s;
  for (size_t i = 0; i < keys.size(); ++i) {
    homes.insert(internal::KeyIndex::Hash(keys[i]) & kMask);
    ASSERT_TRUE(s.Add(static_cast<int>(i), keys[i]));
  }
  // 64 random homes among 1024 rarely share; all in one is out of reach.
  EXPECT_GT(homes.size(), 48u);
  for (size_t i = 0; i < keys.size(); i += 2) EXPECT_TRUE(s.Remove(keys[i]));
  for (size_t i = 1; i < keys.size(); i += 2) {
    std::string upper = keys[i];
    for (char& c : upper) c = AsciiToUpper(c);
    EXPECT_EQ(s.PositionOf(upper), i / 2 + 1) << upper;
  }
}

TEST(KeyedStoreTest, AddBeforeAndAfterPositions) {
  struct Case {
    bool before;
    size_t position;
    std::vector<int> expected;  // {1, 2, 3} when refused
  };
  const Case cases[] = {
      {true, 1, {9, 1, 2, 3}},  {true, 3, {1, 2, 9, 3}},
      {true, 4, {1, 2, 3, 9}},  {true, 0, {1, 2, 3}},
      {true, 5, {1, 2, 3}},     {false, 0, {9, 1, 2, 3}},
      {false, 2, {1, 2, 9, 3}}, {false, 3, {1, 2, 3, 9}},
      {false, 4, {1, 2, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.before << " " << c.position);
    Store s;
    s.Add(1, "a");
    s.Add(2, "b");
    s.Add(3, "c");
    bool ok = c.before ? s.AddBefore(c.position, 9, "n")
                       : s.AddAfter(c.position, 9, "n");
    EXPECT_EQ(ok, c.expected.size() == 4);
    EXPECT_EQ(Values(s), c.expected);
    EXPECT_EQ(s.Contains("N"), ok);  // a refused add leaves the key free
  }
}

// Random inserts and removes anywhere, checked against a plain vector: key
// lookups and positions stay right however far the numbering lags behind.
TEST(KeyedStoreTest, MatchesAPlainListUnderRandomChanges) {
  std::mt19937 rng(7);
  Store s;
  std::vector<std::pair<std::string, int>> model;
  for (int step = 0, next = 0; step < 4000; ++step) {
    const unsigned op = rng() % 10;
    if (op < 5 || model.empty()) {
      size_t at = rng() % (model.size() + 1);
      std::string key;
      if (step % 7) key = (next % 2 ? "k" : "K") + std::to_string(next);
      ASSERT_TRUE(s.AddAfter(at, next, key));
      model.insert(model.begin() + static_cast<long>(at), {key, next++});
    } else if (op < 8) {
      size_t at = rng() % model.size();
      ASSERT_TRUE(rng() % 2 && !model[at].first.empty()
                      ? s.Remove(model[at].first)
                      : s.RemoveAt(at + 1));
      model.erase(model.begin() + static_cast<long>(at));
    } else {
      size_t at = rng() % model.size();
      if (model[at].first.empty()) continue;
      ASSERT_EQ(s.PositionOf(model[at].first), at + 1) << "step " << step;
      ASSERT_EQ(*s.Find(model[at].first), model[at].second);
    }
  }
  ASSERT_EQ(s.size(), model.size());
  for (size_t i = 0; i < model.size(); ++i) {
    EXPECT_EQ(*s.At(i + 1), model[i].second);
    EXPECT_EQ(s.KeyAt(i + 1), model[i].first);
    if (!model[i].first.empty()) {
      EXPECT_EQ(s.PositionOf(model[i].first), i + 1);
    }
  }
  EXPECT_FALSE(s.RemoveAt(0));
  EXPECT_FALSE(s.RemoveAt(s.size() + 1));
  EXPECT_EQ(s.Take("missing"), std::nullopt);
}

// A value whose destructor records the size of the store it was in.
struct Watcher {
  const KeyedStore<Watcher>* store;
  std::vector<size_t>* seen;
  Watcher(const KeyedStore<Watcher>* s, std::vector<size_t>* v)
      : store(s), seen(v) {}
  Watcher(Watcher&& o) noexcept
      : store(std::exchange(o.store, nullptr)), seen(o.seen) {}
  ~Watcher() {
    if (store) seen->push_back(store->size());
  }
};

TEST(KeyedStoreTest, ElementsEndAfterTheStoreIsConsistent) {
  std::vector<size_t> seen;
  KeyedStore<Watcher> s;
  for (int i = 0; i < 3; ++i)
    s.Add(Watcher(&s, &seen), "w" + std::to_string(i));
  s.Remove("W1");
  EXPECT_EQ(seen, std::vector<size_t>({2}));
  s.Clear();
  EXPECT_EQ(seen, std::vector<size_t>({2, 0, 0}));
  EXPECT_TRUE(s.Add(Watcher(nullptr, &seen), "w0"));

  Store a;
  a.Add(1, "x");
  a.AddBefore(1, 2, "y");
  Store b(std::move(a));
  EXPECT_TRUE(a.empty());
  EXPECT_EQ(b.PositionOf("X"), 2u);
}

}  // namespace
}  // namespace kvl
