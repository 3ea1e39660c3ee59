// orvo preview: builds report definitions of a workspace and prints the
// evaluated preview with everything a host paginates it with.
#include <charconv>
#include <chrono>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <system_error>
#include <type_traits>
#include <utility>
#include <vector>

#include "command.h"
#include "indented_writer.h"
#include "orvo/delegating_builders.h"
#include "orvo/external_evaluator.h"
#include "orvo/preview_builder.h"
#include "orvo/providers.h"
#include "orvo/xml.h"
#include "page_output.h"
#include "render/builder_preview.h"
#include "render/preview_input.h"

namespace orvo::cli {
namespace {

struct QueueEntry {
  bool favourite = false;
  std::string key;
};

// The workspace's store, read through a storage provider of its own.
std::shared_ptr<IStoreContext> WorkspaceStore(const xml::Node& launch_properties) {
  auto storage = ComponentRegistry::CreateAs<IStorageProvider>(kStorageProviderId);
  storage->LaunchProperties(launch_properties);
  std::shared_ptr<IStoreContext> store = storage->StoreContext();
  if (!store) return {};
  // A workspace that cannot be read is one failure naming the file.
  if (auto check = std::dynamic_pointer_cast<IStoreCheck>(store)) check->CheckStore();
  return store;
}

xml::Node StoredReport(const xml::Node& library, const std::string& key) {
  std::string upper = key;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  for (xml::Node report = library ? library.FirstChild() : xml::Node(); report;
       report = report.NextSibling()) {
    if (report.Type() == xml::NodeType::kElement && report.Name() == "Rep" &&
        (key.empty() || report.AttributeOr("Key", "") == upper)) {
      return report;
    }
  }
  return {};
}

// The element itself, or an empty one of that name when there is none.
xml::Node OrEmpty(const xml::Document& document, const xml::Node& element, std::string_view name) {
  return element ? document.ImportNode(element, true) : document.CreateElement(name);
}

// A live line on standard error: the format being evaluated, its progress
// and the report's.
class ProgressLine {
 public:
  template <class Builder>
  explicit ProgressLine(Builder& builder) {
    builder.FormatName.Connect([this](const std::string& name) {
      m_name = name;
      m_format = 0;
      Draw(true);
    });
    builder.FormatStatus.Connect([this](std::int16_t status) {
      if (status == m_format) return;
      m_format = status;
      Draw(false);
    });
    builder.ReportStatus.Connect([this](std::int16_t status) {
      m_report = status;
      Draw(status == 100);
    });
  }
  ~ProgressLine() {
    if (m_drawn) std::cerr << "\n";
  }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

 private:
  // Redraws at most every 50 ms unless `now`: a report of many rows sends
  // thousands of events a second.
  void Draw(bool now) {
    const auto time = std::chrono::steady_clock::now();
    if (!now && m_drawn && time - m_last_draw < std::chrono::milliseconds(50)) return;
    m_last_draw = time;
    std::ostringstream line;
    line << "\r" << m_name << " " << m_format << "% | report " << m_report << "%";
    std::string text = line.str();
    if (text.size() < m_width) text.append(m_width - text.size(), ' ');
    m_width = line.str().size();
    std::cerr << text << std::flush;
    m_drawn = true;
  }

