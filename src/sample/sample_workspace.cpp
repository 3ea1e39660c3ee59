#include "orvo/sample_workspace.h"

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <system_error>
#include <vector>

#include "frame/column_letters.h"
#include "orvo/error.h"
#include "orvo/xml.h"
#include "sample/sample_chart.h"
#include "sample/sample_ledger_writer.h"

namespace orvo::sample {
namespace {

constexpr const char* kSource = "SampleWorkspace";
// Every file the sample writes, in writing order: workspace.xml last, so a
// folder holding it is a complete workspace.
constexpr const char* kLedgerFile = "ledger.sqlite";
constexpr const char* kFiles[] = {kLedgerFile,        "chart_map.xml",    "formats.xml",
                                  "reports.xml",      "styles.xml",       "bookmarks.xml",
                                  "named_ranges.xml", "data_columns.xml", "workspace.xml"};
constexpr int kPrintColumn = -2;  // the format provider's number of the column "PRINT"

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream stream(path, std::ios::binary | std::ios::trunc);
  stream << text;
  stream.close();
  if (!stream) RaiseError(kSource, "Cannot write workspace file '" + path.string() + "'");
}

// Puts each element that follows another tag directly on its own indented
// line, so people can read the files. Only the gap between two tags gets
// white space, and never inside an element that holds text of its own (a
// repeat definition's folder reference), so no text value changes.
std::string Indented(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  int depth = 0;
  bool previous_was_tag = false;
  std::vector<bool> holds_text = {false};
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] != '<') {
      std::size_t next = text.find('<', i);
      if (next == std::string::npos) next = text.size();
      out.append(text, i, next - i);
      i = next;
      previous_was_tag = false;
      holds_text.back() = true;
      continue;
    }
    // Find the tag's end, skipping quoted attribute values.
    std::size_t end = i + 1;
    char quote = 0;
    for (; end < text.size(); ++end) {
      if (quote) {
        if (text[end] == quote) quote = 0;
      } else if (text[end] == '"' || text[end] == '\'') {
        quote = text[end];
      } else if (text[end] == '>') {
        break;
      }
    }
    bool closing = text.compare(i, 2, "</") == 0;
    bool self_closing = end > 0 && text[end - 1] == '/';
    bool mixed = holds_text.back();
    if (closing) {
      --depth;
      if (holds_text.size() > 1) holds_text.pop_back();
    }
    if (previous_was_tag && !mixed) {
      out += "\n" + std::string(static_cast<std::size_t>(2 * depth), ' ');
    }
    out.append(text, i, end + 1 - i);
    if (!closing && !self_closing) {
      ++depth;
      holds_text.push_back(false);
    }
    previous_was_tag = true;
    i = end + 1;
  }
  return out;
}

void WriteXml(const std::filesystem::path& path, const xml::Node& root) {
  WriteFile(path, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + Indented(root.Xml()) + "\n");
}

struct StyleLook {
  const char* name;
  const char* category;  // General, Numeric, Percentage
  bool bold;
  bool italic;
  int size;
  const char* horizontal;
  int indent;
  int top_line;  // border line styles: 0 none, 1 thin, 6 double
  int bottom_line;
};

constexpr StyleLook kStyles[] = {
    {"TITLE", "General", true, false, 14, "Left", 0, 0, 0},
    {"SUBTITLE", "General", false, true, 10, "Left", 0, 0, 0},
    {"COLHEAD", "General", true, false, 10, "Right", 0, 0, 1},
    {"SECTION", "General", true, false, 10, "Left", 0, 0, 0},
    {"LABEL", "General", false, false, 10, "Left", 1, 0, 0},
    {"CODE", "General", false, false, 10, "Left", 0, 0, 0},
    {"AMOUNT", "Numeric", false, false, 10, "Right", 0, 0, 0},
    {"SUBTOTAL", "Numeric", true, false, 10, "Right", 0, 1, 0},
    {"TOTAL", "Numeric", true, false, 10, "Right", 0, 1, 6},
    {"PERCENT", "Percentage", false, true, 10, "Right", 0, 0, 0},
    {"NOTE", "General", false, false, 8, "Center", 0, 0, 0},
    {"FOOTER", "General", false, true, 8, "Left", 0, 0, 0},
};

const StyleLook& FindStyle(const std::string& name) {
  for (const StyleLook& look : kStyles) {
    if (name == look.name) return look;
  }
  return kStyles[4];
}

