// CreateFileW, GetFileSize, ReadFile, CloseHandle and GetModuleFileNameW on
// files that the tests write into a temp directory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/files.h"
#include "platform/host/common/handle_table.h"
#include "platform/host/files/host_files.h"
#include "platform/host/common/text_encoding.h"
#include "platform/runtime.h"

namespace {

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tessaril-files-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    host::setModuleDirectory("");
    std::string command = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  void write(const std::string& name, const std::string& bytes) {
    std::ofstream out(dir_ + "/" + name, std::ios::binary);
    out << bytes;
  }
  // The device path (backslashes, UTF-16) of a file in the temp directory.
  std::u16string devicePath(const std::string& name) {
    std::u16string path = host::utf8ToUtf16(dir_ + "/" + name);
    for (char16_t& c : path) {
      if (c == u'/') c = u'\\';
    }
    return path;
  }
  HANDLE open(const std::string& name) {
    return CreateFileW(devicePath(name).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
  }
  std::string dir_;
};

TEST_F(FilesTest, OpensReadsAndClosesAFile) {
  write("show.txt", std::string("ab\0cd\r\n", 7));
  size_t filesBefore = host::liveObjectCount(host::ObjectKind::File);
  HANDLE file = open("show.txt");
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(host::liveObjectCount(host::ObjectKind::File), filesBefore + 1);
  DWORD high = 99;
  EXPECT_EQ(GetFileSize(file, &high), 7u);
  EXPECT_EQ(high, 0u);
  char buffer[16];
  memset(buffer, 'x', sizeof buffer);
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(file, buffer, 16, &got, nullptr));
  EXPECT_EQ(got, 7u);
  EXPECT_EQ(std::string(buffer, 7), std::string("ab\0cd\r\n", 7));
  EXPECT_EQ(buffer[7], 'x');  // nothing past the bytes read
  ASSERT_TRUE(ReadFile(file, buffer, 16, &got, nullptr));
  EXPECT_EQ(got, 0u);  // at the end: success with no bytes
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_EQ(host::liveObjectCount(host::ObjectKind::File), filesBefore);
}

TEST_F(FilesTest, ReadsInPiecesAndAnEmptyFileFoundInAnotherCase) {
  write("digits", "0123456789");
  write("empty", "");
  HANDLE file = open("DIGITS");
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  char buffer[8] = {};
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(file, buffer, 4, &got, nullptr));
  EXPECT_EQ(std::string(buffer, got), "0123");
  ASSERT_TRUE(ReadFile(file, buffer, 8, &got, nullptr));
  EXPECT_EQ(std::string(buffer, got), "456789");
  CloseHandle(file);
  HANDLE empty = open("empty");
  ASSERT_NE(empty, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(empty, nullptr), 0u);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_SUCCESS);
  EXPECT_TRUE(ReadFile(empty, buffer, 0, &got, nullptr));
  EXPECT_EQ(got, 0u);
  CloseHandle(empty);
}

TEST_F(FilesTest, MissingFileDirectoryAndFifoFailWithTheirErrors) {
  EXPECT_EQ(open("nothing.txt"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(mkdir((dir_ + "/shows").c_str(), 0755), 0);
  EXPECT_EQ(open("shows"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
  EXPECT_EQ(CreateFileW(nullptr, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileW(u"", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  write("a", "1");
  EXPECT_EQ(CreateFileW(devicePath("a").c_str(), GENERIC_READ, 0, nullptr, 77, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
  ASSERT_EQ(mkfifo((dir_ + "/pipe").c_str(), 0644), 0);
  EXPECT_EQ(open("pipe"), INVALID_HANDLE_VALUE);  // refused without blocking
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
}

// An unreadable file as an ordinary user: the check runs in a child that gives
// up root, since root reads any file.
TEST_F(FilesTest, UnreadableFileIsAccessDenied) {
  write("locked.txt", "secret");
  ASSERT_EQ(chmod((dir_ + "/locked.txt").c_str(), 0), 0);
  ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
  EXPECT_EXIT(
      {
        if (geteuid() == 0 && setuid(65534) != 0) std::_Exit(3);
        HANDLE file = open("locked.txt");
        std::_Exit(file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

struct OtherObject : host::Object {
  static constexpr host::ObjectKind kKind = host::ObjectKind::Brush;
  OtherObject() : Object(kKind) {}
};

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
  void* brush = host::registerObject(new OtherObject);
  EXPECT_FALSE(CloseHandle(brush));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
  EXPECT_NE(host::lookupObject(brush), nullptr);
  EXPECT_TRUE(host::destroyObject(brush));
}

TEST_F(FilesTest, CreateAlwaysMakesAFileThatThenOpens) {
  std::u16string path = devicePath("new.txt");
  HANDLE created = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(created, INVALID_HANDLE_VALUE);
  CloseHandle(created);
  EXPECT_EQ(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_EXISTS);
  HANDLE again = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(again, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
  CloseHandle(again);
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
  n = GetModuleFileNameW(nullptr, buffer, 6);
  EXPECT_EQ(n, 5u);
  EXPECT_EQ(std::u16string(buffer), u"\\work");
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(buffer[6], u'#');
  EXPECT_EQ(GetModuleFileNameW(nullptr, buffer, 0), 0u);
  EXPECT_EQ(buffer[0], u'\\');  // size 0: nothing written
}

TEST_F(FilesTest, ModuleFileNameDefaultsToTheRealExecutable) {
  WCHAR buffer[256];
  DWORD n = GetModuleFileNameW(nullptr, buffer, 256);
  ASSERT_GT(n, 0u);
  char real[4096];
  ssize_t length = readlink("/proc/self/exe", real, sizeof real);
  ASSERT_GT(length, 0);
  std::string expected(real, size_t(length));
  if (expected.size() >= 256) GTEST_SKIP() << "the test executable's path is longer than 255 units";
  EXPECT_EQ(buffer[0], u'\\');
  // Back through the device-path translation, the name opens the executable.
  EXPECT_EQ(host::hostPathFromDevice(buffer), expected);
}

}  // namespace
