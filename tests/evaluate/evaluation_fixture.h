// Items made from formula texts and evaluated by a cEvaluate, for the
// evaluator's tests.
#ifndef ORVO_TESTS_EVALUATE_EVALUATION_FIXTURE_H_
#define ORVO_TESTS_EVALUATE_EVALUATION_FIXTURE_H_

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "evaluate/evaluate.h"
#include "orvo/parser.h"
#include "orvo/xml.h"

namespace orvo::testing {

// An item as the format provider writes one, with the parsed record of `text`.
inline xml::Node ItemFor(const xml::Document& document, const std::string& text,
                         const std::string& key = "B2") {
  xml::Node item = document.ImportNode(
      xml::Document::Parse(
          R"(<Itm Key="" Row="2" Col="2" Value="" Str="" MgKey="" ASz="0"><PEx/>)"
          R"(<Stl Name="" Hei="0" Wdt="0" BCl="-1" Ptn="0" PtnCl="0"><NFmt Typ="General"><Def/></NFmt>)"
          R"(<Alg/><Brd/><Fnts><Fnt Clr="0"/></Fnts></Stl></Itm>)")
          .DocumentElement(),
      true);
  item.SetAttribute("Key", key);
  item.SetAttribute("Value", text);
  cParser parser;
  parser.TokenFromString(text);
  item.ReplaceChild(document.ImportNode(parser.ParsedValue(), true), item.FirstChild());
  return item;
}

// An item whose parsed record is given as XML (for records the parser would
// not write, or writes differently).
inline xml::Node ItemWithRecord(const xml::Document& document, const std::string& record) {
  xml::Node item = ItemFor(document, "");
  item.ReplaceChild(document.ImportNode(xml::Document::Parse(record).DocumentElement(), true),
                    item.FirstChild());
  return item;
}

// Resolves cell and range operands from a table of values (ranges by their
// text as written), so tests can give operands values.
class TableResolver : public IOperandResolver {
 public:
  explicit TableResolver(std::map<std::string, std::string> values) : m_values(std::move(values)) {}
  Resolution Resolve(const OperandRequest& request, EvaluationScope&) override {
    auto found = m_values.find(std::string(request.text));
    if (found == m_values.end()) return Resolution::ErrorValue("#REF");
    if (found->second == "<wait>") return Resolution::Deferred();
    return Resolution::Value(found->second);
  }

 private:
  std::map<std::string, std::string> m_values;
};

class EvaluatorTest : public ::testing::Test {
 protected:
  // The value an item with `text` gets.
  std::string Value(const std::string& text) {
    xml::Node item = ItemFor(document, text);
    xml::Node evaluated;
    evaluator.Evaluate(item, {}, 0, "", evaluated);
    return item.AttributeOr("Value", "<none>");
  }
  // The value an item with the parsed record `record` gets.
  std::string RecordValue(const std::string& record) {
    xml::Node item = ItemWithRecord(document, record);
    xml::Node evaluated;
    evaluator.Evaluate(item, {}, 0, "", evaluated);
    return item.AttributeOr("Value", "<none>");
  }
  void Cells(std::map<std::string, std::string> values) {
    auto resolver = std::make_shared<TableResolver>(std::move(values));
    evaluator.SetOperandResolver(OperandKind::kCell, resolver);
    evaluator.SetOperandResolver(OperandKind::kRange, resolver);
  }

  xml::Document document = xml::Document::Create();
  cEvaluate evaluator;
};

}  // namespace orvo::testing

#endif  // ORVO_TESTS_EVALUATE_EVALUATION_FIXTURE_H_