// A style record laid out as every item's Stl: number format, Alg, Brd, Fnts.
xml::Node StyleRecord(const xml::Document& document, const StyleLook& look, bool library) {
  xml::Node style = document.CreateElement("Stl");
  style.SetAttribute("Name", look.name);
  style.SetAttribute("Hei", "0");
  style.SetAttribute("Wdt", "0");
  style.SetAttribute("BCl", "-1");
  style.SetAttribute("Ptn", "0");
  style.SetAttribute("PtnCl", "0");
  if (library) {
    style.SetAttribute("Hier", std::string(look.category) == "General" ? "Text" : "Numbers");
    style.SetAttribute("SKey", look.name);
  }
  xml::Node number = style.AppendChild(document.CreateElement("NFmt"));
  number.SetAttribute("Typ", look.category);
  xml::Node definition = number.AppendChild(document.CreateElement("Def"));
  if (std::string(look.category) == "Numeric") {
    definition.SetAttribute("Dec", "0");
    definition.SetAttribute("Cur", "None");
    definition.SetAttribute("Zer", "-");
    definition.SetAttribute("Sep", "-1");
    definition.SetAttribute("DisN", "(1,234)");
    definition.SetAttribute("DisP", "1,234");
    definition.SetAttribute("RedN", "0");
    definition.SetAttribute("RedP", "0");
  } else if (std::string(look.category) == "Percentage") {
    definition.SetAttribute("Dec", "1");
  }
  xml::Node alignment = style.AppendChild(document.CreateElement("Alg"));
  alignment.SetAttribute("Hrz", look.horizontal);
  alignment.SetAttribute("Vrt", "Bottom");
  alignment.SetAttribute("Wrp", "0");
  alignment.SetAttribute("Mg", "0");
  alignment.SetAttribute("MgKey", "");
  alignment.SetAttribute("Ind", std::to_string(look.indent));
  alignment.SetAttribute("Or", "0");
  alignment.SetAttribute("Shr", "0");
  alignment.SetAttribute("VrtTx", "0");
  if (library) alignment.SetAttribute("ASz", "0");
  xml::Node borders = style.AppendChild(document.CreateElement("Brd"));
  for (const char* edge : {"bt", "dtl", "dtr", "lf", "rg", "tp"}) {
    std::string prefix(edge);
    int line = prefix == "bt" ? look.bottom_line : prefix == "tp" ? look.top_line : 0;
    borders.SetAttribute(prefix + "C", "0");
    borders.SetAttribute(prefix + "L", std::to_string(line));
  }
  xml::Node fonts = style.AppendChild(document.CreateElement("Fnts"));
  xml::Node font = fonts.AppendChild(document.CreateElement("Fnt"));
  font.SetAttribute("Bld", look.bold ? "-1" : "0");
  font.SetAttribute("Clr", "0");
  font.SetAttribute("Itl", look.italic ? "-1" : "0");
  font.SetAttribute("Nm", "Arial");
  font.SetAttribute("Sz", std::to_string(look.size));
  font.SetAttribute("Str", "0");
  font.SetAttribute("Stl", look.bold && look.italic ? "Bold Italic"
                           : look.bold              ? "Bold"
                           : look.italic            ? "Italic"
                                                    : "Regular");
  font.SetAttribute("Sub", "0");
  font.SetAttribute("Sup", "0");
  font.SetAttribute("Udl", "");
  font.SetAttribute("stt", "");
  font.SetAttribute("end", "");
  return style;
}

// Builds one Fmt: rows of items (Key, Row, Col, Value = text or formula, ...),
// the balance context of each amount column (ColBals) and repeat rows (Rpts).
class FormatBuilder {
 public:
  FormatBuilder(const xml::Document& document, const std::string& key)
      : m_document(document), m_format(document.CreateElement("Fmt")) {
    m_format.SetAttribute("Key", key);
    m_format.SetAttribute("Name", key);
    m_format.SetAttribute("MRow", "0");
    m_format.SetAttribute("MCol", "0");
    m_items = m_format.AppendChild(document.CreateElement("Itms"));
  }

  void Cell(int row, int column, const std::string& value, const std::string& style) {
    xml::Node item = RowElement(row).AppendChild(m_document.CreateElement("Itm"));
    item.SetAttribute(
        "Key", (column == kPrintColumn ? "PRINT" : ColumnLetters(column)) + std::to_string(row));
    item.SetAttribute("Row", std::to_string(row));
    item.SetAttribute("Col", std::to_string(column));
    item.SetAttribute("Value", value);
    item.SetAttribute("Str", "");
    item.SetAttribute("MgKey", "");
    item.SetAttribute("ASz", "0");
    item.AppendChild(m_document.CreateElement("PEx"));
    item.AppendChild(StyleRecord(m_document, FindStyle(style), false));
    m_max_row = std::max(m_max_row, row);
    m_max_column = std::max(m_max_column, column);
  }
  // A row print condition: the row prints while the formula is true.
  void PrintCondition(int row, const std::string& formula) {
    Cell(row, kPrintColumn, formula, "LABEL");
  }

  void Balance(int column, const std::string& year, const std::string& first,
               const std::string& last, const std::string& period_balance,
               const std::string& balance) {
    if (!m_balances) m_balances = m_format.AppendChild(m_document.CreateElement("ColBals"));
    xml::Node context = m_balances.AppendChild(m_document.CreateElement("ColBal"));
    context.SetAttribute("Col", std::to_string(column));
    context.SetAttribute("Year", year);
    context.SetAttribute("Prd", first);
    context.SetAttribute("PdEnd", last);
    context.SetAttribute("PdBal", period_balance);
    context.SetAttribute("Bal", balance);
  }

  void Repeat(int row, const std::string& folders, bool sub_codes, bool zero_balances,
              const std::vector<std::string>& sort_fields) {
    xml::Node repeat = NewRepeat(row, "1");
    repeat.SetAttribute("Sub", sub_codes ? "-1" : "0");
    repeat.SetAttribute("Zer", zero_balances ? "-1" : "0");
    repeat.SetAttribute("Use", "0");
    repeat.AppendChild(m_document.CreateTextNode(folders));
    for (std::size_t i = 0; i < sort_fields.size(); ++i) {
      xml::Node sort = repeat.AppendChild(m_document.CreateElement("SItm"));
      sort.SetAttribute("Ind", std::to_string(i + 1));
      sort.SetAttribute("Fld", sort_fields[i]);
    }
  }

  // A row repeating over the records of a database-map definition text.
  void DatabaseRepeat(int row, const std::string& definition) {
    xml::Node repeat = NewRepeat(row, "2");
    repeat.SetAttribute("Sub", "0");
    repeat.SetAttribute("Zer", "0");
    repeat.SetAttribute("Use", "0");
    repeat.AppendChild(m_document.CreateTextNode(definition));
  }

