#include "report_fixtures.h"

#include <cstdlib>

namespace orvo::render::testing {
namespace {

const std::string kMarker = "\xC3\xBF";

std::vector<std::vector<CellSpec>> CompanyHeader(const std::string& title,
                                                 const std::string& subtitle) {
  return {{{1, "Orvo Trading Ltd", Look::kTitle}},
          {{1, title, Look::kSection}},
          {{1, subtitle, Look::kSmall}},
          {}};
}

std::vector<std::vector<CellSpec>> PageFooter() {
  return {{},
          {{1, "Page " + kMarker + "P of " + kMarker + "C", Look::kSmall},
           {3, "Unaudited management accounts", Look::kSmall}}};
}

}  // namespace

std::string Figure(long long value) {
  std::string digits = std::to_string(std::llabs(value));
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
    digits.insert(static_cast<std::size_t>(at), ",");
  }
  return value < 0 ? "(" + digits + ")" : digits;
}

void IncomeStatement(PreviewFixture& preview, KeptRows& kept) {
  preview.PageSetup(0, "75.59", "56.69", "75.59", "56.69");
  preview.Row({{2, "Month", Look::kHeading},
               {3, "Year to date", Look::kHeading},
               {4, "Budget to date", Look::kHeading},
               {5, "Variance", Look::kHeading},
               {6, "Note", Look::kHeading}});
  const int first = preview.Row({{1, "Revenue", Look::kSection}});
  struct Line {
    const char* label;
    long long month;
    long long year;
    long long budget;
  };
  const Line revenue[] = {{"Product sales", 412350, 2391870, 2300000},
                          {"Services and licences", 96120, 571440, 600000},
                          {"Returns and allowances", -8215, -40310, -35000}};
  int drill = 0;
  auto line = [&](const Line& entry, Look look) {
    std::vector<CellSpec> cells = {
        {1, entry.label, look == Look::kAmount ? Look::kLabel : Look::kSection}};
    const long long figures[] = {entry.month, entry.year, entry.budget, entry.year - entry.budget};
    for (int column = 2; column <= 5; ++column) {
      CellSpec cell{column, Figure(figures[column - 2]), look};
      if (look == Look::kAmount && column < 5) {
        cell.drill = "DrillItem" + std::to_string(++drill);
        cell.formula = "=CM.LINE" + std::to_string(drill);
        preview.DrillKey(cell.drill, "CM.LINE" + std::to_string(drill) + "|Actuals|Y|1|6|YTD");
      }
      cells.push_back(cell);
    }
    return cells;
  };
  std::vector<CellSpec> product = line(revenue[0], Look::kAmount);
  product.push_back({6, "1", Look::kNote, "", "=Note(NOTE_REVENUE)"});
  const int product_row = preview.Row(product);
  preview.Row(line(revenue[1], Look::kAmount));
  preview.Row(line(revenue[2], Look::kAmount));
  preview.Row(line({"Total revenue", 500255, 2923000, 2865000}, Look::kSubtotal));
  preview.Row({{1, "Operating expenses", Look::kSection}});
  preview.Row(line({"People costs", -181200, -1090400, -1100000}, Look::kAmount));
  preview.Row(line({"Premises", -42000, -252000, -250000}, Look::kAmount));
  preview.Row(line({"Administration", -30411, -178650, -190000}, Look::kAmount));
  preview.Row(line({"Total operating expenses", -253611, -1521050, -1540000}, Look::kSubtotal));
  const int profit_row =
      preview.Row(line({"Net profit for the period", 246644, 1401950, 1325000}, Look::kTotal));
  const int last = preview.Row({{1,
                                 "The net profit is carried to the balance sheet (see page " +
                                     kMarker + "R2" + kMarker + ").",
                                 Look::kSmall}});
  preview.Keep(first, last);
  kept.push_back({first, last});
  preview.Reference("NOTE_REVENUE", 1, 1, product_row,
                    "Product sales include the sales of all product lines, net of discounts.");
  preview.Reference("NET_PROFIT", -1, 2, profit_row);
  preview.HeaderBlock(0, last, CompanyHeader("Income statement", "For the period ended June 2026"));
  preview.FooterBlock(0, last, PageFooter());
}

void TrialBalance(PreviewFixture& preview, KeptRows& kept, int accounts) {
  preview.PageSetup(0, "!", "!", "!", "!");
  // The setup repeated at the start of the body changes nothing.
  preview.PageSetup(2, "94.48809", "71.81095", "94.48809", "71.81095");
  preview.Row({{1, "Account", Look::kHeading},
               {2, "Description", Look::kHeading},
               {3, "Debit", Look::kHeading},
               {4, "Credit", Look::kHeading}});
  long long debit_total = 0;
  long long credit_total = 0;
  int class_start = 0;
  for (int account = 0; account < accounts; ++account) {
    const long long amount = ((account * 7919LL) % 200000) - 90000;
    const long long debit = amount > 0 ? amount : 0;
    const long long credit = amount < 0 ? -amount : 0;
    debit_total += debit;
    credit_total += credit;
    const int row = preview.Row(
        {{1, std::to_string(1000 + account * 10), Look::kLabel},
         {2, "Account " + std::to_string(1000 + account * 10) + " ledger balance", Look::kLabel},
         {3, Figure(debit), Look::kAmount, "", "=If(AMOUNT>0,AMOUNT,0)"},
         {4, Figure(credit), Look::kAmount, "", "=If(AMOUNT<0,-AMOUNT,0)"}});
    if (account % 15 == 0) class_start = row;
    if (account % 15 == 14) {
      preview.Keep(class_start, row);
      kept.push_back({class_start, row});
    }
  }
  const int total = preview.Row({{2, "Total", Look::kSection},
                                 {3, Figure(debit_total), Look::kTotal},
                                 {4, Figure(credit_total), Look::kTotal}});
  preview.Keep(total - 3, total);
  kept.push_back({total - 3, total});
  preview.HeaderBlock(0, total, CompanyHeader("Trial balance", "As at June 2026"));
  preview.FooterBlock(0, total, PageFooter());
}

}  // namespace orvo::render::testing
