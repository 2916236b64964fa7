#include "kvl/files/file_attributes.h"

#include "kvl/files/internal/file_system.h"
#include "kvl/files/kvl_path.h"
#include "kvl/frame/catalogue.h"
#include "kvl/runtime/checked.h"
#include "kvl/runtime/clock.h"

namespace kvl {

namespace fi = files_internal;

void FileAttributes::SetFileName(const std::string& file_name) {
  file_name_ = file_name;
  Refresh();
}

int32_t FileAttributes::Size() const {
  return CheckedCast<int32_t>(size_);
}

void FileAttributes::SetIsReadOnly(bool value) {
  if (value == read_only_) return;
  fi::SetReadOnly(NativePath(file_name_), value);
  Refresh();
}

void FileAttributes::SetIsHidden(bool value) {
  if (value == hidden_) return;
  fi::SetHidden(NativePath(file_name_), value);
  Refresh();
}

void FileAttributes::Touch() {
  fi::TouchFile(NativePath(file_name_), Clock::Now());
}

void FileAttributes::Refresh() {
  fi::FileInfo info = fi::ReadFileInfo(NativePath(file_name_));
  exists_ = info.exists;
  is_directory_ = info.is_directory;
  read_only_ = info.read_only;
  hidden_ = info.hidden;
  size_ = info.size;
  mod_date_ = info.mod_date;
}

const ClassInfo& FileAttributes::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<FileAttributes>("FileAttributes", ClassKind::kCreatable)
          .Get<&FileAttributes::FileName>("FileName")
          .Let<&FileAttributes::SetFileName>("FileName")
          .Get<&FileAttributes::Exists>("Exists")
          .Get<&FileAttributes::ModDate>("ModDate")
          .Get<&FileAttributes::Size>("Size")
          .Get<&FileAttributes::IsReadOnly>("IsReadOnly")
          .Let<&FileAttributes::SetIsReadOnly>("IsReadOnly")
          .Get<&FileAttributes::IsDirectory>("IsDirectory")
          .Get<&FileAttributes::IsRegular>("IsRegular")
          .Get<&FileAttributes::IsHidden>("IsHidden")
          .Let<&FileAttributes::SetIsHidden>("IsHidden")
          .Method<&FileAttributes::Touch>("Touch")
          .Method<&FileAttributes::Refresh>("Refresh")
          .Build();
  return info;
}

KVL_REGISTER_CLASS(FileAttributes)

}  // namespace kvl