  xml::Node Finish() {
    m_format.SetAttribute("MRow", std::to_string(m_max_row));
    m_format.SetAttribute("MCol", std::to_string(m_max_column));
    return m_format;
  }

 private:
  xml::Node NewRepeat(int row, const char* type) {
    if (!m_repeats) m_repeats = m_format.AppendChild(m_document.CreateElement("Rpts"));
    xml::Node repeat = m_repeats.AppendChild(m_document.CreateElement("Rpt"));
    repeat.SetAttribute("Row", std::to_string(row));
    repeat.SetAttribute("Typ", type);
    return repeat;
  }

  xml::Node RowElement(int row) {
    while (static_cast<int>(m_rows.size()) < row) {
      xml::Node element = m_items.AppendChild(m_document.CreateElement("Row"));
      element.SetAttribute("PgBk", "0");
      m_rows.push_back(element);
    }
    return m_rows[static_cast<std::size_t>(row - 1)];
  }

  const xml::Document& m_document;
  xml::Node m_format;
  xml::Node m_items;
  xml::Node m_balances;
  xml::Node m_repeats;
  std::vector<xml::Node> m_rows;
  int m_max_row = 0;
  int m_max_column = 0;
};

// One line of a statement: a label and the same folder formula in each amount
// column; `sign` is "-" for credit-natured lines shown as positive amounts.
struct StatementLine {
  int row;
  const char* label;
  const char* folder;
  const char* sign;
};

xml::Node IncomeStatement(const xml::Document& document) {
  FormatBuilder format(document, "INCOME_STATEMENT");
  format.Balance(2, "Y", "Current Period", "Current Period", "Movement", "Actuals");
  format.Balance(3, "Y", "1", "Current Period", "YTD", "Actuals");
  format.Balance(4, "Y", "1", "Current Period", "YTD", "Actuals");
  format.Balance(5, "Y", "1", "Current Period", "YTD", "Budget");
  const char* headings[] = {
      "",         "Month",      "Year to date", "Last year to date", "Budget to date",
      "Variance", "Variance %", "Note"};
  for (int column = 1; column <= 8; ++column) {
    format.Cell(1, column, headings[column - 1], "COLHEAD");
  }
  format.Cell(2, 2, "{Period}", "SUBTITLE");
  format.Cell(2, 3, "{Year}", "SUBTITLE");

  auto amounts = [&](int row, const std::string& formula, bool credit_natured,
                     const std::string& style) {
    format.Cell(row, 2, "=" + formula, style);
    format.Cell(row, 3, "=" + formula, style);
    format.Cell(row, 5, "=" + formula, style);
    // Variances are shown favourable positive: over budget for income, under
    // budget for costs.
    std::string r = std::to_string(row);
    format.Cell(row, 6, credit_natured ? "=C" + r + "-E" + r : "=E" + r + "-C" + r, style);
    format.Cell(row, 7, "=If(E" + r + "=0,0,F" + r + "/E" + r + ")", "PERCENT");
  };
  auto line = [&](const StatementLine& statement_line, bool credit_natured) {
    std::string r = std::to_string(statement_line.row);
    std::string folder = std::string("CM.") + statement_line.folder;
    format.Cell(statement_line.row, 1, statement_line.label, "LABEL");
    amounts(statement_line.row, std::string(statement_line.sign) + folder, credit_natured,
            "AMOUNT");
    format.Cell(statement_line.row, 4,
                "=" + std::string(statement_line.sign) + "LY(" + folder + ")", "AMOUNT");
  };
  auto total = [&](int row, const char* label, const std::string& formula, bool credit_natured,
                   const char* style) {
    format.Cell(row, 1, label, "SECTION");
    for (int column = 2; column <= 5; ++column) {
      std::string letters = ColumnLetters(column);
      std::string text = formula;
      for (std::size_t at = text.find('#'); at != std::string::npos; at = text.find('#')) {
        text.replace(at, 1, letters);
      }
      format.Cell(row, column, "=" + text, style);
    }
    std::string r = std::to_string(row);
    format.Cell(row, 6, credit_natured ? "=C" + r + "-E" + r : "=E" + r + "-C" + r, style);
    format.Cell(row, 7, "=If(E" + r + "=0,0,F" + r + "/E" + r + ")", "PERCENT");
  };

  format.Cell(3, 1, "Revenue", "SECTION");
  line({4, "Product sales", "PRODUCTSALES", "-"}, true);
  format.Cell(4, 8, "=Note(NOTE_REVENUE)", "NOTE");
  line({5, "Services and licences", "SERVICEREVENUE", "-"}, true);
  line({6, "Returns and allowances", "RETURNS", "-"}, true);
  format.PrintCondition(6, "=Or(C6<>0,D6<>0)");
  line({7, "Other operating income", "OTHERREVENUE", "-"}, true);
  total(8, "Total revenue", "Sum(#4:#7)", true, "SUBTOTAL");

  format.Cell(9, 1, "Cost of sales", "SECTION");
  line({10, "Materials and goods", "MATERIALS", ""}, false);
  line({11, "Direct labour and subcontractors", "DIRECTCOSTS", ""}, false);
  total(12, "Total cost of sales", "Sum(#10:#11)", false, "SUBTOTAL");
  total(13, "Gross profit", "#8-#12", true, "TOTAL");
  format.Cell(14, 1, "Gross margin", "LABEL");
  for (int column = 2; column <= 5; ++column) {
    std::string c = ColumnLetters(column);
    format.Cell(14, column, "=If(" + c + "8=0,0," + c + "13/" + c + "8)", "PERCENT");
  }

  format.Cell(15, 1, "Operating expenses", "SECTION");
  line({16, "People costs", "PEOPLE", ""}, false);
  line({17, "Premises", "PREMISES", ""}, false);
  line({18, "Sales and marketing", "MARKETING", ""}, false);
  line({19, "Administration", "ADMINISTRATION", ""}, false);
  line({20, "Depreciation", "DEPRECIATION", ""}, false);
  line({21, "Bad debts and sundry", "OTHEREXPENSES", ""}, false);
  total(22, "Total operating expenses", "Sum(#16:#21)", false, "SUBTOTAL");
  total(23, "Operating profit", "#13-#22", true, "TOTAL");
  line({24, "Net finance income (cost)", "FINANCE", "-"}, true);
  total(25, "Profit before tax", "#23+#24", true, "SUBTOTAL");
  line({26, "Income tax", "TAX", ""}, false);
  total(27, "Net profit for the period", "#25-#26", true, "TOTAL");
  return format.Finish();
}

