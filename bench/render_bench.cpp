// The renderer and the header and footer collection under a long report.
//
// Cases:
//   LayOutAndWriteHtml  a 40,000-row preview (4 styled cells a row, figures
//                       with drill keys) with 500 page setups (every other
//                       one landscape), 500 kept sections of 20 rows, 1,000
//                       body space fillers, a header and a footer block per
//                       setup (the footer with page markers) and 500
//                       reference markers: read, laid out on pages and
//                       written as HTML. Target: 1 s.
//   LayOut              the layout alone (reading and pagination).
//   PrintPdf            the same HTML printed to PDF with headless Chromium
//                       (one run; skipped without Chromium). Reported, not
//                       targeted.
//   HeaderFooterRows    a collection of 500 ranges over 40,000 rows: 2,000
//                       row deletions from the highest row down, then
//                       ItemForRow for every row.
// The preview is made once, outside the timing. Counters: pages, HTML bytes.
//
// Release build on a 2-core machine shared with other builds, CPU time,
// median of 3 runs (1,500 pages, 16.6 MB of HTML):
//
//   LayOutAndWriteHtml     690 ms
//   LayOut                 640 ms
//   PrintPdf           790,000 ms (wall; 46.7 MB of PDF)
//   HeaderFooterRows         3 ms
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "orvo/header_footer.h"
#include "orvo/xml.h"
#include "render/html_writer.h"
#include "render/page_layout.h"
#include "render/pdf_printer.h"
#include "render/preview_input.h"

