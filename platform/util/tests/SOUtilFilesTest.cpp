#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "SOUtil.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

void Touch(const fs::path& p) {
  fs::create_directories(p.parent_path());
  std::ofstream(p) << "x";
}

std::vector<std::string> Relative(const std::vector<std::string>& paths, const fs::path& root) {
  std::vector<std::string> out;
  for (const auto& p : paths) out.push_back(fs::path(p).lexically_relative(root).string());
  return out;
}

TEST(SOUtilFindFiles, FailsOnMissingRootOrFile) {
  const fs::path root = orvanta::test::MakeTempDir("find");
  std::vector<std::string> files{"stale"};
  EXPECT_FALSE(SOUtil::FindFiles((root / "missing").c_str(), files, true));
  EXPECT_TRUE(files.empty());
  Touch(root / "plain");
  EXPECT_FALSE(SOUtil::FindFiles((root / "plain").c_str(), files, true));
  EXPECT_FALSE(SOUtil::FindFiles(nullptr, files, true));
  EXPECT_TRUE(SOUtil::FindFiles(root.c_str(), files, true));
}

TEST(SOUtilFindFiles, ListsRegularFilesInSortedDepthFirstOrder) {
  const fs::path root = orvanta::test::MakeTempDir("find");
  for (const char* name : {"b.dcm", "a/2", "a/1", "c", "a/z/deep", "B"}) Touch(root / name);
  fs::create_directories(root / "empty");
  fs::create_symlink(root / "c", root / "link-to-c");
  fs::create_symlink(root / "nowhere", root / "dangling");
  ASSERT_EQ(mkfifo((root / "pipe").c_str(), 0600), 0);  // opening it would block a loader

  std::vector<std::string> files;
  ASSERT_TRUE(SOUtil::FindFiles(root.c_str(), files, true));
  EXPECT_EQ(Relative(files, root),
            (std::vector<std::string>{"B", "a/1", "a/2", "a/z/deep", "b.dcm", "c", "link-to-c"}));

  ASSERT_TRUE(SOUtil::FindFiles((root.string() + "/").c_str(), files, false));
  EXPECT_EQ(files.front(), (root / "B").string());  // no doubled separator
  EXPECT_EQ(Relative(files, root), (std::vector<std::string>{"B", "b.dcm", "c", "link-to-c"}));
  EXPECT_EQ(SOUtil::GetFileCount(root.c_str()), 4);
  EXPECT_EQ(SOUtil::GetFileCount((root / "missing").c_str()), 0);

  SOArray<SOString> list;
  ASSERT_TRUE(SOUtil::FindFiles((root / "a").c_str(), list, true));
  ASSERT_EQ(list.GetLength(), 3);
  EXPECT_TRUE(list[2] == (root / "a/z/deep").string());
}

TEST(SOUtilFindFiles, DoesNotFollowFolderLinksSoLoopsEnd) {
  const fs::path root = orvanta::test::MakeTempDir("loop");
  Touch(root / "sub/file");
  fs::create_directory_symlink(root, root / "sub/up");        // loop back to the root
  fs::create_directory_symlink(root / "sub", root / "side");  // second way into sub
  std::vector<std::string> files;
  ASSERT_TRUE(SOUtil::FindFiles(root.c_str(), files, true));
  EXPECT_EQ(Relative(files, root), (std::vector<std::string>{"sub/file"}));

  // A root given as a link is the caller's choice and is listed.
  ASSERT_TRUE(SOUtil::FindFiles((root / "side").c_str(), files, true));
  EXPECT_EQ(files.size(), 1u);
}

TEST(SOUtilFiles, CreateAndDeleteFolders) {
  const fs::path root = orvanta::test::MakeTempDir("dirs");
  const fs::path file = root / "x/y/z/file.db";
  EXPECT_TRUE(SOUtil::CreateDirByFile(file.c_str()));
  EXPECT_TRUE(SOUtil::DirExist((root / "x/y/z").c_str()));
  EXPECT_FALSE(SOUtil::FileExist((root / "x/y/z").c_str()));
  Touch(file);
  EXPECT_TRUE(SOUtil::FileExist(file.c_str()));
  EXPECT_FALSE(SOUtil::DirExist(file.c_str()));
  EXPECT_TRUE(SOUtil::CreateDir((root / "x/y").c_str()));  // already there
  EXPECT_FALSE(SOUtil::CreateDir(file.c_str()));           // a file is in the way
  EXPECT_FALSE(SOUtil::DeleteDir(file.c_str()));
  EXPECT_FALSE(SOUtil::DeleteFileW((root / "x").c_str()));

  // Deleting a folder removes links inside it, not what they point at.
  const fs::path keep = orvanta::test::MakeTempDir("keep");
  Touch(keep / "precious");
  fs::create_directory_symlink(keep, root / "x/y/link");
  EXPECT_TRUE(SOUtil::DeleteDir((root / "x").c_str()));
  EXPECT_FALSE(fs::exists(root / "x"));
  EXPECT_TRUE(fs::exists(keep / "precious"));
  EXPECT_FALSE(SOUtil::DeleteDir((root / "x").c_str()));

  Touch(root / "one");
  EXPECT_TRUE(SOUtil::DeleteFileW((root / "one").c_str()));
  EXPECT_FALSE(SOUtil::DeleteFileW((root / "one").c_str()));
}

TEST(SOUtilFiles, ModulePathIsTheProgramFolder) {
  const std::string path = SOUtil::GetModulePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.back(), '/');
  EXPECT_EQ(fs::path(path), fs::canonical("/proc/self/exe").parent_path() / "");
}

}  // namespace