xml::Node BalanceSheet(const xml::Document& document) {
  FormatBuilder format(document, "BALANCE_SHEET");
  format.Balance(2, "Y", "Current Period", "Current Period", "Closing", "Actuals");
  format.Balance(3, "Y-1", "12", "12", "Closing", "Actuals");
  format.Cell(1, 2, "This year", "COLHEAD");
  format.Cell(1, 3, "Last year", "COLHEAD");
  format.Cell(1, 4, "Note", "COLHEAD");
  format.Cell(2, 2, "{Period}", "SUBTITLE");
  format.Cell(2, 3, "{Period}", "SUBTITLE");

  auto line = [&](int row, const char* label, const char* folder, const char* sign) {
    format.Cell(row, 1, label, "LABEL");
    for (int column = 2; column <= 3; ++column) {
      format.Cell(row, column, "=" + std::string(sign) + "CM." + folder, "AMOUNT");
    }
  };
  auto total = [&](int row, const char* label, const std::string& formula, const char* style) {
    format.Cell(row, 1, label, "SECTION");
    for (int column = 2; column <= 3; ++column) {
      std::string text = formula;
      std::string letters = ColumnLetters(column);
      for (std::size_t at = text.find('#'); at != std::string::npos; at = text.find('#')) {
        text.replace(at, 1, letters);
      }
      format.Cell(row, column, "=" + text, style);
    }
  };

  format.Cell(3, 1, "Non-current assets", "SECTION");
  line(4, "Property, plant and equipment at cost", "FIXEDASSETS", "");
  line(5, "Accumulated depreciation", "ACCUMULATEDDEPRECIATION", "");
  total(6, "Net book value", "Sum(#4:#5)", "SUBTOTAL");
  format.Cell(7, 1, "Current assets", "SECTION");
  line(8, "Inventories", "INVENTORY", "");
  line(9, "Trade and other receivables", "RECEIVABLES", "");
  line(10, "Cash and cash equivalents", "CASH", "");
  total(11, "Total current assets", "Sum(#8:#10)", "SUBTOTAL");
  total(12, "Total assets", "#6+#11", "TOTAL");
  format.Cell(13, 1, "Current liabilities", "SECTION");
  line(14, "Bank overdraft", "BANKOVERDRAFT", "-");
  format.PrintCondition(14, "=Or(B14<>0,C14<>0)");
  line(15, "Trade payables", "PAYABLES", "-");
  line(16, "Accruals and taxes", "ACCRUALS", "-");
  total(17, "Total current liabilities", "Sum(#14:#16)", "SUBTOTAL");
  format.Cell(18, 1, "Non-current liabilities", "SECTION");
  line(19, "Borrowings and leases", "BORROWINGS", "-");
  total(20, "Total liabilities", "#17+#19", "TOTAL");
  total(21, "Net assets", "#12-#20", "TOTAL");
  format.Cell(22, 1, "Equity", "SECTION");
  line(23, "Share capital", "SHARECAPITAL", "-");
  line(24, "Retained earnings", "RETAINED", "-");
  line(25, "Profit for the year", "INCOMESTATEMENT", "-");
  format.Cell(25, 4, "=Note(NOTE_EARNINGS)", "NOTE");
  total(26, "Total equity", "Sum(#23:#25)", "TOTAL");
  total(27, "Out of balance", "#21-#26", "AMOUNT");
  format.PrintCondition(27, "=Or(B27<>0,C27<>0)");
  line(28, "Net working capital", "WORKINGCAPITAL", "");
  // A named range of this format: valued once the format is evaluated, so
  // the cell waits for it.
  format.Cell(29, 1, "Return on assets (profit for the year / total assets)", "LABEL");
  format.Cell(29, 2, "=If(TOTAL_ASSETS=0,0,B25/TOTAL_ASSETS)", "PERCENT");
  return format.Finish();
}

