#include "kvl/collections/tree.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kvl/frame/catalogue.h"
#include "kvl/runtime/clock.h"
#include "kvl/runtime/date_time.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/enum_variant.h"
#include "kvl/runtime/test_support.h"

namespace kvl {
namespace {

using Node = Ref<IKVLTreeNode>;
using Tags = std::vector<std::string>;

// The tags of a node's children: through Children (a for-each) and by
// walking the sibling links backwards from LastChild; both must agree.
Tags ChildTags(const Node& n) {
  Tags forward, backward;
  ForEach(Variant(n->Children()), [&](const Variant& c) {
    forward.push_back(static_cast<IKVLTreeNode*>(c.AsObject())->Tag());
    return true;
  });
  for (Node x = n->LastChild(); x; x = x->PrevSibling())
    backward.insert(backward.begin(), x->Tag());
  EXPECT_EQ(forward, backward);
  EXPECT_EQ(n->ChildCount(), static_cast<int16_t>(forward.size()));
  return forward;
}

// A tree whose root has the children a, b, c.
struct ThreeChildren {
  Ref<IKVLTree> tree = MakeRef<IKVLTree>();
  Node root = tree->Root();
  Node a = Add("a"), b = Add("b"), c = Add("c");
  Node Add(const char* tag) {
    Node n = root->AddChild();
    n->SetTag(tag);
    return n;
  }
  Node ByTag(char t) { return t == 'a' ? a : t == 'b' ? b : c; }
};

TEST(TreeTest, NewTreeAndChildren) {
  ScopedManualClock clock(MakeDate(2004, 2, 3, 14, 5, 9));
  auto tree = MakeRef<IKVLTree>();
  Node root = tree->Root();
  EXPECT_EQ(root->Key().rfind("K.200434140509.", 0), 0u) << root->Key();
  EXPECT_FALSE(root->Parent() || root->NextSibling() || root->PrevSibling() ||
               root->FirstChild() || root->LastChild());
  EXPECT_EQ(root->ChildCount(), 0);
  EXPECT_EQ(tree->items()->Count(), 1);
  EXPECT_EQ(tree->items()->Item(Variant(root->Key())), root);

  ThreeChildren t;
  EXPECT_EQ(ChildTags(t.root), Tags({"a", "b", "c"}));
  EXPECT_EQ(t.root->FirstChild(), t.a);
  EXPECT_EQ(t.root->LastChild(), t.c);
  EXPECT_EQ(t.b->PrevSibling(), t.a);
  EXPECT_EQ(t.c->Parent(), t.root);
  EXPECT_EQ(t.tree->items()->Count(), 4);
  Ref<ReadOnlyCollection> kids = t.root->Children();  // a snapshot, by key
  EXPECT_EQ(kids->Item(Variant(t.b->Key())), t.b);
  t.root->AddChild();
  EXPECT_EQ(kids->Count(), 3);
}

TEST(TreeTest, Shifts) {
  const struct {
    char node;
    bool left;
    Tags expected;
  } cases[] = {
      {'b', true, {"b", "a", "c"}},  {'c', true, {"a", "c", "b"}},
      {'a', true, {"a", "b", "c"}},  {'a', false, {"b", "a", "c"}},
      {'b', false, {"a", "c", "b"}}, {'c', false, {"a", "b", "c"}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << k.node << (k.left ? " left" : " right"));
    ThreeChildren t;
    Node n = t.ByTag(k.node);
    k.left ? n->ShiftLeft() : n->ShiftRight();
    EXPECT_EQ(ChildTags(t.root), k.expected);
    EXPECT_EQ(t.root->FirstChild()->Tag(), k.expected.front());
  }
}

TEST(TreeTest, RemoveTakesTheWholeSubtree) {
  ThreeChildren t;
  Node b1 = t.b->AddChild();
  Node b2 = b1->AddChild();
  Ref<Object> contents = MakeRef<DynamicObject>("Contents");
  b2->SetContentsRef(contents);
  t.b->Remove();
  EXPECT_EQ(ChildTags(t.root), Tags({"a", "c"}));
  EXPECT_EQ(t.a->NextSibling(), t.c);
  EXPECT_EQ(t.tree->items()->Count(), 3);
  for (const Node& gone : {t.b, b1, b2}) {
    EXPECT_FALSE(t.tree->items()->Item(Variant(gone->Key())));
    EXPECT_FALSE(gone->Parent());
  }
  EXPECT_EQ(contents->RefCount(), 1);  // dropped on removal
  EXPECT_EQ(t.b->Tag(), "b");
  EXPECT_EQ(RaisedNumber([&] { t.b->AddChild(); }), kErrObjectNotSet);
  t.a->Remove();  // the first child: the next one moves up
  EXPECT_EQ(t.root->FirstChild(), t.c);
  EXPECT_FALSE(t.c->PrevSibling());
  t.root->Remove();
  EXPECT_FALSE(t.tree->Root());
  EXPECT_EQ(t.tree->items()->Count(), 0);
  EXPECT_FALSE(t.c->attached());
}

TEST(TreeTest, SettingTheRootForgetsTheFormerNodes) {
  ThreeChildren t;
  auto fresh = MakeRef<IKVLTreeNode>();
  EXPECT_EQ(RaisedNumber([&] { fresh->AddChild(); }), kErrObjectNotSet);
  Ref<ReadOnlyCollection> before = t.tree->items();
  t.tree->SetRootRef(fresh);
  EXPECT_EQ(t.tree->items()->Count(), 1);
  EXPECT_EQ(before->Count(), 4);  // a view of the former items
  EXPECT_FALSE(t.a->NextSibling() || t.a->Parent());
  EXPECT_EQ(fresh->AddChild()->Parent(), fresh);
  t.tree->SetRootRef(nullptr);
  EXPECT_EQ(t.tree->items()->Count(), 0);
}

TEST(TreeTest, AReleasedTreeFreesEveryNode) {
  LiveObjectCheck leaks;
  Node kept;
  {
    auto tree = MakeRef<IKVLTree>();
    Node root = tree->Root();
    for (int i = 0; i < 5; ++i) {
      Node child = root->AddChild();
      child->SetContentsRef(MakeRef<DynamicObject>("Payload"));
      for (int j = 0; j < 3; ++j) child->AddChild()->AddChild();
      if (i == 2) kept = child;
    }
    root->LastChild()->ShiftLeft();
    root->FirstChild()->ShiftRight();
    root->FirstChild()->NextSibling()->Remove();
    EXPECT_EQ(tree->items()->Count(), 1 + 4 * 7);
  }
  // The node the client kept outlives its tree, detached.
  EXPECT_FALSE(kept->attached() || kept->NextSibling());
  EXPECT_TRUE(kept->Contents());
  EXPECT_EQ(RaisedNumber([&] { kept->AddChild(); }), kErrObjectNotSet);
  kept.reset();
  EXPECT_EQ(leaks.Delta(), 0);
}

TEST(TreeTest, TreeIteratorAndLateBinding) {
  ThreeChildren t;
  t.b->AddChild()->SetTag("b1");
  Tags seen;
  std::function<void(ITreeIterator&)> walk = [&](ITreeIterator& it) {
    for (Ref<Object> c = it.FirstItem(); c; c = it.NextItem()) {
      seen.push_back(c->As<IKVLTreeNode>()->Tag());
      walk(*c->As<ITreeIterator>());
    }
  };
  walk(*t.root);
  EXPECT_EQ(seen, Tags({"a", "b", "b1", "c"}));
  EXPECT_FALSE(t.root->NextItem());  // stays at the end

  Ref<Object> tree = CreateObject("KVLCommon.IKVLTree");
  Variant root = CallByName(*tree, "Root", CallKind::kGet);
  Variant child = CallByName(*root.AsObject(), "AddChild", CallKind::kMethod);
  CallByName(*child.AsObject(), "Contents", CallKind::kSet, tree);  // a cycle
  Variant items = CallByName(*tree, "items", CallKind::kGet);
  EXPECT_EQ(TypeName(items), "IKVLROCollection");
  EXPECT_EQ(RaisedNumber([&] {
              CallByName(*items.AsObject(), "Add", CallKind::kMethod, tree);
            }),
            kErrNotSupported);  // the view is read-only
  Ref<Object> iterator = root.AsObject()->QueryInterface("ITreeIterator");
  EXPECT_EQ(CallByName(*iterator, "FirstItem", CallKind::kGet), child);
  CallByName(*child.AsObject(), "Remove", CallKind::kMethod);  // no cycle now
  EXPECT_TRUE(
      CallByName(*child.AsObject(), "Contents", CallKind::kGet).is_nothing());
}

}  // namespace
}  // namespace kvl
