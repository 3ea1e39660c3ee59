// Prints an HTML document to PDF with headless Chromium (the Debian package
// `chromium`): the document is written into a fresh temporary folder,
// Chromium runs there with a throwaway profile, no network services and a
// time limit, and only a finished PDF is copied to the target file. The
// temporary folder is removed afterwards; nothing else is written.
#ifndef ORVO_RENDER_PDF_PRINTER_H_
#define ORVO_RENDER_PDF_PRINTER_H_

#include <optional>
#include <string>

namespace orvo::render {

// The Chromium program: $ORVO_CHROMIUM when set, else `chromium` or
// `chromium-browser` on the PATH; none when there is no such program.
std::optional<std::string> FindChromium();

// Prints `html` to the file `pdf_path`. Fails (orvo::Error, source "render")
// with a message saying what to do when Chromium is absent, does not finish
// within `timeout_seconds`, or writes no PDF.
void PrintPdf(const std::string& html, const std::string& pdf_path, int timeout_seconds = 120);

}  // namespace orvo::render

#endif  // ORVO_RENDER_PDF_PRINTER_H_
