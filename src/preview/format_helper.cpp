#include "preview/format_helper.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "evaluate/number_format.h"
#include "evaluate/number_text.h"
#include "evaluate/style_record.h"
#include "frame/int16.h"
#include "frame/provider_access.h"
#include "frame/text.h"
#include "frame/text_value.h"
#include "orvo/error.h"

namespace orvo {
namespace {

enum class Target { kItem, kStyle, kNumberFormat, kDefinition, kAlignment, kBorders, kFont };
enum class Kind { kBoolean, kInteger, kLong, kDouble, kSingle, kText, kCategory, kBold, kItalic };

struct StyleProperty {
  std::string_view name;
  Target target;
  std::string_view attribute;
  Kind kind;
};

constexpr StyleProperty kProperties[] = {
    {"FmtItemAutoSize", Target::kItem, "ASz", Kind::kBoolean},
    {"FmtStyleBackColor", Target::kStyle, "BCl", Kind::kLong},
    {"FmtStyleCategory", Target::kNumberFormat, "Typ", Kind::kCategory},
    {"FmtStyleHeight", Target::kStyle, "Hei", Kind::kDouble},
    {"FmtStyleName", Target::kStyle, "Name", Kind::kText},
    {"FmtStylePattern", Target::kStyle, "Ptn", Kind::kInteger},
    {"FmtStylePatternColor", Target::kStyle, "PtnCl", Kind::kLong},
    {"FmtStyleWidth", Target::kStyle, "Wdt", Kind::kDouble},
    {"CatNumericDecimalPlace", Target::kDefinition, "Dec", Kind::kInteger},
    {"CatNumericCurrencySymbol", Target::kDefinition, "Cur", Kind::kText},
    {"CatNumericShowZeroValue", Target::kDefinition, "Zer", Kind::kText},
    {"CatNumericThousandSeparator", Target::kDefinition, "Sep", Kind::kInteger},
    {"CatNumericNegNumberDisplay", Target::kDefinition, "DisN", Kind::kText},
    {"CatNumericNegAsRed", Target::kDefinition, "RedN", Kind::kInteger},
    {"CatNumericPosNumberDisplay", Target::kDefinition, "DisP", Kind::kText},
    {"CatNumericPosAsRed", Target::kDefinition, "RedP", Kind::kInteger},
    {"CatDateTimeType", Target::kDefinition, "Typ", Kind::kText},
    {"CatPercentageDecimalPlaces", Target::kDefinition, "Dec", Kind::kInteger},
    {"CatTextFormatType", Target::kDefinition, "Txt", Kind::kInteger},
    {"FmtAlignHorizontal", Target::kAlignment, "Hrz", Kind::kText},
    {"FmtAlignIndent", Target::kAlignment, "Ind", Kind::kInteger},
    {"FmtAlignMergeCells", Target::kAlignment, "Mg", Kind::kBoolean},
    {"FmtAlignMergeKey", Target::kAlignment, "MgKey", Kind::kText},
    {"FmtAlignOrientation", Target::kAlignment, "Or", Kind::kInteger},
    {"FmtAlignShrinkToFit", Target::kAlignment, "Shr", Kind::kBoolean},
    {"FmtAlignVertical", Target::kAlignment, "Vrt", Kind::kText},
    {"FmtAlignVerticalText", Target::kAlignment, "VrtTx", Kind::kBoolean},
    {"FmtAlignWrapText", Target::kAlignment, "Wrp", Kind::kBoolean},
    {"FmtBorderBottomLineColor", Target::kBorders, "btC", Kind::kLong},
    {"FmtBorderBottomLineStyle", Target::kBorders, "btL", Kind::kInteger},
    {"FmtBorderTopLeftLineColor", Target::kBorders, "dtlC", Kind::kLong},
    {"FmtBorderTopLeftLineStyle", Target::kBorders, "dtlL", Kind::kInteger},
    {"FmtBorderTopRightLineColor", Target::kBorders, "dtrC", Kind::kLong},
    {"FmtBorderTopRightLineStyle", Target::kBorders, "dtrL", Kind::kInteger},
    {"FmtBorderLeftLineColor", Target::kBorders, "lfC", Kind::kLong},
    {"FmtBorderLeftLineStyle", Target::kBorders, "lfL", Kind::kInteger},
    {"FmtBorderRightLineColor", Target::kBorders, "rgC", Kind::kLong},
    {"FmtBorderRightLineStyle", Target::kBorders, "rgL", Kind::kInteger},
    {"FmtBorderTopLineColor", Target::kBorders, "tpC", Kind::kLong},
    {"FmtBorderTopLineStyle", Target::kBorders, "tpL", Kind::kInteger},
    {"FontBold", Target::kFont, "Bld", Kind::kBold},
    {"FontItalic", Target::kFont, "Itl", Kind::kItalic},
    {"FontColor", Target::kFont, "Clr", Kind::kLong},
    {"FontStrikethrough", Target::kFont, "Str", Kind::kBoolean},
    {"FontSubscript", Target::kFont, "Sub", Kind::kBoolean},
    {"FontSuperscript", Target::kFont, "Sup", Kind::kBoolean},
    {"FontUnderline", Target::kFont, "Udl", Kind::kText},
    {"FontSize", Target::kFont, "Sz", Kind::kSingle},
    {"FontStyle", Target::kFont, "Stl", Kind::kText},
    {"FontName", Target::kFont, "Nm", Kind::kText},
};

const StyleProperty* FindProperty(std::string_view name) {
  for (const StyleProperty& property : kProperties) {
    if (property.name == name) return &property;
  }
  return nullptr;
}

std::string BooleanText(bool value) { return value ? "-1" : "0"; }

double ReadDouble(std::string_view text) {
  std::optional<double> number = ParseNumber(text);
  if (!number) RaiseTypeMismatch();
  return *number;
}

// Single precision written with the fewest digits that read back as the same
// single ("10.1", not the double's "10.1000003814697").
std::string SingleText(std::string_view text) {
  const double number = ReadDouble(text);
  if (std::fabs(number) > std::numeric_limits<float>::max()) RaiseOverflow();
  const float single = number == 0 ? 0.0f : static_cast<float>(number);
  char buffer[32];
  const auto written = std::to_chars(buffer, buffer + sizeof buffer, single);
  std::string out(buffer, written.ptr);
  for (char& c : out) {
    if (c == 'e') c = 'E';
  }
  return out;
}

// The value as the text the attribute is written with; raises when it does
// not convert.
std::string ConvertedValue(Kind kind, std::string_view value) {
  switch (kind) {
    case Kind::kBoolean:
    case Kind::kBold:
    case Kind::kItalic:
      return BooleanText(TextToBoolean(value));
    case Kind::kInteger:
      return LongToText(ToInt16(TextToLong(value)));
    case Kind::kLong:
      return LongToText(TextToLong(value));
    case Kind::kDouble:
      return NumberToText(ReadDouble(value));
    case Kind::kSingle:
      return SingleText(value);
    case Kind::kText:
    case Kind::kCategory:
      break;
  }
  return std::string(value);
}

// A flag attribute as written on a font run; empty reads as false.
bool RunFlag(const xml::Node& font, std::string_view name) {
  const std::string text = font.AttributeOr(name, "");
  return !Trim(text).empty() && TextToBoolean(text);
}

std::string FontStyleName(bool bold, bool italic) {
  if (bold) return italic ? "Bold Italic" : "Bold";
  return italic ? "Italic" : "Regular";
}

xml::Node Required(xml::Node node) {
  if (!node) RaiseObjectRequired();
  return node;
}

void SetCategory(xml::Node number_format, const std::string& category) {
  if (number_format.AttributeOr("Typ", "") != category) {
    xml::Node definition = NumberFormatTemplate(category);
    if (!definition) RaiseObjectRequired();
    if (xml::Node old_definition = DefinitionOf(number_format)) {
      number_format.ReplaceChild(definition, old_definition);
    } else {
      number_format.AppendChild(definition);
    }
  }
  number_format.SetAttribute("Typ", category);
}

// A number of a style attribute; missing or empty reads as `absent`.
std::int32_t NumberOr(const xml::Node& element, std::string_view name, std::int32_t absent) {
  if (!element) return absent;
  const std::string text = element.AttributeOr(name, "");
  return Trim(text).empty() ? absent : TextToLong(text);
}

bool IsEmptyAttribute(const xml::Node& element, std::string_view name) {
  return !element || element.AttributeOr(name, "").empty();
}

// The Stl elements of a format by Name, each list in document order.
std::unordered_map<std::string, std::vector<xml::Node>> StylesByName(const xml::Node& format) {
  std::unordered_map<std::string, std::vector<xml::Node>> styles;
  std::vector<xml::Node> pending{format};
  while (!pending.empty()) {
    xml::Node node = std::move(pending.back());
    pending.pop_back();
    if (node.Name() == "Stl") {
      styles[node.AttributeOr("Name", "")].push_back(node);
      continue;  // a style record holds no further style records
    }
    const std::size_t first_child = pending.size();
    for (xml::Node child = FirstElement(node); child; child = NextElement(child)) {
      pending.push_back(child);
    }
    std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(first_child), pending.end());
  }
  return styles;
}

void CopyAttribute(const xml::Node& from, xml::Node to, std::string_view name) {
  if (!from || !to) return;
  if (std::optional<std::string> value = from.GetAttribute(name)) to.SetAttribute(name, *value);
}

}  // namespace