xml::Node TrialBalance(const xml::Document& document) {
  FormatBuilder format(document, "TRIAL_BALANCE");
  format.Balance(3, "Y", "Current Period", "Current Period", "Closing", "Actuals");
  format.Balance(4, "Y", "Current Period", "Current Period", "Closing", "Actuals");
  format.Cell(1, 1, "Account", "COLHEAD");
  format.Cell(1, 2, "Description", "COLHEAD");
  format.Cell(1, 3, "Debit", "COLHEAD");
  format.Cell(1, 4, "Credit", "COLHEAD");
  format.Cell(2, 1, "=CODE", "CODE");
  format.Cell(2, 2, "=DESCRIPTION", "LABEL");
  format.Cell(2, 3, "=If(AMOUNT>0,AMOUNT,0)", "AMOUNT");
  format.Cell(2, 4, "=If(AMOUNT<0,-AMOUNT,0)", "AMOUNT");
  format.Repeat(2, "CM.TRIALBALANCE", true, false, {"CODE"});
  format.Cell(3, 2, "Total", "SECTION");
  format.Cell(3, 3, "=Sum(C2)", "TOTAL");
  format.Cell(3, 4, "=Sum(D2)", "TOTAL");
  format.Cell(4, 2, "Difference", "LABEL");
  format.Cell(4, 3, "=C3-D3", "AMOUNT");
  format.PrintCondition(4, "=C4<>0");
  return format.Finish();
}

// One row per customer of the year, largest revenue first, with last year's
// revenue beside it, totals and the number of customers.
xml::Node Customers(const xml::Document& document) {
  FormatBuilder format(document, "CUSTOMERS");
  for (int column = 3; column <= 8; ++column) format.Balance(column, "Y", "", "", "", "Actuals");
  const char* headings[] = {"Code",      "Customer",    "Region",       "Revenue",
                            "Last year", "Outstanding", "Credit limit", "Headroom"};
  for (int column = 1; column <= 8; ++column) {
    format.Cell(1, column, headings[column - 1], "COLHEAD");
  }
  format.Cell(2, 1, "=DB.Customers.Code", "CODE");
  format.Cell(2, 2, "=DB.Customers.Name", "LABEL");
  format.Cell(2, 3, "=DB.Customers.Region", "LABEL");
  format.Cell(2, 4, "=DB.Customers.Revenue", "AMOUNT");
  format.Cell(2, 5, "=LY(DB.Customers.Revenue)", "AMOUNT");
  format.Cell(2, 6, "=DB.Customers.Outstanding", "AMOUNT");
  format.Cell(2, 7, "=DB.Customers.CreditLimit", "AMOUNT");
  format.Cell(2, 8, "=DB.Customers.CreditLimit-DB.Customers.Outstanding", "AMOUNT");
  format.DatabaseRepeat(2, "DB.Customers; Sort=Revenue DESC");
  format.Cell(3, 2, "Total", "SECTION");
  for (int column = 4; column <= 8; ++column) {
    const std::string letter = ColumnLetters(column);
    format.Cell(3, column, "=Sum(" + letter + "2)", "TOTAL");
  }
  format.Cell(4, 2, "Number of customers", "LABEL");
  format.Cell(4, 4, "=RecordCount(DB.Customers)", "LABEL");
  return format.Finish();
}

xml::Node Header(const xml::Document& document, const std::string& key, const std::string& title,
                 const std::string& subtitle) {
  FormatBuilder format(document, key);
  format.Cell(1, 1, "Orvo Trading Ltd", "TITLE");
  format.Cell(2, 1, title, "SECTION");
  format.Cell(3, 1, subtitle, "SUBTITLE");
  return format.Finish();
}

xml::Node Footer(const xml::Document& document) {
  FormatBuilder format(document, "PAGE_FOOTER");
  format.Cell(1, 1, "Page {Page} of {PageCount}", "FOOTER");
  format.Cell(1, 3, "Unaudited management accounts", "FOOTER");
  return format.Finish();
}

// Chart map: nested Folder elements keyed by ItemKey, with Range and Mapping.
class ChartMapBuilder {
 public:
  ChartMapBuilder(const xml::Document& document, const SampleChart& chart)
      : m_document(document), m_chart(chart) {}

  xml::Node Folder(xml::Node parent, const std::string& key, const std::string& name) {
    xml::Node folder = parent.AppendChild(m_document.CreateElement("Folder"));
    folder.SetAttribute("Name", name);
    xml::Node item_key = folder.AppendChild(m_document.CreateElement("ItemKey"));
    item_key.SetText(key);
    return folder;
  }
  // Account range over four-digit base codes, widened with the chart.
  void Range(xml::Node folder, int from, int to, int step = 0, bool credit = true,
             bool debit = true) {
    xml::Node range = folder.AppendChild(m_document.CreateElement("Range"));
    std::string first = m_chart.Code(from);
    std::string last = m_chart.BlockEnd(to);
    range.SetAttribute("Name", first + ":" + last);
    range.SetAttribute("From", first);
    range.SetAttribute("To", last);
    range.SetAttribute("Step", step ? std::to_string(step * m_chart.Scale()) : "");
    range.SetAttribute("Credit", credit ? "-1" : "0");
    range.SetAttribute("Debit", debit ? "-1" : "0");
  }
  void Mapping(xml::Node folder, const std::string& key) {
    xml::Node mapping = folder.AppendChild(m_document.CreateElement("Mapping"));
    mapping.SetAttribute("Name", key);
  }

 private:
  const xml::Document& m_document;
  const SampleChart& m_chart;
};

