#include "preview/preview_stylesheets.h"

#include <string>

#include <gtest/gtest.h>

#include "canonical_xml.h"

namespace orvo {
namespace {

using testing::Canonical;

// A body result format as the build leaves it: rows appended under two Itms
// (one nested in a container), items out of column order, bookkeeping,
// parsed expressions and dependency data that the preview drops; an item
// without a Drill gets one that is off.
constexpr std::string_view kResultFormat = R"(
<Fmt Key="IS" Name="Income" MRow="3" MCol="10" Extra="x">
  <Itms>
    <Row PgBk="0">
      <Itm Key="J1" Row="1" Col="10" Value="12.5" Evaluated="-1" OrigKey="J1" OrigRow="1"
           OrigFmt="IS" OrigFml="=B1/2" RptKey="" RptIndex="" PTxt="12.50" ASz="0">
        <PEx Exp="I~_T~1/2"/>
        <Stl Name="AMOUNT" Hei="12.75" Wdt="10" BCl="-1" Ptn="0" PtnCl="0" Hier="x">
          <NFmt Typ="Numeric"><Def Dec="2"/></NFmt>
          <Alg Hrz="Right" Vrt="Bottom" Wrp="0" Mg="0" MgKey="" Ind="0" Or="0" Shr="0" VrtTx="0"/>
          <Brd btC="0" btL="1" dtlC="0" dtlL="0" dtrC="0" dtrL="0" lfC="0" lfL="0" rgC="0" rgL="0" tpC="0" tpL="6"/>
          <Fnts>
            <Fnt Bld="-1" Clr="255" Itl="0" Nm="Arial" Sz="10" Str="0" Stl="Bold" Sub="0" Sup="0" Udl="" stt="1" end="3"/>
            <Fnt Bld="0" Clr="0" Itl="-1" Nm="Arial" Sz="8" Str="0" Stl="Italic" Sub="0" Sup="0" Udl="" stt="4" end="5"/>
          </Fnts>
        </Stl>
        <Drill On="-1" Key="K7"/>
        <DepData DSI="" DRpt=""/>
      </Itm>
      <Itm Key="B1" Row="1" Col="2" Value="25" OrigKey="B1" OrigFmt="IS" OrigFml="=CM.4000" ASz="-1">
        <PEx/>
        <Stl Hei="" Wdt="">
          <NFmt Typ="General"><Def/></NFmt>
          <Alg Hrz="Left"/>
          <Brd/>
          <Fnts/>
        </Stl>
      </Itm>
      <Itm Key="A1" Row="1" Col="1" Value="Sales" PTxt="Sales"/>
    </Row>
  </Itms>
  <Appended>
    <Itms>
      <Row PgBk="-1"><Itm Col="3" Row="2" PTxt=" x "><Drill On="0" Key=""/></Itm></Row>
      <Row/>
    </Itms>
  </Appended>
</Fmt>)";

constexpr std::string_view kPreviewDocument = R"(
<Fmt MRow="3" MCol="10">
  <Itms>
    <Row PgBk="0">
      <Itm Col="1" Row="1" Dsp="Sales" OrigKey="" OrigFmt="" ASz="" Fml=""><Drill On="0" Key=""/></Itm>
      <Itm Col="2" Row="1" Dsp="" OrigKey="B1" OrigFmt="IS" ASz="-1" Fml="=CM.4000">
        <Stl Hei="" Wdt="" BCl="" Ptn="" PtnCl="">
          <Alg Hrz="Left" Vrt="" Wrp="" Mg="" MgKey="" Ind="" Or="" Shr="" VrtTx=""/>
          <Brd btC="" btL="" dtlC="" dtlL="" dtrC="" dtrL="" lfC="" lfL="" rgC="" rgL="" tpC="" tpL=""/>
          <Fnts/>
        </Stl>
        <Drill On="0" Key=""/>
      </Itm>
      <Itm Col="10" Row="1" Dsp="12.50" OrigKey="J1" OrigFmt="IS" ASz="0" Fml="=B1/2">
        <Stl Hei="12.75" Wdt="10" BCl="-1" Ptn="0" PtnCl="0">
          <Alg Hrz="Right" Vrt="Bottom" Wrp="0" Mg="0" MgKey="" Ind="0" Or="0" Shr="0" VrtTx="0"/>
          <Brd btC="0" btL="1" dtlC="0" dtlL="0" dtrC="0" dtrL="0" lfC="0" lfL="0" rgC="0" rgL="0" tpC="0" tpL="6"/>
          <Fnts>
            <Fnt Bld="-1" Clr="255" Itl="0" Nm="Arial" Sz="10" Str="0" Stl="Bold" Sub="0" Sup="0" Udl="" stt="1" end="3"/>
            <Fnt Bld="0" Clr="0" Itl="-1" Nm="Arial" Sz="8" Str="0" Stl="Italic" Sub="0" Sup="0" Udl="" stt="4" end="5"/>
          </Fnts>
        </Stl>
        <Drill On="-1" Key="K7"/>
      </Itm>
    </Row>
    <Row PgBk="-1">
      <Itm Col="3" Row="2" Dsp=" x " OrigKey="" OrigFmt="" ASz="" Fml=""><Drill On="0" Key=""/></Itm>
    </Row>
    <Row PgBk=""/>
  </Itms>
</Fmt>)";

