// CreateFileW, GetFileSize, ReadFile, CloseHandle and GetModuleFileNameW on
// files that the tests write into a temp directory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/host/common/handle_table.h"
#include "platform/host/files/host_files.h"
#include "platform/host/common/text_encoding.h"
#include "platform/runtime.h"
#include "tests/host/gdi_test_support.h"

namespace {

// Files written into a scratch directory and opened by their device paths.
class FilesTest : public ::testing::Test {
 protected:
  void TearDown() override { host::setModuleDirectory(""); }
  void write(const std::string& name, const std::string& bytes) { dir_.write(name, bytes); }
  // The device path (backslashes, UTF-16) of a file in the scratch directory.
  std::u16string devicePath(const std::string& name) {
    std::u16string path = host::utf8ToUtf16(dir_.file(name));
    std::replace(path.begin(), path.end(), u'/', u'\\');
    return path;
  }
  HANDLE open(const std::string& name) {
    return CreateFileW(devicePath(name).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
  }
  // The error an open of path fails with, or kOpened (the handle closed again).
  static constexpr DWORD kOpened = 0xFFFFFFFFu;
  DWORD openError(const char16_t* path, DWORD disposition = OPEN_EXISTING, DWORD access = GENERIC_READ) {
    HANDLE file = CreateFileW(path, access, 0, nullptr, disposition, 0, nullptr);
    return file == INVALID_HANDLE_VALUE ? GetLastError() : (CloseHandle(file), kOpened);
  }
  gdi_test::ScratchDir dir_;
};

// A file found in another case reads in pieces, then at its end succeeds with
// no bytes, writing nothing past what it read; an empty file has size 0; each
// handle is a live object until closed.
TEST_F(FilesTest, OpensReadsInPiecesAndClosesFiles) {
  write("show.txt", std::string("ab\0cd\r\n", 7));
  write("empty", "");
  size_t filesBefore = host::liveObjectCount(host::ObjectKind::File);
  HANDLE file = open("SHOW.TXT"), empty = open("empty");
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ASSERT_NE(empty, INVALID_HANDLE_VALUE);
  EXPECT_EQ(host::liveObjectCount(host::ObjectKind::File), filesBefore + 2);
  DWORD high = 99;
  EXPECT_EQ(GetFileSize(file, &high), 7u);
  EXPECT_EQ(high, 0u);
  char buffer[16];
  memset(buffer, 'x', sizeof buffer);
  DWORD first = 9, second = 9, atEnd = 9, none = 9;
  ASSERT_TRUE(ReadFile(file, buffer, 4, &first, nullptr));
  ASSERT_TRUE(ReadFile(file, buffer + 4, 12, &second, nullptr));
  ASSERT_TRUE(ReadFile(file, buffer + 8, 8, &atEnd, nullptr));
  EXPECT_EQ(std::vector<DWORD>({first, second, atEnd}), (std::vector<DWORD>{4, 3, 0}));
  EXPECT_EQ(std::string(buffer, sizeof buffer), std::string("ab\0cd\r\nxxxxxxxxx", 16));
  EXPECT_EQ(GetFileSize(empty, nullptr), 0u);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_SUCCESS);
  EXPECT_TRUE(ReadFile(empty, buffer, 0, &none, nullptr));
  EXPECT_EQ(none, 0u);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_TRUE(CloseHandle(empty));
  EXPECT_EQ(host::liveObjectCount(host::ObjectKind::File), filesBefore);
}

TEST_F(FilesTest, MissingFileDirectoryAndFifoFailWithTheirErrorsAndCreateNewMakesAFileOnce) {
  ASSERT_EQ(mkdir(dir_.file("shows").c_str(), 0755), 0);
  ASSERT_EQ(mkfifo(dir_.file("pipe").c_str(), 0644), 0);
  write("a", "1");
  EXPECT_EQ(openError(devicePath("nothing.txt").c_str()), (DWORD)ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(openError(devicePath("shows").c_str()), (DWORD)ERROR_ACCESS_DENIED);
  EXPECT_EQ(openError(devicePath("pipe").c_str()), (DWORD)ERROR_ACCESS_DENIED);  // refused without blocking
  EXPECT_EQ(openError(devicePath("a").c_str(), 77), (DWORD)ERROR_INVALID_PARAMETER);
  EXPECT_NE(openError(nullptr), kOpened);
  EXPECT_NE(openError(u""), kOpened);
  // CREATE_NEW makes a file once; CREATE_ALWAYS opens it again, saying it existed.
  std::u16string path = devicePath("new.txt");
  EXPECT_EQ(openError(path.c_str(), CREATE_NEW, GENERIC_READ | GENERIC_WRITE), kOpened);
  EXPECT_EQ(openError(path.c_str(), CREATE_NEW, GENERIC_WRITE), (DWORD)ERROR_FILE_EXISTS);
  SetLastError(0);
  EXPECT_EQ(openError(path.c_str(), CREATE_ALWAYS, GENERIC_WRITE), kOpened);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
}

// An unreadable file as an ordinary user: the check runs in a child that gives
// up root, since root reads any file.
TEST_F(FilesTest, UnreadableFileIsAccessDenied) {
  write("locked.txt", "secret");
  ASSERT_EQ(chmod(dir_.file("locked.txt").c_str(), 0), 0);
  ASSERT_EQ(chmod(dir_.path.c_str(), 0755), 0);
  EXPECT_EXIT(
      {
        if (geteuid() == 0 && setuid(65534) != 0) std::_Exit(3);
        std::_Exit(openError(devicePath("locked.txt").c_str()) == ERROR_ACCESS_DENIED ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(FilesTest, CloseHandleRefusesStaleAndForeignHandles) {
  write("f", "1");
  HANDLE file = open("f");
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_FALSE(CloseHandle(file));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
  EXPECT_FALSE(CloseHandle(nullptr));
  EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
  // Stale handles fail the other file calls too.
  DWORD got = 5;
  char buffer[4];
  EXPECT_FALSE(ReadFile(file, buffer, 4, &got, nullptr));
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(GetFileSize(file, nullptr), INVALID_FILE_SIZE);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
  // A GDI object is no kernel object: it stays alive.
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  EXPECT_FALSE(CloseHandle(brush));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
  EXPECT_TRUE(DeleteObject(brush));
}

TEST_F(FilesTest, ModuleFileNameUsesTheSetDirectoryWithBackslashesCutToTheBuffer) {
  host::setModuleDirectory("/work/x");
  WCHAR buffer[256];
  DWORD n = GetModuleFileNameW(nullptr, buffer, 256);
  EXPECT_EQ(std::u16string(buffer), u"\\work\\x\\tessaril");
  EXPECT_EQ(n, 16u);
  host::setModuleDirectory("/work/x/");  // a trailing slash adds no empty component
  EXPECT_EQ(std::u16string(buffer, GetModuleFileNameW(nullptr, buffer, 256)), u"\\work\\x\\tessaril");
  // Cut to a short buffer.
  for (WCHAR& c : buffer) c = u'#';
  EXPECT_EQ(GetModuleFileNameW(nullptr, buffer, 6), 5u);
  EXPECT_EQ(std::u16string(buffer), u"\\work");
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(buffer[6], u'#');
  EXPECT_EQ(GetModuleFileNameW(nullptr, buffer, 0), 0u);
  EXPECT_EQ(buffer[0], u'\\');  // size 0: nothing written
}

TEST_F(FilesTest, ModuleFileNameDefaultsToTheRealExecutable) {
  WCHAR buffer[256];
  ASSERT_GT(GetModuleFileNameW(nullptr, buffer, 256), 0u);
  std::string expected = std::filesystem::read_symlink("/proc/self/exe").string();
  if (expected.size() >= 256) GTEST_SKIP() << "the test executable's path is longer than 255 units";
  EXPECT_EQ(buffer[0], u'\\');
  // Back through the device-path translation, the name opens the executable.
  EXPECT_EQ(host::hostPathFromDevice(buffer), expected);
}

}  // namespace
