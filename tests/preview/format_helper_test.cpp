#include "preview/format_helper.h"

#include <string>

#include <gtest/gtest.h>

#include "canonical_xml.h"
#include "orvo/error.h"
#include "support/failure_of.h"

namespace orvo {
namespace {

using testing::Canonical;
using testing::FailureOf;

constexpr std::string_view kItem = R"(
<Itm Key="B2" Row="2" Col="2" Value="" Str="" MgKey="" ASz="0">
  <PEx/>
  <Stl Name="" Hei="0" Wdt="0" BCl="-1" Ptn="0" PtnCl="0">
    <NFmt Typ="Numeric"><Def Dec="2" Cur="$" Zer="-" Sep="-1" DisN="(" DisP="" RedN="0" RedP="0"/></NFmt>
    <Alg Hrz="" Vrt="" Wrp="0" Mg="0" MgKey="" Ind="0" Or="0" Shr="0" VrtTx="0"/>
    <Brd btC="0" btL="0" dtlC="0" dtlL="0" dtrC="0" dtrL="0" lfC="0" lfL="0" rgC="0" rgL="0" tpC="0" tpL="0"/>
    <Fnts><Fnt Bld="0" Clr="0" Itl="-1" Nm="Arial" Sz="10" Str="0" Stl="Italic" Sub="0" Sup="0" Udl="" stt="" end=""/></Fnts>
  </Stl>
</Itm>)";

struct PropertyCase {
  const char* name;
  const char* element;  // path from the item
  const char* attribute;
  const char* value;
  const char* written;
};

TEST(SetStyleProperty, WritesEveryPropertyOfTheTableConverted) {
  const PropertyCase cases[] = {
      {"FmtItemAutoSize", ".", "ASz", "True", "-1"},
      {"FmtStyleBackColor", "Stl", "BCl", "16777215", "16777215"},
      {"FmtStyleHeight", "Stl", "Hei", "12.75", "12.75"},
      {"FmtStyleName", "Stl", "Name", "Total", "Total"},
      {"FmtStylePattern", "Stl", "Ptn", "3", "3"},
      {"FmtStylePatternColor", "Stl", "PtnCl", "-5", "-5"},
      {"FmtStyleWidth", "Stl", "Wdt", " 8.5 ", "8.5"},
      {"CatNumericDecimalPlace", "Stl/NFmt/Def", "Dec", "3", "3"},
      {"CatNumericCurrencySymbol", "Stl/NFmt/Def", "Cur", "EUR ", "EUR "},
      {"CatNumericShowZeroValue", "Stl/NFmt/Def", "Zer", "nil", "nil"},
      {"CatNumericThousandSeparator", "Stl/NFmt/Def", "Sep", "0", "0"},
      {"CatNumericNegNumberDisplay", "Stl/NFmt/Def", "DisN", "-1,234", "-1,234"},
      {"CatNumericNegAsRed", "Stl/NFmt/Def", "RedN", "-1", "-1"},
      {"CatNumericPosNumberDisplay", "Stl/NFmt/Def", "DisP", "(1)", "(1)"},
      {"CatNumericPosAsRed", "Stl/NFmt/Def", "RedP", "1", "1"},
      {"CatDateTimeType", "Stl/NFmt/Def", "Typ", "dd/mm/yyyy", "dd/mm/yyyy"},
      {"CatPercentageDecimalPlaces", "Stl/NFmt/Def", "Dec", "1.5", "2"},
      {"CatTextFormatType", "Stl/NFmt/Def", "Txt", "4", "4"},
      {"FmtAlignHorizontal", "Stl/Alg", "Hrz", "Right", "Right"},
      {"FmtAlignIndent", "Stl/Alg", "Ind", "2", "2"},
      {"FmtAlignMergeCells", "Stl/Alg", "Mg", "-1", "-1"},
      {"FmtAlignMergeKey", "Stl/Alg", "MgKey", "M1", "M1"},
      {"FmtAlignOrientation", "Stl/Alg", "Or", "90", "90"},
      {"FmtAlignShrinkToFit", "Stl/Alg", "Shr", "false", "0"},
      {"FmtAlignVertical", "Stl/Alg", "Vrt", "Top", "Top"},
      {"FmtAlignVerticalText", "Stl/Alg", "VrtTx", "7", "-1"},
      {"FmtAlignWrapText", "Stl/Alg", "Wrp", "-1", "-1"},
      {"FmtBorderBottomLineColor", "Stl/Brd", "btC", "255", "255"},
      {"FmtBorderBottomLineStyle", "Stl/Brd", "btL", "1", "1"},
      {"FmtBorderTopLeftLineColor", "Stl/Brd", "dtlC", "1", "1"},
      {"FmtBorderTopLeftLineStyle", "Stl/Brd", "dtlL", "2", "2"},
      {"FmtBorderTopRightLineColor", "Stl/Brd", "dtrC", "3", "3"},
      {"FmtBorderTopRightLineStyle", "Stl/Brd", "dtrL", "4", "4"},
      {"FmtBorderLeftLineColor", "Stl/Brd", "lfC", "5", "5"},
      {"FmtBorderLeftLineStyle", "Stl/Brd", "lfL", "6", "6"},
      {"FmtBorderRightLineColor", "Stl/Brd", "rgC", "7", "7"},
      {"FmtBorderRightLineStyle", "Stl/Brd", "rgL", "8", "8"},
      {"FmtBorderTopLineColor", "Stl/Brd", "tpC", "9", "9"},
      {"FmtBorderTopLineStyle", "Stl/Brd", "tpL", "6", "6"},
      {"FontColor", "Stl/Fnts/Fnt", "Clr", "255", "255"},
      {"FontStrikethrough", "Stl/Fnts/Fnt", "Str", "TRUE", "-1"},
      {"FontSubscript", "Stl/Fnts/Fnt", "Sub", "-1", "-1"},
      {"FontSuperscript", "Stl/Fnts/Fnt", "Sup", "0", "0"},
      {"FontUnderline", "Stl/Fnts/Fnt", "Udl", "Single", "Single"},
      {"FontSize", "Stl/Fnts/Fnt", "Sz", "10.1", "10.1"},
      {"FontStyle", "Stl/Fnts/Fnt", "Stl", "Bold", "Bold"},
      {"FontName", "Stl/Fnts/Fnt", "Nm", "Courier New", "Courier New"},
  };
  for (const PropertyCase& test : cases) {
    xml::Document document = xml::Document::Parse(kItem);
    xml::Node item = document.DocumentElement();
    SetStyleProperty(item, test.name, test.value);
    EXPECT_EQ(item.SelectSingleNode(test.element).AttributeOr(test.attribute, "?"), test.written)
        << test.name;
  }
}

TEST(SetStyleProperty, BoldAndItalicRewriteTheFontStyle) {
  xml::Document document = xml::Document::Parse(kItem);
  xml::Node item = document.DocumentElement();
  xml::Node font = item.SelectSingleNode("Stl/Fnts/Fnt");
  SetStyleProperty(item, "FontBold", "True");
  EXPECT_EQ(font.AttributeOr("Bld", "") + "|" + font.AttributeOr("Stl", ""), "-1|Bold Italic");
  SetStyleProperty(item, "FontItalic", "0");
  EXPECT_EQ(font.AttributeOr("Itl", "") + "|" + font.AttributeOr("Stl", ""), "0|Bold");
  SetStyleProperty(item, "FontBold", "0");
  EXPECT_EQ(font.AttributeOr("Stl", ""), "Regular");
  SetStyleProperty(item, "FontItalic", "-1");
  EXPECT_EQ(font.AttributeOr("Stl", ""), "Italic");
}

TEST(SetStyleProperty, FontPropertiesNeedExactlyOneRun) {
  xml::Document two = xml::Document::Parse(
      "<Itm><PEx/><Stl><N/><Alg/><Brd/><Fnts><Fnt Clr='0'/><Fnt Clr='0'/></Fnts></Stl></Itm>");
  const std::string before = two.DocumentElement().Xml();
  for (const char* name : {"FontBold", "FontColor", "FontSize", "FontName"}) {
    SetStyleProperty(two.DocumentElement(), name, "1");
  }
  EXPECT_EQ(two.DocumentElement().Xml(), before);
  xml::Document none = xml::Document::Parse("<Itm><PEx/><Stl><N/><Alg/><Brd/><Fnts/></Stl></Itm>");
  SetStyleProperty(none.DocumentElement(), "FontBold", "1");
  EXPECT_EQ(none.DocumentElement().Xml(), "<Itm><PEx/><Stl><N/><Alg/><Brd/><Fnts/></Stl></Itm>");
}

TEST(SetStyleProperty, CategoryChangeReplacesTheDefinitionOnlyWhenItDiffers) {
  xml::Document document = xml::Document::Parse(kItem);
  xml::Node item = document.DocumentElement();
  xml::Node number_format = item.SelectSingleNode("Stl/NFmt");
  const std::string numeric = number_format.Xml();
  SetStyleProperty(item, "FmtStyleCategory", "Numeric");
  EXPECT_EQ(number_format.Xml(), numeric);  // decimals and currency kept

  SetStyleProperty(item, "FmtStyleCategory", "Percentage");
  EXPECT_EQ(number_format.Xml(), "<NFmt Typ=\"Percentage\"><Def Dec=\"\"/></NFmt>");
  SetStyleProperty(item, "CatPercentageDecimalPlaces", "1");

  // No template for "Text" or a misspelt name: the style stays as it was.
  for (const char* category : {"Text", "numeric", "Money"}) {
    Error failure = FailureOf([&] { SetStyleProperty(item, "FmtStyleCategory", category); });
    EXPECT_EQ(failure.Number(), kErrObjectRequired) << category;
    EXPECT_EQ(number_format.Xml(), "<NFmt Typ=\"Percentage\"><Def Dec=\"1\"/></NFmt>");
  }
  SetStyleProperty(item, "FmtStyleCategory", "Date/Time");
  SetStyleProperty(item, "FmtStyleCategory", "General");
  EXPECT_EQ(number_format.Xml(), "<NFmt Typ=\"General\"><Def/></NFmt>");
}

TEST(SetStyleProperty, BadValuesAndUnknownNamesChangeNothing) {
  xml::Document document = xml::Document::Parse(kItem);
  xml::Node item = document.DocumentElement();
  const std::string before = item.Xml();
  EXPECT_EQ(FailureOf([&] { SetStyleProperty(item, "FmtStyleHeight", "tall"); }).Number(),
            kErrTypeMismatch);
  EXPECT_EQ(FailureOf([&] { SetStyleProperty(item, "FmtItemAutoSize", "yes"); }).Number(),
            kErrTypeMismatch);
  EXPECT_EQ(FailureOf([&] { SetStyleProperty(item, "FmtAlignIndent", "40000"); }).Number(),
            kErrOverflow);
  EXPECT_EQ(FailureOf([&] { SetStyleProperty(item, "FontSize", "1E+39"); }).Number(), kErrOverflow);
  EXPECT_EQ(FailureOf([&] { SetStyleProperty(item, "FontBold", ""); }).Number(), kErrTypeMismatch);
  SetStyleProperty(item, "fontbold", "-1");  // names are compared exactly
  SetStyleProperty(item, "NoSuchProperty", "1");
  EXPECT_EQ(item.Xml(), before);

  xml::Document bare = xml::Document::Parse("<Itm Key='A1'><PEx/></Itm>");
  EXPECT_EQ(
      FailureOf([&] { SetStyleProperty(bare.DocumentElement(), "FmtStyleName", "X"); }).Number(),
      kErrObjectRequired);
}

TEST(SetStyleProperty, OverridesApplyInDocumentOrder) {
  xml::Document document = xml::Document::Parse(kItem);
  xml::Document overrides = xml::Document::Parse(
      "<Prts><Prt Name='FontColor' Value='1'/><Prt Name='FmtStyleName' Value='A'/>"
      "<Prt Name='FontColor' Value='2'/></Prts>");
  ApplyStyleOverrides(document.DocumentElement(), overrides.DocumentElement());
  EXPECT_EQ(document.DocumentElement().SelectSingleNode("Stl/Fnts/Fnt").AttributeOr("Clr", ""),
            "2");
  EXPECT_EQ(document.DocumentElement().SelectSingleNode("Stl").AttributeOr("Name", ""), "A");
}

constexpr std::string_view kStyleLibrary = R"(
<Styles>
  <Stl Name="total" Hei="0" Wdt="0" BCl="-1" Ptn="0" PtnCl="0" Hier="Numbers" SKey="total">
    <NFmt Typ="Numeric"><Def Dec="0"/></NFmt>
    <Alg Hrz="Right" Mg="0" MgKey="" ASz="-1"/>
    <Brd tpL="1"/>
    <Fnts><Fnt Bld="-1"/></Fnts>
  </Stl>
  <Stl Name="LABEL" Hei="1" Wdt="1" Hier="Text" SKey="LABEL">
    <NFmt Typ="General"><Def/></NFmt>
    <Alg Hrz="Left" Mg="0" MgKey="" ASz="0"/>
    <Brd/>
    <Fnts><Fnt Bld="0"/></Fnts>
  </Stl>
</Styles>)";

