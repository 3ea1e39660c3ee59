// Stand-ins for the evaluator and evaluation-context components, registered
// under the real identifiers; they record what the builders hand them and
// answer with what a test sets.
#ifndef ORVO_TESTS_DELEGATING_DELEGATING_FAKES_H_
#define ORVO_TESTS_DELEGATING_DELEGATING_FAKES_H_

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "orvo/error.h"
#include "orvo/external_evaluator.h"
#include "orvo/providers.h"
#include "orvo/xml.h"
#include "support/fake_components.h"

namespace orvo::testing {

class FakeTextLayout : public TextLayoutService {
 public:
  double TextWidth(std::string_view text, std::string_view, double) override {
    return static_cast<double>(text.size());
  }
};

class FakeContext : public EvalContextData {
 public:
  void InitContext(const xml::Node& node) override {
    Fail("InitContext");
    init_calls.push_back(node);
  }
  xml::Node LaunchProperties() override {
    return init_calls.empty() ? xml::Node() : init_calls.back();
  }
  void DataColumnOverride(const xml::Node& node) override {
    Fail("DataColumnOverride");
    overrides.push_back(node);
  }
  xml::Node DataColumnOverride() override {
    return overrides.empty() ? xml::Node() : overrides.back();
  }
  void PerReportObject(std::shared_ptr<IComponent> object) override {
    per_report_writes.push_back(object != nullptr);
    per_report = std::move(object);
  }
  std::shared_ptr<IComponent> PerReportObject() override { return per_report; }
  std::shared_ptr<TextLayoutService> TextLayout() override { return text_layout; }
  void TextLayout(std::shared_ptr<TextLayoutService> service) override {
    text_layout = std::move(service);
  }

  void Fail(const std::string& member) const {
    if (member == failing_member) RaiseFailure(4711, "FakeContext." + member, "it broke");
  }

  std::vector<xml::Node> init_calls;
  std::vector<xml::Node> overrides;
  std::vector<bool> per_report_writes;
  std::shared_ptr<IComponent> per_report;
  std::shared_ptr<TextLayoutService> text_layout;
  std::string failing_member;
};

// Both evaluator interfaces, answering from `answers` (texts parsed at Run).
class FakeEvaluator : public ExternalEvaluator, public ExternalEvaluator3 {
 public:
  void LoadReport(const xml::Node& report) override {
    Fail("LoadReport");
    loaded.push_back(report);
  }
  void Run() override {
    ++runs;
    Fail("Run");
    results.clear();
    for (const auto& [name, text] : answers) {
      results[name] = xml::Document::Parse(text).DocumentElement();
    }
    if (context && !progress.empty()) {
      context->FormatName.Raise(progress);
      context->FormatStatus.Raise(50);
      context->ReportStatus.Raise(100);
    }
  }
  xml::Node ResultFormat() override { return Result("ResultFormat"); }
  void Document(const xml::Document& doc) override { document = doc; }
  void ContextData(std::shared_ptr<EvalContextData> data) override { context = std::move(data); }
  xml::Node PageSetups() override { return Result("PageSetups"); }
  xml::Node HeaderFooterRanges() override { return Result("HeaderFooterRanges"); }
  xml::Node BookmarkRefs() override { return Result("BookmarkRefs"); }
  xml::Node KeptSections() override { return Result("KeptSections"); }
  xml::Node BodySpaceFillers() override { return Result("BodySpaceFillers"); }
  void CancelFile(const std::string& path) override {
    Fail("CancelFile");
    cancel_file = path;
    cancel_writes.push_back(path);
  }
  xml::Node DrillItems(std::int32_t index) override {
    Fail("DrillItems");
    drill_requests.push_back(index);
    return Result("DrillItems");
  }
  std::int32_t FirstNumberedPage() override { return first_numbered_page; }
  std::int32_t Scale() override { return scale; }
  void Scale(std::int32_t percent) override { scale = percent; }

  xml::Node Result(const std::string& name) {
    Fail(name);
    auto found = results.find(name);
    return found == results.end() ? xml::Node() : found->second;
  }
  void Fail(const std::string& member) const {
    if (member == failing_member) RaiseFailure(4242, "FakeEvaluator." + member, "it broke");
  }

  std::map<std::string, std::string> answers;
  std::map<std::string, xml::Node> results;
  xml::Document document;
  std::shared_ptr<EvalContextData> context;
  std::vector<xml::Node> loaded;
  std::vector<std::string> cancel_writes;
  std::vector<std::int32_t> drill_requests;
  std::string cancel_file;
  std::string failing_member;
  std::string progress;
  std::int32_t first_numbered_page = 3;
  std::int32_t scale = 100;
  int runs = 0;
};

// Registers the fakes; the components created last are kept for the test.
struct DelegatingFakes {
  DelegatingFakes() {
    registration.Register(kExternalEvaluatorId, [this]() -> std::shared_ptr<IComponent> {
      auto made = std::make_shared<FakeEvaluator>();
      made->answers = answers;
      evaluators.push_back(made);
      return std::static_pointer_cast<ExternalEvaluator>(made);
    });
    registration.Register(kExternalEvaluator3Id, [this]() -> std::shared_ptr<IComponent> {
      auto made = std::make_shared<FakeEvaluator>();
      made->answers = answers;
      evaluators.push_back(made);
      return std::static_pointer_cast<ExternalEvaluator3>(made);
    });
    registration.Register(kEvalContextDataId, [this] {
      auto made = std::make_shared<FakeContext>();
      contexts.push_back(made);
      return made;
    });
  }
  DelegatingFakes(const DelegatingFakes&) = delete;
  DelegatingFakes& operator=(const DelegatingFakes&) = delete;

  FakeEvaluator& evaluator() { return *evaluators.back(); }
  FakeContext& context() { return *contexts.back(); }

  // Put back when the test ends.
  ScopedRegistration registration;
  std::map<std::string, std::string> answers;  // handed to evaluators made later
  std::vector<std::shared_ptr<FakeEvaluator>> evaluators;
  std::vector<std::shared_ptr<FakeContext>> contexts;
};

}  // namespace orvo::testing

#endif  // ORVO_TESTS_DELEGATING_DELEGATING_FAKES_H_
