// Replacing a file through a temporary file: the old file stays whole when
// the new contents cannot be written completely.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include <sys/resource.h>

#include "config/uAtomicFile.h"
#include "support/TChildProcess.h"
#include "support/TTempDir.h"

namespace lumaren {
namespace {

namespace fs = std::filesystem;

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// Every entry of the folder but the named ones: temporary files left behind.
std::vector<std::string> Strays(const fs::path& folder, std::initializer_list<std::string> expected) {
  std::vector<std::string> strays;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (std::find(expected.begin(), expected.end(), name) == expected.end()) strays.push_back(name);
  }
  return strays;
}

TEST(AtomicFile, CreatesAndReplacesWithExactContents) {
  test::TTempDir dir;
  const std::string path = (dir / "a.xml").string();
  ReplaceFileAtomically(path, "first");
  EXPECT_EQ(ReadWholeFile(path), "first");
  const std::string binary("x\0y\r\n", 5);
  ReplaceFileAtomically(path, binary);
  EXPECT_EQ(ReadWholeFile(path), binary);
  ReplaceFileAtomically(path, "");
  EXPECT_EQ(ReadWholeFile(path), "");
  EXPECT_TRUE(Strays(dir.Path(), {"a.xml"}).empty());
}

TEST(AtomicFile, MissingFolderRaisesAndCreatesNothing) {
  test::TTempDir dir;
  const std::string path = (dir / "missing" / "a.xml").string();
  EXPECT_THROW(ReplaceFileAtomically(path, "text"), std::system_error);
  EXPECT_TRUE(Strays(dir.Path(), {}).empty());
}

TEST(AtomicFile, FolderInPlaceOfFileRaisesAndLeavesNoTemporary) {
  test::TTempDir dir;
  fs::create_directory(dir / "a.xml");
  EXPECT_THROW(ReplaceFileAtomically((dir / "a.xml").string(), "text"), std::system_error);
  EXPECT_TRUE(fs::is_directory(dir / "a.xml"));
  EXPECT_TRUE(Strays(dir.Path(), {"a.xml"}).empty());
}

TEST(AtomicFile, ReadingAMissingFileRaises) {
  test::TTempDir dir;
  EXPECT_THROW(ReadWholeFile((dir / "none").string()), std::system_error);
}

// A file size limit makes the kernel stop the write part way, as a full disk
// does; root is not exempt from it. The old file must survive unchanged.
TEST(AtomicFile, ShortWriteKeepsTheOldFile) {
  test::TTempDir dir;
  const fs::path path = dir / "a.xml";
  WriteText(path, "old contents");
  const int code = test::RunInChild([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{100, 100};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 2;
    try {
      ReplaceFileAtomically(path.string(), std::string(10000, 'n'));
    } catch (const std::system_error& e) {
      return e.code().value() == EFBIG ? 0 : 3;
    }
    return 1;  // the failure went unnoticed
  });
  EXPECT_EQ(code, 0) << "1: reported success, 3: wrong error";
  EXPECT_EQ(ReadWholeFile(path.string()), "old contents");
  EXPECT_TRUE(Strays(dir.Path(), {"a.xml"}).empty());
}

}  // namespace
}  // namespace lumaren