constexpr std::string_view kStyledFormat = R"(
<Fmt Key="IS">
  <Itms>
    <Row>
      <Itm Key="A1" ASz="-1"><PEx/><Stl Name="LABEL" Hei="15" Wdt="30"><N/><Alg Mg="-1" MgKey="A1B1"/><Brd/><Fnts/></Stl></Itm>
      <Itm Key="B1" ASz="0"><PEx/><Stl Name="TOTAL" Hei="12" Wdt="9"><N/><Alg Mg="0" MgKey=""/><Brd/><Fnts/></Stl></Itm>
      <Itm Key="C1" ASz="0"><PEx/><Stl Name="total" Hei="12" Wdt="9"><N/><Alg/><Brd/><Fnts/></Stl></Itm>
      <Itm Key="D1" ASz="0"><PEx/><Stl Name="OWN" Hei="12"/></Itm>
    </Row>
  </Itms>
</Fmt>)";

constexpr std::string_view kRestyledFormat = R"(
<Fmt Key="IS">
  <Itms>
    <Row>
      <Itm Key="A1" ASz="0"><PEx/>
        <Stl Name="LABEL" Hei="15" Wdt="30"><NFmt Typ="General"><Def/></NFmt><Alg Hrz="Left" Mg="-1" MgKey="A1B1"/><Brd/><Fnts><Fnt Bld="0"/></Fnts></Stl></Itm>
      <Itm Key="B1" ASz="-1"><PEx/>
        <Stl Name="TOTAL" Hei="12" Wdt="9" BCl="-1" Ptn="0" PtnCl="0"><NFmt Typ="Numeric"><Def Dec="0"/></NFmt><Alg Hrz="Right" Mg="0" MgKey=""/><Brd tpL="1"/><Fnts><Fnt Bld="-1"/></Fnts></Stl></Itm>
      <Itm Key="C1" ASz="0"><PEx/><Stl Name="total" Hei="12" Wdt="9"><N/><Alg/><Brd/><Fnts/></Stl></Itm>
      <Itm Key="D1" ASz="0"><PEx/><Stl Name="OWN" Hei="12"/></Itm>
    </Row>
  </Itms>
