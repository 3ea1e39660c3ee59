#include "formula/token_lists.h"

#include <algorithm>
#include <utility>

#include "formula/vocabulary.h"
#include "frame/thread_context.h"
#include "orvo/parser.h"

namespace orvo {

// The XML form of both lists, built once per thread from record templates.
struct TokenVocabulary {
  TokenVocabulary() {
    document = xml::Document::Create();
    auto [function_list, function_item] = Start("<FunctionList/>", "<Itm Key='' Display=''/>");
    for (Function function : AllFunctions()) {
      function_item.SetAttribute("Key", FunctionKey(function));
      function_item.SetAttribute("Display", FunctionName(function));
      function_list.AppendChild(function_item.CloneNode(true));
    }
    functions = function_list;
    auto [operator_list, operator_item] = Start("<OperatorList/>", "<Itm Key=''/>");
    for (std::string_view key : OperatorKeys()) {
      operator_item.SetAttribute("Key", key);
      operator_list.AppendChild(operator_item.CloneNode(true));
    }
    operators = operator_list;
  }

  // The empty list element and its item template, both in `document`.
  std::pair<xml::Node, xml::Node> Start(std::string_view list_text, std::string_view item_text) {
    document.LoadXml(list_text);
    xml::Node list = document.DocumentElement().CloneNode(true);
    return {list, document.ImportNode(xml::Document::Parse(item_text), true)};
  }

  xml::Document document;
  xml::Node functions;
  xml::Node operators;
};

const std::vector<std::string_view>& OperatorKeys() {
  static const std::vector<std::string_view> keys = {"+", "&", "/", "=", "^", ">", "<",
                                                     "*", "!", "%", ":", "-", ","};
  return keys;
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

const OperatorTable& SharedOperatorTable() {
  static const OperatorTable table;
  return table;
}

xml::Node FunctionList() { return ThreadContext::Current().Vocabulary().Get().functions; }

xml::Node OperatorList() { return ThreadContext::Current().Vocabulary().Get().operators; }

}  // namespace orvo
