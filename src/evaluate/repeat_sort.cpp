#include "evaluate/repeat_sort.h"

#include <algorithm>
#include <map>
#include <numeric>

#include "frame/text.h"
#include "orvo/error.h"

namespace orvo {
namespace {

constexpr const char* kSource = "Repeat";

bool IsNameStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
}

bool IsNameCharacter(unsigned char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// A field goes into the stylesheet as an attribute name; anything else could
// change the stylesheet's meaning, so it is refused.
void RequireFieldName(const std::string& field) {
  const bool valid = !field.empty() && IsNameStart(static_cast<unsigned char>(field.front())) &&
                     std::all_of(field.begin(), field.end(), [](char c) {
                       return IsNameCharacter(static_cast<unsigned char>(c));
                     });
  if (!valid) RaiseError(kSource, "The sort field '" + field + "' is not a field name");
}

struct ListShape {
  xml::Node first;  // the first record
  std::vector<std::string> attributes;
};

ListShape ShapeOf(const xml::Node& list) {
  ListShape shape;
  for (xml::Node child = list.FirstChild(); child; child = child.NextSibling()) {
    if (child.Type() != xml::NodeType::kElement) continue;
    shape.first = child;
    const xml::NamedNodeMap attributes = child.Attributes();
    for (std::size_t i = 0; i < attributes.Length(); ++i) {
      shape.attributes.push_back(attributes.Item(i).Name());
    }
    break;
  }
  return shape;
}

// Whether a record carries exactly these attributes in this order and nothing else.
bool HasShape(const xml::Node& record, const std::vector<std::string>& attributes) {
  if (record.HasChildNodes()) return false;
  const xml::NamedNodeMap present = record.Attributes();
  if (present.Length() != attributes.size()) return false;
  for (std::size_t i = 0; i < attributes.size(); ++i) {
    if (present.Item(i).Name() != attributes[i]) return false;
  }
  return true;
}

// Whether SortRepeatList keeps the list as it is: no attributes of its own,
// every child a record of the first record's shape (nothing the sorted list
// would leave out or rebuild), and the records in the order of their sort
// fields already, as a ledger lists its accounts by code. One walk that
// copies only the sort fields' values; a list it cannot judge so (prefixed
// attribute names) is left to the full comparison.
bool InOrderAsItIs(const xml::Node& list, const ListShape& shape,
                   const std::vector<std::string>& fields) {
  if (list.Attributes().Length() != 0) return false;
  for (const std::string& name : shape.attributes) {
    if (name.find(':') != std::string::npos) return false;
  }
  const std::string record_name = shape.first.Name();
  std::vector<std::string> previous(fields.size());
  std::vector<std::string> current(fields.size());
  bool first = true;
  for (xml::Node child = list.FirstChild(); child; child = child.NextSibling()) {
    if (child.Type() != xml::NodeType::kElement || !child.NameIs(record_name) ||
        child.HasChildNodes()) {
      return false;
    }
    for (std::string& value : current) value.clear();
    std::size_t index = 0;
    bool shaped = true;
    child.VisitAttributes([&](std::string_view name, std::string_view value) {
      if (index >= shape.attributes.size() || name != shape.attributes[index]) shaped = false;
      ++index;
      for (std::size_t f = 0; f < fields.size(); ++f) {
        if (name == fields[f]) current[f].assign(value);
      }
    });
    if (!shaped || index != shape.attributes.size()) return false;
    if (!first) {
      for (std::size_t f = 0; f < fields.size(); ++f) {
        const int compared = current[f].compare(previous[f]);
        if (compared < 0) return false;
        if (compared > 0) break;
      }
    }
    std::swap(previous, current);
    first = false;
  }
  return true;
}

}  // namespace

std::vector<std::string> RepeatSortFields(const xml::Node& repeat_definition) {
  std::map<std::string, std::string> by_index;
  for (xml::Node child = repeat_definition ? repeat_definition.FirstChild() : xml::Node(); child;
       child = child.NextSibling()) {
    if (child.Type() != xml::NodeType::kElement || child.Name() != "SItm") continue;
    by_index.emplace(child.AttributeOr("Ind", ""), child.AttributeOr("Fld", ""));
  }
  std::vector<std::string> fields;
  for (int i = 1;; ++i) {
    auto found = by_index.find(std::to_string(i));
    if (found == by_index.end()) break;
    fields.push_back(UpperCase(Trim(found->second)));
  }
  return fields;
}

std::string RepeatSortStylesheetText(std::string_view root_name, std::string_view record_name,
                                     const std::vector<std::string>& attributes,
                                     const std::vector<std::string>& fields) {
  std::string text =
      "<xsl:stylesheet xmlns:xsl='http://www.w3.org/1999/XSL/Transform' version='1.0'>"
      "<xsl:template match='/*'>";
  text += "<" + std::string(root_name) + ">";
  text += "<xsl:for-each select='./" + std::string(record_name) + "'>";
  for (const std::string& field : fields) {
    text += "<xsl:sort select='@" + field + "' order='ascending'/>";
  }
  text += "<" + std::string(record_name) + ">";
  for (const std::string& attribute : attributes) {
    text += "<xsl:attribute name='" + attribute + "'><xsl:value-of select='@" + attribute +
            "'/></xsl:attribute>";
  }
  text += "</" + std::string(record_name) + ">";
  text += "</xsl:for-each>";
  text += "</" + std::string(root_name) + ">";
  text += "</xsl:template></xsl:stylesheet>";
  return text;
}

xml::Node SortRepeatListByStylesheet(const xml::Node& list,
                                     const std::vector<std::string>& fields) {
  for (const std::string& field : fields) RequireFieldName(field);
  const ListShape shape = ShapeOf(list);
  if (fields.empty() || !shape.first) return list.CloneNode(true);
  const xml::Stylesheet stylesheet = xml::Stylesheet::Compile(
      RepeatSortStylesheetText(list.Name(), shape.first.Name(), shape.attributes, fields));
  xml::Document output = xml::Document::Create();
  list.TransformNodeToObject(stylesheet, output);
  xml::Node sorted = output.DocumentElement();
  return list.OwnerDocument().ImportNode(sorted, true);
}

xml::Node SortRepeatList(const xml::Node& list, const std::vector<std::string>& fields) {
  for (const std::string& field : fields) RequireFieldName(field);
  const ListShape shape = ShapeOf(list);
  if (fields.empty() || !shape.first) return list.CloneNode(true);
  if (InOrderAsItIs(list, shape, fields)) return list;

  const std::string record_name = shape.first.Name();
  std::vector<xml::Node> records;
  for (xml::Node child = list.FirstChild(); child; child = child.NextSibling()) {
    if (child.Type() == xml::NodeType::kElement && child.Name() == record_name) {
      records.push_back(child);
    }
  }
  // Sort keys read once per record and field.
  const std::size_t width = fields.size();
  std::vector<std::string> keys(records.size() * width);
  for (std::size_t r = 0; r < records.size(); ++r) {
    for (std::size_t f = 0; f < width; ++f) {
      keys[r * width + f] = records[r].AttributeOr(fields[f], "");
    }
  }
  const auto before = [&](std::size_t a, std::size_t b) {
    for (std::size_t f = 0; f < width; ++f) {
      const int compared = keys[a * width + f].compare(keys[b * width + f]);
      if (compared != 0) return compared < 0;
    }
    return false;
  };
  std::vector<std::size_t> order(records.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  // A ledger lists its accounts by code, which is the usual sort: a list in
  // order already is kept as it is when it holds nothing the sorted list
  // would leave out or rebuild.
  if (std::is_sorted(order.begin(), order.end(), before)) {
    std::size_t children = 0;
    for (xml::Node child = list.FirstChild(); child; child = child.NextSibling()) ++children;
    if (children == records.size() && list.Attributes().Length() == 0 &&
        std::all_of(records.begin(), records.end(), [&shape](const xml::Node& record) {
          return HasShape(record, shape.attributes);
        })) {
      return list;
    }
  } else {
    std::stable_sort(order.begin(), order.end(), before);
  }

  xml::Document document = list.OwnerDocument();
  xml::Node sorted = document.CreateElement(list.Name());
  for (std::size_t index : order) {
    const xml::Node& record = records[index];
    if (HasShape(record, shape.attributes)) {
      sorted.AppendChild(record);
      continue;
    }
    xml::Node rebuilt = sorted.AppendChild(document.CreateElement(record_name));
    for (const std::string& attribute : shape.attributes) {
      rebuilt.SetAttribute(attribute, record.AttributeOr(attribute, ""));
    }
  }
  return sorted;
}

}  // namespace orvo