xml::Node ChartMap(const xml::Document& document, const SampleChart& chart) {
  ChartMapBuilder map(document, chart);
  xml::Node root = document.CreateElement("ChartMap");

  xml::Node income = map.Folder(root, "INCOMESTATEMENT", "Income statement");
  xml::Node revenue = map.Folder(income, "REVENUE", "Revenue");
  xml::Node products = map.Folder(revenue, "PRODUCTSALES", "Product sales");
  map.Range(products, 4000, 4009);
  map.Range(products, 4300, 4899);
  map.Range(map.Folder(revenue, "SERVICEREVENUE", "Services and licences"), 4010, 4099);
  map.Range(map.Folder(revenue, "RETURNS", "Returns and allowances"), 4100, 4299);
  map.Range(map.Folder(revenue, "OTHERREVENUE", "Other operating income"), 4900, 4999);
  xml::Node cost = map.Folder(income, "COSTOFSALES", "Cost of sales");
  xml::Node materials = map.Folder(cost, "MATERIALS", "Materials and goods");
  map.Range(materials, 5000, 5009);
  map.Range(materials, 5300, 5899);
  map.Range(map.Folder(cost, "DIRECTCOSTS", "Direct labour and subcontractors"), 5010, 5299);
  xml::Node expenses = map.Folder(income, "OPERATINGEXPENSES", "Operating expenses");
  map.Range(map.Folder(expenses, "PEOPLE", "People costs"), 6000, 6099);
  map.Range(map.Folder(expenses, "PREMISES", "Premises"), 6100, 6199);
  map.Range(map.Folder(expenses, "MARKETING", "Sales and marketing"), 6200, 6299);
  xml::Node administration = map.Folder(expenses, "ADMINISTRATION", "Administration");
  map.Range(administration, 6300, 6599);
  map.Range(administration, 6700, 6999);
  map.Range(map.Folder(expenses, "DEPRECIATION", "Depreciation"), 6600, 6699);
  map.Range(map.Folder(expenses, "OTHEREXPENSES", "Bad debts and sundry"), 7000, 7999);
  xml::Node other = map.Folder(income, "OTHERINCOMEEXPENSE", "Other income and expenses");
  map.Range(map.Folder(other, "FINANCE", "Finance income and costs"), 8000, 8899);
  map.Range(map.Folder(other, "TAX", "Income tax"), 8900, 8999);
  xml::Node gross = map.Folder(root, "GROSSPROFIT", "Gross profit");
  map.Mapping(gross, "REVENUE");
  map.Mapping(gross, "COSTOFSALES");
  // Every hundredth main code of the expense block: the headline accounts.
  map.Range(map.Folder(root, "HEADLINEEXPENSES", "Headline expense accounts"), 6000, 6900, 100);

  xml::Node balance = map.Folder(root, "BALANCESHEET", "Balance sheet");
  xml::Node assets = map.Folder(balance, "ASSETS", "Assets");
  map.Range(map.Folder(assets, "FIXEDASSETS", "Property, plant and equipment"), 1500, 1589);
  map.Range(map.Folder(assets, "ACCUMULATEDDEPRECIATION", "Accumulated depreciation"), 1590, 1599);
  map.Range(map.Folder(assets, "INVENTORY", "Inventories"), 1200, 1299);
  xml::Node receivables = map.Folder(assets, "RECEIVABLES", "Trade and other receivables");
  map.Range(receivables, 1100, 1199);
  map.Range(receivables, 1300, 1499);
  // Bank accounts in credit are shown as an overdraft, not as negative cash.
  map.Range(map.Folder(assets, "CASH", "Cash and cash equivalents"), 1000, 1099, 0, false, true);
  xml::Node liabilities = map.Folder(balance, "LIABILITIES", "Liabilities");
  map.Range(map.Folder(liabilities, "BANKOVERDRAFT", "Bank overdraft"), 1000, 1099, 0, true, false);
  map.Range(map.Folder(liabilities, "PAYABLES", "Trade payables"), 2000, 2009);
  map.Range(map.Folder(liabilities, "ACCRUALS", "Accruals and taxes"), 2010, 2499);
  map.Range(map.Folder(liabilities, "BORROWINGS", "Borrowings and leases"), 2500, 2999);
  xml::Node equity = map.Folder(balance, "EQUITY", "Equity");
  map.Range(map.Folder(equity, "SHARECAPITAL", "Share capital"), 3000, 3099);
  map.Range(map.Folder(equity, "RETAINED", "Retained earnings"), 3100, 3999);
  xml::Node working = map.Folder(root, "WORKINGCAPITAL", "Net working capital");
  for (const char* key : {"INVENTORY", "RECEIVABLES", "PAYABLES", "ACCRUALS"}) {
    map.Mapping(working, key);
  }
  map.Range(map.Folder(root, "TRIALBALANCE", "All accounts"), 1000, 8999);
  return root;
}

// A report's own page setup (`own`) or a group's that takes the report's.
// Margins written in a page setup are pixels at 96 per inch; "!" takes the
// margin of the workspace's printer settings (millimetres, 20 top and
// bottom, 15 left and right), which every sample report prints with.
xml::Node PageSetup(const xml::Document& document, bool own) {
  xml::Node setup = document.CreateElement("PgSetup");
  setup.SetAttribute("Ovr", own ? "-1" : "0");
  for (const char* side : {"Bottom", "Left", "Right", "Top"}) setup.SetAttribute(side, "!");
  return setup;
}

xml::Node Entry(const xml::Document& document, const char* element, const std::string& name) {
  xml::Node entry = document.CreateElement(element);
  entry.SetAttribute("Name", name);
  entry.AppendChild(document.CreateElement("PCnd"));
  return entry;
}

