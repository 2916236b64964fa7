#include "kvl/files/file_attributes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "kvl/files/file_errors.h"
#include "kvl/files/internal/scoped_temp_dir.h"
#include "kvl/frame/catalogue.h"
#include "kvl/frame/library.h"
#include "kvl/runtime/clock.h"
#include "kvl/runtime/date_time.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

using files_internal::ScopedTempDir;

Ref<FileAttributes> Attributes(const std::string& name) {
  auto f = MakeRef<FileAttributes>();
  f->SetFileName(name);
  return f;
}

mode_t ModeOf(const std::string& p) {
  struct stat st {};
  stat(p.c_str(), &st);
  return st.st_mode & 07777;
}

std::string DosAttrib(const std::string& p) {
  char buffer[64];
  ssize_t n = getxattr(p.c_str(), "user.DOSATTRIB", buffer, sizeof buffer);
  return n < 0 ? "-" : std::string(buffer, static_cast<size_t>(n));
}

// The number of the KVLError that `f` raises, or 0.
template <class F>
int32_t ErrorOf(F f) {
  try {
    f();
  } catch (const KVLError& e) {
    return e.number();
  }
  return 0;
}

TEST(FileAttributesTest, Snapshots) {
  ScopedTempDir dir;
  const std::string file = dir.MakeFile("main.cfg", "hello");
  struct {
    std::string name;
    bool exists, is_dir, hidden;
  } const cases[] = {
      {dir.Path("missing"), false, false, false},
      {"", false, false, false},
      {file, true, false, false},
      {dir.path() + R"(\main.cfg)", true, false, false},
      {dir.path(), true, true, false},
      {dir.MakeFile(".profile", ""), true, false, true},
      {dir.MakeDir(".cache") + "/", true, true, true},
      {dir.path() + "/.", true, true, false},
  };
  for (const auto& c : cases) {
    Ref<FileAttributes> f = Attributes(c.name);
    EXPECT_EQ(f->FileName(), c.name);
    EXPECT_EQ(std::vector<bool>({f->Exists(), f->IsDirectory(), f->IsRegular(),
                                 f->IsHidden()}),
              std::vector<bool>({c.exists, c.is_dir, !c.is_dir, c.hidden}))
        << c.name;
  }
  Ref<FileAttributes> missing = Attributes(dir.Path("missing"));
  EXPECT_EQ(missing->Size(), -1);
  EXPECT_EQ(missing->ModDate(), Date{0});
  EXPECT_EQ(Attributes(file)->Size(), 5);
  const std::string big = dir.MakeFile("sparse", "");
  ASSERT_EQ(truncate(big.c_str(), int64_t{3} << 30), 0);
  EXPECT_EQ(ErrorOf([&] { Attributes(big)->Size(); }), kErrOverflow);
}

TEST(FileAttributesTest, TouchSetsClockTimeAndKeepsContents) {
  ScopedTempDir dir;
  ScopedManualClock clock(MakeDate(2010, 7, 1, 8, 0, 0, 250));
  const std::string data("line\n\0bin", 9);
  const std::string full = dir.MakeFile("full.bin", data);
  const std::string empty = dir.MakeFile("empty", "");
  const std::string locked = dir.MakeFile("locked.cfg", "keep");
  chmod(locked.c_str(), 0464);
  const std::string missing = dir.Path("new.dat");
  for (const std::string& name : {full, empty, locked, missing}) {
    Ref<FileAttributes> f = Attributes(name);
    const Date before = f->ModDate();
    f->Touch();
    EXPECT_EQ(f->ModDate(), before);  // no refresh
    f->Refresh();
    EXPECT_EQ(FormatGeneralDate(f->ModDate()), "2010-07-01 08:00:00") << name;
    EXPECT_EQ(SplitDate(f->ModDate()).millisecond, 250);
  }
  EXPECT_EQ(ScopedTempDir::Read(full), data);
  EXPECT_EQ(ScopedTempDir::Read(empty), "");
  EXPECT_EQ(ScopedTempDir::Read(locked), "keep");
  EXPECT_EQ(ModeOf(locked), 0464u);
  EXPECT_EQ(ScopedTempDir::Read(missing), std::string(1, '\0'));
  EXPECT_EQ(ErrorOf([&] { Attributes(dir.Path("no/f"))->Touch(); }),
            kErrPathNotFound);
  EXPECT_EQ(ErrorOf([&] { Attributes("")->Touch(); }), kErrBadFileName);
}

