// Trees: IKVLTree (what clients create), IKVLTreeNode (its nodes) and
// TreeProxy (the tree's registry of nodes, seen by clients as an IKVLTree).
//
// A node carries a client object (Contents) and a text (Tag) and has a key
// made once by MakeUniqueKey ("K.<time stamp>.<counter>"). Every node of a
// tree is registered under its key in one keyed collection owned by the
// tree's proxy (`items`, in registration order). Nodes do not hold their
// parent or siblings: they store their keys and look them up in the items,
// so navigation (Parent, NextSibling, PrevSibling) answers null whenever a
// key is empty or not registered, or the node is detached. A node holds a
// counted reference only to its first child.
//
// Ownership and lifetime: the proxy owns the nodes through its items; a node
// refers to its proxy without a counted reference (the reference lapses when
// the proxy ends), so a tree forms no reference cycle and releasing the last
// reference to an IKVLTree frees every node that the client does not hold
// itself. A node the client still holds is then detached: its Key, Tag and
// Contents stay readable, navigation gives null and AddChild raises 91.
//
// Structure changes: AddChild appends a new registered child (it walks the
// existing children first); Remove takes a node and its whole subtree out of
// the tree (children first) and detaches it, dropping its Contents;
// ShiftLeft / ShiftRight exchange a node with its previous / next sibling.
// Setting Root empties the items and registers only the new root; nodes of
// the former tree can no longer be reached by key. Children, LastChild and
// ChildCount walk the sibling chain each time (linear in the number of
// children); ChildCount raises 6 beyond 32767 children.
//
// A node also implements ITreeIterator over its children; the cursor is
// held by the node.
//
// Threading: a tree and its nodes are used on the thread that created them.
//
//   auto tree = MakeRef<IKVLTree>();
//   Ref<IKVLTreeNode> root = tree->Root();
//   Ref<IKVLTreeNode> a = root->AddChild();
//   Ref<IKVLTreeNode> b = root->AddChild();
//   b->ShiftLeft();                             // root's children: b, a
//   a->Remove();                                // a and its subtree are gone
#ifndef KVL_COLLECTIONS_TREE_H_
#define KVL_COLLECTIONS_TREE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "kvl/collections/keyed_collection.h"
#include "kvl/collections/tree_iterator.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

class TreeProxy;

// Creatable (kind 2); answers for ITreeIterator.
class KVL_EXPORT IKVLTreeNode : public Object, public ITreeIterator {
  KVL_DECLARE_CLASS(IKVLTreeNode)
 public:
  // A detached node with a new unique key.
  IKVLTreeNode();

  Ref<IKVLTreeNode> Parent() const;
  // A new collection of the children in sibling order, each under its key
  // (read-only; later changes of the tree do not change it).
  Ref<ReadOnlyCollection> Children() const;
  Ref<IKVLTreeNode> FirstChild() const { return first_child_; }
  Ref<IKVLTreeNode> LastChild() const;
  int16_t ChildCount() const;
  Ref<IKVLTreeNode> NextSibling() const;
  Ref<IKVLTreeNode> PrevSibling() const;
  void ShiftLeft();
  void ShiftRight();
  // Raises 91 when the node belongs to no tree.
  Ref<IKVLTreeNode> AddChild();
  Ref<Object> Contents() const { return contents_; }
  void SetContentsRef(Ref<Object> contents);
  void Remove();
  const std::string& Key() const { return key_; }
  void SetTag(std::string tag) { tag_ = std::move(tag); }
  const std::string& Tag() const { return tag_; }

  // ITreeIterator over the children.
  Ref<Object> FirstItem() override;
  Ref<Object> NextItem() override;

  // True while the node belongs to a tree.
  bool attached() const { return proxy() != nullptr; }

 private:
  friend class TreeProxy;

  TreeProxy* proxy() const { return proxy_ ? *proxy_ : nullptr; }
  // The registered node under `key`, or null.
  Ref<IKVLTreeNode> Lookup(const std::string& key) const;
  // Calls visit(child) in sibling order while it returns true.
  template <class F>
  void WalkChildren(F&& visit) const;
  void Attach(std::shared_ptr<TreeProxy*> proxy) { proxy_ = std::move(proxy); }
  void Detach();

  // The proxy's own cell: null once the proxy has ended.
  std::shared_ptr<TreeProxy*> proxy_;
  std::string key_;
  std::string tag_;
  Ref<Object> contents_;
  std::string parent_key_;
  std::string next_key_;
  std::string prev_key_;
  Ref<IKVLTreeNode> first_child_;
  Ref<IKVLTreeNode> cursor_;  // ITreeIterator
};

// Creatable (kind 2). A new tree has one registered node, the root.
class KVL_EXPORT IKVLTree : public Object {
  KVL_DECLARE_CLASS(IKVLTree)
 public:
  IKVLTree();
  ~IKVLTree() override;

  // The root, or null after it has been removed or set to null.
  virtual Ref<IKVLTreeNode> Root() const;
  // Empties the items, makes `node` the root and registers it (not the nodes
  // below it).
  virtual void SetRootRef(Ref<IKVLTreeNode> node);
  // A read-only view of the registered nodes, by 1-based position or key.
  virtual Ref<ReadOnlyCollection> items() const;

 protected:
  struct ProxyTag {};
  explicit IKVLTree(ProxyTag) {}

 private:
  Ref<TreeProxy> proxy_;
};

// Public, not creatable (kind 3): the tree's registry, which implements
// IKVLTree and has no members of its own. Made only by IKVLTree.
class KVL_EXPORT TreeProxy final : public IKVLTree {
  KVL_DECLARE_CLASS(TreeProxy)
 public:
  TreeProxy();
  ~TreeProxy() override;

  Ref<IKVLTreeNode> Root() const override { return root_; }
  void SetRootRef(Ref<IKVLTreeNode> node) override;
  Ref<ReadOnlyCollection> items() const override {
    return MakeRef<ReadOnlyCollection>(items_);
  }

  // Adds `node` to the items under its key and attaches it; false (nothing
  // changed) when the key is registered already.
  bool Register(IKVLTreeNode& node);
  // Takes `node` out of the items (after setting Root to null when it is the
  // root); a node that is not registered is ignored.
  void Unregister(IKVLTreeNode& node);
  // Replaces the items by an empty collection.
  void ResetItems();
  Ref<IKVLTreeNode> Find(std::string_view key) const;
  size_t node_count() const { return items_->size(); }

 private:
  Ref<IKVLTreeNode> root_;
  Ref<IKVLCollection> items_;
  std::shared_ptr<TreeProxy*> self_;
};

}  // namespace kvl

#endif  // KVL_COLLECTIONS_TREE_H_
