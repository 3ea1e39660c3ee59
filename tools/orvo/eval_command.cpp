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
  const auto context_option = [&](std::string BalanceContext::*field, const std::string& value) {
    if (!context) context = BalanceContext();
    (*context).*field = value;
  };
  const auto [options, formula] = SplitAtText(args);
  for (std::size_t i = 0; i < options.size(); ++i) {
    const std::string& arg = options[i];
    if (arg == "--workspace" && i + 1 < options.size()) {
      workspace = options[++i];
    } else if (arg == "--style" && i + 1 < options.size()) {
      style = options[++i];
    } else if (arg == "--year" && i + 1 < options.size()) {
      context_option(&BalanceContext::year, options[++i]);
    } else if (arg == "--prd" && i + 1 < options.size()) {
      context_option(&BalanceContext::period, options[++i]);
    } else if (arg == "--pdend" && i + 1 < options.size()) {
      context_option(&BalanceContext::end_period, options[++i]);
    } else if (arg == "--pdbal" && i + 1 < options.size()) {
      context_option(&BalanceContext::period_balance, options[++i]);
    } else if (arg == "--bal" && i + 1 < options.size()) {
      context_option(&BalanceContext::balance, options[++i]);
    } else {
      throw UsageError("unexpected argument: " + arg);
    }
  }

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
