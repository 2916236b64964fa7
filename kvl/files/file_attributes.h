// FileAttributes: a snapshot of one file's existence, size, modification
// date and flags, refreshed on demand, with setters for the read-only and
// hidden flags and Touch.
//
// The snapshot is taken when FileName is set, by Refresh and after a flag is
// changed; the object does not watch the file. FileName is written in the
// KVLPath grammar and reaches the file through NativePath ("\" is "/").
// Symbolic links are followed.
//
// On Linux: read-only means the owner has no write permission; setting it
// takes write permission from everyone (chmod a-w), clearing it gives the
// owner write permission back (chmod u+w). A file is hidden when its name
// starts with "." or when the hidden bit is set in its user.DOSATTRIB
// extended attribute (where Samba keeps DOS attributes). Setting IsHidden
// writes that attribute and never renames a file, so hiding a dot name
// cannot be undone by IsHidden = False (75 is raised instead).
//
// Failures: Refresh never raises; a file it cannot read reads as missing.
// The setters and Touch raise the file errors of file_errors.h (53 file
// not found, 76 path not found, 70 permission denied, 75 otherwise), and 75
// when the file system cannot keep the hidden flag.
//
// Threading: used on the thread that created it.
//
//   auto f = MakeRef<FileAttributes>();
//   f->SetFileName("/etc/app/main.cfg");
//   if (f->Exists() && !f->IsReadOnly()) f->Touch();
#ifndef KVL_FILES_FILE_ATTRIBUTES_H_
#define KVL_FILES_FILE_ATTRIBUTES_H_

#include <cstdint>
#include <string>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

class KVL_EXPORT FileAttributes : public Object {
  KVL_DECLARE_CLASS(FileAttributes)
 public:
  const std::string& FileName() const { return file_name_; }
  // Stores the name and refreshes the snapshot.
  void SetFileName(const std::string& file_name);

  bool Exists() const { return exists_; }
  // The modification date and time (local); the zero date when missing.
  Date ModDate() const { return mod_date_; }
  // The length in bytes; -1 when missing. Raises 6 for a file of 2 GiB or
  // more, whose length a 32-bit count cannot hold.
  int32_t Size() const;
  bool IsReadOnly() const { return read_only_; }
  // Changes the file when `value` differs from the snapshot, then refreshes.
  void SetIsReadOnly(bool value);
  bool IsDirectory() const { return is_directory_; }
  // Not a directory (true for a missing file).
  bool IsRegular() const { return !is_directory_; }
  bool IsHidden() const { return hidden_; }
  // Changes the file when `value` differs from the snapshot, then refreshes.
  void SetIsHidden(bool value);
  // Sets the file's modification time to kvl::Clock::Now() without changing
  // its contents or permissions (the owner may touch a read-only file). A
  // missing file is created holding one zero byte. Does not refresh.
  void Touch();
  // Takes a new snapshot; a file that cannot be read reads as missing.
  void Refresh();

 private:
  std::string file_name_;
  bool exists_ = false;
  bool is_directory_ = false;
  bool read_only_ = false;
  bool hidden_ = false;
  int64_t size_ = -1;
  Date mod_date_;
};

}  // namespace kvl

#endif  // KVL_FILES_FILE_ATTRIBUTES_H_
