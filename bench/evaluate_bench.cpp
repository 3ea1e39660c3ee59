// Evaluator benchmarks.
//
// Every case evaluates N items (6,000 and 60,000) of a mix typical of
// reports: sums of 2 to 20 cells, sums over ranges, If with comparisons,
// Mod, Max and Min over ranges, Avg, text joins, percentages, and number
// formats with thousands separators, brackets for negatives and
// percentages. Cell and range operands come from a hash table, as the cell
// resolver's value cache gives them. Each reports items per second; the
// figure should not fall with N. Only the evaluation is timed: copying the
// format, adding bookkeeping and parsing happen with the clock paused.
//
// Cases:
//   BM_EvaluateParsedReportMix/N: the builder's path for an item met for the
//     first time. The items carry their bookkeeping attributes (Evaluated
//     "0", added as the builder's format evaluation adds them before any
//     item is evaluated) and the bare record <PEx/>; each is evaluated
//     through the overload that takes the typed parse of its formula, made
//     beforehand, so the record is neither read from nor written to the item
//     unless the item waits.
//   BM_EvaluateReportMix/N: items as a stored format holds them: no
//     bookkeeping yet and the record written out as PEx, read back by the
//     evaluator (the path of items the host hands in already parsed).
//   BM_EvaluatePreparedReportMix/N: the same with the bookkeeping already
//     added: the path of an item evaluated again in a later pass, whose
//     record is read from its PEx child.
//   BM_TouchItems/N: only reading each item's formula and record text, the
//     floor of touching N items spread over memory.
//   BM_EvaluateSimpleSum: one short formula (=B1+B2), the floor of the
//     per-item cost (preparation, record reading, display text).
#include <benchmark/benchmark.h>

#include <charconv>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "evaluate/evaluate.h"
#include "evaluate/item_bookkeeping.h"
#include "formula/parsed_expression.h"
#include "orvo/parser.h"
#include "orvo/xml.h"

namespace {

using orvo::xml::Document;
using orvo::xml::Node;

// The value of cell B<row>, C<row>, ...: a fixed amount per key.
std::string CellAmount(std::string_view key) {
  std::size_t hash = std::hash<std::string_view>()(key);
  const long long cents = static_cast<long long>(hash % 2'000'000) - 500'000;
  return std::to_string(cents / 100) + "." + std::to_string(std::abs(cents % 100) / 10) +
         std::to_string(std::abs(cents % 10));
}

// Cells and ranges of one column, valued from hash tables like the value
// cache the cell resolver keeps (ranges prepared on first use).
class CellTable : public orvo::IOperandResolver {
 public:
  CellTable() {
    for (char column : std::string("BCDEFG")) {
      for (int row = 1; row <= 60; ++row) {
        const std::string key = column + std::to_string(row);
        m_values.emplace(key, CellAmount(key));
      }
    }
  }

  orvo::Resolution Resolve(const orvo::OperandRequest& request, orvo::EvaluationScope&) override {
    const std::string key(request.text);
    if (request.type == orvo::OperandType::kCell) {
      auto found = m_values.find(key);
      if (found == m_values.end()) return orvo::Resolution::ErrorValue("#REF");
      return orvo::Resolution::Value(found->second);
    }
    Range& range = Prepared(key);
    if (request.wants_cells) return orvo::Resolution::Cells(range.cells);
    return orvo::Resolution::Value(range.sum);
  }

  // Prepares a range before the clock starts, so that the first timed pass
  // costs what every later one does.
  void Prepare(std::string_view text) { Prepared(std::string(text)); }

 private:
  struct Range {
    std::vector<std::string> cells;
    std::string sum;
  };

  Range& Prepared(const std::string& key) {
    Range& range = m_ranges.try_emplace(key).first->second;
    if (range.cells.empty()) Fill(key, range);
    return range;
  }

  // A range within one column: B3:B9.
  void Fill(std::string_view text, Range& range) {
    const std::size_t colon = text.find(':');
    int first = 0;
    int last = 0;
    std::from_chars(text.data() + 1, text.data() + colon, first);
    std::from_chars(text.data() + colon + 2, text.data() + text.size(), last);
    double sum = 0;
    for (int row = first; row <= last; ++row) {
      range.cells.push_back(m_values.at(text[0] + std::to_string(row)));
      sum += std::stod(range.cells.back());
    }
    range.sum = std::to_string(sum);
  }

