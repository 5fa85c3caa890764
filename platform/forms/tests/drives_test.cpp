// Drives on Linux: the drive list holds the mount points of the mount table (devices, network
// file systems, the user's gvfs folder), a path names the mount point holding it; the file list
// leaves out hidden files and names that are not UTF-8 text.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "forms/controls.h"
#include "forms/form.h"
#include "forms_test_support.h"

namespace fs = std::filesystem;

namespace {
fs::path Scratch(const std::string& name) {
  const char* s = std::getenv("SUITE_TEST_SCRATCH");
  fs::path dir = (s ? fs::path(s) : fs::temp_directory_path()) / name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}
}  // namespace

TEST(Drives, TheMountTableGivesTheDrives) {
  fs::path dir = Scratch("drives");
  fs::create_directories(dir / "usb" / "clips");
  fs::create_directories(dir / "net");
  const std::string gvfs = "/run/user/" + std::to_string(::getuid()) + "/gvfs";
  fs::path table = dir / "mounts";
  std::ofstream(table) << "/dev/sda1 / ext4 rw 0 0\n"
                       << "proc /proc proc rw 0 0\n"
                       << "tmpfs /run tmpfs rw 0 0\n"
                       << "/dev/sdb1 " << (dir / "usb").string() << " vfat rw 0 0\n"
                       << "/dev/sdc1 " << (dir / "gone").string() << " ext4 rw 0 0\n"
                       << "/dev/sda2 /boot/efi vfat rw 0 0\n"
                       << "//server/share " << (dir / "net").string() << " cifs rw 0 0\n"
                       << "gvfsd-fuse " << gvfs << " fuse.gvfsd-fuse rw 0 0\n"
                       << "/dev/sdd1 /media/with\\040blank ext4 rw 0 0\n";
  setenv("SUITE_MOUNT_TABLE", table.c_str(), 1);
  TestForm f("frmDrives", [](TestForm& t) { t.Place({{"DriveListBox", "Drive1", -1, "", 0, 0, 2000, 300, ""}}); });
  auto& drive = dynamic_cast<DriveListBox&>(*f.FindControl("Drive1"));
  unsetenv("SUITE_MOUNT_TABLE");
  std::vector<std::string> drives;
  for (int16_t i = 0; i < drive.ListCount(); ++i) drives.push_back(drive.List(i));
  EXPECT_EQ(drives, (std::vector<std::string>{"/", (dir / "usb").string(), (dir / "gone").string(),
                                              (dir / "net").string(), gvfs, "/media/with blank"}));
  struct Case {
    std::string path, drive;
  };
  const Case cases[] = {{(dir / "usb" / "clips").string(), (dir / "usb").string()},
                        {(dir / "usbx").string(), "/"},
                        {(dir / "net").string(), (dir / "net").string()},
                        {"/media/with blank/a", "/media/with blank"},
                        {"/home", "/"}};
  for (const Case& c : cases) {
    drive.Drive(c.path);
    EXPECT_EQ(drive.Drive(), c.drive) << c.path;
  }
  f.Unload();
}

TEST(Drives, TheFileListLeavesOutHiddenAndNonUtf8Names) {
  fs::path dir = Scratch("listing");
  for (const char* name : {"a.avi", "B.AVI", ".hidden.avi", "c.Jpg", "d.txt", "\xff\xfe.avi", "n\xc3\xa4me.avi"}) {
    std::ofstream(dir / name) << "x";
  }
  fs::create_directories(dir / "folder.avi");
  TestForm f("frmList", [](TestForm& t) { t.Place({{"FileListBox", "File1", -1, "", 0, 0, 2000, 2000, ""}}); });
  auto& files = dynamic_cast<FileListBox&>(*f.FindControl("File1"));
  files.Path(dir.string());
  files.Pattern("*.avi;*.jpg");
  std::vector<std::string> names;
  for (int16_t i = 0; i < files.ListCount(); ++i) names.push_back(files.List(i));
  EXPECT_EQ(names, (std::vector<std::string>{"a.avi", "B.AVI", "c.Jpg", "n\xc3\xa4me.avi"}));
  f.Unload();
}
