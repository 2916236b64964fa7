// The binary index file of KVLTableUtils: index 0, then index 1, each as
// one block, with no header:
//
//   count        4 bytes, signed, little-endian: the number of entries
//   entry size   4 bytes, present only when count is not 0: written as 8,
//                ignored when read
//   entries      count times: key length (2 bytes, signed), the key's
//                bytes, row (4 bytes, signed)
//
// Bytes after the second block are ignored. Keys are written as the bytes
// they are (UTF-8 text stays UTF-8).
//
// Reading never trusts the file: a count or a key length that the bytes
// left cannot hold refuses the file before anything is allocated for it,
// so a corrupt file costs no more memory than its own size.
#ifndef KVL_TABLES_INTERNAL_INDEX_FILE_H_
#define KVL_TABLES_INTERNAL_INDEX_FILE_H_

#include <cstddef>
#include <memory>
#include <string>

#include "kvl/tables/key_index.h"

namespace kvl::tables_internal {

// Writes both blocks to `fd`. False, with errno set, when writing fails or
// a key is longer than 32767 bytes (EOVERFLOW).
bool WriteIndexFile(int fd, const KeyIndex& first, const KeyIndex& second);

// Reads both blocks from `bytes`; false, and the outputs untouched, when
// they are not two whole blocks.
bool ParseIndexFile(std::shared_ptr<const char[]> bytes, size_t size,
                    KeyIndex* first, KeyIndex* second);

// Reads the regular file `path` and parses it; false when it cannot be
// read or parsed, the outputs then untouched.
bool ReadIndexFile(const std::string& path, KeyIndex* first, KeyIndex* second);

}  // namespace kvl::tables_internal

#endif  // KVL_TABLES_INTERNAL_INDEX_FILE_H_
