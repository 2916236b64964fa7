// The enumerations that several parts of the library share: the result codes
// of collection and dictionary operations (KVLExceptions) and the data-type
// flags of parameter values (KVLType).
//
// Both are plain unscoped enumerations in namespace kvl so that their members
// read exactly as clients know them (kKVLException_ItemNotFound, ST_I4).
// KVLExceptions codes are returned, never raised; KVLExceptionString
// (kvl_constants.h) turns one into its message. A KVLType is one bit of a
// 16-bit field: ST_String is the sign bit (0x8000). Both are published as
// enumerations of the type library (KvlEnumInfo), so members that take or
// return them say so.
//
//   KVLExceptions rc = collection.Add(item);
//   if (rc != kKVLException_OK) log(KVLExceptionString(rc));
//   if (item_type & ST_I4) ...
#ifndef KVL_FRAME_KVL_TYPES_H_
#define KVL_FRAME_KVL_TYPES_H_

#include <cstdint>

#include "kvl/runtime/class_info.h"

namespace kvl {

enum KVLExceptions : int32_t {
  kKVLException_OK = 0,
  // The spelling "Excepton" is the published name of this member.
  kKVLExcepton_DanglingReference = 10001,
  kKVLException_InvalidParam = 10002,
  kKVLException_ItemNotFound = 10003,
  kKVLException_DuplicateItem = 10004,
  kKVLException_OutOfRange = 10005,
  kKVLException_InvalidValue = 10006,
  kKVLException_NotInitialized = 10007,
  kKVLException_InvalidReference = 10008,
};

enum KVLType : int16_t {
  ST_None = 0,
  ST_List = 1,
  ST_Ascii = 2,
  ST_JIS = 4,
  ST_B = 8,
  ST_I1 = 16,
  ST_I2 = 32,
  ST_I4 = 64,
  ST_I8 = 128,
  ST_U1 = 256,
  ST_U2 = 512,
  ST_U4 = 1024,
  ST_U8 = 2048,
  ST_F4 = 4096,
  ST_F8 = 8192,
  ST_BOOLEAN = 16384,
  ST_String = -32768,
};

KVL_DECLARE_ENUM(KVLExceptions)
KVL_DECLARE_ENUM(KVLType)

}  // namespace kvl

#endif  // KVL_FRAME_KVL_TYPES_H_
