#include "evaluate/function_order.h"

#include <algorithm>
#include <numeric>

namespace orvo {

std::string_view FunctionOrderStylesheetText() {
  static constexpr std::string_view kText =
      "<xsl:stylesheet xmlns:xsl='http://www.w3.org/1999/XSL/Transform' version='1.0'>"
      "<xsl:template match='EFs'>"
      "<EFs>"
      "<xsl:for-each select='EF'>"
      "<xsl:sort select='@Pos' data-type='number' order='descending'/>"
      "<EF>"
      "<xsl:attribute name='Typ'><xsl:value-of select='@Typ'/></xsl:attribute>"
      "<xsl:attribute name='Pos'><xsl:value-of select='@Pos'/></xsl:attribute>"
      "</EF>"
      "</xsl:for-each>"
      "</EFs>"
      "</xsl:template>"
      "</xsl:stylesheet>";
  return kText;
}

xml::Node SortFunctionList(const xml::Stylesheet& stylesheet, const xml::Node& function_list,
                           const xml::Document& document) {
  xml::Document result = xml::Document::Create();
  function_list.TransformNodeToObject(stylesheet, result);
  const xml::Node sorted = result.DocumentElement();
  if (!sorted) return document.CreateElement("EFs");
  return document.ImportNode(sorted, true);
}

std::vector<std::size_t> FunctionOrder(const std::vector<ParsedExpression::FunctionCall>& calls) {
  std::vector<std::size_t> order;
  FunctionOrder(calls, order);
  return order;
}

void FunctionOrder(const std::vector<ParsedExpression::FunctionCall>& calls,
                   std::vector<std::size_t>& order) {
  order.resize(calls.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  const auto later = [&](std::size_t a, std::size_t b) {
    return calls[a].position > calls[b].position;
  };
  // The few calls of a formula are sorted in place (stably, like
  // stable_sort, without its buffer).
  constexpr std::size_t kFew = 16;
  if (order.size() > kFew) {
    std::stable_sort(order.begin(), order.end(), later);
    return;
  }
  for (std::size_t i = 1; i < order.size(); ++i) {
    const std::size_t index = order[i];
    std::size_t j = i;
    for (; j > 0 && later(index, order[j - 1]); --j) order[j] = order[j - 1];
    order[j] = index;
  }
}

}  // namespace orvo