  std::string m_name;
  std::int16_t m_format = 0;
  std::int16_t m_report = 0;
  std::size_t m_width = 0;
  bool m_drawn = false;
  std::chrono::steady_clock::time_point m_last_draw;
};

// The elements of a <Preview> element, in their order.
struct PreviewParts {
  xml::Node format, page_setups, kept_sections, body_fillers, header_fillers, footer_fillers;
  xml::Node headers, footers, references, drill_keys;
};

xml::Node AssemblePreview(const xml::Document& document, const PreviewParts& parts) {
  xml::Node preview = document.CreateElement("Preview");
  preview.AppendChild(OrEmpty(document, parts.format, "Fmt"));
  preview.AppendChild(OrEmpty(document, parts.page_setups, "PgBks"));
  preview.AppendChild(OrEmpty(document, parts.kept_sections, "KpSections"));
  preview.AppendChild(OrEmpty(document, parts.body_fillers, "SpFs"));
  preview.AppendChild(OrEmpty(document, parts.header_fillers, "SpFsH"));
  preview.AppendChild(OrEmpty(document, parts.footer_fillers, "SpFsF"));
  preview.AppendChild(OrEmpty(document, parts.headers, "Headers"));
  preview.AppendChild(OrEmpty(document, parts.footers, "Footers"));
  preview.AppendChild(OrEmpty(document, parts.references, "RefIndex"));
  preview.AppendChild(OrEmpty(document, parts.drill_keys, "DrillKeys"));
  return preview;
}

// The <Preview> element AssemblePreview makes of the parts, written from
// the parts themselves instead of a copy of them in one tree.
void WritePreview(std::ostream& out, const PreviewParts& parts) {
  const std::pair<const xml::Node*, std::string_view> children[] = {
      {&parts.format, "Fmt"},
      {&parts.page_setups, "PgBks"},
      {&parts.kept_sections, "KpSections"},
      {&parts.body_fillers, "SpFs"},
      {&parts.header_fillers, "SpFsH"},
      {&parts.footer_fillers, "SpFsF"},
      {&parts.headers, "Headers"},
      {&parts.footers, "Footers"},
      {&parts.references, "RefIndex"},
      {&parts.drill_keys, "DrillKeys"}};
  IndentedWriter writer(out);
  writer.Open("Preview", 0);
  for (const auto& [part, name] : children) {
    xml::Node element = *part;
    // As ImportNode takes them: a document by its document element; a node
    // of another kind would stand among elements and not be written.
    if (element && element.Type() == xml::NodeType::kDocument) {
      element = xml::Document(element).DocumentElement();
    }
    if (!element) {
      writer.Empty(name, 1);
    } else if (element.Type() == xml::NodeType::kElement) {
      writer.Element(element, 1);
    }
  }
  writer.Close("Preview", 0);
}

// Writes the preview (its parts, or the assembled element) to FILE; false,
// with the message on standard error, when the file cannot be written.
template <class Preview>
bool WriteFile(const std::string& path, const Preview& preview) {
  std::ofstream file(path, std::ios::binary);
  if (!file) {
    std::cerr << "orvo preview: cannot write " << path << "\n";
    return false;
  }
  if constexpr (std::is_same_v<Preview, PreviewParts>) {
    WritePreview(file, preview);
  } else {
    WriteIndented(file, preview);
  }
  return true;
}

// What an evaluator offering IEvaluatorDetails (the reference ones do) adds
// to the answers the builders read: the header and footer space fillers,
// the evaluated bookmarks and the drill keys.
template <class Evaluator>
void AddDetails(PreviewParts& parts, const std::shared_ptr<Evaluator>& evaluator) {
  auto details = std::dynamic_pointer_cast<IEvaluatorDetails>(evaluator);
  if (!details) return;
  parts.header_fillers = details->HeaderSpaceFillers();
  parts.footer_fillers = details->FooterSpaceFillers();
  parts.references = details->EvaluatedBookmarks();
  parts.drill_keys = details->DrillKeys();
}

xml::Node NthElement(const xml::Node& parent, int n) {
  for (xml::Node child = parent ? parent.FirstChild() : xml::Node(); child;
       child = child.NextSibling()) {
    if (child.Type() == xml::NodeType::kElement && n-- == 0) return child;
  }
  return {};
}

// The results of CPreviewBuilder3, read from its evaluator as a host does:
// the header/footer ranges filed into collections of the host's own.
PreviewParts ResultsOfEvaluator(ExternalEvaluator& results) {
  PreviewParts parts;
  parts.format = results.ResultFormat();
  if (!parts.format) return parts;
  parts.page_setups = results.PageSetups();
  parts.kept_sections = results.KeptSections();
  parts.body_fillers = results.BodySpaceFillers();
  cHeaderFooter headers;
  cHeaderFooter footers;
  footers.IsFooter(true);
  const xml::Node ranges = results.HeaderFooterRanges();
  for (xml::Node range = NthElement(ranges, 0); range; range = range.NextSibling()) {
    if (range.Type() != xml::NodeType::kElement) continue;
    const std::string end = range.AttributeOr("EndRow", "");
    std::int32_t row = 0;
    const auto [rest, failure] = std::from_chars(end.data(), end.data() + end.size(), row);
    if (failure != std::errc() || rest != end.data() + end.size()) RaiseTypeMismatch();
    headers.AddHeaderFooter(row, NthElement(range, 0), NthElement(range, 1));
    footers.AddHeaderFooter(row, NthElement(range, 2), NthElement(range, 3));
  }
  parts.headers = headers.GetAsXML("Headers");
  parts.footers = footers.GetAsXML("Footers");
  return parts;
}

// Builds the reports one by one with a delegating builder (each AddReport
// starts over, so each report is its own build), printing the failure of a
// build and going on; returns whether every build succeeded. The results
// are the last build's.
template <class Builder>
bool BuildEach(Builder& builder, const std::vector<xml::Node>& reports, bool progress) {
  bool all_built = true;
  std::optional<ProgressLine> line;
  if (progress) line.emplace(builder);
  for (const xml::Node& report : reports) {
    try {
      builder.AddReport(report);
      builder.CreatePreview();
    } catch (const Error& failure) {
      line.reset();
      std::cerr << "orvo preview: error " << failure.Number() << " (" << failure.Source()
                << "): " << failure.Description() << "\n";
      all_built = false;
      if (progress) line.emplace(builder);
    }
  }
  return all_built;
}

}  // namespace

int RunPreviewCommand(const Arguments& args) {
  if (args.empty() || args[0].rfind("--", 0) == 0) throw UsageError("give the WORKSPACE folder");
  const std::string workspace = args[0];
  std::vector<QueueEntry> queue;
  std::optional<std::string> out_file;
  PageOutput pages;
  bool titled = false;
  bool progress = false;
  int builder_number = 1;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if ((arg == "--report" || arg == "--fav") && i + 1 < args.size()) {
      queue.push_back({arg == "--fav", args[++i]});
    } else if (arg == "--out" && i + 1 < args.size()) {
      out_file = args[++i];
    } else if (arg == "--builder" && i + 1 < args.size()) {
      builder_number = static_cast<int>(ParseWholeNumber(args[++i], 1, 3, "--builder"));
    } else if (arg == "--progress") {
      progress = true;
    } else if (pages.TakeOption(args, i)) {
      titled = titled || arg == "--title";
    } else {
      throw UsageError("unexpected argument: " + arg);
    }
  }

