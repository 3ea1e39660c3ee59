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
#include "support/temp_workspace.h"

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
  const testing::TempWorkspace scratch;
  const std::filesystem::path out = scratch.Folder() / "builder3.xml";
  const testing::ProgramResult both =
      RunOrvo({"preview", kWorkspace.string(), "--report", "CIRC", "--report", "KEPT", "--builder",
               "3", "--progress", "--out", out.string()},
              true);
  EXPECT_EQ(both.exit_code, 0);
  EXPECT_NE(both.out.find("Generating preview..."), std::string::npos) << both.out;
  EXPECT_EQ(Canonical(ReadFile(out)), Canonical(ReadFile(kWorkspace / "expected" / "kept.xml")));
  EXPECT_EQ(RunOrvo({"preview", kWorkspace.string(), "--builder", "4"}).exit_code, 2);
  EXPECT_EQ(RunOrvo({"preview", kWorkspace.string(), "--builder"}).exit_code, 2);
}

TEST(PreviewCommand, OutputFileProgressAndFailures) {
  const testing::TempWorkspace scratch;
  const std::filesystem::path out = scratch.Folder() / "preview.xml";
  const testing::ProgramResult written = RunOrvo(
      {"preview", kWorkspace.string(), "--report", "GROUPS", "--out", out.string(), "--progress"},
      true);
  EXPECT_EQ(written.exit_code, 0);
  // Only the progress line went to the terminal; it names the steps.
  EXPECT_NE(written.out.find("Generating preview..."), std::string::npos) << written.out;
  EXPECT_EQ(written.out.find("<Preview>"), std::string::npos);
  EXPECT_EQ(Canonical(ReadFile(out)), Canonical(ReadFile(kWorkspace / "expected" / "groups.xml")));

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

TEST(PreviewCommand, PrintsOneElementALineWithEscapedTexts) {
  // One row whose items are out of column order and hold every character
  // the writer escapes, and ones it must not (é, the apostrophe, DEL).
  const testing::TempWorkspace folder;
  const std::filesystem::path& workspace = folder.Folder();
  std::ofstream(workspace / "workspace.xml") << "<Workspace CurrentPeriod='12' StorageMode='0'/>";
  std::ofstream(workspace / "reports.xml")
      << "<Reports><Rep Key='ESC' OR='1'><Grps/><Hdrs/><Bdys><Bdy Name='ESC'><PCnd/></Bdy></Bdys>"
         "<Ftrs/><PgSetup Ovr='-1' Bottom='!' Left='!' Right='!' Top='!'/><Desc/><Opts/></Rep>"
         "</Reports>";
  std::ofstream(workspace / "formats.xml")
      << "<Formats><Fmt Key='ESC' Name='ESC' MRow='1' MCol='3'><Itms><Row PgBk='0'>"
         "<Itm Key='C1' Row='1' Col='3' Value='=A1&amp;B1' Str='' MgKey='' ASz='0'><PEx/></Itm>"
         "<Itm Key='A1' Row='1' Col='1' Value='R&amp;D &lt;net&gt; \"gross\"&#9;&#13;&apos;\x7F' "
         "Str='' MgKey='' "
         "ASz='0'><PEx/></Itm>"
         "<Itm Key='B1' Row='1' Col='2' Value='Caf\xC3\xA9&#9;tab&#10;line' Str='' MgKey='' "
         "ASz='0'><PEx/></Itm></Row></Itms></Fmt></Formats>";
  const std::string expected =
      "<Preview>\n"
      "  <Fmt MRow=\"1\" MCol=\"3\">\n"
      "    <Itms>\n"
      "      <Row PgBk=\"0\">\n"
      "        <Itm Col=\"1\" Row=\"1\" Dsp=\"R&amp;D &lt;net&gt; "
      "&quot;gross&quot;&#9;&#13;'\x7F\" "
      "OrigKey=\"A1\" OrigFmt=\"ESC\" ASz=\"0\" "
      "Fml=\"R&amp;D &lt;net&gt; &quot;gross&quot;&#9;&#13;'\x7F\">\n"
      "          <Drill On=\"0\" Key=\"\"/>\n"
      "        </Itm>\n"
      "        <Itm Col=\"2\" Row=\"1\" Dsp=\"Caf\xC3\xA9&#9;tab&#10;line\" OrigKey=\"B1\" "
      "OrigFmt=\"ESC\" ASz=\"0\" Fml=\"Caf\xC3\xA9&#9;tab&#10;line\">\n"
      "          <Drill On=\"0\" Key=\"\"/>\n"
      "        </Itm>\n"
      "        <Itm Col=\"3\" Row=\"1\" Dsp=\"R&amp;D &lt;net&gt; &quot;gross&quot;&#9;&#13;'\x7F"
      "Caf\xC3\xA9"
      "&#9;tab&#10;line\" OrigKey=\"C1\" OrigFmt=\"ESC\" ASz=\"0\" Fml=\"=A1&amp;B1\">\n"
      "          <Drill On=\"0\" Key=\"\"/>\n"
      "        </Itm>\n"
      "      </Row>\n"
      "    </Itms>\n"
      "  </Fmt>\n"
      "  <PgBks>\n"
      "    <PgB Row=\"0\" Bottom=\"94.48809\" Left=\"71.81095\" Right=\"71.81095\" "
      "Top=\"94.48809\" OR=\"1\"/>\n"
      "  </PgBks>\n"
      "  <KpSections/>\n"
      "  <SpFs/>\n"
      "  <SpFsH/>\n"
      "  <SpFsF/>\n"
      "  <Headers>\n"
      "    <Fmt MRow=\"0\" MCol=\"0\" Start=\"1\" End=\"1\">\n"
      "      <Itms/>\n"
      "    </Fmt>\n"
      "  </Headers>\n"
      "  <Footers>\n"
      "    <Fmt MRow=\"0\" MCol=\"0\" Start=\"1\" End=\"1\">\n"
      "      <Itms/>\n"
      "    </Fmt>\n"
      "  </Footers>\n"
      "  <RefIndex/>\n"
      "  <DrillKeys/>\n"
      "</Preview>\n";
  EXPECT_EQ(RunOrvo({"preview", workspace.string()}).out, expected);
  // The same bytes through --out and through the builder that reads an
  // evaluator's results.
  const std::filesystem::path out = workspace / "preview.xml";
  ASSERT_EQ(
      RunOrvo({"preview", workspace.string(), "--builder", "3", "--out", out.string()}).exit_code,
      0);
  EXPECT_EQ(ReadFile(out), expected);
}

}  // namespace
}  // namespace orvo
