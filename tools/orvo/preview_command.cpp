// orvo preview: builds report definitions of a workspace and prints the
// evaluated preview with everything a host paginates it with.
#include <chrono>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>

#include "command.h"
#include "orvo/preview_builder.h"
#include "orvo/providers.h"
#include "orvo/xml.h"
#include "page_output.h"
#include "render/builder_preview.h"

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

// The XML with one element per line, children indented by two blanks.
void WriteIndented(std::ostream& out, const xml::Node& node, int depth) {
  const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
  std::string start = "<" + node.Name();
  const xml::NamedNodeMap attributes = node.Attributes();
  for (std::size_t i = 0; i < attributes.Length(); ++i) {
    const xml::Node attribute = attributes.Item(i);
    start += " " + attribute.Name() + "=\"" + xml::Escape(attribute.Text()) + "\"";
  }
  bool has_elements = false;
  std::string text;
  for (xml::Node child = node.FirstChild(); child; child = child.NextSibling()) {
    if (child.Type() == xml::NodeType::kElement) {
      has_elements = true;
    } else if (child.Type() == xml::NodeType::kText || child.Type() == xml::NodeType::kCData) {
      text += child.Text();
    }
  }
  if (!has_elements) {
    if (text.empty()) {
      out << indent << start << "/>\n";
    } else {
      out << indent << start << ">" << xml::Escape(text) << "</" << node.Name() << ">\n";
    }
    return;
  }
  out << indent << start << ">\n";
  for (xml::Node child = node.FirstChild(); child; child = child.NextSibling()) {
    if (child.Type() == xml::NodeType::kElement) WriteIndented(out, child, depth + 1);
  }
  out << indent << "</" << node.Name() << ">\n";
}

// A live line on standard error: the format being evaluated, its progress
// and the report's.
class ProgressLine {
 public:
  explicit ProgressLine(CPreviewBuilder& builder) {
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

}  // namespace

int RunPreviewCommand(const Arguments& args) {
  if (args.empty() || args[0].rfind("--", 0) == 0) throw UsageError("give the WORKSPACE folder");
  const std::string workspace = args[0];
  std::vector<QueueEntry> queue;
  std::optional<std::string> out_file;
  PageOutput pages;
  bool titled = false;
  bool progress = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if ((arg == "--report" || arg == "--fav") && i + 1 < args.size()) {
      queue.push_back({arg == "--fav", args[++i]});
    } else if (arg == "--out" && i + 1 < args.size()) {
      out_file = args[++i];
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
  CPreviewBuilder builder;
  builder.Init(launch_properties);
  builder.ResetQueue();
  if (queue.empty()) queue.push_back({false, ""});  // the library's first report
  for (const QueueEntry& entry : queue) {
    if (entry.favourite) {
      xml::Node favourite = document.CreateElement("Fav");
      favourite.SetAttribute("Rep", entry.key);
      builder.AddReport(favourite);
      continue;
    }
    const xml::Node stored = StoredReport(library, entry.key);
    if (stored && !titled) pages.title = stored.AttributeOr("Name", pages.title);
    if (!stored) {
      std::cerr << "orvo preview: the workspace has no report "
                << (entry.key.empty() ? std::string("at all") : entry.key) << "\n";
      return 1;
    }
    builder.AddReport(document.ImportNode(stored, true));
  }
  {
    std::optional<ProgressLine> line;
    if (progress) line.emplace(builder);
    builder.CreatePreview();
  }

  xml::Node preview = document.CreateElement("Preview");
  preview.AppendChild(OrEmpty(document, builder.EvaluatedFormat(), "Fmt"));
  preview.AppendChild(OrEmpty(document, builder.PageThrows(), "PgBks"));
  preview.AppendChild(OrEmpty(document, builder.KeepSections(), "KpSections"));
  preview.AppendChild(OrEmpty(document, builder.SpaceFillersBody(), "SpFs"));
  preview.AppendChild(OrEmpty(document, builder.SpaceFillersHeaders(), "SpFsH"));
  preview.AppendChild(OrEmpty(document, builder.SpaceFillersFooters(), "SpFsF"));
  preview.AppendChild(document.ImportNode(builder.PreviewHeaders()->GetAsXML("Headers"), true));
  preview.AppendChild(document.ImportNode(builder.PreviewFooters()->GetAsXML("Footers"), true));
  preview.AppendChild(render::ReferenceIndex(document, *builder.RefIndex()));
  preview.AppendChild(OrEmpty(document, builder.DrillDownObject()->DrillKeys(), "DrillKeys"));

  if (pages.Wanted()) {
    const std::size_t count = WritePages(
        render::PreviewOfBuilder(builder, store ? store->BookmarkDefinitions() : xml::Node()),
        pages, "preview");
    std::cout << count << (count == 1 ? " page\n" : " pages\n");
  }
  if (out_file) {
    std::ofstream file(*out_file, std::ios::binary);
    if (!file) {
      std::cerr << "orvo preview: cannot write " << *out_file << "\n";
      return 1;
    }
    WriteIndented(file, preview, 0);
  } else if (!pages.Wanted()) {
    WriteIndented(std::cout, preview, 0);
  }
  for (const Error& failure : builder.BuildFailures()) {
    std::cerr << "orvo preview: error " << failure.Number() << " (" << failure.Source()
              << "): " << failure.Description() << "\n";
  }
  return builder.BuildFailures().empty() ? 0 : 1;
}

}  // namespace orvo::cli