  std::unordered_map<std::string, std::string> m_values;
  std::unordered_map<std::string, Range> m_ranges;
};

std::string Cell(char column, int row) { return column + std::to_string(row); }

// The formula mix, generated from a fixed start value so every run is the same.
std::vector<std::string> ReportFormulas(std::size_t count) {
  std::mt19937 random(1234);
  const auto row = [&] { return static_cast<int>(1 + random() % 40); };
  const auto column = [&] { return static_cast<char>('B' + random() % 5); };
  std::vector<std::string> formulas;
  formulas.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const char c = column();
    std::string formula;
    switch (i % 12) {
      case 0:
      case 1: {  // a sum of 2 to 20 cells
        const int operands = static_cast<int>(2 + random() % 19);
        formula = "=";
        for (int k = 0; k < operands; ++k) formula += (k ? "+" : "") + Cell(column(), row());
        break;
      }
      case 2: {
        const int first = row();
        formula = "=Sum(" + Cell(c, first) + ":" +
                  Cell(c, first + 1 + static_cast<int>(random() % 15)) + ")";
        break;
      }
      case 3:
        formula = "=If(" + Cell(c, row()) + ">" + Cell(c, row()) + "," + Cell(c, row()) + "-" +
                  Cell(c, row()) + ",0)";
        break;
      case 4:
        formula = "=Mod(" + Cell(c, row()) + ",7)";
        break;
      case 5: {
        const int first = row();
        formula = "=Max(" + Cell(c, first) + ":" + Cell(c, first + 5) + ")";
        break;
      }
      case 6:
        formula = "=Min(" + Cell(c, row()) + "," + Cell(c, row()) + "," + Cell(c, row()) + ")";
        break;
      case 7: {
        const int first = row();
        formula = "=Avg(" + Cell(c, first) + ":" + Cell(c, first + 11) + ")";
        break;
      }
      case 8:
        formula = "=\"Total \"&" + Cell(c, row()) + "&\" k\"";
        break;
      case 9:
        formula =
            "=If(" + Cell(c, row()) + "<>0," + Cell(c, row()) + "/" + Cell(c, row()) + "*100,0)";
        break;
      case 10:
        formula = "=" + Cell(c, row()) + "%";
        break;
      default:
        formula = "=Sum(" + Cell(c, row()) + "," + Cell(c, row()) + ")-" + Cell(c, row()) + "*2";
        break;
    }
    formulas.push_back(std::move(formula));
  }
  return formulas;
}

const char* const kStyles[] = {
    // Numeric, separators, two decimals, brackets for negatives in red.
    R"(<Stl Name="" Hei="0" Wdt="0" BCl="-1" Ptn="0" PtnCl="0"><NFmt Typ="Numeric">)"
    R"x(<Def Dec="2" Cur="None" Zer="-" Sep="-1" DisN="(1,234.00)" DisP="1,234.00" RedN="-1" RedP="0"/>)x"
    R"(</NFmt><Alg/><Brd/><Fnts><Fnt Bld="0" Clr="0" Itl="0" Nm="Arial" Sz="10"/></Fnts></Stl>)",
    // Numeric, no decimals, minus sign.
    R"(<Stl Name="" Hei="0" Wdt="0" BCl="-1" Ptn="0" PtnCl="0"><NFmt Typ="Numeric">)"
    R"(<Def Dec="0" Cur="None" Zer="0" Sep="-1" DisN="-1,234" DisP="1,234" RedN="0" RedP="0"/>)"
    R"(</NFmt><Alg/><Brd/><Fnts><Fnt Bld="0" Clr="0" Itl="0" Nm="Arial" Sz="10"/></Fnts></Stl>)",
    // Percentage with one decimal.
    R"(<Stl Name="" Hei="0" Wdt="0" BCl="-1" Ptn="0" PtnCl="0"><NFmt Typ="Percentage">)"
    R"(<Def Dec="1"/></NFmt><Alg/><Brd/><Fnts><Fnt Bld="0" Clr="0" Itl="0" Nm="Arial" Sz="10"/>)"
    R"(</Fnts></Stl>)",
    // General.
    R"(<Stl Name="" Hei="0" Wdt="0" BCl="-1" Ptn="0" PtnCl="0"><NFmt Typ="General"><Def/></NFmt>)"
    R"(<Alg/><Brd/><Fnts><Fnt Bld="0" Clr="0" Itl="0" Nm="Arial" Sz="10"/></Fnts></Stl>)",
};

// One format row per item, as a stored format holds them (parsed from text,
// as the format provider reads a workspace), each item with its record and
// style; not yet evaluated. The record is the parsed one, or the bare <PEx/>
// when `bare_records`.
Node BuildFormat(const std::vector<std::string>& formulas, bool bare_records) {
  orvo::cParser parser;
  std::string text = "<Fmt Key='BENCH' Name='BENCH' MRow='0' MCol='8'><Itms>";
  for (std::size_t i = 0; i < formulas.size(); ++i) {
    const std::string row = std::to_string(i + 1);
    parser.TokenFromString(formulas[i]);
    const std::size_t style = i % 12 == 8 ? 3 : (i % 12 == 9 || i % 12 == 10 ? 2 : i % 2);
    text += "<Row><Itm Key='H" + row + "' Row='" + row + "' Col='8' Value='" +
            orvo::xml::Escape(formulas[i]) + "' Str='' MgKey='' ASz='0'>" +
            (bare_records ? std::string("<PEx/>") : parser.ParsedValue().Xml()) + kStyles[style] +
            "</Itm></Row>";
  }
  text += "</Itms></Fmt>";
  return Document::Parse(text).DocumentElement();
}

