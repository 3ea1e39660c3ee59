// orvo check: parses every formula of every format of a workspace and every
// print condition of every report definition, and lists the messages. Run it
// before publishing a report book.
#include <iostream>
#include <map>
#include <string_view>

#include "command.h"
#include "orvo/error.h"
#include "orvo/parser.h"
#include "orvo/providers.h"
#include "orvo/xml.h"

namespace orvo::cli {
namespace {

// The text without the spaces around it, as formulas are read.
std::string_view TrimSpaces(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool EqualsAsciiIgnoringCase(std::string_view text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) != upper[i]) return false;
  }
  return true;
}

class WorkspaceChecker {
 public:
  // Parses one formula text; prints "PLACE: message" per message.
  void Check(const std::string& place, const std::string& text) {
    const std::string_view trimmed = TrimSpaces(text);
    if (trimmed.empty() || (trimmed.front() != '=' && trimmed.find('{') == std::string::npos)) {
      return;
    }
    ++m_formulas;
    m_parser.TokenFromString(text);
    xml::NodeList messages = m_parser.ErrorCollection().ChildNodes();
    if (messages.Empty()) return;
    ++m_with_errors;
    for (const xml::Node& message : messages) {
      std::cout << place << ": " << message.AttributeOr("Desc", "") << "\n";
    }
    if (text.size() > kLongestFormula) std::cout << place << ": " << kFormulaTooLong << "\n";
  }

  // A print condition is TRUE, FALSE, empty or a formula; any other text is
  // no condition at all (the entry always prints), which is worth a line.
  void CheckCondition(const std::string& place, const std::string& text) {
    const std::string_view condition = TrimSpaces(text);
    if (condition.empty() || EqualsAsciiIgnoringCase(condition, "TRUE") ||
        EqualsAsciiIgnoringCase(condition, "FALSE")) {
      return;
    }
    if (condition.front() != '=' && condition.find('{') == std::string_view::npos) {
      ++m_formulas;
      ++m_with_errors;
      std::cout << place << ": print condition is not a formula, so the entry always prints\n";
      return;
    }
    Check(place, text);
  }

  void CheckFormat(const xml::Node& format) {
    const std::string key = format.AttributeOr("Key", format.AttributeOr("Name", "?"));
    for (const xml::Node& item : format.SelectNodes(".//Itm")) {
      // The item's value (its formula or text) is its fourth attribute.
      xml::Node value = item.Attributes().Item(3);
      if (!value) continue;
      Check(key + "!" +
                item.AttributeOr(
                    "Key", "R" + item.AttributeOr("Row", "?") + "C" + item.AttributeOr("Col", "?")),
            value.Text());
    }
  }

  // Walks a report or group definition; positions of the children give their
  // meaning (lists of groups, headers, bodies, footers; print conditions).
  void CheckDefinition(const std::string& report, const xml::Node& node, const std::string& path) {
    std::map<std::string, int> seen;
    for (const xml::Node& child : node.ChildNodes()) {
      if (child.Type() != xml::NodeType::kElement) continue;
      const std::string name = child.Name();
      const std::string child_path =
          (path.empty() ? "" : path + "/") + name + std::to_string(++seen[name]);
      if (name == "Grp") {
        if (xml::Node condition = NthElement(child, 5))
          CheckCondition(report + "!" + child_path, condition.Text());
        CheckDefinition(report, child, child_path);
      } else if (name == "Hdr" || name == "Ftr" || name == "Bdy") {
        const std::string label = child_path + " (" + child.AttributeOr("Name", "") + ")";
        if (xml::Node condition = NthElement(child, 1))
          CheckCondition(report + "!" + label, condition.Text());
        if (xml::Node inline_format = NthElement(child, 5)) CheckFormat(inline_format);
      } else if (name == "BSec") {
        if (xml::Node condition = NthElement(child, 2))
          CheckCondition(report + "!" + child_path, condition.Text());
        CheckDefinition(report, child, child_path);
      } else if (child.HasChildNodes()) {
        CheckDefinition(report, child, path);  // a list container: only its children count
      }
    }
  }

  int Summarise() const {
    std::cout << m_formulas << " formulas, " << m_with_errors << " with errors\n";
    return m_with_errors == 0 ? 0 : 1;
  }

 private:
  static xml::Node NthElement(const xml::Node& parent, std::size_t position) {
    std::size_t index = 0;
    for (const xml::Node& child : parent.ChildNodes()) {
      if (child.Type() == xml::NodeType::kElement && ++index == position) return child;
    }
    return {};
  }

  cParser m_parser;
  std::size_t m_formulas = 0;
  std::size_t m_with_errors = 0;
};

}  // namespace

int RunCheckCommand(const Arguments& args) {
  if (args.size() != 1 || args[0].rfind("--", 0) == 0) {
    throw UsageError("give exactly one WORKSPACE folder");
  }
  xml::Document document = xml::Document::Create();
  const xml::Node launch_properties = LaunchPropertiesFor(document, args[0]);
  WorkspaceChecker checker;
  cParser init;
  init.Init(launch_properties);

  // The workspace's libraries and formats, read through the registered
  // components as any host reads them.
  std::shared_ptr<IStoreContext> store = OpenCheckedWorkspace(launch_properties);
  auto formats = ComponentRegistry::CreateAs<IFormatProvider>(kFormatProviderId);
  formats->Init(launch_properties);
  for (const xml::Node& format : store->FormatLibrary().SelectNodes(".//Fmt")) {
    // A stub in the library stands for the full format the provider keeps.
    xml::Node full =
        format.HasChildNodes() ? format : formats->GetFormat(format.AttributeOr("Key", ""));
    if (full) checker.CheckFormat(full);
  }
  for (const xml::Node& report : store->ReportLibrary().SelectNodes("Rep")) {
    checker.CheckDefinition(report.AttributeOr("Key", "?"), report, "");
  }
  return checker.Summarise();
}

}  // namespace orvo::cli
