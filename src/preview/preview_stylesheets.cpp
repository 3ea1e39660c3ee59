#include "preview/preview_stylesheets.h"

#include <initializer_list>
#include <string_view>

#include "frame/per_thread.h"

namespace orvo {
namespace {

constexpr std::string_view kStylesheetOpen =
    "<xsl:stylesheet xmlns:xsl='http://www.w3.org/1999/XSL/Transform' version='1.0'>";
constexpr std::string_view kStylesheetClose = "</xsl:stylesheet>";

// <xsl:attribute name='NAME'><xsl:value-of select='SOURCE'/></xsl:attribute>
void AppendAttribute(std::string& out, std::string_view name, std::string_view source = {}) {
  out += "<xsl:attribute name='";
  out += name;
  out += "'><xsl:value-of select='";
  if (source.empty()) {
    out += "@";
    out += name;
  } else {
    out += source;
  }
  out += "'/></xsl:attribute>";
}

void AppendAttributes(std::string& out, std::initializer_list<std::string_view> names) {
  for (std::string_view name : names) AppendAttribute(out, name);
}

void AppendFontAttributes(std::string& out) {
  AppendAttributes(
      out, {"Bld", "Clr", "Itl", "Nm", "Sz", "Str", "Stl", "Sub", "Sup", "Udl", "stt", "end"});
}

std::string BuildPreviewStylesheet() {
  std::string out(kStylesheetOpen);
  // 1. The format: rows of items sorted by column.
  out += "<xsl:template match='Fmt'><Fmt>";
  AppendAttributes(out, {"MRow", "MCol"});
  out += "<Itms><xsl:for-each select='//Itms/Row'><Row>";
  AppendAttribute(out, "PgBk");
  out += "<xsl:for-each select='./Itm'><xsl:sort select='@Col' data-type='number' /><Itm>";
  AppendAttributes(out, {"Col", "Row"});
  AppendAttribute(out, "Dsp", "@PTxt");
  // (An item with OrigFmt and without OrigKey stands for its Key.)
  AppendAttribute(out, "OrigKey", "@OrigKey | @Key[not(../@OrigKey) and ../@OrigFmt]");
  AppendAttributes(out, {"OrigFmt", "ASz"});
  AppendAttribute(out, "Fml", "@OrigFml");
  out += "<xsl:apply-templates select='Stl'/><xsl:apply-templates select='Drill'/>";
  out += "<xsl:if test='not(Drill)'><Drill On='0' Key=''/></xsl:if>";
  out += "</Itm></xsl:for-each></Row></xsl:for-each></Itms></Fmt></xsl:template>";
  // 2. The style record without its number format.
  out += "<xsl:template match='Stl'><Stl>";
  AppendAttributes(out, {"Hei", "Wdt", "BCl", "Ptn", "PtnCl"});
  out += "<xsl:apply-templates select='Alg'/><xsl:apply-templates select='Brd'/>";
  out += "<Fnts><xsl:for-each select='Fnts/Fnt'><Fnt>";
  AppendFontAttributes(out);
  out += "</Fnt></xsl:for-each></Fnts></Stl></xsl:template>";
  // 3. Drill-down.
  out += "<xsl:template match='Drill'><Drill>";
  AppendAttributes(out, {"On", "Key"});
  out += "</Drill></xsl:template>";
  // 4. Alignment.
  out += "<xsl:template match='Alg'><Alg>";
  AppendAttributes(out, {"Hrz", "Vrt", "Wrp", "Mg", "MgKey", "Ind", "Or", "Shr", "VrtTx"});
  out += "</Alg></xsl:template>";
  // 5. Borders.
  out += "<xsl:template match='Brd'><Brd>";
  AppendAttributes(out, {"btC", "btL", "dtlC", "dtlL", "dtrC", "dtrL", "lfC", "lfL", "rgC", "rgL",
                         "tpC", "tpL"});
  out += "</Brd></xsl:template>";
  // 6. A font run.
  out += "<xsl:template match='Fnt'><Fnt>";
  AppendFontAttributes(out);
  out += "</Fnt></xsl:template>";
  out += kStylesheetClose;
  return out;
}

std::string BuildRowListStylesheet() {
  std::string out(kStylesheetOpen);
  out +=
      "<xsl:template match='Rows'><Rows><xsl:for-each select='Row'>"
      "<xsl:sort select='.' data-type='number' order='descending'/>"
      "<Row><xsl:attribute name='Del'><xsl:value-of select='@Del'/></xsl:attribute>"
      "<xsl:attribute name='Keep'><xsl:value-of select='@Keep'/></xsl:attribute>"
      "<xsl:value-of select='.'/></Row>"
      "</xsl:for-each></Rows></xsl:template>";
  out += kStylesheetClose;
  return out;
}

struct CompiledStylesheets {
  xml::Stylesheet preview = xml::Stylesheet::Compile(PreviewStylesheetText());
  xml::Stylesheet row_list = xml::Stylesheet::Compile(RowListStylesheetText());
};

}  // namespace

const std::string& PreviewStylesheetText() {
  static const std::string text = BuildPreviewStylesheet();
  return text;
}

const std::string& RowListStylesheetText() {
  static const std::string text = BuildRowListStylesheet();
  return text;
}

const xml::Stylesheet& PreviewStylesheet() { return PerThread<CompiledStylesheets>().preview; }

const xml::Stylesheet& RowListStylesheet() { return PerThread<CompiledStylesheets>().row_list; }

xml::Node SortXML(const xml::Node& node, const xml::Stylesheet& stylesheet) {
  xml::Document output = xml::Document::Create();
  node.TransformNodeToObject(stylesheet, output);
  return output.DocumentElement();
}

}  // namespace orvo
