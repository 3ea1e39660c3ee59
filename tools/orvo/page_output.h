// The pages of a preview as files: the --html, --pdf and --letter options
// shared by the commands that print pages (render, and preview once it
// builds in-process).
#ifndef ORVO_TOOLS_PAGE_OUTPUT_H_
#define ORVO_TOOLS_PAGE_OUTPUT_H_

#include <optional>
#include <string>

#include "command.h"
#include "render/preview_input.h"

namespace orvo::cli {

struct PageOutput {
  std::optional<std::string> html_file;
  std::optional<std::string> pdf_file;
  bool letter = false;
  std::string title = "Report preview";

  bool Wanted() const { return html_file || pdf_file; }
  // Takes the option at args[i] (and its value) when it is one of these;
  // false otherwise.
  bool TakeOption(const Arguments& args, std::size_t& i);
};

// Lays the preview out and writes the files asked for. Layout warnings go to
// standard error as "orvo COMMAND: warning: ...". Returns the page count.
std::size_t WritePages(const render::PreviewInput& preview, const PageOutput& output,
                       const std::string& command);

}  // namespace orvo::cli

#endif  // ORVO_TOOLS_PAGE_OUTPUT_H_
