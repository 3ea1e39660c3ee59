#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "support/run_orvo.h"
#include "support/temp_workspace.h"

namespace orvo {
namespace {

using testing::RunOrvo;

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

const char* const kPreview =
    "<Preview><Fmt MRow='2' MCol='2'><Itms>"
    "<Row PgBk='0'><Itm Col='1' Row='1' Dsp='Sales'/><Itm Col='2' Row='1' Dsp='1,234'>"
    "<Drill On='-1' Key='DrillItem1'/></Itm></Row>"
    "<Row PgBk='-1'><Itm Col='1' Row='2' Dsp='Page \xC3\xBFP of \xC3\xBF"
    "C'/></Row></Itms></Fmt>"
    "<PgBks><PgB Row='0' Bottom='x' Left='71.81095' Right='71.81095' Top='94.48809' OR='1'/>"
    "</PgBks></Preview>";

TEST(RenderCommand, WritesPagesAsHtmlAndSaysHowMany) {
  testing::TempWorkspace folder;
  folder.Write("preview.xml", kPreview);
  const auto html = folder.Folder() / "pages.html";
  const auto run = RunOrvo(
      {"render", (folder.Folder() / "preview.xml").string(), "--html", html.string(), "--letter"},
      true);
  EXPECT_EQ(run.exit_code, 0) << run.out;
  EXPECT_NE(run.out.find("2 pages\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("warning: page setup at row 0: margin Bottom 'x'"), std::string::npos);
  const std::string pages = ReadAll(html);
  EXPECT_NE(pages.find("@page letter-portrait{size:8.5in 11in;margin:0}"), std::string::npos);
  EXPECT_NE(pages.find(">Page 2 of 2<"), std::string::npos);
  EXPECT_NE(pages.find("data-drill=\"DrillItem1\""), std::string::npos);
}

TEST(RenderCommand, RefusesWhatItCannotRender) {
  testing::TempWorkspace folder;
  folder.Write("preview.xml", kPreview);
  folder.Write("other.xml", "<Reports/>");
  const std::string preview = (folder.Folder() / "preview.xml").string();
  EXPECT_EQ(RunOrvo({"render", preview}).exit_code, 2);  // no --html or --pdf
  EXPECT_EQ(RunOrvo({"render", preview, "--html"}).exit_code, 2);

  const auto other =
      RunOrvo({"render", (folder.Folder() / "other.xml").string(), "--html", "/dev/null"}, true);
  EXPECT_EQ(other.exit_code, 1);
  EXPECT_NE(other.out.find("holds no <Preview> element"), std::string::npos) << other.out;

  // Without Chromium there is no PDF, and the target is not touched.
  setenv("ORVO_CHROMIUM", (folder.Folder() / "no-such-program").c_str(), 1);
  const auto pdf = folder.Folder() / "pages.pdf";
  const auto printed = RunOrvo({"render", preview, "--pdf", pdf.string()}, true);
  unsetenv("ORVO_CHROMIUM");
  EXPECT_EQ(printed.exit_code, 1);
  EXPECT_NE(printed.out.find("printing to PDF needs Chromium"), std::string::npos) << printed.out;
  EXPECT_FALSE(std::filesystem::exists(pdf));
}

}  // namespace
}  // namespace orvo
