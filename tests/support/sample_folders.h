// Folders for tests that need a generated sample workspace: a small one (60
// accounts) written once per test program, and fresh empty folders, all in a
// temporary folder of the program's own, removed when the program ends.
#ifndef ORVO_TESTS_SUPPORT_SAMPLE_FOLDERS_H_
#define ORVO_TESTS_SUPPORT_SAMPLE_FOLDERS_H_

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "orvo/sample_workspace.h"

namespace orvo::testing {

inline constexpr int kSmallAccounts = 60;

inline const std::filesystem::path& SampleTemporaryRoot() {
  static const std::filesystem::path root = [] {
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("orvo_sample_tests_" + std::to_string(::getpid()));
    std::filesystem::create_directories(path);
    std::atexit([] {
      std::error_code error;
      std::filesystem::remove_all(SampleTemporaryRoot(), error);
    });
    return path;
  }();
  return root;
}

// A fresh empty folder of that name.
inline std::filesystem::path FreshFolder(const std::string& name) {
  std::filesystem::path path = SampleTemporaryRoot() / name;
  std::filesystem::remove_all(path);
  std::filesystem::create_directories(path);
  return path;
}

// The folder of the shared small workspace.
inline const std::string& SmallWorkspace() {
  static const std::string folder = [] {
    std::filesystem::path path = FreshFolder("small");
    SampleOptions options;
    options.accounts = kSmallAccounts;
    WriteSampleWorkspace(path.string(), options);
    return path.string();
  }();
  return folder;
}

}  // namespace orvo::testing

#endif  // ORVO_TESTS_SUPPORT_SAMPLE_FOLDERS_H_
