// CancelFileCheck: only an existing regular file answers true.
#include "orvo/cancel_check.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/temp_workspace.h"

namespace orvo::testing {
namespace {

TEST(CancelFileCheck, OnlyAnExistingRegularFileCancels) {
  TempWorkspace folder;
  const std::filesystem::path file = folder.Folder() / "cancel";
  const std::function<bool()> check = CancelFileCheck(file.string());
  EXPECT_FALSE(check());  // not there yet
  folder.Write("cancel", "");
  EXPECT_TRUE(check());  // an empty file is enough; it is never read
  std::filesystem::remove(file);
  EXPECT_FALSE(check());  // asked anew at every call

  std::filesystem::create_symlink(folder.Folder() / "target", folder.Folder() / "link");
  const std::function<bool()> link = CancelFileCheck((folder.Folder() / "link").string());
  EXPECT_FALSE(link());  // a dangling link
  folder.Write("target", "");
  EXPECT_TRUE(link());
}

TEST(CancelFileCheck, PathsThatCannotCancelNeverDoAndNeverThrow) {
  TempWorkspace folder;
  folder.Write("plain", "");
  std::filesystem::create_directory(folder.Folder() / "locked");
  folder.Write("locked/cancel", "");
  const std::string paths[] = {
      "",
      folder.Folder().string(),                        // a directory
      (folder.Folder() / "plain" / "below").string(),  // through a file
      std::string(5000, 'x'),                          // too long a name
      (folder.Folder() / "missing" / "cancel").string(),
      std::string("bad\0name", 8),
  };
  for (const std::string& path : paths) {
    EXPECT_FALSE(CancelFileCheck(path)()) << path.size();
  }
  // A folder without search permission hides the file (root is let through).
  std::filesystem::permissions(folder.Folder() / "locked", std::filesystem::perms::none);
  const std::function<bool()> hidden =
      CancelFileCheck((folder.Folder() / "locked" / "cancel").string());
  if (geteuid() != 0) {
    EXPECT_FALSE(hidden());
  }
  std::filesystem::permissions(folder.Folder() / "locked", std::filesystem::perms::owner_all);
  EXPECT_TRUE(hidden());
}

}  // namespace
}  // namespace orvo::testing
