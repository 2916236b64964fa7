#include "kvl/collections/tree.h"

#include <utility>

#include "kvl/frame/catalogue.h"
#include "kvl/frame/com_globals.h"
#include "kvl/runtime/checked.h"
#include "kvl/runtime/error.h"

namespace kvl {

// ---- IKVLTreeNode ----------------------------------------------------------

const ClassInfo& IKVLTreeNode::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IKVLTreeNode>("IKVLTreeNode", ClassKind::kCreatable)
          .Get<&IKVLTreeNode::Parent>("Parent")
          .Get<&IKVLTreeNode::Children>("Children")
          .Get<&IKVLTreeNode::FirstChild>("FirstChild")
          .Get<&IKVLTreeNode::LastChild>("LastChild")
          .Get<&IKVLTreeNode::ChildCount>("ChildCount")
          .Get<&IKVLTreeNode::NextSibling>("NextSibling")
          .Get<&IKVLTreeNode::PrevSibling>("PrevSibling")
          .Method<&IKVLTreeNode::ShiftLeft>("ShiftLeft")
          .Method<&IKVLTreeNode::ShiftRight>("ShiftRight")
          .Method<&IKVLTreeNode::AddChild>("AddChild")
          .Get<&IKVLTreeNode::Contents>("Contents")
          .Set<&IKVLTreeNode::SetContentsRef>("Contents")
          .Method<&IKVLTreeNode::Remove>("Remove")
          .Get<&IKVLTreeNode::Key>("Key")
          .Let<&IKVLTreeNode::SetTag>("Tag")
          .Get<&IKVLTreeNode::Tag>("Tag")
          .Implements(&ITreeIterator::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(IKVLTreeNode)

IKVLTreeNode::IKVLTreeNode() : key_(MakeUniqueKey()) {}

Ref<IKVLTreeNode> IKVLTreeNode::Lookup(const std::string& key) const {
  TreeProxy* proxy = this->proxy();
  if (!proxy || key.empty()) return nullptr;
  return proxy->Find(key);
}

Ref<IKVLTreeNode> IKVLTreeNode::Parent() const {
  return Lookup(parent_key_);
}

Ref<IKVLTreeNode> IKVLTreeNode::NextSibling() const {
  return Lookup(next_key_);
}

Ref<IKVLTreeNode> IKVLTreeNode::PrevSibling() const {
  return Lookup(prev_key_);
}

template <class F>
void IKVLTreeNode::WalkChildren(F&& visit) const {
  // Past the first child every node comes from the items, so a chain longer
  // than the items plus one would repeat itself.
  TreeProxy* proxy = this->proxy();
  size_t budget = (proxy ? proxy->node_count() : 0) + 1;
  for (Ref<IKVLTreeNode> child = first_child_; child && budget > 0; --budget) {
    if (!visit(child)) return;
    child = child->NextSibling();
  }
}

Ref<ReadOnlyCollection> IKVLTreeNode::Children() const {
  auto children = MakeRef<IKVLCollection>();
  WalkChildren([&](const Ref<IKVLTreeNode>& child) {
    return children->Add(child, child->Key()) == kKVLException_OK;
  });
  return MakeRef<ReadOnlyCollection>(std::move(children));
}

Ref<IKVLTreeNode> IKVLTreeNode::LastChild() const {
  Ref<IKVLTreeNode> last;
  WalkChildren([&](const Ref<IKVLTreeNode>& child) {
    last = child;
    return true;
  });
  return last;
}

int16_t IKVLTreeNode::ChildCount() const {
  size_t count = 0;
  WalkChildren([&](const Ref<IKVLTreeNode>&) {
    ++count;
    return true;
  });
  return CheckedCast<int16_t>(count);
}

void IKVLTreeNode::ShiftLeft() {
  // PP, A, this, C becomes PP, this, A, C.
  Ref<IKVLTreeNode> a = PrevSibling();
  if (!a) return;
  Ref<IKVLTreeNode> pp = a->PrevSibling();
  Ref<IKVLTreeNode> c = NextSibling();
  Ref<IKVLTreeNode> parent = Parent();
  if (pp) pp->next_key_ = key_;
  prev_key_ = pp ? pp->key_ : std::string();
  next_key_ = a->key_;
  a->prev_key_ = key_;
  a->next_key_ = c ? c->key_ : std::string();
  if (c) c->prev_key_ = a->key_;
  if (parent && parent->first_child_ == a)
    parent->first_child_ = Ref<IKVLTreeNode>(this);
}

void IKVLTreeNode::ShiftRight() {
  // A, this, C, NN becomes A, C, this, NN.
  Ref<IKVLTreeNode> c = NextSibling();
  if (!c) return;
  Ref<IKVLTreeNode> nn = c->NextSibling();
  Ref<IKVLTreeNode> a = PrevSibling();
  Ref<IKVLTreeNode> parent = Parent();
  if (a) a->next_key_ = c->key_;
  c->prev_key_ = a ? a->key_ : std::string();
  c->next_key_ = key_;
  prev_key_ = c->key_;
  next_key_ = nn ? nn->key_ : std::string();
  if (nn) nn->prev_key_ = key_;
  if (parent && parent->first_child_.get() == this) parent->first_child_ = c;
}

Ref<IKVLTreeNode> IKVLTreeNode::AddChild() {
  Ref<IKVLTreeNode> last = LastChild();
  auto child = MakeRef<IKVLTreeNode>();
  child->parent_key_ = key_;
  TreeProxy* proxy = this->proxy();
  if (!proxy) Raise(kErrObjectNotSet);
  if (!proxy->Register(*child)) Raise(kErrDuplicateKey);
  if (last) {
    last->next_key_ = child->key_;
    child->prev_key_ = last->key_;
  } else {
    first_child_ = child;
  }
  return child;
}

void IKVLTreeNode::SetContentsRef(Ref<Object> contents) {
  Ref<Object> old = std::exchange(contents_, std::move(contents));
}

void IKVLTreeNode::Remove() {
  Ref<IKVLTreeNode> self(this);  // the items may hold the last reference
  while (first_child_) {
    Ref<IKVLTreeNode> child = first_child_;
    child->Remove();
    // The child moves its next sibling up through this node as its parent;
    // when this node is not registered that lookup fails, so move on here.
    if (first_child_ == child) first_child_ = Lookup(child->next_key_);
  }
  Ref<IKVLTreeNode> prev = PrevSibling();
  Ref<IKVLTreeNode> next = NextSibling();
  if (prev) prev->next_key_ = next_key_;
  if (next) next->prev_key_ = prev_key_;
  Ref<IKVLTreeNode> parent = Parent();
  if (parent && parent->first_child_.get() == this) parent->first_child_ = next;
  if (TreeProxy* proxy = this->proxy()) proxy->Unregister(*this);
  Detach();
}

void IKVLTreeNode::Detach() {
  proxy_.reset();
  Ref<IKVLTreeNode> cursor = std::move(cursor_);
  Ref<Object> contents = std::move(contents_);
  // Both are released here, with the node already detached.
}

Ref<Object> IKVLTreeNode::FirstItem() {
  cursor_ = first_child_;
  return cursor_;
}

Ref<Object> IKVLTreeNode::NextItem() {
  if (cursor_) cursor_ = cursor_->NextSibling();
  return cursor_;
}

// ---- IKVLTree --------------------------------------------------------------

const ClassInfo& IKVLTree::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IKVLTree>("IKVLTree", ClassKind::kCreatable)
          .Get<&IKVLTree::Root>("Root")
          .Set<&IKVLTree::SetRootRef>("Root")
          .Get<&IKVLTree::items>("items")
          .Build();
  return info;
}
KVL_REGISTER_CLASS(IKVLTree)

IKVLTree::IKVLTree() : proxy_(MakeRef<TreeProxy>()) {
  proxy_->SetRootRef(MakeRef<IKVLTreeNode>());
}

IKVLTree::~IKVLTree() {
  if (proxy_) proxy_->ResetItems();
}

Ref<IKVLTreeNode> IKVLTree::Root() const {
  return proxy_->Root();
}

void IKVLTree::SetRootRef(Ref<IKVLTreeNode> node) {
  proxy_->SetRootRef(std::move(node));
}

Ref<ReadOnlyCollection> IKVLTree::items() const {
  return proxy_->items();
}

// ---- TreeProxy -------------------------------------------------------------

const ClassInfo& TreeProxy::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<TreeProxy>("TreeProxy", ClassKind::kPublic)
          .Implements(&IKVLTree::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(TreeProxy)

TreeProxy::TreeProxy()
    : IKVLTree(ProxyTag{}),
      items_(MakeRef<IKVLCollection>()),
      self_(std::make_shared<TreeProxy*>(this)) {}

TreeProxy::~TreeProxy() {
  // Nodes that outlive the proxy find no tree from now on.
  *self_ = nullptr;
}

void TreeProxy::SetRootRef(Ref<IKVLTreeNode> node) {
  // Releasing the former nodes may release the tree that holds this proxy.
  Ref<TreeProxy> keep(this);
  Ref<IKVLCollection> old_items =
      std::exchange(items_, MakeRef<IKVLCollection>());
  Ref<IKVLTreeNode> old_root = std::exchange(root_, node);
  if (node) Register(*node);
  // The former nodes are released here, with the new state in place.
}

bool TreeProxy::Register(IKVLTreeNode& node) {
  if (items_->Add(Ref<Object>(&node), node.Key()) != kKVLException_OK)
    return false;
  node.Attach(self_);
  return true;
}

void TreeProxy::Unregister(IKVLTreeNode& node) {
  Ref<TreeProxy> keep(this);
  if (root_.get() == &node) SetRootRef(nullptr);
  items_->RemoveKey(node.Key());
}

void TreeProxy::ResetItems() {
  Ref<TreeProxy> keep(this);
  Ref<IKVLCollection> old = std::exchange(items_, MakeRef<IKVLCollection>());
}

Ref<IKVLTreeNode> TreeProxy::Find(std::string_view key) const {
  Ref<Object> found = items_->ItemByKey(key);
  return Ref<IKVLTreeNode>(
      found ? dynamic_cast<IKVLTreeNode*>(found->Identity()) : nullptr);
}

}  // namespace kvl
