#include "orvo/parser.h"

#include "formula/parser_state.h"
#include "frame/launch_properties.h"
#include "frame/text.h"

namespace orvo {

cParser::State::State()
    : document(xml::Document::Create()),
      errors(document),
      operators(SharedOperatorTable()),
      ignore_items(document.CreateElement("FindItems")) {}

cParser::cParser() : m_state(std::make_unique<State>()) {}
cParser::~cParser() = default;

std::string cParser::StrPos() const { return std::to_string(m_state->error_position); }

xml::Node cParser::ErrorCollection() const { return m_state->errors.Element().CloneNode(true); }

bool cParser::IsFunction(std::string_view function_name) const {
  return FunctionFromName(function_name).has_value();
}

bool cParser::IsCellRef(std::string_view expression, bool& is_range) {
  return TestCellReference(*m_state, expression, is_range);
}

void cParser::TokenFromString(std::string_view expression) {
  ParseExpression(*this, *m_state, expression);
}

// The XML form is written only when asked for: the library's own callers read
// the typed record.
xml::Node cParser::ParsedValue() const {
  return WriteParsedExpression(m_state->record, m_state->document);
}

const ParsedExpression& ParsedExpressionOf(const cParser& parser) { return parser.m_state->record; }

bool HasParseMessages(const cParser& parser) { return parser.m_state->errors.Count() != 0; }

bool HasIgnoreSpans(const cParser& parser) {
  const xml::Node& items = parser.m_state->ignore_items;
  return items && items.HasChildNodes();
}

void cParser::Converting(bool converting) { m_state->converting = converting; }

std::string cParser::GetToken(std::string_view value) { return NextToken(*m_state, value); }

bool cParser::TokenItem(std::string_view token) const {
  return token.find('"') == std::string_view::npos && m_state->operators.Contains(token);
}

void cParser::CurrentPosition(std::int16_t position) { m_state->current_position = position; }
std::int16_t cParser::CurrentPosition() const { return m_state->current_position; }
std::int16_t cParser::startPosition() const { return m_state->start_position; }

void cParser::ItemsToIgnore(const xml::Node& items) { m_state->ignore_items = items; }
void cParser::Offset(std::int16_t offset) { m_state->offset = offset; }

void cParser::Init(const xml::Node& launch_properties) { InitLaunchProperties(launch_properties); }

void cParser::IgnoreSpaces(bool ignore) { m_state->ignore_spaces = ignore; }
bool cParser::IgnoreSpaces() const { return m_state->ignore_spaces; }

}  // namespace orvo