namespace {

constexpr int kRows = 40000;
constexpr int kSetups = 500;
constexpr int kRowsPerSetup = kRows / kSetups;  // 80

std::string Item(int column, int row, const std::string& text, bool amount, bool bold) {
  std::string item =
      "<Itm Col='" + std::to_string(column) + "' Row='" + std::to_string(row) + "' Dsp='" + text +
      "' OrigKey='' OrigFmt='TB' ASz='0' Fml='" + (amount ? "=CM.A" + std::to_string(row) : text) +
      "'><Stl Hei='0' Wdt='0' BCl='-1' Ptn='0' PtnCl='0'><Alg Hrz='" + (amount ? "Right" : "Left") +
      "' Vrt='Bottom' Wrp='0' Mg='0' MgKey='' Ind='0' Or='0' Shr='0' VrtTx='0'/>"
      "<Brd btC='0' btL='0' dtlC='0' dtlL='0' dtrC='0' dtrL='0' lfC='0' lfL='0' "
      "rgC='0' rgL='0' tpC='0' tpL='" +
      std::string(bold ? "1" : "0") + "'/><Fnts><Fnt Bld='" + (bold ? "-1" : "0") + "' Clr='" +
      (text.front() == '(' ? "255" : "0") +
      "' Itl='0' Nm='Arial' Sz='10' Str='0' Stl='Regular' Sub='0' Sup='0' Udl='' "
      "stt='' end=''/></Fnts></Stl><Drill On='" +
      (amount ? "-1' Key='DrillItem" + std::to_string(row) : std::string("0' Key='")) + "'/></Itm>";
  return item;
}

std::string Block(const std::string& text, int start, int end) {
  return "<Fmt MRow='1' MCol='3' Start='" + std::to_string(start) + "' End='" +
         std::to_string(end) + "'><Itms><Row PgBk='0'>" + Item(1, 1, text, false, true) +
         "</Row></Itms></Fmt>";
}

const orvo::xml::Document& LongPreview() {
  static const orvo::xml::Document document = [] {
    const std::string marker = "\xC3\xBF";
    std::string xml = "<Preview><Fmt MRow='" + std::to_string(kRows) + "' MCol='4'><Itms>";
    xml.reserve(static_cast<std::size_t>(kRows) * 2600);
    for (int row = 1; row <= kRows; ++row) {
      const long long amount = (row * 7919LL) % 200000 - 90000;
      std::string figure = std::to_string(amount < 0 ? -amount : amount);
      if (amount < 0) figure = "(" + figure + ")";
      std::string label = "Account " + std::to_string(10000 + row);
      if (row % 80 == 40)
        label += " see page " + marker + "R" + std::to_string(row / 80 + 1) + marker;
      xml += "<Row PgBk='0'>" + Item(1, row, std::to_string(10000 + row), false, false) +
             Item(2, row, label, false, false) + Item(3, row, figure, true, false) +
             Item(4, row, figure, true, row % 80 == 0) + "</Row>";
    }
    xml += "</Itms></Fmt><PgBks>";
    for (int setup = 0; setup < kSetups; ++setup) {
      xml += "<PgB Row='" + std::to_string(setup * kRowsPerSetup) +
             "' Bottom='94.48809' Left='71.81095' Right='71.81095' Top='94.48809' OR='" +
             (setup % 2 ? "2" : "1") + "'/>";
    }
    xml += "</PgBks><KpSections>";
    for (int section = 0; section < kSetups; ++section) {
      const int start = section * kRowsPerSetup + 30;
      xml += "<Sect Start='" + std::to_string(start) + "' End='" + std::to_string(start + 19) +
             "' Key=''/>";
    }
    xml += "</KpSections><SpFs>";
    for (int filler = 0; filler < 2 * kSetups; ++filler) {
      const int start = filler * (kRowsPerSetup / 2) + 1;
      xml += "<SF Start='" + std::to_string(start) + "' End='" + std::to_string(start + 9) +
             "' Col='2' Width='0' Portscape='0'/>";
    }
    xml += "</SpFs><SpFsH/><SpFsF/><Headers>";
    for (int setup = 0; setup < kSetups; ++setup) {
      xml += Block("Trial balance, part " + std::to_string(setup + 1),
                   setup * kRowsPerSetup + (setup ? 1 : 0), (setup + 1) * kRowsPerSetup);
    }
    xml += "</Headers><Footers>";
    for (int setup = 0; setup < kSetups; ++setup) {
      xml += Block("Page " + marker + "P of " + marker + "C",
                   setup * kRowsPerSetup + (setup ? 1 : 0), (setup + 1) * kRowsPerSetup);
    }
    xml += "</Footers><RefIndex>";
    for (int ref = 1; ref <= kSetups; ++ref) {
      xml += "<Ref Key='B" + std::to_string(ref) + "' NoteNumber='-1' RefIndex='" +
             std::to_string(ref) + "' RefRow='" + std::to_string(ref * kRowsPerSetup - 5) + "'/>";
    }
    xml += "</RefIndex><DrillKeys/></Preview>";
    return orvo::xml::Document::Parse(xml);
  }();
  return document;
}

void LayOutAndWriteHtml(benchmark::State& state) {
  const orvo::xml::Node preview = LongPreview().DocumentElement();
  std::size_t pages = 0;
  std::size_t bytes = 0;
  for (auto _ : state) {
    const orvo::render::Layout layout =
        orvo::render::LayOut(orvo::render::ReadPreviewXml(preview), orvo::render::RenderOptions{});
    const std::string html =
        orvo::render::WriteHtml(layout, orvo::render::RenderOptions{}, "bench");
    pages = layout.pages.size();
    bytes = html.size();
    benchmark::DoNotOptimize(html.data());
  }
  state.counters["pages"] = static_cast<double>(pages);
  state.counters["html_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(LayOutAndWriteHtml)->Unit(benchmark::kMillisecond);

void LayOut(benchmark::State& state) {
  const orvo::xml::Node preview = LongPreview().DocumentElement();
  for (auto _ : state) {
    const orvo::render::Layout layout =
        orvo::render::LayOut(orvo::render::ReadPreviewXml(preview), orvo::render::RenderOptions{});
    benchmark::DoNotOptimize(layout.pages.data());
  }
}
BENCHMARK(LayOut)->Unit(benchmark::kMillisecond);

void PrintPdf(benchmark::State& state) {
  if (!orvo::render::FindChromium()) {
    state.SkipWithError("no Chromium");
    for (auto _ : state) {
    }
    return;
  }
  const orvo::xml::Node preview = LongPreview().DocumentElement();
  const orvo::render::Layout layout =
      orvo::render::LayOut(orvo::render::ReadPreviewXml(preview), orvo::render::RenderOptions{});
  const std::string html = orvo::render::WriteHtml(layout, orvo::render::RenderOptions{}, "bench");
  const std::filesystem::path pdf =
      std::filesystem::temp_directory_path() / "orvo_render_bench.pdf";
  for (auto _ : state) orvo::render::PrintPdf(html, pdf.string(), 1800);
  state.counters["pdf_bytes"] = static_cast<double>(std::filesystem::file_size(pdf));
  std::filesystem::remove(pdf);
}
BENCHMARK(PrintPdf)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void HeaderFooterRows(benchmark::State& state) {
  const orvo::xml::Document document = orvo::xml::Document::Parse("<Fmt><Itms><Row/></Itms></Fmt>");
  const orvo::xml::Node block = document.DocumentElement();
  for (auto _ : state) {
    orvo::cHeaderFooter headers;
    for (int setup = 1; setup <= kSetups; ++setup) {
      headers.AddHeaderFooter(setup * kRowsPerSetup, block, {});
    }
    for (int row = kRows; row > 0; row -= kRows / 2000) headers.DeleteRow(row);
    int found = 0;
    for (int row = 1; row <= kRows; ++row) found += headers.ItemForRow(row) ? 1 : 0;
    benchmark::DoNotOptimize(found);
  }
}
BENCHMARK(HeaderFooterRows)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
