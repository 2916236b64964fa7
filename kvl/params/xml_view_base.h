// XmlViewBase: what XMLParamString and XMLParamItem share, their node, child
// walk and fields, and the members that behave alike in both: the walking
// members, the search by name through the subtree, Tag and the editing
// members that change nothing. Not for clients; see the two view classes.
//
// Child views are handed out as new XMLParamItems, but a view keeps the
// last two it made and hands one of them out again, reset, once nothing
// but the view holds it: nobody can tell such an object from a new view,
// since nothing else refers to it, and a walk that keeps its current child
// while asking for the next then makes no object per child. A child with a
// weak reference to it is never handed out again. The kept children keep
// theirs, so a view retains at most two children per level of the walks
// made through it, until it ends or is handed out again for another node.
//
// Ownership: a view holds the loaded content its node points into, so the
// handles of its walk stay valid. Used on the thread that created it.
#ifndef KVL_PARAMS_XML_VIEW_BASE_H_
#define KVL_PARAMS_XML_VIEW_BASE_H_

#include <cstdint>
#include <string>
#include <utility>

#include "kvl/params/tree_iterator_adapter.h"
#include "kvl/params/xml_child_cursor.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"
#include "kvl/xml/xml_document.h"

namespace kvl {

class XMLParamItem;

namespace internal {

// The two views of type T (XMLParamString or XMLParamItem) a parent made
// last, handed out again as described above. T::Recycle(owner, at) makes
// a kept view what a new one of `at` would be.
//
// Each kept view carries, besides the parent's own reference, a few spare
// references taken in one count change; handing the view out passes one
// of them on (Ref::Adopt), so a walk changes a view's count once per
// child (when the caller lets it go) rather than twice. A view is free
// when its count is the parent's own share.
template <class T>
class KVL_EXPORT KeptViews {
 public:
  KeptViews() = default;
  KeptViews(const KeptViews&) = delete;
  KeptViews& operator=(const KeptViews&) = delete;
  ~KeptViews() { Clear(); }

  // A view of `at`, a node of `owner`'s document; null for a null handle.
  Ref<T> Get(const XmlNode& owner, const XmlNodeHandle& at) {
    if (!at) return nullptr;
    for (Slot& kept : kept_) {
      // RefCount reads with acquire: the last outside reference may have
      // gone on another thread.
      if (kept.view && kept.view->RefCount() == 1 + kept.spare &&
          !kept.view->HasWeakRefs()) {
        kept.view->Recycle(owner, at);
        return HandOut(kept);
      }
    }
    Slot& slot = kept_[next_];
    next_ ^= 1;
    Drop(slot);
    slot.view = MakeRef<T>(XmlNode(owner, at)).Detach();
    return HandOut(slot);
  }
  // Lets the kept views go (when the parent moves to another document).
  void Clear() {
    Drop(kept_[0]);
    Drop(kept_[1]);
  }

 private:
  // Spare references taken at a time.
  static constexpr int32_t kSpares = 16;

  struct Slot {
    T* view = nullptr;  // holds 1 + spare references
    int32_t spare = 0;
  };

  static Ref<T> HandOut(Slot& slot) {
    if (slot.spare == 0) {
      slot.view->AddRefs(kSpares);
      slot.spare = kSpares;
    }
    --slot.spare;
    return Ref<T>::Adopt(slot.view);
  }
  static void Drop(Slot& slot) {
    if (!slot.view) return;
    T* view = std::exchange(slot.view, nullptr);
    view->ReleaseRefs(1 + std::exchange(slot.spare, 0));
  }

  Slot kept_[2];
  int next_ = 0;  // the slot to replace when neither is free
};

class KVL_EXPORT XmlViewBase : public Object, public TreeIteratorAdapter {
 public:
  Ref<Object> Add(const std::string&, const Variant&) { return nullptr; }
  Ref<Object> AddList(const std::string& = {}) { return nullptr; }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Woverloaded-virtual"
  // A view of the current child; null (and the walk reset) when there is
  // none.
  Ref<XMLParamItem> CurrentItem() const;
  Ref<XMLParamItem> FirstItem() const;
  // Child `n` from 1 (attributes first); null when there is none. The walk
  // does not move.
  Ref<XMLParamItem> Item(int16_t n) const;
  // Null after the last child, and again on every call until FirstItem.
  Ref<XMLParamItem> NextItem() const;
#pragma GCC diagnostic pop
  // The first node called `keyword` (ignoring case) in a depth-first walk:
  // the node, its `index`-th attribute of that name, then each child's
  // subtree with the same count.
  Ref<XMLParamItem> ItemByIndex(const std::string& keyword,
                                int16_t index = 1) const;
  std::string QuoteChars() const {
    return "\"\"";
  }
  void SetQuoteChars(const std::string&) {}
  bool RemoveElement(const Ref<Object>&) {
    return false;
  }
  bool ShowTypes() const {
    return false;
  }
  void SetShowTypes(bool) {}
  bool SmartQuotes() const {
    return false;
  }
  void SetSmartQuotes(bool) {}
  const std::string& Tag() const {
    return tag_;
  }
  void SetTag(std::string tag) {
    tag_ = std::move(tag);
  }

  // ---- for the library's own use ----
  // Starts the walk over.
  void SetNode(XmlNode node);
  const XmlNode& node() const {
    return node_;
  }
  PSIterState IterationState() const {
    return cursor_.state();
  }

 protected:
  // Out of line: the kept children's type is complete only there.
  XmlViewBase();
  explicit XmlViewBase(XmlNode node);
  ~XmlViewBase() override;

  Ref<Object> TreeFirstItem() override;
  Ref<Object> TreeNextItem() override;

  // A view of `at`, a node of this view's document; null for a null handle.
  Ref<XMLParamItem> ChildView(const XmlNodeHandle& at) const;
  // Makes this view what a new one of `at` (a node of `owner`'s content)
  // would be, as far as the fields kept here go. The kept children stay:
  // they belong to the same document.
  void ResetView(const XmlNode& owner, const XmlNodeHandle& at) {
    node_.Reseat(owner, at);
    tag_.clear();
    cursor_ = XmlChildCursor();
  }

  XmlNode node_;
  std::string tag_;

 private:
  // The walk is iteration state, as in ParamItem: the walking members are
  // const.
  mutable XmlChildCursor cursor_;
  // Declared here, defined with XMLParamItem complete.
  mutable KeptViews<XMLParamItem> kept_;
};

}  // namespace internal
}  // namespace kvl

#endif  // KVL_PARAMS_XML_VIEW_BASE_H_
