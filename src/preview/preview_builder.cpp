#include "orvo/preview_builder.h"

#include <cmath>

#include "evaluate/number_text.h"
#include "evaluate/style_record.h"
#include "formula/parsed_expression.h"
#include "frame/launch_properties.h"
#include "frame/provider_access.h"
#include "frame/text.h"
#include "preview/builder_state.h"
#include "preview/preview_document.h"
#include "preview/report_build.h"

namespace orvo {
namespace {

// Runs a member's body; a failure leaves the member with the member's name
// as its source, its number and description unchanged.
template <class Body>
auto Reported(const char* member, Body&& body) -> decltype(body()) {
  try {
    return body();
  } catch (const Error& failure) {
    RaiseFailure(failure.Number(), member, failure.Description());
  }
}

void RequireInit(const BuilderState& state) {
  if (!state.evaluator) RaiseObjectRequired();
}

}  // namespace

CPreviewBuilder::CPreviewBuilder() : m_state(std::make_unique<BuilderState>()) {
  BuilderState& state = *m_state;
  state.processing_mode = enmSychronous;
  state.page_break = state.scratch.CreateAttribute("PgBk");
  state.page_break.SetText("-1");
  state.events.format_name = [this](const std::string& name) { FormatName.Raise(name); };
  state.events.format_status = [this](Int16 status) { FormatStatus.Raise(status); };
  state.events.report_status = [this](Int16 status) { ReportStatus.Raise(status); };
  // The host's parser pool is optional: without one the parsers are not made.
  ResumeNext optional_pool;
  optional_pool.Step([] {
    std::shared_ptr<IParserPool> pool = ComponentRegistry::CreateAs<IParserPool>(kParserPoolId);
    for (int parser = 0; parser < 3; ++parser) pool->AddParser(std::make_shared<cParser>());
  });
}

CPreviewBuilder::~CPreviewBuilder() = default;

xml::Node CPreviewBuilder::m_objAttPageBreak() const { return m_state->page_break; }
void CPreviewBuilder::m_objAttPageBreak(const xml::Node& attribute) {
  m_state->page_break = attribute;
}

std::shared_ptr<cDrillDown> CPreviewBuilder::DrillDownObject() const {
  return ThreadPreviewState().DrillDown();
}

xml::Node CPreviewBuilder::EvaluatedFormat() const { return m_state->output; }

EProcessingMode CPreviewBuilder::ProcessingMode() const { return m_state->processing_mode; }
void CPreviewBuilder::ProcessingMode(EProcessingMode mode) { m_state->processing_mode = mode; }

std::shared_ptr<cHeaderFooter> CPreviewBuilder::PreviewHeaders() const {
  return ThreadPreviewState().Headers();
}
std::shared_ptr<cHeaderFooter> CPreviewBuilder::PreviewFooters() const {
  return ThreadPreviewState().Footers();
}

xml::Node CPreviewBuilder::PageThrows() const { return ThreadPreviewState().page_setups; }

void CPreviewBuilder::ResetQueue() {
  Reported("ResetQueue", [&] { m_state->queue = m_state->templates.NewContainer("Reps"); });
}

void CPreviewBuilder::AddReport(const xml::Node& Report, const xml::Node& DC_Override) {
  Reported("AddReport", [&] {
    if (!m_state->queue || !Report) RaiseObjectRequired();
    if (DC_Override) {
      xml::Node(Report).AppendChild(Report.OwnerDocument().ImportNode(DC_Override, true));
    }
    m_state->queue.AppendChild(Report);
  });
}

void CPreviewBuilder::CreatePreview() {
  Reported("CreatePreview", [&] {
    BuilderState& state = *m_state;
    m_build_failures.clear();
    state.cancelled = false;
    state.parked.clear();
    try {
      if (state.processing_mode != enmAsynchronous) {
        ThreadPreviewState().DropDrillDown();
        std::vector<xml::Node> reports;
        for (xml::Node report = FirstElement(state.queue); report; report = NextElement(report)) {
          reports.push_back(report);
        }
        for (const xml::Node& report : reports) {
          try {
            RequireInit(state);
            ReportBuild(state, report).Run();
          } catch (const Error& failure) {
            m_build_failures.emplace_back(failure.Number(), "BuildReport", failure.Description());
          }
        }
      }
      state.CheckCancel();
      const auto stop = [&state] { return state.PollCancelRequested(); };
      bool stopped = false;
      xml::Node output;
      if (state.body) {
        // The build is done: the body result's rows are written into the
        // preview and freed one by one, so that the two are never whole at
        // once. References evaluated afterwards (page-number conditions)
        // read the values the placed-item index keeps.
        state.placed_items.Items()->ReleaseItems();
        state.body->ReleaseRows();
        output = PreviewDocument(state.body->Element(), true, stop, stopped);
      } else {
        output = PreviewDocument(state.NewFormatElement(), false, stop, stopped);
      }
      if (stopped) {
        state.Park(output);
        throw BuildCancelled{};
      }
      state.output = output;
    } catch (const BuildCancelled&) {
      state.DropResults();
      RaiseCancelled("CreatePreview");
    }
    GetStoreContext()->NotifyStatus("END_PREVIEW");
    SharedPreviewState::NotifyStatus(std::nullopt);
  });
}

xml::Node CPreviewBuilder::CreateCellsToDo(std::int32_t MaxCol) {
  return Reported("CreateCellsToDo", [&] {
    BuilderState& state = *m_state;
    if (!state.columns) {
      xml::Node columns = state.templates.NewContainer("Cols");
      xml::Node column = state.templates.Template(RecordKind::kColumn);
      const Int16 last = ToInt16(MaxCol);
      for (std::int32_t number = state.first_column; number <= last; ++number) {
        column.SetAttribute("ID", std::to_string(number));
        columns.AppendChild(column.CloneNode(true));
      }
      state.columns = columns;
    }
    return state.columns.CloneNode(true);
  });
}

void CPreviewBuilder::SortXML(xml::Node& Source, const xml::Node& Template) {
  Reported("SortXML", [&] {
    if (!Source || !Template) RaiseObjectRequired();
    xml::Document input = xml::Document::Create();
    input.SetDocumentElement(input.ImportNode(Source, true));
    xml::Document output = xml::Document::Create();
    input.TransformNodeToObject(Template, output);
    const xml::Node result = output.DocumentElement();
    Source = result ? result.CloneNode(true) : xml::Node();
  });
}

void CPreviewBuilder::Init(const xml::Node& Value) {
  Reported("Init", [&] {
    BuilderState& state = *m_state;
    InitLaunchProperties(Value);
    state.evaluator = std::make_unique<cEvaluate>();
    state.evaluator->GetCurrentRow.Connect(
        [&state](std::int32_t& row) { row = state.current_row; });
    state.parser = std::make_unique<cParser>();
    state.second_evaluator = std::make_unique<cEvaluate>();
    state.output = xml::Node();

    std::shared_ptr<IFormatProvider> formats = GetFormatProvider();
    state.print_column = formats->ColumnNumber("PRINT");
    state.column_header_column = formats->ColumnNumber("COLUMN_HEADER");
    state.zero_column = 0;
    state.first_column = formats->ColumnNumber("A");

    state.page_number_item = state.scratch.ImportNode(formats->NewItem(0, 0), true);
    if (xml::Node column = state.page_number_item.Attributes().Item(2)) {
      column.SetText(std::to_string(state.print_column));
    }
  });
}

std::shared_ptr<ColEvaluatedBookmarks> CPreviewBuilder::RefIndex() const {
  return ThreadPreviewState().bookmarks;
}

xml::Node CPreviewBuilder::KeepSections() const { return ThreadPreviewState().kept_sections; }
xml::Node CPreviewBuilder::SpaceFillersBody() const { return ThreadPreviewState().body_fillers; }
xml::Node CPreviewBuilder::SpaceFillersHeaders() const {
  return ThreadPreviewState().header_fillers;
}
xml::Node CPreviewBuilder::SpaceFillersFooters() const {
  return ThreadPreviewState().footer_fillers;
}

std::int16_t CPreviewBuilder::EvaluatePageNumberCondition(std::string_view Condition) {
  return Reported("EvaluatePageNumberCondition", [&]() -> std::int16_t {
    BuilderState& state = *m_state;
    RequireInit(state);
    const std::string_view trimmed = Trim(Condition);
    if (trimmed.empty()) return 1;
    const std::string formula =
        trimmed.front() == '=' ? std::string(trimmed) : "=" + std::string(trimmed);
    xml::Node item = state.page_number_item.CloneNode(true);
    if (xml::Node value = item.Attributes().Item(3)) value.SetText("");
    state.parser->TokenFromString(formula);
    const xml::Node record =
        WriteParsedExpression(ParsedExpressionOf(*state.parser), state.scratch);
    if (const xml::Node first = item.FirstChild()) {
      item.ReplaceChild(record, first);
    } else {
      item.AppendChild(record);
    }
    if (HasParseMessages(*state.parser)) return 1;
    xml::Node evaluated;
    state.evaluator->Evaluate(item, {}, 0, "", evaluated);
    const xml::Node value = evaluated.Attributes().Item(3);
    const std::string text = value ? UpperCase(value.Text()) : std::string();
    if (!IsNumber(text)) return 1;
    const std::optional<double> number = ParseNumber(text);
    if (!number) return 1;
    const double rounded = std::nearbyint(*number);
    if (!(rounded >= INT16_MIN && rounded <= INT16_MAX)) RaiseOverflow();
    return static_cast<std::int16_t>(rounded);
  });
}

void CPreviewBuilder::SetCancelCheck(std::function<bool()> check) {
  m_state->cancel_check = std::move(check);
}

const std::vector<Error>& CPreviewBuilder::BuildFailures() const { return m_build_failures; }

}  // namespace orvo