void SetStyleProperty(xml::Node item, std::string_view name, std::string_view value) {
  const StyleProperty* property = FindProperty(name);
  if (!property) return;
  xml::Node target;
  switch (property->target) {
    case Target::kItem:
      target = item;
      break;
    case Target::kStyle:
      target = Required(StyleOf(item));
      break;
    case Target::kNumberFormat:
      target = Required(NumberFormatOf(Required(StyleOf(item))));
      break;
    case Target::kDefinition:
      target = Required(DefinitionOf(Required(NumberFormatOf(Required(StyleOf(item))))));
      break;
    case Target::kAlignment:
      target = Required(AlignmentOf(Required(StyleOf(item))));
      break;
    case Target::kBorders:
      target = Required(BordersOf(Required(StyleOf(item))));
      break;
    case Target::kFont: {
      xml::Node fonts = FontsOf(StyleOf(item));
      if (ElementCount(fonts) != 1) return;
      target = FirstElement(fonts);
      break;
    }
  }
  const std::string text = ConvertedValue(property->kind, value);
  switch (property->kind) {
    case Kind::kCategory:
      SetCategory(target, text);
      return;
    case Kind::kBold:
    case Kind::kItalic: {
      const bool on = text == "-1";
      const bool bold = property->kind == Kind::kBold ? on : RunFlag(target, "Bld");
      const bool italic = property->kind == Kind::kItalic ? on : RunFlag(target, "Itl");
      target.SetAttribute(property->attribute, text);
      target.SetAttribute("Stl", FontStyleName(bold, italic));
      return;
    }
    default:
      target.SetAttribute(property->attribute, text);
  }
}

