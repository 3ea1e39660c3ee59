#include "formula/token_lists.h"

#include <algorithm>
#include <unordered_set>

#include "frame/per_thread.h"
#include "frame/text.h"
#include "orvo/parser.h"

namespace orvo {
namespace {

// The XML form of both lists, built once per thread from record templates.
struct ThreadTokenLists {
  ThreadTokenLists() {
    document = xml::Document::Create();
    functions = Build("<FunctionList/>", "<Itm Key='' Display=''/>", FunctionNames(), true);
    operators = Build("<OperatorList/>", "<Itm Key=''/>", OperatorKeys(), false);
  }

  xml::Node Build(std::string_view list_text, std::string_view item_text,
                  const std::vector<std::string_view>& names, bool with_display) {
    document.LoadXml(list_text);
    xml::Node list = document.DocumentElement().CloneNode(true);
    xml::Node item_template = document.ImportNode(xml::Document::Parse(item_text), true);
    for (std::string_view name : names) {
      item_template.SetAttribute("Key", UpperCase(name));
      if (with_display) item_template.SetAttribute("Display", name);
      list.AppendChild(item_template.CloneNode(true));
    }
    return list;
  }

  xml::Document document;
  xml::Node functions;
  xml::Node operators;
};

struct FunctionKeySet {
  FunctionKeySet() {
    for (std::string_view name : FunctionNames()) keys.insert(UpperCase(name));
  }
  std::unordered_set<std::string> keys;
};

}  // namespace

const std::vector<std::string_view>& FunctionNames() {
  static const std::vector<std::string_view> names = {"iNote",
                                                      "Note",
                                                      "Ref",
                                                      "Page",
                                                      "Sum",
                                                      "If",
                                                      "Avg",
                                                      "Count",
                                                      "CountRows",
                                                      "Max",
                                                      "Min",
                                                      "PageCount",
                                                      "Year",
                                                      "Period",
                                                      "Len",
                                                      "Left",
                                                      "Right",
                                                      "Mod",
                                                      "RecordCount",
                                                      "Now",
                                                      "And",
                                                      "Or",
                                                      "RecordValue",
                                                      "LY",
                                                      "RepeatPosition",
                                                      "IsFirstRecord",
                                                      "IsLastRecord",
                                                      "NextRecord",
                                                      "PreviousRecord",
                                                      "AccountValue",
                                                      "iRepeat"};
  return names;
}

const std::vector<std::string_view>& OperatorKeys() {
  static const std::vector<std::string_view> keys = {"+", "&", "/", "=", "^", ">", "<",
                                                     "*", "!", "%", ":", "-", ","};
  return keys;
}

bool IsFunctionKey(std::string_view upper_name) {
  static const FunctionKeySet function_keys;
  return function_keys.keys.count(std::string(upper_name)) > 0;
}

OperatorTable::OperatorTable() {
  for (std::string_view key : OperatorKeys()) {
    if (key != ":") m_sorted.emplace_back(key);
  }
  for (std::string_view extra : {"<>", "!=", "<=", ">=", "(", ")", "{", "}"}) {
    m_sorted.emplace_back(extra);
  }
  std::sort(m_sorted.begin(), m_sorted.end());
  for (const std::string& entry : m_sorted) {
    if (entry.size() == 1) m_single[static_cast<unsigned char>(entry[0])] = true;
  }
}

bool OperatorTable::Contains(std::string_view token) const {
  return std::binary_search(m_sorted.begin(), m_sorted.end(), token);
}

const OperatorTable& ThreadOperatorTable() { return PerThread<OperatorTable>(); }

xml::Node FunctionList() { return PerThread<ThreadTokenLists>().functions; }

xml::Node OperatorList() { return PerThread<ThreadTokenLists>().operators; }

}  // namespace orvo
