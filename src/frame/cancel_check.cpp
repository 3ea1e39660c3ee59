#include "orvo/cancel_check.h"

#include <filesystem>
#include <system_error>
#include <utility>

namespace orvo {

std::function<bool()> CancelFileCheck(std::string path) {
  if (path.empty()) return [] { return false; };
  return [path = std::filesystem::path(std::move(path))]() noexcept {
    std::error_code failure;
    // status() follows links: a link to a regular file cancels too. A path
    // that cannot be examined reports a failure and answers false.
    const std::filesystem::file_status status = std::filesystem::status(path, failure);
    return !failure && std::filesystem::is_regular_file(status);
  };
}

}  // namespace orvo