// A Rep: groups, headers, body, footers, page setup, description, options.
// `header` (with the page footer) heads the report's own body; a report
// whose rows are all printed by groups gives it an empty `header`, and its
// groups carry their headers and footers themselves: the report's own
// ones are built after the groups and so cover only the rows after them.
xml::Node Report(const xml::Document& document, const std::string& key, const std::string& name,
                 const std::string& header, const xml::Node& groups, const xml::Node& bodies) {
  xml::Node report = document.CreateElement("Rep");
  report.SetAttribute("Key", key);
  report.SetAttribute("Name", name);
  report.SetAttribute("OR", "1");
  report.SetAttribute("DCC", "");
  report.AppendChild(groups);
  xml::Node headers = report.AppendChild(document.CreateElement("Hdrs"));
  if (!header.empty()) headers.AppendChild(Entry(document, "Hdr", header));
  report.AppendChild(bodies);
  xml::Node footers = report.AppendChild(document.CreateElement("Ftrs"));
  if (!header.empty()) footers.AppendChild(Entry(document, "Ftr", "PAGE_FOOTER"));
  report.AppendChild(PageSetup(document, true));
  xml::Node description = report.AppendChild(document.CreateElement("Desc"));
  description.SetText(name + " of the sample company");
  report.AppendChild(document.CreateElement("Opts"));
  return report;
}

xml::Node Reports(const xml::Document& document) {
  xml::Node root = document.CreateElement("Reports");

  // Income statement: the body is one kept section so it stays on one page.
  xml::Node bodies = document.CreateElement("Bdys");
  xml::Node section = bodies.AppendChild(document.CreateElement("BSec"));
  xml::Node kept = section.AppendChild(document.CreateElement("Bdys"));
  kept.AppendChild(Entry(document, "Bdy", "INCOME_STATEMENT"));
  section.AppendChild(document.CreateElement("PCnd"));
  root.AppendChild(Report(document, "INCOME_STATEMENT", "Income statement", "IS_HEADER",
                          document.CreateElement("Grps"), bodies));

  // Balance sheet: one group holding the statement with its header and
  // footer, with the report's setup.
  xml::Node groups = document.CreateElement("Grps");
  xml::Node group = groups.AppendChild(document.CreateElement("Grp"));
  group.SetAttribute("OR", "!");
  group.SetAttribute("DCC", "");
  group.SetAttribute("DCID", "");
  group.AppendChild(document.CreateElement("Grps"));
  xml::Node group_headers = group.AppendChild(document.CreateElement("Hdrs"));
  group_headers.AppendChild(Entry(document, "Hdr", "BS_HEADER"));
  xml::Node group_bodies = group.AppendChild(document.CreateElement("Bdys"));
  group_bodies.AppendChild(Entry(document, "Bdy", "BALANCE_SHEET"));
  xml::Node group_footers = group.AppendChild(document.CreateElement("Ftrs"));
  group_footers.AppendChild(Entry(document, "Ftr", "PAGE_FOOTER"));
  group.AppendChild(document.CreateElement("PCnd"));
  group.AppendChild(PageSetup(document, false));
  root.AppendChild(Report(document, "BALANCE_SHEET", "Balance sheet", "", groups,
                          document.CreateElement("Bdys")));

  xml::Node trial = document.CreateElement("Bdys");
  trial.AppendChild(Entry(document, "Bdy", "TRIAL_BALANCE"));
  root.AppendChild(Report(document, "TRIAL_BALANCE", "Trial balance", "TB_HEADER",
                          document.CreateElement("Grps"), trial));

  xml::Node customers = document.CreateElement("Bdys");
  customers.AppendChild(Entry(document, "Bdy", "CUSTOMERS"));
  root.AppendChild(Report(document, "CUSTOMERS", "Customers", "CU_HEADER",
                          document.CreateElement("Grps"), customers));
  return root;
}

xml::Node Formats(const xml::Document& document) {
  xml::Node root = document.CreateElement("Formats");
  xml::Node statements = root.AppendChild(document.CreateElement("Folder"));
  statements.SetAttribute("Name", "Financial statements");
  statements.AppendChild(IncomeStatement(document));
  statements.AppendChild(BalanceSheet(document));
  statements.AppendChild(TrialBalance(document));
  statements.AppendChild(Customers(document));
  xml::Node layout = root.AppendChild(document.CreateElement("Folder"));
  layout.SetAttribute("Name", "Headers and footers");
  layout.AppendChild(
      Header(document, "IS_HEADER", "Income statement", "For the period ended {Period}"));
  layout.AppendChild(Header(document, "BS_HEADER", "Balance sheet", "As at {Period}"));
  layout.AppendChild(Header(document, "TB_HEADER", "Trial balance", "As at {Period}"));
  layout.AppendChild(Header(document, "CU_HEADER", "Customers", "For the year {Year}"));
  layout.AppendChild(Footer(document));
  return root;
}

xml::Node Styles(const xml::Document& document) {
  xml::Node root = document.CreateElement("Styles");
  for (const StyleLook& look : kStyles) root.AppendChild(StyleRecord(document, look, true));
  return root;
}

xml::Node Bookmarks(const xml::Document& document) {
  xml::Node root = document.CreateElement("BookmarkDefinitions");
  struct Mark {
    const char* key;
    const char* format;
    int row;
    bool note;
    const char* text;
  };
  const Mark marks[] = {
      {"NET_PROFIT", "INCOME_STATEMENT", 27, false, ""},
      {"NOTE_REVENUE", "INCOME_STATEMENT", 4, true,
       "Product sales include the sales of all product lines, net of discounts."},
      {"NOTE_EARNINGS", "BALANCE_SHEET", 25, true,
       "Profit for the year is transferred to retained earnings at the year end."},
      {"TOTAL_ASSETS", "BALANCE_SHEET", 12, false, ""},
  };
  for (const Mark& mark : marks) {
    xml::Node bookmark = root.AppendChild(document.CreateElement("BMk"));
    bookmark.SetAttribute("Key", mark.key);
    bookmark.SetAttribute("Fmt", mark.format);
    bookmark.SetAttribute("Row", std::to_string(mark.row));
    bookmark.SetAttribute("Note", mark.note ? "-1" : "0");
    if (*mark.text) bookmark.SetAttribute("Txt", mark.text);
  }
  return root;
}

