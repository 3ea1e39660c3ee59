// orvo preview over the hand-written workspace tests/workspaces/pipeline:
// whole <Preview> outputs compared with golden files after canonicalising
// the XML. With ORVO_UPDATE_GOLDEN=1 in the environment the golden files are
// written from the outputs instead (review the difference before committing).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "orvo/xml.h"
#include "support/run_orvo.h"

namespace orvo {
namespace {

using testing::RunOrvo;

const std::filesystem::path kWorkspace = std::filesystem::path(ORVO_TEST_WORKSPACES) / "pipeline";

std::string Canonical(const std::string& text) {
  return xml::Document::Parse(text).DocumentElement().Xml();
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// The preview of `arguments` equals the golden file `name`.xml.
void ExpectGolden(const std::vector<std::string>& arguments, const std::string& name) {
  std::vector<std::string> command = {"preview", kWorkspace.string()};
  command.insert(command.end(), arguments.begin(), arguments.end());
  const testing::ProgramResult result = RunOrvo(command);
  ASSERT_EQ(result.exit_code, 0) << name;
  const std::filesystem::path golden = kWorkspace / "expected" / (name + ".xml");
  const char* update = std::getenv("ORVO_UPDATE_GOLDEN");
  if (update && std::string(update) == "1") {
    std::ofstream(golden, std::ios::binary) << result.out;
    return;
  }
  EXPECT_EQ(Canonical(result.out), Canonical(ReadFile(golden))) << name;
}

TEST(PreviewCommand, PipelineCasesMatchTheirGoldenPreviews) {
  // A cell waiting for itself shows "#CIRC"; cells waiting for each other
  // settle at the last pass; a cell of a later row is waited for.
  ExpectGolden({"--report", "CIRC"}, "circ");
  // References to a row its print condition removed count nothing; a named
  // range of the format waits for its value.
  ExpectGolden({"--report", "REMOVED"}, "removed");
  // Groups whose conditions fail print nothing; "!" takes the enclosing
  // orientation; group headers and report footers per range.
  ExpectGolden({"--report", "GROUPS"}, "groups");
  // Kept sections shift with removed rows; a section left with none goes.
  ExpectGolden({"--report", "KEPT"}, "kept");
  // The report's data columns, and a group's in force inside it only.
  ExpectGolden({"--report", "COLUMNS"}, "columns");
  // A favourite (any letter case) is its stored report; the last build wins.
  ExpectGolden({"--report", "REMOVED", "--fav", "circ"}, "circ");
}

TEST(PreviewCommand, TheDelegatingBuildersPrintTheSamePreviews) {
  for (const char* builder : {"2", "3"}) {
    SCOPED_TRACE(builder);
    ExpectGolden({"--report", "CIRC", "--builder", builder}, "circ");
    ExpectGolden({"--report", "REMOVED", "--builder", builder}, "removed");
    ExpectGolden({"--report", "GROUPS", "--builder", builder}, "groups");
    ExpectGolden({"--report", "KEPT", "--builder", builder}, "kept");
    ExpectGolden({"--report", "COLUMNS", "--builder", builder}, "columns");
    ExpectGolden({"--report", "REMOVED", "--fav", "circ", "--builder", builder}, "circ");
    EXPECT_EQ(
        Canonical(
            RunOrvo({"preview", kWorkspace.string(), "--fav", "X", "--builder", builder}).out),
        Canonical(RunOrvo({"preview", kWorkspace.string(), "--fav", "X"}).out));
  }
  // Each report is a build of its own; the last one's results are printed,
  // with a progress line on standard error.
  const std::filesystem::path out = std::filesystem::temp_directory_path() / "orvo_builder3.xml";
  const testing::ProgramResult both =
      RunOrvo({"preview", kWorkspace.string(), "--report", "CIRC", "--report", "KEPT", "--builder",
               "3", "--progress", "--out", out.string()},
              true);
  EXPECT_EQ(both.exit_code, 0);
  EXPECT_NE(both.out.find("Generating preview..."), std::string::npos) << both.out;
  EXPECT_EQ(Canonical(ReadFile(out)), Canonical(ReadFile(kWorkspace / "expected" / "kept.xml")));
  std::filesystem::remove(out);
  EXPECT_EQ(RunOrvo({"preview", kWorkspace.string(), "--builder", "4"}).exit_code, 2);
  EXPECT_EQ(RunOrvo({"preview", kWorkspace.string(), "--builder"}).exit_code, 2);
}

TEST(PreviewCommand, OutputFileProgressAndFailures) {
  const std::filesystem::path out = std::filesystem::temp_directory_path() / "orvo_preview_out.xml";
  const testing::ProgramResult written = RunOrvo(
      {"preview", kWorkspace.string(), "--report", "GROUPS", "--out", out.string(), "--progress"},
      true);
  EXPECT_EQ(written.exit_code, 0);
  // Only the progress line went to the terminal; it names the steps.
  EXPECT_NE(written.out.find("Generating preview..."), std::string::npos) << written.out;
  EXPECT_EQ(written.out.find("<Preview>"), std::string::npos);
  EXPECT_EQ(Canonical(ReadFile(out)), Canonical(ReadFile(kWorkspace / "expected" / "groups.xml")));
  std::filesystem::remove(out);

  // Without a report named: the library's first one.
  EXPECT_EQ(Canonical(RunOrvo({"preview", kWorkspace.string()}).out),
            Canonical(ReadFile(kWorkspace / "expected" / "circ.xml")));
  // A favourite naming nothing builds nothing: an empty preview, all parts there.
  const std::string empty = Canonical(RunOrvo({"preview", kWorkspace.string(), "--fav", "X"}).out);
  for (const char* part :
       {"<Fmt MRow=\"0\" MCol=\"0\"><Itms/></Fmt>", "<PgBks/>", "<KpSections/>", "<SpFs/>",
        "<SpFsH/>", "<SpFsF/>", "<Headers/>", "<Footers/>", "<RefIndex/>", "<DrillKeys/>"}) {
    EXPECT_NE(empty.find(part), std::string::npos) << part << " in " << empty;
  }

  EXPECT_EQ(RunOrvo({"preview", kWorkspace.string(), "--report", "NONE"}).exit_code, 1);
  EXPECT_EQ(RunOrvo({"preview", "/no/such/workspace"}).exit_code, 1);
  EXPECT_EQ(RunOrvo({"preview"}).exit_code, 2);
  EXPECT_EQ(RunOrvo({"preview", kWorkspace.string(), "--report"}).exit_code, 2);
  EXPECT_EQ(RunOrvo({"preview", kWorkspace.string(), "--bogus"}).exit_code, 2);
}

}  // namespace
}  // namespace orvo
