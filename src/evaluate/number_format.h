// Number formats: the blank definition per category and the display text
// an evaluated value is shown as.
//
// The number-format element of a style (the first child of Stl) carries the
// category in `Typ` and the definition `Def` as its first child:
//
//   <NFmt Typ="Numeric"><Def Dec="2" Cur="None" Zer="-" Sep="-1"
//                            DisN="(1,234)" DisP="1,234" RedN="-1" RedP="0"/></NFmt>
//
// Def attributes: Dec decimals, Cur text put before numbers ("None" for
// none), Zer text shown for zero, Sep thousands separators (a flag), DisN and
// DisP the display rule of negative and positive numbers (a rule beginning
// with "(" brackets the number, one beginning with "-" signs it), RedN and
// RedP show negative or positive numbers in red, Typ the date/time pattern,
// Txt the text case code. An empty attribute reads as 0 or false; any other
// text that is not a 16-bit number (or a flag) raises the type mismatch or
// the overflow failure.
//
// Threading: the templates live per thread; everything runs on the caller's
// thread.
#ifndef ORVO_EVALUATE_NUMBER_FORMAT_H_
#define ORVO_EVALUATE_NUMBER_FORMAT_H_

#include <string>
#include <string_view>

#include "orvo/xml.h"

namespace orvo {

// A new definition element for a category (names compared exactly):
//   "General"     <Def/>
//   "Numeric"     <Def Dec='' Cur='' Zer='' Sep='' DisN='' DisP='' RedN='' RedP=''/>
//   "Percentage"  <Def Dec=''/>
//   "Date/Time"   <Def Typ=''/>
// A detached copy (attributes only) of a template parsed once per thread;
// any other name, "Text" included, gives a null node.
xml::Node NumberFormatTemplate(std::string_view category);

// The display text of `value` under the item's number format. Categories are
// compared without regard to case:
//   General     the value unchanged;
//   Numeric     non-numeric values unchanged; zero shows Zer (formatted when
//               it is numeric); other values rounded half away from zero to
//               Dec decimals, grouped by thousands when Sep, negative and
//               positive values shown by DisN/DisP, Cur in front unless
//               "None"; RedN/RedP set the item's first font run's Clr to 255;
//   Percentage  non-numeric values unchanged; else the value times 100 with
//               Dec decimals followed by "%";
//   Date/Time   the value read as a date (date_time_format.h) shown with the
//               pattern Typ; a value that is no date is shown unchanged;
//   Text        by Txt: 0 unchanged, 1 lower case, 2 upper case, 3 sentence
//               case, 4 word case, any other code an empty text;
//   any other category an empty text.
// An item without a style record or number format shows the value unchanged.
// Reads the style by position (no XPath).
std::string FormatDisplayText(const xml::Node& item, std::string_view value);

}  // namespace orvo

#endif  // ORVO_EVALUATE_NUMBER_FORMAT_H_