xml::Node NamedRanges(const xml::Document& document) {
  xml::Node root = document.CreateElement("NamedRangeDefinitions");
  struct Range {
    const char* key;
    const char* format;
    const char* first_column;
    const char* last_column;
    int first_row;
    int last_row;
  };
  const Range ranges[] = {
      {"REVENUE_YTD", "INCOME_STATEMENT", "C", "C", 8, 8},
      {"GROSS_PROFIT_YTD", "INCOME_STATEMENT", "C", "C", 13, 13},
      {"NET_PROFIT_YTD", "INCOME_STATEMENT", "C", "C", 27, 27},
      {"OPERATING_EXPENSES_YTD", "INCOME_STATEMENT", "C", "C", 16, 21},
      {"TOTAL_ASSETS", "BALANCE_SHEET", "B", "B", 12, 12},
  };
  for (const Range& range : ranges) {
    xml::Node named = root.AppendChild(document.CreateElement("Nrg"));
    named.SetAttribute("Key", range.key);
    named.SetAttribute("Fmt", range.format);
    named.SetAttribute("StartCol", range.first_column);
    named.SetAttribute("EndCol", range.last_column);
    named.SetAttribute("StartRow", std::to_string(range.first_row));
    named.SetAttribute("EndRow", std::to_string(range.last_row));
  }
  return root;
}

xml::Node DataColumns(const xml::Document& document) {
  xml::Node root = document.CreateElement("DataColumns");
  xml::Node definitions = root.AppendChild(document.CreateElement("Definitions"));
  xml::Node definition = definitions.AppendChild(document.CreateElement("DC"));
  definition.SetAttribute("ID", "MONTHLY");
  definition.SetAttribute("Name", "Monthly actuals");
  definition.SetAttribute("Cfg", "MONTHLY");
  xml::Node configurations = root.AppendChild(document.CreateElement("Configurations"));
  xml::Node configuration = configurations.AppendChild(document.CreateElement("DC"));
  configuration.SetAttribute("Key", "MONTHLY");
  configuration.SetAttribute("Name", "Monthly actuals");
  const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int p = 1; p <= 12; ++p) {
    xml::Node column = configuration.AppendChild(document.CreateElement("DCol"));
    column.SetAttribute("Ind", std::to_string(p));
    column.SetAttribute("Hdg", months[p - 1]);
    column.SetAttribute("Year", "Y");
    column.SetAttribute("Prd", std::to_string(p));
    column.SetAttribute("PdEnd", std::to_string(p));
    column.SetAttribute("PdBal", "Movement");
    column.SetAttribute("Bal", "Actuals");
  }
  return root;
}

xml::Node WorkspaceElement(const xml::Document& document, int current_period) {
  xml::Node root = document.CreateElement("Workspace");
  root.SetAttribute("CurrentPeriod", std::to_string(current_period));
  root.SetAttribute("StorageMode", "0");
  root.SetAttribute("Ledger", "ledger.sqlite");
  xml::Node printer = root.AppendChild(document.CreateElement("Printer"));
  printer.SetAttribute("Top", "20");
  printer.SetAttribute("Bottom", "20");
  printer.SetAttribute("Left", "15");
  printer.SetAttribute("Right", "15");
  return root;
}

void WriteWorkspace(const std::string& folder, const SampleOptions& options) {
  if (options.accounts < 40 || options.accounts > 1000000) {
    RaiseError(kSource, "The sample needs between 40 and 1000000 accounts, not " +
                            std::to_string(options.accounts));
  }
  std::filesystem::path root(folder);
  std::error_code error;
  std::filesystem::create_directories(root, error);
  if (error || !std::filesystem::is_directory(root, error)) {
    RaiseError(kSource, "Cannot create workspace folder '" + folder + "'");
  }

  SampleRandom random(options.generator_start);
  SampleChart chart(options.accounts, random);
  SampleLedgerShape shape;
  WriteSampleLedger((root / kLedgerFile).string(), chart, shape, random);

  xml::Document document = xml::Document::Create();
  WriteXml(root / "chart_map.xml", ChartMap(document, chart));
  WriteXml(root / "formats.xml", Formats(document));
  WriteXml(root / "reports.xml", Reports(document));
  WriteXml(root / "styles.xml", Styles(document));
  WriteXml(root / "bookmarks.xml", Bookmarks(document));
  WriteXml(root / "named_ranges.xml", NamedRanges(document));
  WriteXml(root / "data_columns.xml", DataColumns(document));
  // workspace.xml last: a folder with it is a complete workspace.
  WriteXml(root / "workspace.xml", WorkspaceElement(document, shape.current_period));
}

}  // namespace
}  // namespace orvo::sample

namespace orvo {

void WriteSampleWorkspace(const std::string& folder, const SampleOptions& options) {
  sample::WriteWorkspace(folder, options);
}

std::vector<std::string> ExistingSampleFiles(const std::string& folder) {
  std::vector<std::string> existing;
  for (const char* name : sample::kFiles) {
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::path(folder) / name, error)) {
      existing.emplace_back(name);
    }
  }
  return existing;
}

}  // namespace orvo