TEST(FileAttributesTest, ReadOnlyIsTheOwnersWritePermission) {
  ScopedTempDir dir;
  const std::string file = dir.MakeFile("f.cfg", "x");
  chmod(file.c_str(), 0664);
  Ref<FileAttributes> f = Attributes(file);
  f->SetIsReadOnly(true);
  EXPECT_TRUE(f->IsReadOnly());
  EXPECT_EQ(ModeOf(file), 0444u);
  f->SetIsReadOnly(false);
  EXPECT_FALSE(f->IsReadOnly());
  EXPECT_EQ(ModeOf(file), 0644u);
  chmod(file.c_str(), 0400);
  EXPECT_FALSE(f->IsReadOnly());  // a snapshot until refreshed
  f->Refresh();
  EXPECT_TRUE(f->IsReadOnly());

  Ref<FileAttributes> gone = Attributes(dir.Path("gone"));
  gone->SetIsReadOnly(false);  // the snapshot's value: nothing to do
  EXPECT_EQ(ErrorOf([&] { gone->SetIsReadOnly(true); }), kErrFileNotFound);
  EXPECT_EQ(ErrorOf([&] { gone->SetIsHidden(true); }), kErrFileNotFound);
}

TEST(FileAttributesTest, HiddenFlagLivesInDosAttribNeverInTheName) {
  ScopedTempDir dir;
  const std::string file = dir.MakeFile("plain.cfg", "x");
  if (setxattr(file.c_str(), "user.DOSATTRIB", "0x20", 4, 0) != 0)
    GTEST_SKIP() << "no user extended attributes here";
  Ref<FileAttributes> f = Attributes(file);
  f->SetIsHidden(true);
  EXPECT_TRUE(f->IsHidden());
  EXPECT_EQ(DosAttrib(file), std::string("0x22\0", 5));  // other bits kept
  f->SetIsHidden(false);
  EXPECT_EQ(DosAttrib(file), std::string("0x20\0", 5));
  removexattr(file.c_str(), "user.DOSATTRIB");
  f->SetIsHidden(true);
  EXPECT_EQ(DosAttrib(file), std::string("0x2\0", 4));
  f->SetIsHidden(false);
  EXPECT_EQ(DosAttrib(file), "-");
  EXPECT_EQ(ScopedTempDir::Read(file), "x");

  // A record written by another program is read but never rewritten.
  const std::string record("0x22\0\3\0\3\0\1\0\0\0", 14);
  setxattr(file.c_str(), "user.DOSATTRIB", record.data(), record.size(), 0);
  f->Refresh();
  EXPECT_TRUE(f->IsHidden());
  EXPECT_EQ(ErrorOf([&] { f->SetIsHidden(false); }), kErrPathFileAccess);
  EXPECT_EQ(DosAttrib(file), record);

  // A dot name is hidden by its name; showing it would need a rename.
  Ref<FileAttributes> dot = Attributes(dir.MakeFile(".rc", "y"));
  dot->SetIsHidden(true);
  EXPECT_EQ(ErrorOf([&] { dot->SetIsHidden(false); }), kErrPathFileAccess);
  EXPECT_EQ(ScopedTempDir::Read(dir.Path(".rc")), "y");
}

TEST(FileAttributesTest, CreatableAndLateBound) {
  ScopedTempDir dir;
  const std::string file = dir.MakeFile("x.cfg", "abc");
  StartLibrary();  // the library's own objects are not the test's
  const int64_t live = Object::LiveCount();
  {
    Ref<Object> f = CreateObject("KVLCommon.FileAttributes");
    CallByName(*f, "FileName", CallKind::kLet, file);
    EXPECT_EQ(ToText(CallByName(*f, "FileName", CallKind::kGet)), file);
    EXPECT_EQ(CallByName(*f, "Size", CallKind::kGet), Variant(int32_t{3}));
    CallByName(*f, "IsReadOnly", CallKind::kLet, true);
    EXPECT_EQ(ModeOf(file) & 0222, 0u);
    ScopedManualClock clock(MakeDate(2001, 1, 2, 3, 4, 5));
    CallByName(*f, "Touch", CallKind::kMethod);
    CallByName(*f, "Refresh", CallKind::kMethod);
    EXPECT_EQ(ToText(CallByName(*f, "ModDate", CallKind::kGet)),
              "2001-01-02 03:04:05");
  }
  EXPECT_EQ(Object::LiveCount(), live);
  std::string names;
  for (const MemberInfo& m : FileAttributes::StaticClass().members())
    names += m.name + " ";
  EXPECT_EQ(names,
            "FileName FileName Exists ModDate Size IsReadOnly IsReadOnly "
            "IsDirectory IsRegular IsHidden IsHidden Touch Refresh ");
}

}  // namespace
}  // namespace kvl