void ApplyStyleOverrides(const xml::Node& item, const xml::Node& overrides) {
  for (xml::Node entry = FirstElement(overrides); entry; entry = NextElement(entry)) {
    SetStyleProperty(item, entry.AttributeOr("Name", ""), entry.AttributeOr("Value", ""));
  }
}

void ApplyNamedStyles(const xml::Node& format, const xml::Node& style_library) {
  if (!format || !style_library) return;
  std::unordered_map<std::string, std::vector<xml::Node>> cells = StylesByName(format);
  for (xml::Node library_style = FirstElement(style_library); library_style;
       library_style = NextElement(library_style)) {
    xml::Node named = library_style.CloneNode(true);
    xml::Node alignment = AlignmentOf(named);
    const bool auto_size = alignment && RunFlag(alignment, "ASz");
    named.RemoveAttribute("Hier");
    named.RemoveAttribute("SKey");
    if (alignment) alignment.RemoveAttribute("ASz");
    const std::string name = UpperCase(named.AttributeOr("Name", ""));
    named.SetAttribute("Name", name);

    auto found = cells.find(name);
    if (found == cells.end()) continue;
    for (xml::Node& cell_style : found->second) {
      xml::Node restyled = named.CloneNode(true);
      CopyAttribute(cell_style, restyled, "Hei");
      CopyAttribute(cell_style, restyled, "Wdt");
      CopyAttribute(AlignmentOf(cell_style), AlignmentOf(restyled), "Mg");
      CopyAttribute(AlignmentOf(cell_style), AlignmentOf(restyled), "MgKey");
      xml::Node owner = cell_style.ParentNode();
      if (!owner) continue;
      owner.SetAttribute("ASz", BooleanText(auto_size));
      owner.ReplaceChild(restyled, cell_style);
      // A later library style of the same name restyles the new record.
      cell_style = restyled;
    }
  }
}

void ApplyNamedStyles(const xml::Node& format) {
  ApplyNamedStyles(format, GetStoreContext()->StyleLibrary());
}

bool ItemHasContent(const xml::Node& item) {
  const xml::NamedNodeMap attributes = item.Attributes();
  if (attributes.Length() >= 4 && !attributes.Item(3).Text().empty()) return true;
  if (item.GetAttribute("PicFile")) return true;
  const xml::Node style = StyleOf(item);
  if (style) {
    if (style.AttributeOr("Name", "") == "CUSTOM") return true;
    if (NumberOr(style, "BCl", -1) != -1) return true;
    if (NumberOr(style, "Ptn", 0) > 0) return true;
    if (!IsEmptyAttribute(AlignmentOf(style), "MgKey")) return true;
    const xml::Node borders = BordersOf(style);
    for (std::string_view line : {"btL", "dtlL", "dtrL", "lfL", "rgL", "tpL"}) {
      if (NumberOr(borders, line, 0) != 0) return true;
    }
  }
  for (xml::Node child = FirstElement(item); child; child = NextElement(child)) {
    if (child.Name() == "Ledg") return !child.AttributeOr("Fml", "").empty();
  }
  return false;
}

}  // namespace orvo
