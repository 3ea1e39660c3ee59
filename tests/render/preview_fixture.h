// Builds <Preview> elements by hand, as `orvo preview` writes them: body
// rows of styled items, page setups, kept sections, space fillers, header
// and footer blocks with their ranges, the reference index and drill keys.
// The looks follow a finance report: labels, amounts, subtotals with a rule
// above, totals with a double rule below, column headings, titles.
#ifndef ORVO_TESTS_RENDER_PREVIEW_FIXTURE_H_
#define ORVO_TESTS_RENDER_PREVIEW_FIXTURE_H_

#include <string>
#include <utility>
#include <vector>

#include "orvo/xml.h"

namespace orvo::render::testing {

enum class Look { kLabel, kSection, kAmount, kSubtotal, kTotal, kHeading, kTitle, kSmall, kNote };

struct CellSpec {
  CellSpec(int column_number, std::string display, Look style = Look::kLabel,
           std::string drill_key = "", std::string formula_text = "")
      : column(column_number),
        text(std::move(display)),
        look(style),
        drill(std::move(drill_key)),
        formula(std::move(formula_text)) {}

  int column;
  std::string text;
  Look look;
  std::string drill;    // drill-down key, when the figure has one
  std::string formula;  // e.g. "=CM.SALES"
};

class PreviewFixture {
 public:
  PreviewFixture();

  // Appends a body row; returns its row number (1-based).
  int Row(const std::vector<CellSpec>& cells, bool page_break = false);
  // A PgB record.
  void PageSetup(int row, const std::string& top, const std::string& left,
                 const std::string& bottom, const std::string& right,
                 const std::string& orientation = "1");
  void Keep(int start, int end);
  void BodyFiller(int start, int end, int column, double width);
  // A header (or footer) block of rows for body rows start..end.
  void HeaderBlock(int start, int end, const std::vector<std::vector<CellSpec>>& rows);
  void FooterBlock(int start, int end, const std::vector<std::vector<CellSpec>>& rows);
  // A Ref entry of the reference index, and its note text (NoteTexts).
  void Reference(const std::string& key, int note_number, int index, int row,
                 const std::string& note_text = "");
  void DrillKey(const std::string& drill_key, const std::string& balance);

  xml::Node Root() const { return m_document.DocumentElement(); }
  std::string Xml() const { return Root().Xml(); }

 private:
  xml::Node Child(const std::string& name) const;
  xml::Node Block(const std::vector<std::vector<CellSpec>>& rows, int start, int end);
  xml::Node Item(const CellSpec& cell, int row) const;

  xml::Document m_document;
  int m_rows = 0;
  int m_columns = 0;
};

}  // namespace orvo::render::testing

#endif  // ORVO_TESTS_RENDER_PREVIEW_FIXTURE_H_
