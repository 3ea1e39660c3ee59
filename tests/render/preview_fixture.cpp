#include "preview_fixture.h"

#include <algorithm>

namespace orvo::render::testing {
namespace {

struct LookSpec {
  const char* size;
  bool bold;
  bool italic;
  const char* horizontal;
  const char* indent;
  const char* top_line;
  const char* bottom_line;
};

LookSpec SpecOf(Look look) {
  switch (look) {
    case Look::kSection:
      return {"10", true, false, "Left", "0", "0", "0"};
    case Look::kAmount:
      return {"10", false, false, "Right", "0", "0", "0"};
    case Look::kSubtotal:
      return {"10", true, false, "Right", "0", "1", "0"};
    case Look::kTotal:
      return {"10", true, false, "Right", "0", "1", "6"};
    case Look::kHeading:
      return {"10", true, false, "Right", "0", "0", "1"};
    case Look::kTitle:
      return {"14", true, false, "Left", "0", "0", "0"};
    case Look::kSmall:
      return {"8", false, true, "Left", "0", "0", "0"};
    case Look::kNote:
      return {"8", false, false, "Center", "0", "0", "0"};
    case Look::kLabel:
      break;
  }
  return {"10", false, false, "Left", "1", "0", "0"};
}

}  // namespace

PreviewFixture::PreviewFixture()
    : m_document(xml::Document::Parse(
          "<Preview><Fmt MRow='0' MCol='0'><Itms/></Fmt><PgBks/><KpSections/><SpFs/><SpFsH/>"
          "<SpFsF/><Headers/><Footers/><RefIndex/><DrillKeys/><NoteTexts/></Preview>")) {}

xml::Node PreviewFixture::Child(const std::string& name) const {
  return Root().SelectSingleNode(name);
}

xml::Node PreviewFixture::Item(const CellSpec& cell, int row) const {
  const LookSpec look = SpecOf(cell.look);
  xml::Node item = m_document.CreateElement("Itm");
  item.SetAttribute("Col", std::to_string(cell.column));
  item.SetAttribute("Row", std::to_string(row));
  item.SetAttribute("Dsp", cell.text);
  item.SetAttribute("OrigKey", "");
  item.SetAttribute("OrigFmt", "FIXTURE");
  item.SetAttribute("ASz", "0");
  item.SetAttribute("Fml", cell.formula.empty() ? cell.text : cell.formula);
  xml::Node style = item.AppendChild(m_document.CreateElement("Stl"));
  for (const char* name : {"Hei", "Wdt", "Ptn", "PtnCl"}) style.SetAttribute(name, "0");
  style.SetAttribute("BCl", "-1");
  xml::Node alignment = style.AppendChild(m_document.CreateElement("Alg"));
  alignment.SetAttribute("Hrz", look.horizontal);
  alignment.SetAttribute("Vrt", "Bottom");
  alignment.SetAttribute("Wrp", "0");
  alignment.SetAttribute("Mg", "0");
  alignment.SetAttribute("MgKey", "");
  alignment.SetAttribute("Ind", look.indent);
  xml::Node borders = style.AppendChild(m_document.CreateElement("Brd"));
  for (const std::string edge : {"bt", "dtl", "dtr", "lf", "rg", "tp"}) {
    borders.SetAttribute(edge + "C", "0");
    borders.SetAttribute(edge + "L", edge == "bt"   ? look.bottom_line
                                     : edge == "tp" ? look.top_line
                                                    : "0");
  }
  xml::Node font = style.AppendChild(m_document.CreateElement("Fnts"))
                       .AppendChild(m_document.CreateElement("Fnt"));
  font.SetAttribute("Bld", look.bold ? "-1" : "0");
  const bool negative = !cell.text.empty() && cell.text.front() == '(';
  font.SetAttribute("Clr", negative && cell.look == Look::kAmount ? "255" : "0");
  font.SetAttribute("Itl", look.italic ? "-1" : "0");
  font.SetAttribute("Nm", "Arial");
  font.SetAttribute("Sz", look.size);
  font.SetAttribute("Udl", "");
  xml::Node drill = item.AppendChild(m_document.CreateElement("Drill"));
  drill.SetAttribute("On", cell.drill.empty() ? "0" : "-1");
  drill.SetAttribute("Key", cell.drill);
  return item;
}

int PreviewFixture::Row(const std::vector<CellSpec>& cells, bool page_break) {
  const int number = ++m_rows;
  xml::Node row = Child("Fmt/Itms").AppendChild(m_document.CreateElement("Row"));
  row.SetAttribute("PgBk", page_break ? "-1" : "0");
  for (const CellSpec& cell : cells) {
    row.AppendChild(Item(cell, number));
    m_columns = std::max(m_columns, cell.column);
  }
  xml::Node format = Child("Fmt");
  format.SetAttribute("MRow", std::to_string(m_rows));
  format.SetAttribute("MCol", std::to_string(m_columns));
  return number;
}

void PreviewFixture::PageSetup(int row, const std::string& top, const std::string& left,
                               const std::string& bottom, const std::string& right,
                               const std::string& orientation) {
  xml::Node setup = Child("PgBks").AppendChild(m_document.CreateElement("PgB"));
  setup.SetAttribute("Row", std::to_string(row));
  setup.SetAttribute("Bottom", bottom);
  setup.SetAttribute("Left", left);
  setup.SetAttribute("Right", right);
  setup.SetAttribute("Top", top);
  setup.SetAttribute("OR", orientation);
}

void PreviewFixture::Keep(int start, int end) {
  xml::Node section = Child("KpSections").AppendChild(m_document.CreateElement("Sect"));
  section.SetAttribute("Start", std::to_string(start));
  section.SetAttribute("End", std::to_string(end));
  section.SetAttribute("Key", "");
}

void PreviewFixture::BodyFiller(int start, int end, int column, double width) {
  xml::Node filler = Child("SpFs").AppendChild(m_document.CreateElement("SF"));
  filler.SetAttribute("Start", std::to_string(start));
  filler.SetAttribute("End", std::to_string(end));
  filler.SetAttribute("Col", std::to_string(column));
  filler.SetAttribute("Width", std::to_string(width));
  filler.SetAttribute("Portscape", "0");
}

xml::Node PreviewFixture::Block(const std::vector<std::vector<CellSpec>>& rows, int start,
                                int end) {
  xml::Node block = m_document.CreateElement("Fmt");
  xml::Node items = block.AppendChild(m_document.CreateElement("Itms"));
  int number = 0;
  for (const std::vector<CellSpec>& cells : rows) {
    xml::Node row = items.AppendChild(m_document.CreateElement("Row"));
    row.SetAttribute("PgBk", "0");
    ++number;
    for (const CellSpec& cell : cells) row.AppendChild(Item(cell, number));
  }
  block.SetAttribute("MRow", std::to_string(number));
  block.SetAttribute("MCol", "0");
  block.SetAttribute("Start", std::to_string(start));
  block.SetAttribute("End", std::to_string(end));
  return block;
}

void PreviewFixture::HeaderBlock(int start, int end,
                                 const std::vector<std::vector<CellSpec>>& rows) {
  Child("Headers").AppendChild(Block(rows, start, end));
}

void PreviewFixture::FooterBlock(int start, int end,
                                 const std::vector<std::vector<CellSpec>>& rows) {
  Child("Footers").AppendChild(Block(rows, start, end));
}

void PreviewFixture::Reference(const std::string& key, int note_number, int index, int row,
                               const std::string& note_text) {
  xml::Node ref = Child("RefIndex").AppendChild(m_document.CreateElement("Ref"));
  ref.SetAttribute("Key", key);
  ref.SetAttribute("NoteNumber", std::to_string(note_number));
  ref.SetAttribute("RefIndex", std::to_string(index));
  ref.SetAttribute("RefRow", std::to_string(row));
  if (note_text.empty()) return;
  xml::Node note = Child("NoteTexts").AppendChild(m_document.CreateElement("Note"));
  note.SetAttribute("Key", key);
  note.SetAttribute("Txt", note_text);
}

void PreviewFixture::DrillKey(const std::string& drill_key, const std::string& balance) {
  xml::Node key = Child("DrillKeys").AppendChild(m_document.CreateElement("DrillKey"));
  key.SetAttribute("Key", balance);
  key.SetAttribute("DKey", drill_key);
  key.SetAttribute("Pos", "1");
}

}  // namespace orvo::render::testing
