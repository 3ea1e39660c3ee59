// orvo eval: what a cell holding one formula would show.
#include <iostream>

#include "command.h"
#include "orvo/formula_evaluator.h"
#include "orvo/xml.h"

namespace orvo::cli {

int RunEvalCommand(const Arguments& args) {
  std::optional<std::string> workspace;
  std::string style;
  std::optional<BalanceContext> context;
  // Any balance option gives the scratch item a context of its own.
  const auto context_option = [&](std::string BalanceContext::*field) {
    return [&context, field](const std::string& value) {
      if (!context) context = BalanceContext();
      (*context).*field = value;
    };
  };
  const auto [options, formula] = SplitAtText(args);
  ReadOptions(options, {.values = {{"--workspace", [&](const std::string& v) { workspace = v; }},
                                   {"--style", [&](const std::string& v) { style = v; }},
                                   {"--year", context_option(&BalanceContext::year)},
                                   {"--prd", context_option(&BalanceContext::period)},
                                   {"--pdend", context_option(&BalanceContext::end_period)},
                                   {"--pdbal", context_option(&BalanceContext::period_balance)},
                                   {"--bal", context_option(&BalanceContext::balance)}},
                        .flags = {}});

  xml::Document document = xml::Document::Create();
  FormulaEvaluator evaluator;
  std::shared_ptr<IStoreContext> store;
  if (workspace) {
    const xml::Node launch_properties = LaunchPropertiesFor(document, *workspace);
    store = OpenCheckedWorkspace(launch_properties);
    evaluator.Init(launch_properties);
  }
  evaluator.BalanceContext(context);
  const FormulaEvaluation result = evaluator.Evaluate(formula, style);
  if (!result.parsed) {
    for (const std::string& message : result.messages) std::cerr << message << "\n";
    return 1;
  }
  // Written with the XML layer's escaping, which keeps the page and
  // reference markers (U+00FF) as characters for the host to find.
  std::cout << "<Eval Val=\"" << xml::Escape(result.value) << "\" PTxt=\""
            << xml::Escape(result.display_text) << "\" Clr=\"" << xml::Escape(result.colour)
            << "\"/>\n";
  return 0;
}

}  // namespace orvo::cli