</Fmt>)";

TEST(ApplyNamedStyles, RestylesUpperCaseNamesKeepingSizeAndMerge) {
  xml::Document format = xml::Document::Parse(kStyledFormat);
  xml::Document library = xml::Document::Parse(kStyleLibrary);
  const std::string library_before = library.DocumentElement().Xml();
  ApplyNamedStyles(format.DocumentElement(), library.DocumentElement());
  EXPECT_EQ(Canonical(format.DocumentElement()), Canonical(kRestyledFormat));
  EXPECT_EQ(library.DocumentElement().Xml(), library_before);
  // Applying again changes nothing more.
  ApplyNamedStyles(format.DocumentElement(), library.DocumentElement());
  EXPECT_EQ(Canonical(format.DocumentElement()), Canonical(kRestyledFormat));
}

TEST(ItemHasContent, AnyOneMarkGivesContent) {
  constexpr std::string_view kEmpty = R"(
<Itm Key="A1" Row="1" Col="1" Value="" Str="">
  <PEx/>
  <Stl Name="" BCl="-1" Ptn="0"><N/><Alg MgKey=""/>
    <Brd btC="9" btL="0" dtlL="0" dtrL="0" lfL="0" rgL="0" tpL="0"/><Fnts/></Stl>
  <Ledg Fml=""/>
</Itm>)";
  xml::Document empty = xml::Document::Parse(kEmpty);
  EXPECT_FALSE(ItemHasContent(empty.DocumentElement()));
  xml::Document bare = xml::Document::Parse("<Itm Key='A1' Row='1' Col='1'/>");
  EXPECT_FALSE(ItemHasContent(bare.DocumentElement()));

  const std::pair<const char*, const char*> marks[] = {
      {".", "Value"},      {".", "PicFile"},     {"Stl", "Name"},    {"Stl", "BCl"},
      {"Stl", "Ptn"},      {"Stl/Alg", "MgKey"}, {"Stl/Brd", "btL"}, {"Stl/Brd", "dtlL"},
      {"Stl/Brd", "dtrL"}, {"Stl/Brd", "lfL"},   {"Stl/Brd", "rgL"}, {"Stl/Brd", "tpL"},
      {"Ledg", "Fml"},
  };
  for (const auto& [path, attribute] : marks) {
    xml::Document document = xml::Document::Parse(kEmpty);
    const std::string value = std::string(attribute) == "Name" ? "CUSTOM" : "1";
    document.DocumentElement().SelectSingleNode(path).SetAttribute(attribute, value);
    EXPECT_TRUE(ItemHasContent(document.DocumentElement())) << path << "/@" << attribute;
  }
  // Not content: a pattern of 0 or less, a style name other than CUSTOM.
  xml::Document document = xml::Document::Parse(kEmpty);
  document.DocumentElement().SelectSingleNode("Stl").SetAttribute("Ptn", "-4");
  document.DocumentElement().SelectSingleNode("Stl").SetAttribute("Name", "custom");
  EXPECT_FALSE(ItemHasContent(document.DocumentElement()));
}

}  // namespace
}  // namespace orvo
