#include "kvl/frame/kvl_types.h"

#include "kvl/frame/catalogue.h"

namespace kvl {

const ClassInfo& KvlEnumInfo(KVLExceptions) {
  static const ClassInfo info =
      EnumBuilder("KVLExceptions")
          .Value("kKVLException_OK", kKVLException_OK)
          .Value("kKVLExcepton_DanglingReference",
                 kKVLExcepton_DanglingReference)
          .Value("kKVLException_InvalidParam", kKVLException_InvalidParam)
          .Value("kKVLException_ItemNotFound", kKVLException_ItemNotFound)
          .Value("kKVLException_DuplicateItem", kKVLException_DuplicateItem)
          .Value("kKVLException_OutOfRange", kKVLException_OutOfRange)
          .Value("kKVLException_InvalidValue", kKVLException_InvalidValue)
          .Value("kKVLException_NotInitialized", kKVLException_NotInitialized)
          .Value("kKVLException_InvalidReference",
                 kKVLException_InvalidReference)
          .Build();
  return info;
}
KVL_REGISTER_ENUM(KVLExceptions)

const ClassInfo& KvlEnumInfo(KVLType) {
  static const ClassInfo info = EnumBuilder("KVLType")
                                    .Value("ST_None", ST_None)
                                    .Value("ST_List", ST_List)
                                    .Value("ST_Ascii", ST_Ascii)
                                    .Value("ST_JIS", ST_JIS)
                                    .Value("ST_B", ST_B)
                                    .Value("ST_I1", ST_I1)
                                    .Value("ST_I2", ST_I2)
                                    .Value("ST_I4", ST_I4)
                                    .Value("ST_I8", ST_I8)
                                    .Value("ST_U1", ST_U1)
                                    .Value("ST_U2", ST_U2)
                                    .Value("ST_U4", ST_U4)
                                    .Value("ST_U8", ST_U8)
                                    .Value("ST_F4", ST_F4)
                                    .Value("ST_F8", ST_F8)
                                    .Value("ST_BOOLEAN", ST_BOOLEAN)
                                    .Value("ST_String", ST_String)
                                    .Build();
  return info;
}
KVL_REGISTER_ENUM(KVLType)

}  // namespace kvl
