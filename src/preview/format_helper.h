// Item styles: writing a style property by the host's name, applying the
// named styles of the style library, and telling whether an item shows
// anything.
//
// An item's style record Stl (its second child) holds, by position, the
// number format (whose first child is the definition Def), Alg, Brd and
// Fnts (see evaluate/style_record.h). Booleans are written "-1" and "0",
// numbers as their decimal text.
//
// Failures: a value that does not convert raises the type mismatch (13), a
// number beyond its range the overflow failure (6), a style part that is
// missing (or a category without a definition template) the object-required
// failure (91); in each case nothing is changed. XML failures propagate.
#ifndef ORVO_PREVIEW_FORMAT_HELPER_H_
#define ORVO_PREVIEW_FORMAT_HELPER_H_

#include <string_view>

#include "orvo/xml.h"

namespace orvo {

// Writes one style attribute of `item` named by a host property (compared
// exactly; an unknown name changes nothing). The value is converted to the
// property's type (Boolean, 16-bit or 32-bit integer, double, single or
// text) and written as text:
//   FmtItemAutoSize                              item ASz
//   FmtStyleBackColor/Height/Name/Pattern/PatternColor/Width
//                                                Stl BCl, Hei, Name, Ptn, PtnCl, Wdt
//   FmtStyleCategory                             number format Typ; a different
//                                                category first replaces Def by
//                                                NumberFormatTemplate(category)
//   CatNumeric..., CatDateTimeType, CatPercentageDecimalPlaces,
//   CatTextFormatType                            Def Dec, Cur, Zer, Sep, DisN, RedN,
//                                                DisP, RedP, Typ, Dec, Txt
//   FmtAlign...                                  Alg Hrz, Ind, Mg, MgKey, Or, Shr,
//                                                Vrt, VrtTx, Wrp
//   FmtBorder...                                 Brd line styles and colours
//   Font...                                      the font run's Bld, Itl, Clr, Str,
//                                                Sub, Sup, Udl, Sz, Stl, Nm
// Font properties apply only while Fnts holds exactly one Fnt. FontBold and
// FontItalic also rewrite the run's Stl: "Regular", "Italic", "Bold" or
// "Bold Italic".
void SetStyleProperty(xml::Node item, std::string_view name, std::string_view value);

// Applies print-style overrides: each element child of `overrides` carries
// Name and Value and is applied with SetStyleProperty, in document order.
void ApplyStyleOverrides(const xml::Node& item, const xml::Node& overrides);

// Restyles every Stl of `format` whose Name equals the upper-cased name of a
// style of `style_library` (each child element is a named style laid out
// like Stl): the Stl is replaced by a copy of the library style without its
// Hier and SKey and its Alg's ASz, named in upper case, keeping the cell's
// own Hei, Wdt and Alg Mg and MgKey; the owning item's ASz becomes the
// library style's Alg ASz ("-1" or "0"). Library styles apply in document
// order. Names compare exactly, so only cells whose style name is stored in
// upper case are restyled.
void ApplyNamedStyles(const xml::Node& format, const xml::Node& style_library);
// The same with the store context's style library.
void ApplyNamedStyles(const xml::Node& format);

// False only when the item shows nothing: its fourth attribute is empty, it
// has no PicFile, its style is not "CUSTOM", has no background (BCl -1), no
// merge key, no pattern (Ptn 0 or less), no border lines, and it has no Ledg
// child with a non-empty Fml. Missing style attributes read as "nothing".
bool ItemHasContent(const xml::Node& item);

}  // namespace orvo

#endif  // ORVO_PREVIEW_FORMAT_HELPER_H_
