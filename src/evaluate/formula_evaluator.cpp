#include "orvo/formula_evaluator.h"

#include "evaluate/evaluate.h"
#include "evaluate/style_record.h"
#include "orvo/error.h"
#include "orvo/parser.h"

namespace orvo {
namespace {

constexpr std::string_view kFormatName = "EVAL";

// The scratch format: one row, one item laid out as the format provider lays
// items out, in the General category with one font run.
constexpr std::string_view kScratchFormat =
    R"(<Fmt Key="EVAL" Name="EVAL" MRow="1" MCol="1"><Itms><Row>)"
    R"(<Itm Key="A1" Row="1" Col="1" Value="" Str="" MgKey="" ASz="0"><PEx/>)"
    R"(<Stl Name="" Hei="0" Wdt="0" BCl="-1" Ptn="0" PtnCl="0">)"
    R"(<NFmt Typ="General"><Def/></NFmt>)"
    R"(<Alg Hrz="" Vrt="" Wrp="0" Mg="0" MgKey="" Ind="0" Or="0" Shr="0" VrtTx="0"/>)"
    R"(<Brd btC="0" btL="0" dtlC="0" dtlL="0" dtrC="0" dtrL="0" lfC="0" lfL="0" rgC="0" rgL="0")"
    R"( tpC="0" tpL="0"/>)"
    R"(<Fnts><Fnt Bld="0" Clr="0" Itl="0" Nm="Arial" Sz="10" Str="0" Stl="Regular" Sub="0")"
    R"( Sup="0" Udl="" stt="" end=""/></Fnts>)"
    R"(</Stl></Itm></Row></Itms></Fmt>)";

}  // namespace

struct FormulaEvaluator::State {
  cParser parser;
  cEvaluate evaluator;
  std::optional<orvo::BalanceContext> context;
};

FormulaEvaluator::FormulaEvaluator() : m_state(std::make_unique<State>()) {}
FormulaEvaluator::~FormulaEvaluator() = default;

void FormulaEvaluator::BalanceContext(std::optional<orvo::BalanceContext> context) {
  m_state->context = std::move(context);
}

void FormulaEvaluator::Init(const xml::Node& launch_properties) {
  m_state->parser.Init(launch_properties);
  m_state->evaluator.Init(launch_properties);
}

FormulaEvaluation FormulaEvaluator::Evaluate(std::string_view formula, std::string_view style) {
  FormulaEvaluation result;
  cParser& parser = m_state->parser;
  parser.TokenFromString(formula);
  for (const xml::Node& message : parser.ErrorCollection().ChildNodes()) {
    if (message.Type() == xml::NodeType::kElement) {
      result.messages.push_back(message.AttributeOr("Desc", ""));
    }
  }
  result.parsed = result.messages.empty();
  if (!result.parsed && !m_evaluate_unparsed) return result;

  xml::Document document = xml::Document::Parse(kScratchFormat);
  const xml::Node format = document.DocumentElement();
  xml::Node item = format.SelectSingleNode("Itms/Row/Itm");
  item.SetAttribute("Value", formula);
  item.ReplaceChild(document.ImportNode(parser.ParsedValue(), true), item.FirstChild());
  if (!style.empty()) {
    const xml::Document style_document = xml::Document::Parse(style);
    const xml::Node given = style_document.DocumentElement();
    if (!given || given.Name() != "Stl") {
      RaiseError("FormulaEvaluator", "The style must be an Stl element");
    }
    item.ReplaceChild(document.ImportNode(given, true), StyleOf(item));
  }

  if (const std::optional<orvo::BalanceContext>& context = m_state->context) {
    // The scratch item's column carries the context, as a report column does.
    xml::Node column = xml::Node(format)
                           .AppendChild(document.CreateElement("ColBals"))
                           .AppendChild(document.CreateElement("ColBal"));
    column.SetAttribute("Col", "1");
    column.SetAttribute("Year", context->year);
    column.SetAttribute("Prd", context->period);
    column.SetAttribute("PdEnd", context->end_period);
    column.SetAttribute("PdBal", context->period_balance);
    column.SetAttribute("Bal", context->balance);
  }

  cEvaluate& evaluator = m_state->evaluator;
  evaluator.FormatReference(format);
  evaluator.CurrentFormatName(kFormatName);
  evaluator.CurrentFormatMax(1, 1);
  evaluator.EvaluateAllItems(true);
  evaluator.ForceLevel1Eval(true);
  evaluator.ForceLevel2Eval(true);
  xml::Node evaluated;
  evaluator.Evaluate(item, {}, 0, "", evaluated);

  result.value = evaluated.AttributeOr("Value", "");
  result.display_text = evaluated.AttributeOr("PTxt", "");
  if (const xml::Node run = FirstFontRun(evaluated)) result.colour = run.AttributeOr("Clr", "");
  return result;
}

}  // namespace orvo
