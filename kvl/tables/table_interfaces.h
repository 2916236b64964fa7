// The interfaces of keyed tables: ITableAccessor, which a client's table
// implements so that KVLTableUtils and KVLTableIterator can read it;
// ITableItem, for row objects that want to learn their row and container;
// IFastLoader, the binary save and load of KVLTableUtils.
//
// A client table implements ITableAccessor either in C++ (derive from
// Object and ITableAccessor, list `.Implements(&ITableAccessor::StaticClass)`
// in its member table) or late-bound, answering the members below by name
// (a DynamicObject, say). Rows are numbered from 0 in Key1 and Key2 and from
// 1 in Item and Deleted: row r's keys are Key1(r), its object Item(r + 1).
//
// The library calls the accessor on the caller's thread, inside the
// KVLTableUtils or KVLTableIterator call that needs it; the accessor must
// not change the table meanwhile. Nothing in the library calls ITableItem.
//
//   class Parts : public Object, public ITableAccessor {
//     KVL_DECLARE_CLASS(Parts)
//    public:
//     int32_t Count() override { return static_cast<int32_t>(rows_.size()); }
//     std::string Key1(int32_t row) override { return rows_[row].number; }
//     ...
//   };
#ifndef KVL_TABLES_TABLE_INTERFACES_H_
#define KVL_TABLES_TABLE_INTERFACES_H_

#include <cstdint>
#include <string>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

// Public interface (kind 3), implemented by the client's table.
class KVL_EXPORT ITableAccessor {
 public:
  static const ClassInfo& StaticClass();
  // Not consulted by the library; part of the contract for the client's
  // own use.
  virtual int32_t InitialSize() = 0;
  // Below this size the indexes grow by doubling...
  virtual int32_t DoubleThreshold() = 0;
  // ...at and above it by this step.
  virtual int32_t IncrSize() = 0;
  // Not consulted: the client decides whether to build the second index.
  virtual bool Has2ndIndex() = 0;
  // The first and second key of 0-based `row`.
  virtual std::string Key1(int32_t row) = 0;
  virtual std::string Key2(int32_t row) = 0;
  // The number of rows, deleted ones included.
  virtual int32_t Count() = 0;
  // The row object of 1-based `row`.
  virtual Variant Item(int32_t row) = 0;
  // True when 1-based `row` is logically deleted.
  virtual bool Deleted(int32_t row) = 0;

 protected:
  ~ITableAccessor() = default;
};

// Public interface (kind 3) for row objects: property Let Index and
// property Set Container.
class KVL_EXPORT ITableItem {
 public:
  static const ClassInfo& StaticClass();
  virtual void SetIndex(int32_t index) = 0;
  virtual void SetContainerRef(Ref<Object> container) = 0;

 protected:
  ~ITableItem() = default;
};

// Public interface (kind 3): saving and loading both key indexes in one
// binary file. Both give false on any failure and never raise for a file
// problem.
class KVL_EXPORT IFastLoader {
 public:
  static const ClassInfo& StaticClass();
  virtual bool SaveToFile(const std::string& file_name) = 0;
  virtual bool LoadFromFile(const std::string& file_name) = 0;

 protected:
  ~IFastLoader() = default;
};

}  // namespace kvl

#endif  // KVL_TABLES_TABLE_INTERFACES_H_
