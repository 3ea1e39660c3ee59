#include "evaluate/number_format.h"

#include <string>

#include <gtest/gtest.h>

#include "evaluate/date_time_format.h"
#include "evaluate/style_record.h"
#include "orvo/error.h"
#include "support/failure_of.h"

namespace orvo {
namespace {

// An item whose style's number format is `number_format` (the NFmt element
// with its Def), with one font run of colour 0 unless `fonts` says otherwise.
class StyledItem {
 public:
  explicit StyledItem(const std::string& number_format,
                      const std::string& fonts = "<Fnt Clr='0' Bld='0'/>")
      : m_document(xml::Document::Parse(
            "<Itm Key='B2' Row='2' Col='2' Value=''><PEx/><Stl Name=''>" + number_format +
            "<Alg/><Brd/><Fnts>" + fonts + "</Fnts></Stl></Itm>")) {}

  std::string Show(const std::string& value) {
    return FormatDisplayText(m_document.DocumentElement(), value);
  }
  std::string Colour() const {
    return FirstFontRun(m_document.DocumentElement()).AttributeOr("Clr", "?");
  }
  xml::Node Item() const { return m_document.DocumentElement(); }

 private:
  xml::Document m_document;
};

std::string Numeric(const std::string& attributes) {
  return "<NFmt Typ='Numeric'><Def " + attributes + "/></NFmt>";
}

TEST(FormatDisplayText, NegativeRuleChoosesBracketsMinusOrAbsoluteValue) {
  const std::string common = "Dec='2' Sep='-1' Cur='None' Zer='' RedN='0' RedP='0' DisP='' ";
  EXPECT_EQ(StyledItem(Numeric(common + "DisN='(1,234.10)'")).Show("-1234.5"), "(1,234.50)");
  EXPECT_EQ(StyledItem(Numeric(common + "DisN='-1,234.10'")).Show("-1234.5"), "-1,234.50");
  EXPECT_EQ(StyledItem(Numeric(common + "DisN='1,234.10'")).Show("-1234.5"), "1,234.50");
  EXPECT_EQ(StyledItem(Numeric(common + "DisN=''")).Show("-1234.5"), "1,234.50");
  // Without separators the same rules give plain digits.
  EXPECT_EQ(StyledItem(Numeric("Dec='2' Sep='0' DisN='(x'")).Show("-1234.5"), "(1234.50)");
  EXPECT_EQ(StyledItem(Numeric("Dec='0' Sep='0' DisN='-'")).Show("-1234567"), "-1234567");
}

TEST(FormatDisplayText, PositiveRuleCanBracketOrNegate) {
  EXPECT_EQ(StyledItem(Numeric("Dec='1' Sep='-1' DisP='(1)'")).Show("1234.56"), "(1,234.6)");
  EXPECT_EQ(StyledItem(Numeric("Dec='0' Sep='0' DisP='-1'")).Show("5"), "-5");
  EXPECT_EQ(StyledItem(Numeric("Dec='0' Sep='-1' DisP='1,234'")).Show("1234567.4"), "1,234,567");
}

TEST(FormatDisplayText, CurrencyGoesInFrontOfFormattedNumbersOnly) {
  EXPECT_EQ(StyledItem(Numeric("Dec='0' Cur='$'")).Show("5"), "$5");
  EXPECT_EQ(StyledItem(Numeric("Dec='0' Cur='None'")).Show("5"), "5");
  EXPECT_EQ(StyledItem(Numeric("Dec='2' Cur='$' Sep='-1' DisN='('")).Show("-1234.5"),
            "$(1,234.50)");
  // Zero shows Zer: a dash never gets the currency, a numeric Zer is formatted.
  EXPECT_EQ(StyledItem(Numeric("Dec='2' Cur='$' Zer='-'")).Show("0"), "-");
  EXPECT_EQ(StyledItem(Numeric("Dec='2' Cur='$' Zer='0'")).Show("0.000"), "$0.00");
  EXPECT_EQ(StyledItem(Numeric("Dec='2' Cur='$' Zer=''")).Show("-0"), "");
  // A value that is not a number is shown as it is.
  EXPECT_EQ(StyledItem(Numeric("Dec='2' Cur='$'")).Show("#REF"), "#REF");
  EXPECT_EQ(StyledItem(Numeric("Dec='2' Cur='$'")).Show("1,234"), "1,234");
}

TEST(FormatDisplayText, RedColoursOnlyTheFirstFontRunAndOnlyForItsSign) {
  StyledItem negative(Numeric("Dec='0' RedN='-1' RedP='0'"), "<Fnt Clr='0'/><Fnt Clr='7'/>");
  negative.Show("3");
  EXPECT_EQ(negative.Colour(), "0");
  negative.Show("-3");
  EXPECT_EQ(negative.Colour(), "255");
  EXPECT_EQ(ChildElement(FontsOf(StyleOf(negative.Item())), 2).AttributeOr("Clr", ""), "7");

  StyledItem positive(Numeric("Dec='0' RedN='0' RedP='True'"));
  positive.Show("-3");
  EXPECT_EQ(positive.Colour(), "0");
  positive.Show("3");
  EXPECT_EQ(positive.Colour(), "255");

  StyledItem zero(Numeric("Dec='0' RedN='-1' RedP='-1' Zer='0'"));
  zero.Show("0");
  EXPECT_EQ(zero.Colour(), "0");

  StyledItem no_runs(Numeric("Dec='0' RedN='-1'"), "");
  EXPECT_EQ(no_runs.Show("-3"), "3");
}

TEST(FormatDisplayText, RoundsTheDecimalTextHalfAwayFromZero) {
  StyledItem two(Numeric("Dec='2' DisN='-'"));
  EXPECT_EQ(two.Show("0.125"), "0.13");
  EXPECT_EQ(two.Show("1.005"), "1.01");  // exact text, not the nearest double
  EXPECT_EQ(two.Show("-2.675"), "-2.68");
  EXPECT_EQ(two.Show("99.995"), "100.00");
  EXPECT_EQ(two.Show(".5"), "0.50");
  EXPECT_EQ(two.Show(" 7 "), "7.00");
  EXPECT_EQ(two.Show("1.5E+3"), "1500.00");
  EXPECT_EQ(two.Show("1E-05"), "0.00");
  // A negative value that rounds to zero shows no minus sign.
  EXPECT_EQ(two.Show("-0.001"), "0.00");
  StyledItem none(Numeric("Dec='0' Sep='-1' DisN='-'"));
  EXPECT_EQ(none.Show("2.5"), "3");
  EXPECT_EQ(none.Show("-2.5"), "-3");
  EXPECT_EQ(none.Show("0.4"), "0");
  EXPECT_EQ(none.Show("1234567890123456789012345678.5"), "1,234,567,890,123,456,789,012,345,679");
  EXPECT_EQ(none.Show("-100"), "-100");
  EXPECT_EQ(none.Show("999.5"), "1,000");
  // Dec 0 or less gives no decimal point.
  EXPECT_EQ(StyledItem(Numeric("Dec='-3'")).Show("12.7"), "13");
  // Out of range exponents are not numbers to format.
  EXPECT_EQ(none.Show("1E+999"), "1E+999");
}

TEST(FormatDisplayText, BlankDefinitionAttributesReadAsZeroAndBadOnesFail) {
  // A fresh template: no decimals, no separators, no currency text, zero blank.
  StyledItem blank(Numeric("Dec='' Cur='' Zer='' Sep='' DisN='' DisP='' RedN='' RedP=''"));
  EXPECT_EQ(blank.Show("-1234.56"), "1235");
  EXPECT_EQ(blank.Show("0"), "");
  EXPECT_EQ(StyledItem("<NFmt Typ='Numeric'/>").Show("2.5"), "3");

  Error failure = testing::FailureOf([] { StyledItem(Numeric("Dec='two'")).Show("1"); });
  EXPECT_EQ(failure.Number(), kErrTypeMismatch);
  failure = testing::FailureOf([] { StyledItem(Numeric("Dec='40000'")).Show("1"); });
  EXPECT_EQ(failure.Number(), kErrOverflow);
  failure = testing::FailureOf([] { StyledItem(Numeric("RedN='maybe'")).Show("-1"); });
  EXPECT_EQ(failure.Number(), kErrTypeMismatch);
}

TEST(FormatDisplayText, PercentageGeneralAndOtherCategories) {
  StyledItem percent("<NFmt Typ='Percentage'><Def Dec='1'/></NFmt>");
  EXPECT_EQ(percent.Show("0.125"), "12.5%");
  EXPECT_EQ(percent.Show("-0.5"), "-50.0%");
  EXPECT_EQ(percent.Show("0"), "0.0%");
  EXPECT_EQ(percent.Show("n/a"), "n/a");
  EXPECT_EQ(StyledItem("<NFmt Typ='Percentage'><Def Dec=''/></NFmt>").Show("1.236"), "124%");

  // Categories compare without regard to case.
  EXPECT_EQ(StyledItem("<NFmt Typ='PERCENTAGE'><Def Dec='0'/></NFmt>").Show("0.5"), "50%");
  EXPECT_EQ(StyledItem("<NFmt Typ='numeric'><Def Dec='1' Cur='None'/></NFmt>").Show("2"), "2.0");
  EXPECT_EQ(StyledItem("<NFmt Typ='general'><Def/></NFmt>").Show(" 1234.5 "), " 1234.5 ");
  EXPECT_EQ(StyledItem("<NFmt Typ='Currency'><Def/></NFmt>").Show("5"), "");
  EXPECT_EQ(StyledItem("<NFmt><Def/></NFmt>").Show("5"), "");

  // No style record, or a style without a number format: the value as it is.
  xml::Document bare = xml::Document::Parse("<Itm><PEx/></Itm>");
  EXPECT_EQ(FormatDisplayText(bare.DocumentElement(), "1.5"), "1.5");
  xml::Document empty_style = xml::Document::Parse("<Itm><PEx/><Stl/></Itm>");
  EXPECT_EQ(FormatDisplayText(empty_style.DocumentElement(), "1.5"), "1.5");
  // An item written without PEx still finds its style.
  xml::Document no_pex =
      xml::Document::Parse("<Itm><Stl><NFmt Typ='Percentage'><Def Dec='0'/></NFmt></Stl></Itm>");
  EXPECT_EQ(FormatDisplayText(no_pex.DocumentElement(), "0.25"), "25%");
}

TEST(FormatDisplayText, TextCaseCodes) {
  auto text = [](const std::string& code) {
    return StyledItem("<NFmt Typ='Text'><Def Txt='" + code + "'/></NFmt>");
  };
  const std::string value = "net sales. up 3% on LAST year! why?yes  dear";
  EXPECT_EQ(text("0").Show(value), value);
  EXPECT_EQ(text("").Show(value), value);
  EXPECT_EQ(text("1").Show("Net ÉTÉ Sales"), "net été sales");
  EXPECT_EQ(text("2").Show("net été sales"), "NET ÉTÉ SALES");
  EXPECT_EQ(text("3").Show(value), "Net sales. Up 3% on LAST year! Why?Yes  dear");
  EXPECT_EQ(text("3").Show("  1. first"), "  1. First");
  EXPECT_EQ(text("4").Show(value), "Net Sales. Up 3% On LAST Year! Why?Yes  Dear");
  EXPECT_EQ(text("4").Show("3rd quarter"), "3rd Quarter");
  EXPECT_EQ(text("5").Show(value), "");
  EXPECT_EQ(text("x").Show(value), "");
  EXPECT_EQ(StyledItem("<NFmt Typ='Text'/>").Show("As Is"), "As Is");
}

TEST(FormatDisplayText, DateTimeUsesThePatternOfTheDefinition) {
  StyledItem item("<NFmt Typ='Date/Time'><Def Typ='dd/mm/yyyy'/></NFmt>");
  EXPECT_EQ(item.Show("2024-03-07"), "07/03/2024");
  EXPECT_EQ(item.Show("45358"), "07/03/2024");
  EXPECT_EQ(item.Show("not a date"), "not a date");

  EXPECT_EQ(FormatDateTime("2024-03-07 14:05:09", "d mmm yy h:mm AM/PM"), "7 Mar 24 2:05 PM");
  EXPECT_EQ(FormatDateTime("2024-03-07T00:30", "hh:nn a/p"), "12:30 a");
  EXPECT_EQ(FormatDateTime("2024/12/31", "dddd, mmmm d, yyyy"), "Tuesday, December 31, 2024");
  EXPECT_EQ(FormatDateTime("2024-02-29", "ddd m/d"), "Thu 2/29");
  EXPECT_EQ(FormatDateTime("45358.75", "yyyy-mm-dd hh:mm:ss"), "2024-03-07 18:00:00");
  EXPECT_EQ(FormatDateTime("09:15", "h\\h nn\"min\""), "9h 15min");
  EXPECT_EQ(FormatDateTime("1.5", ""), "1899-12-31 12:00:00");
  EXPECT_EQ(FormatDateTime("2024-03-07", ""), "2024-03-07");
  // Impossible or out-of-range dates are shown unchanged.
  EXPECT_EQ(FormatDateTime("2023-02-29", "yyyy"), "2023-02-29");
  EXPECT_EQ(FormatDateTime("2024-01-01 24:00", "yyyy"), "2024-01-01 24:00");
  EXPECT_EQ(FormatDateTime("99999999", "yyyy"), "99999999");
  EXPECT_EQ(FormatDateTime("-700000", "yyyy"), "-700000");
}

TEST(NumberFormatTemplate, ExactCategoriesGiveFreshBlankDefinitions) {
  EXPECT_EQ(NumberFormatTemplate("General").Xml(), "<Def/>");
  EXPECT_EQ(NumberFormatTemplate("Numeric").Xml(),
            "<Def Dec=\"\" Cur=\"\" Zer=\"\" Sep=\"\" DisN=\"\" DisP=\"\" RedN=\"\" RedP=\"\"/>");
  EXPECT_EQ(NumberFormatTemplate("Percentage").Xml(), "<Def Dec=\"\"/>");
  EXPECT_EQ(NumberFormatTemplate("Date/Time").Xml(), "<Def Typ=\"\"/>");
  EXPECT_TRUE(NumberFormatTemplate("Text").IsNull());
  EXPECT_TRUE(NumberFormatTemplate("numeric").IsNull());
  EXPECT_TRUE(NumberFormatTemplate("").IsNull());

  // Each call gives its own element: changing one leaves the next untouched.
  xml::Node first = NumberFormatTemplate("Percentage");
  first.SetAttribute("Dec", "4");
  EXPECT_EQ(NumberFormatTemplate("Percentage").AttributeOr("Dec", "?"), "");
  // It can go into any document.
  xml::Document format = xml::Document::Parse("<NFmt Typ='Percentage'/>");
  format.DocumentElement().AppendChild(first);
  EXPECT_EQ(format.DocumentElement().Xml(), "<NFmt Typ=\"Percentage\"><Def Dec=\"4\"/></NFmt>");
}

}  // namespace
}  // namespace orvo
