// ConfigSection: one named section of a configuration, and ConfigItemList,
// the ordered list of its items.
//
// An item is a ParamString, or the item's text while a lazily loaded
// configuration has not been asked for it yet; the list holds each as a
// Variant (an object or a string). ConfigSection::Contents hands out the
// list itself, so changes made through it change the section. Lists and
// items count from 1.
//
// A section also records the file it was read from (or is to be saved
// to), whether that file was an included one, and the file that included
// it. It walks its parsed items as an ITreeIterator; a walk stops at the
// first item still held as text.
//
// Ownership: the section owns its list, the list its items. Used on the
// thread that created them.
//
//   Ref<ConfigSection> s = MakeRef<ConfigSection>("Motion");
//   s->AddString("Axis N=1");              // text, parsed on demand
//   s->Add(parsed);                        // a ParamString
//   s->Item(2);                            // `parsed`; Item(1) is null
#ifndef KVL_CONFIG_CONFIG_SECTION_H_
#define KVL_CONFIG_CONFIG_SECTION_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "kvl/collections/tree_iterator.h"
#include "kvl/params/param_string.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

// Public, not creatable (kind 3).
class KVL_EXPORT ConfigItemList : public Object {
  KVL_DECLARE_CLASS(ConfigItemList)
 public:
  ConfigItemList() = default;

  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // Default member: the item at `Index`; raises 5 for a bad index.
  Variant Item(int32_t Index) const;
  // Appends a ParamString, an XMLParamString or an item text; raises 13
  // for anything else.
  void Add(const Variant& item);
  // Raises 5 for a bad index.
  void Remove(int32_t Index);
  // An enumerator over a snapshot of the items (dispatch id -4, hidden).
  Ref<Object> NewEnum() const;

  // ---- for the library's own use ----
  std::vector<Variant>& items() { return items_; }
  const std::vector<Variant>& items() const { return items_; }

 private:
  std::vector<Variant> items_;
};

// Public, not creatable (kind 3).
class KVL_EXPORT ConfigSection : public Object, public ITreeIterator {
  KVL_DECLARE_CLASS(ConfigSection)
 public:
  ConfigSection();
  explicit ConfigSection(std::string name);
  ~ConfigSection() override;

  Ref<ConfigItemList> Contents() const { return items_; }
  const std::string& FileName() const { return file_name_; }
  void SetWasIncluded(bool value) { was_included_ = value; }
  bool WasIncluded() const { return was_included_; }
  const std::string& IncludedFrom() const { return included_from_; }
  void SetName(const std::string& value) { name_ = value; }
  const std::string& Name() const { return name_; }
  // The parsed item at `Index`; null for a bad index or an item text.
  Ref<ParamString> Item(int32_t Index) const;
  // Raises 91 for null.
  void Add(Ref<ParamString> ps);
  void AddString(const std::string& s);
  // Puts `ps` in the place of the item at `Index`; raises 5 for a bad
  // index, 91 for null.
  void ReplaceItem(int32_t Index, Ref<ParamString> ps);
  // A bad index is ignored.
  void Remove(int32_t Index);
  int32_t Count() const { return items_->Count(); }

  // ITreeIterator over the parsed items.
  Ref<Object> FirstItem() override;
  Ref<Object> NextItem() override;

  // ---- for the library's own use ----
  void SetFileName(std::string value) { file_name_ = std::move(value); }
  void SetIncludedFrom(std::string value) { included_from_ = std::move(value); }
  std::vector<Variant>& items() { return items_->items(); }

 private:
  Ref<ConfigItemList> items_;
  std::string name_;
  std::string file_name_;
  bool was_included_ = false;
  std::string included_from_;
  int32_t iteration_index_ = 0;
};

}  // namespace kvl

#endif  // KVL_CONFIG_CONFIG_SECTION_H_
