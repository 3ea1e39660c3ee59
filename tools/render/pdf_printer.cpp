#include "pdf_printer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "orvo/error.h"

extern char** environ;

namespace orvo::render {
namespace {

constexpr const char* kSource = "render";
namespace fs = std::filesystem;

[[noreturn]] void Fail(const std::string& description) {
  RaiseFailure(kErrRaised, kSource, description);
}

bool IsExecutable(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error) && access(path.c_str(), X_OK) == 0;
}

// A temporary folder removed with its content when the holder goes.
class TemporaryFolder {
 public:
  TemporaryFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/orvo-print-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) Fail("cannot make a temporary folder for printing in " + pattern);
    m_path = buffer.data();
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const fs::path& Path() const { return m_path; }

 private:
  fs::path m_path;
};

std::string LastLines(const fs::path& log, int count) {
  std::ifstream in(log);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (line.find("dbus") != std::string::npos) continue;  // no session bus: harmless
    lines.push_back(line);
  }
  std::string text;
  const std::size_t from = lines.size() > static_cast<std::size_t>(count)
                               ? lines.size() - static_cast<std::size_t>(count)
                               : 0;
  for (std::size_t i = from; i < lines.size(); ++i) text += "\n  " + lines[i];
  return text;
}

// Runs the program in a process group of its own; the whole group is
// killed when it outlives the time limit. Returns the exit status, or -1
// on a timeout.
int RunWithLimit(const std::vector<std::string>& arguments, const fs::path& log,
                 int timeout_seconds) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (spawned != 0) Fail("cannot start " + arguments[0]);

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
  int status = 0;
  while (true) {
    const pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) break;
    if (done < 0) return -1;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(-child, SIGKILL);
      waitpid(child, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  // Helpers Chromium started in its group go with it.
  kill(-child, SIGKILL);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

}  // namespace

std::optional<std::string> FindChromium() {
  if (const char* chosen = std::getenv("ORVO_CHROMIUM"); chosen && *chosen) {
    if (IsExecutable(chosen)) return std::string(chosen);
    return std::nullopt;
  }
  const char* path = std::getenv("PATH");
  std::stringstream folders(path ? path : "/usr/bin:/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    if (folder.empty()) continue;
    for (const char* name : {"chromium", "chromium-browser"}) {
      const fs::path candidate = fs::path(folder) / name;
      if (IsExecutable(candidate)) return candidate.string();
    }
  }
  return std::nullopt;
}

void PrintPdf(const std::string& html, const std::string& pdf_path, int timeout_seconds) {
  const std::optional<std::string> chromium = FindChromium();
  if (!chromium) {
    Fail(
        "printing to PDF needs Chromium, and none was found (install the Debian package "
        "chromium, as scripts/build.sh does, or name the program in ORVO_CHROMIUM); "
        "--html writes the same pages without it");
  }
  TemporaryFolder folder;
  const fs::path page = folder.Path() / "preview.html";
  const fs::path printed = folder.Path() / "preview.pdf";
  const fs::path log = folder.Path() / "chromium.log";
  {
    std::ofstream out(page, std::ios::binary);
    out << html;
    if (!out) Fail("cannot write the page to print into " + folder.Path().string());
  }
  const std::vector<std::string> arguments = {
      *chromium,
      "--headless",
      "--no-sandbox",
      "--disable-gpu",
      "--disable-quic",
      "--no-first-run",
      "--disable-background-networking",
      "--disable-component-update",
      "--disable-sync",
      "--disable-extensions",
      "--disable-breakpad",
      "--disable-crash-reporter",
      "--user-data-dir=" + (folder.Path() / "profile").string(),
      "--no-pdf-header-footer",
      "--print-to-pdf=" + printed.string(),
      "file://" + page.string()};
  const int status = RunWithLimit(arguments, log, timeout_seconds);
  if (status == -1) {
    Fail("Chromium did not finish printing within " + std::to_string(timeout_seconds) + " seconds" +
         LastLines(log, 5));
  }
  std::error_code error;
  if (status != 0 || !fs::is_regular_file(printed, error) || fs::file_size(printed, error) == 0) {
    Fail("Chromium printed no PDF (exit status " + std::to_string(status) + ")" +
         LastLines(log, 5));
  }
  fs::copy_file(printed, pdf_path, fs::copy_options::overwrite_existing, error);
  if (error) Fail("cannot write " + pdf_path + ": " + error.message());
}

}  // namespace orvo::render
