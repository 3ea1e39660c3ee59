// Formula benchmarks.
//
// Cases:
//   BM_TokenizeMix: GetToken over a mix of typical report formulas (cell
//     arithmetic, Sum over ranges, If, chart-map and database-map references,
//     mixed texts with embedded formulas); reports tokens per second.
//   BM_ParseMix: TokenFromString and ParsedValue over the same mix with nothing
//     defined (no workspace); reports formulas per second.
//   BM_ParseMixWithWorkspace: the same on a thread initialised with the
//     sample workspace, so names are looked up in its bookmarks, named
//     ranges, chart map, database map and driver fields.
//   BM_ParseLongFormula/N: TokenFromString of one formula of about N
//     characters (ranges, Sum and If calls repeated); reports characters per
//     second. A parse is linear in the length of the text: ten times the
//     text costs ten times the instructions. The time per character still
//     grows a little (about 1.4x from 3,000 to 30,000 characters) because
//     the longer text and its record no longer fit the processor's caches.
//   BM_ResortByStylesheet: the final ordering of a record done by an XSLT
//     transform instead of the parser's own stable sort, for comparison: the
//     parser builds records in their final order because this costs more than
//     a whole parse.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include <unistd.h>

#include <filesystem>

#include "orvo/parser.h"
#include "orvo/sample_workspace.h"
#include "orvo/xml.h"