TEST(PreviewStylesheet, TurnsAResultFormatIntoThePreviewDocument) {
  xml::Document result = xml::Document::Parse(kResultFormat);
  const std::string before = result.DocumentElement().Xml();
  xml::Node preview = SortXML(result.DocumentElement(), PreviewStylesheet());
  EXPECT_EQ(Canonical(preview), Canonical(kPreviewDocument));
  EXPECT_EQ(result.DocumentElement().Xml(), before);  // the source is left alone
  // Compiled once: the same object on every call of the thread.
  EXPECT_EQ(&PreviewStylesheet(), &PreviewStylesheet());
}

TEST(PreviewStylesheet, SortsColumnsAsNumbersNotText) {
  xml::Document result = xml::Document::Parse(
      "<Fmt MRow='1' MCol='10'><Itms><Row PgBk='0'>"
      "<Itm Col='10'/><Itm Col='2'/><Itm Col='1'/></Row></Itms></Fmt>");
  xml::Node preview = SortXML(result.DocumentElement(), PreviewStylesheet());
  std::string columns;
  for (const xml::Node& item : preview.SelectNodes("Itms/Row/Itm")) {
    columns += item.AttributeOr("Col", "?") + " ";
  }
  EXPECT_EQ(columns, "1 2 10 ");
}

TEST(PreviewStylesheet, HoldsSixTemplatesInTheirOrder) {
  xml::Document text = xml::Document::Parse(PreviewStylesheetText());
  std::string matches;
  for (const xml::Node& node : text.DocumentElement().ChildNodes()) {
    matches += node.AttributeOr("match", "?") + " ";
  }
  EXPECT_EQ(matches, "Fmt Stl Drill Alg Brd Fnt ");
  EXPECT_EQ(text.DocumentElement().AttributeOr("version", ""), "1.0");
}

TEST(RowListStylesheet, OrdersRowsFromTheHighestNumberKeepingTheirFlags) {
  xml::Document rows = xml::Document::Parse(
      "<Rows><Row Del='-1' Keep='-1'>3</Row><Row Del='0' Keep='0'>12</Row>"
      "<Row Del='-1' Keep='0'>7</Row></Rows>");
  xml::Node sorted = SortXML(rows.DocumentElement(), RowListStylesheet());
  EXPECT_EQ(Canonical(sorted),
            Canonical("<Rows><Row Del='0' Keep='0'>12</Row><Row Del='-1' Keep='0'>7</Row>"
                      "<Row Del='-1' Keep='-1'>3</Row></Rows>"));
  xml::Node empty = SortXML(xml::Document::Parse("<Rows/>").DocumentElement(), RowListStylesheet());
  EXPECT_EQ(empty.Xml(), "<Rows/>");
}

}  // namespace
}  // namespace orvo