enum class Path {
  kStoredRecord,    // no bookkeeping yet, the record read from the item
  kPreparedRecord,  // bookkeeping added, the record read from the item
  kParsed,          // bookkeeping added, bare record, evaluated from the parse
  kTouchOnly,       // bookkeeping added, items only read
};

// The typed parse of every formula, as the builder's parser gives them.
std::vector<orvo::ParsedExpression> ParseAll(const std::vector<std::string>& formulas) {
  orvo::cParser parser;
  std::vector<orvo::ParsedExpression> parses;
  parses.reserve(formulas.size());
  for (const std::string& formula : formulas) {
    parser.TokenFromString(formula);
    parses.push_back(orvo::ParsedExpressionOf(parser));
  }
  return parses;
}

void RunEvaluations(benchmark::State& state, const std::vector<std::string>& formulas, Path path) {
  const bool prepared = path != Path::kStoredRecord;
  const bool read_only = path == Path::kTouchOnly;
  const Node source = BuildFormat(formulas, path == Path::kParsed);
  const std::vector<orvo::ParsedExpression> parses = ParseAll(formulas);
  orvo::cEvaluate evaluator;
  auto cells = std::make_shared<CellTable>();
  for (const orvo::ParsedExpression& parse : parses) {
    for (const auto& operand : parse.operands) {
      if (operand.type == orvo::OperandType::kRange) cells->Prepare(operand.text);
    }
  }
  evaluator.SetOperandResolver(orvo::OperandKind::kCell, cells);
  evaluator.SetOperandResolver(orvo::OperandKind::kRange, cells);
  evaluator.FormatReference(source);
  evaluator.CurrentFormatName("BENCH");
  evaluator.CurrentFormatMax(8, static_cast<std::int32_t>(formulas.size()));

  std::size_t errors = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const Node format = source.CloneNode(true);
    std::vector<Node> items;
    items.reserve(formulas.size());
    for (Node row = format.FirstChild().FirstChild(); row; row = row.NextSibling()) {
      items.push_back(row.FirstChild());
      if (prepared) orvo::PrepareForEvaluation(items.back(), "BENCH");
    }
    state.ResumeTiming();
    Node evaluated;
    if (read_only) {
      std::size_t total = 0;
      for (const Node& item : items) {
        total +=
            item.AttributeOr("Value", "").size() + item.FirstChild().AttributeOr("Exp", "").size();
      }
      benchmark::DoNotOptimize(total);
    } else if (path == Path::kParsed) {
      for (std::size_t i = 0; i < items.size(); ++i) {
        evaluator.Evaluate(items[i], parses[i], {}, 0, "", evaluated);
      }
    } else {
      for (const Node& item : items) evaluator.Evaluate(item, {}, 0, "", evaluated);
    }
    state.PauseTiming();
    if (!read_only) {
      for (const Node& item : items) errors += item.AttributeOr("Value", "") == "#ERROR";
    }
    state.ResumeTiming();
  }
  if (errors != 0) state.SkipWithError("an item evaluated to #ERROR");
  state.counters["items/s"] = benchmark::Counter(static_cast<double>(formulas.size()),
                                                 benchmark::Counter::kIsIterationInvariantRate);
}

void BM_EvaluateParsedReportMix(benchmark::State& state) {
  RunEvaluations(state, ReportFormulas(static_cast<std::size_t>(state.range(0))), Path::kParsed);
}
BENCHMARK(BM_EvaluateParsedReportMix)->Arg(6'000)->Arg(60'000)->Unit(benchmark::kMillisecond);

void BM_EvaluateReportMix(benchmark::State& state) {
  RunEvaluations(state, ReportFormulas(static_cast<std::size_t>(state.range(0))),
                 Path::kStoredRecord);
}
BENCHMARK(BM_EvaluateReportMix)->Arg(6'000)->Arg(60'000)->Unit(benchmark::kMillisecond);

void BM_EvaluatePreparedReportMix(benchmark::State& state) {
  RunEvaluations(state, ReportFormulas(static_cast<std::size_t>(state.range(0))),
                 Path::kPreparedRecord);
}
BENCHMARK(BM_EvaluatePreparedReportMix)->Arg(6'000)->Arg(60'000)->Unit(benchmark::kMillisecond);

// Only reading each item's formula and record text: the floor of touching
// 60,000 items spread over memory, for comparison.
void BM_TouchItems(benchmark::State& state) {
  RunEvaluations(state, ReportFormulas(static_cast<std::size_t>(state.range(0))), Path::kTouchOnly);
}
BENCHMARK(BM_TouchItems)->Arg(60'000)->Unit(benchmark::kMillisecond);

void BM_EvaluateSimpleSum(benchmark::State& state) {
  RunEvaluations(state, std::vector<std::string>(6'000, "=B1+B2"), Path::kStoredRecord);
}
BENCHMARK(BM_EvaluateSimpleSum)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