namespace {

const std::vector<std::string>& FormulaMix() {
  static const std::vector<std::string> mix = {
      "=B12+C12-D12",
      "=Sum(B5:B11)",
      "=If(C20<>0,(B20-C20)/C20*100,0)",
      "=CM.Revenue.CR-CM.CostOfSales.DR",
      "=LY(CM.Revenue.CR)",
      "=Sum(B5:B11)-Sum(C5:C11)",
      "=If(And(B3>0,C3>0),B3/C3,\"n/a\")",
      "Total for {Year} period {Period}: {Sum(D4:D9)}",
      "=DB.Projects.Budget*1.05",
      "=Avg(B2:M2)",
      "=Note(REVENUE)",
      "=AccountValue(\"4000\",AMOUNT)",
  };
  return mix;
}

void BM_TokenizeMix(benchmark::State& state) {
  orvo::cParser parser;
  const auto& mix = FormulaMix();
  std::size_t tokens = 0;
  for (auto _ : state) {
    for (const std::string& formula : mix) {
      parser.CurrentPosition(1);
      while (parser.CurrentPosition() != -1) {
        benchmark::DoNotOptimize(parser.GetToken(formula));
        ++tokens;
      }
    }
  }
  state.counters["tokens_per_second"] =
      benchmark::Counter(static_cast<double>(tokens), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TokenizeMix);

// Parses every formula of `mix` per iteration; reports formulas per second.
void ParseEach(benchmark::State& state, orvo::cParser& parser,
               const std::vector<std::string>& mix) {
  std::size_t formulas = 0;
  for (auto _ : state) {
    for (const std::string& formula : mix) {
      parser.TokenFromString(formula);
      benchmark::DoNotOptimize(parser.ParsedValue());
      ++formulas;
    }
  }
  state.counters["formulas_per_second"] =
      benchmark::Counter(static_cast<double>(formulas), benchmark::Counter::kIsRate);
}

void BM_ParseMix(benchmark::State& state) {
  orvo::cParser parser;
  ParseEach(state, parser, FormulaMix());
}
BENCHMARK(BM_ParseMix);

// Formulas that name what the sample workspace defines.
const std::vector<std::string>& WorkspaceMix() {
  static const std::vector<std::string> mix = {
      "=B12+C12-D12",
      "=Sum(B5:B11)",
      "=If(C20<>0,(B20-C20)/C20*100,0)",
      "=-CM.PRODUCTSALES-CM.SERVICEREVENUE",
      "=-LY(CM.PRODUCTSALES)",
      "=Sum(B5:B11)-Sum(C5:C11)",
      "=If(And(B3>0,C3>0),B3/C3,\"n/a\")",
      "Total for {Year} period {Period}: {Sum(D4:D9)}",
      "=CM.PAYABLES+CM.ACCRUALS",
      "=Avg(B2:M2)",
      "=LY(AMOUNT)+AMOUNT",
      "=AccountValue(\"4000\",AMOUNT)",
  };
  return mix;
}

void BM_ParseMixWithWorkspace(benchmark::State& state) {
  static const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("orvo_formula_bench_" + std::to_string(::getpid()));
  if (!std::filesystem::exists(folder / "workspace.xml")) {
    orvo::WriteSampleWorkspace(folder.string(), {});
  }
  orvo::xml::Document document = orvo::xml::Document::Create();
  orvo::xml::Node properties = document.CreateElement("LaunchProperties");
  properties.SetAttribute("Workspace", folder.string());
  orvo::cParser parser;
  parser.Init(properties);
  ParseEach(state, parser, WorkspaceMix());
}
BENCHMARK(BM_ParseMixWithWorkspace);

void BM_ParseLongFormula(benchmark::State& state) {
  const auto length = static_cast<std::size_t>(state.range(0));
  // Ranges are longer than their placeholders, so the working text never
  // outgrows the 16-bit positions of a formula.
  std::string formula = "=A1";
  for (int n = 1; formula.size() < length; ++n) {
    const std::string row = std::to_string(n % 9000 + 1000);
    auto range = [&row](const char* from, const char* to) {
      return std::string(from) + row + ":" + to + row;
    };
    formula += "+Sum(" + range("A", "C") + "," + range("D", "F") + ")-If(" + range("G", "H") +
               ">0," + range("I", "J") + ",2)*" + range("K", "L");
  }
  orvo::cParser parser;
  parser.TokenFromString(formula);
  if (parser.ErrorCollection().HasChildNodes()) state.SkipWithError("the formula does not parse");
  for (auto _ : state) {
    parser.TokenFromString(formula);
    benchmark::DoNotOptimize(parser.ParsedValue());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * formula.size()));
}
BENCHMARK(BM_ParseLongFormula)->Arg(3000)->Arg(30000)->Unit(benchmark::kMicrosecond);

void BM_ResortByStylesheet(benchmark::State& state) {
  const orvo::xml::Stylesheet resort = orvo::xml::Stylesheet::Compile(
      "<xsl:stylesheet xmlns:xsl='http://www.w3.org/1999/XSL/Transform' version='1.0'>"
      "<xsl:template match='PEx'><PEx>"
      "<xsl:attribute name='Exp'><xsl:value-of select='@Exp'/></xsl:attribute>"
      "<xsl:attribute name='Max'><xsl:value-of select='@Max'/></xsl:attribute>"
      "<EIs><xsl:for-each select='EIs/EI'><EI>"
      "<xsl:attribute name='Typ'><xsl:value-of select='@Typ'/></xsl:attribute>"
      "<xsl:attribute name='Val'><xsl:value-of select='@Val'/></xsl:attribute>"
      "</EI></xsl:for-each></EIs>"
      "<EFs><xsl:for-each select='EFs/EF'>"
      "<xsl:sort select='@Grp' data-type='number' order='descending'/><EF>"
      "<xsl:attribute name='Typ'><xsl:value-of select='@Typ'/></xsl:attribute>"
      "<xsl:attribute name='Pos'><xsl:value-of select='@Pos'/></xsl:attribute>"
      "</EF></xsl:for-each></EFs>"
      "<EMBs><xsl:for-each select='EMBs/EMB'><EMB>"
      "<xsl:attribute name='Str'><xsl:value-of select='@Str'/></xsl:attribute>"
      "<xsl:attribute name='End'><xsl:value-of select='@End'/></xsl:attribute>"
      "</EMB></xsl:for-each></EMBs></PEx></xsl:template></xsl:stylesheet>");
  orvo::xml::Document record = orvo::xml::Document::Parse(
      "<PEx Exp='=Sum(If(I~_T~1&gt;0,I~_T~2,0))' Max='B2'><EIs><EI Typ='TCR' Val='A1'/>"
      "<EI Typ='TCR' Val='B2'/></EIs><EFs><EF Typ='Sum' Pos='1' Grp='0'/>"
      "<EF Typ='If' Pos='5' Grp='1'/></EFs><EMBs/></PEx>");
  orvo::xml::Document output = orvo::xml::Document::Create();
  for (auto _ : state) record.TransformNodeToObject(resort, output);
}
BENCHMARK(BM_ResortByStylesheet);

}  // namespace

BENCHMARK_MAIN();