  xml::Document document = xml::Document::Create();
  const xml::Node launch_properties = LaunchPropertiesFor(document, workspace);
  const std::shared_ptr<IStoreContext> store = WorkspaceStore(launch_properties);
  const xml::Node library = store ? store->ReportLibrary() : xml::Node();
  if (queue.empty()) queue.push_back({false, ""});  // the library's first report
  std::vector<xml::Node> reports;
  for (const QueueEntry& entry : queue) {
    if (entry.favourite) {
      xml::Node favourite = document.CreateElement("Fav");
      favourite.SetAttribute("Rep", entry.key);
      reports.push_back(favourite);
      continue;
    }
    const xml::Node stored = StoredReport(library, entry.key);
    if (stored && !titled) pages.title = stored.AttributeOr("Name", pages.title);
    if (!stored) {
      std::cerr << "orvo preview: the workspace has no report "
                << (entry.key.empty() ? std::string("at all") : entry.key) << "\n";
      return 1;
    }
    reports.push_back(document.ImportNode(stored, true));
  }

  const xml::Node bookmark_definitions = store ? store->BookmarkDefinitions() : xml::Node();
  // Without pages the parts are written as soon as they are read, while the
  // builder that made them still stands; with pages they are assembled into
  // one tree that the layout may read and that is written after it.
  xml::Node preview;
  bool written = true;
  const auto deliver = [&](const PreviewParts& parts) {
    if (pages.Wanted()) {
      preview = AssemblePreview(document, parts);
    } else if (out_file) {
      written = WriteFile(*out_file, parts);
    } else {
      WritePreview(std::cout, parts);
    }
  };
  std::optional<render::PreviewInput> laid_out;  // builder 1 hands its collections on as they are
  bool all_built = true;
  if (builder_number == 1) {
    CPreviewBuilder builder;
    builder.Init(launch_properties);
    builder.ResetQueue();
    for (const xml::Node& report : reports) builder.AddReport(report);
    {
      std::optional<ProgressLine> line;
      if (progress) line.emplace(builder);
      builder.CreatePreview();
    }
    PreviewParts parts;
    parts.format = builder.EvaluatedFormat();
    parts.page_setups = builder.PageThrows();
    parts.kept_sections = builder.KeepSections();
    parts.body_fillers = builder.SpaceFillersBody();
    parts.header_fillers = builder.SpaceFillersHeaders();
    parts.footer_fillers = builder.SpaceFillersFooters();
    parts.headers = builder.PreviewHeaders()->GetAsXML("Headers");
    parts.footers = builder.PreviewFooters()->GetAsXML("Footers");
    parts.references = render::ReferenceIndex(document, *builder.RefIndex());
    parts.drill_keys = builder.DrillDownObject()->DrillKeys();
    if (pages.Wanted()) {
      if (out_file) deliver(parts);  // the layout reads the builder itself
      laid_out = render::PreviewOfBuilder(builder, bookmark_definitions);
    }
    for (const Error& failure : builder.BuildFailures()) {
      std::cerr << "orvo preview: error " << failure.Number() << " (" << failure.Source()
                << "): " << failure.Description() << "\n";
    }
    if (!pages.Wanted()) deliver(parts);
    all_built = builder.BuildFailures().empty();
  } else if (builder_number == 2) {
    CPreviewBuilder2 builder;
    builder.Init(launch_properties);
    all_built = BuildEach(builder, reports, progress);
    PreviewParts parts;
    parts.format = builder.EvaluatedFormat();
    if (parts.format) {
      parts.page_setups = builder.PageThrows();
      parts.kept_sections = builder.KeepSections();
      parts.body_fillers = builder.SpaceFillersBody();
      parts.headers = builder.PreviewHeaders()->GetAsXML("Headers");
      parts.footers = builder.PreviewFooters()->GetAsXML("Footers");
      AddDetails(parts, builder.evaluator());
    }
    deliver(parts);
  } else {
    CPreviewBuilder3 builder;
    builder.Init(launch_properties);
    all_built = BuildEach(builder, reports, progress);
    auto results = std::dynamic_pointer_cast<ExternalEvaluator>(builder.evaluator());
    if (!results) {
      std::cerr << "orvo preview: the evaluator of builder 3 hands out no results\n";
      return 1;
    }
    PreviewParts parts = ResultsOfEvaluator(*results);
    if (parts.format) AddDetails(parts, builder.evaluator());
    deliver(parts);
  }

  if (pages.Wanted()) {
    if (!laid_out) {
      laid_out = render::ReadPreviewXml(preview);
      render::AddNoteTexts(*laid_out, bookmark_definitions);
    }
    const std::size_t count = WritePages(*laid_out, pages, "preview");
    std::cout << count << (count == 1 ? " page\n" : " pages\n");
  }
  if (pages.Wanted() && out_file) written = WriteFile(*out_file, preview);
  if (!written) return 1;
  return all_built ? 0 : 1;
}

}  // namespace orvo::cli
