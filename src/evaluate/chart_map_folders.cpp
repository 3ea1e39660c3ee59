#include "evaluate/chart_map_folders.h"

#include <deque>
#include <unordered_set>

#include "frame/driver_cache.h"
#include "frame/provider_access.h"
#include "frame/text.h"

namespace orvo {
namespace {

bool EndsWithIgnoreCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsIgnoreCase(text.substr(text.size() - suffix.size()), suffix);
}

// Range permissions: a missing or unreadable one allows that side.
bool Allows(const xml::Node& range, const char* side) {
  const std::string text = UpperCase(Trim(range.AttributeOr(side, "")));
  return !(text == "0" || text == "FALSE" || text == "NO");
}

std::string RangeIdentity(const xml::Node& range) {
  return range.AttributeOr("Name", "") + '\x1f' + range.AttributeOr("Credit", "") + '\x1f' +
         range.AttributeOr("Debit", "");
}

xml::Node ChildNamed(const xml::Node& parent, std::string_view name) {
  for (xml::Node child = parent.FirstChild(); child; child = child.NextSibling()) {
    if (child.Type() == xml::NodeType::kElement && child.Name() == name) return child;
  }
  return {};
}

}  // namespace

FolderReference ParseFolderReference(std::string_view text) {
  text = Trim(text);
  if (text.size() >= 3 && EqualsIgnoreCase(text.substr(0, 3), "CM.")) text.remove_prefix(3);
  FolderReference reference;
  struct Suffix {
    std::string_view text;
    FolderRestriction restriction;
  };
  constexpr Suffix kSuffixes[] = {{".CR", FolderRestriction::kCredit},
                                  {".DR", FolderRestriction::kDebit},
                                  {".TCR", FolderRestriction::kTotalCredit},
                                  {".TDR", FolderRestriction::kTotalDebit}};
  for (const Suffix& suffix : kSuffixes) {
    if (EndsWithIgnoreCase(text, suffix.text)) {
      text.remove_suffix(suffix.text.size());
      reference.restriction = suffix.restriction;
      break;
    }
  }
  reference.key = UpperCase(text);
  return reference;
}

const char* RestrictionText(FolderRestriction restriction) {
  switch (restriction) {
    case FolderRestriction::kNone:
      return "";
    case FolderRestriction::kCredit:
      return "CR";
    case FolderRestriction::kDebit:
      return "DR";
    case FolderRestriction::kTotalCredit:
      return "TCR";
    case FolderRestriction::kTotalDebit:
      return "TDR";
  }
  return "";
}

std::string NormalizedCode(std::string_view code, std::string_view splitter) {
  std::string normal = UpperCase(Trim(code));
  if (splitter.empty()) return normal;
  const std::string doubled = std::string(splitter) + std::string(splitter);
  for (std::size_t at = normal.find(doubled); at != std::string::npos;
       at = normal.find(doubled, at)) {
    normal.erase(at, splitter.size());
  }
  if (normal.size() >= splitter.size() &&
      normal.compare(normal.size() - splitter.size(), splitter.size(), splitter) == 0) {
    normal.erase(normal.size() - splitter.size());
  }
  return normal;
}

std::string ChartMapFolders::Splitter() {
  if (!m_splitter) {
    m_splitter = std::string();
    const xml::Node structure = AccountCodeStructure();
    for (xml::Node segment = structure ? structure.FirstChild() : xml::Node(); segment;
         segment = segment.NextSibling()) {
      if (segment.Type() != xml::NodeType::kElement) continue;
      const std::string splitter = segment.AttributeOr("DDKFieldAccountCodeSplitter", "");
      if (!splitter.empty()) {
        m_splitter = splitter;
        break;
      }
    }
  }
  return *m_splitter;
}

xml::Node ChartMapFolders::Folder(const std::string& key) {
  const xml::Node chart_map = GetStoreContext()->ChartMapDefinitions();
  if (!(chart_map == m_chart_map)) {
    m_chart_map = chart_map;
    m_folders.clear();
    if (chart_map) {
      // One walk indexes every folder; the first folder with a key wins, as
      // "//Folder[ItemKey=...]" selects it.
      for (const xml::Node& folder : chart_map.SelectNodes(".//Folder")) {
        const xml::Node item_key = ChildNamed(folder, "ItemKey");
        if (item_key) m_folders.emplace(UpperCase(Trim(item_key.Text())), folder);
      }
    }
  }
  auto found = m_folders.find(key);
  return found == m_folders.end() ? xml::Node() : found->second;
}

xml::Node ChartMapFolders::Expand(const std::string& key, const xml::Node& folder,
                                  const xml::Node& ranges_store) {
  xml::Document document = ranges_store.OwnerDocument();
  xml::Node entry = document.CreateElement("Itm");
  entry.SetAttribute("Key", key);
  xml::Node ranges = entry.AppendChild(document.CreateElement("Ranges"));
  xml::Node mappings = entry.AppendChild(document.CreateElement("Mappings"));

  std::unordered_set<std::string> taken_ranges;
  std::unordered_set<std::string> visited{key};
  std::unordered_set<std::string> taken_mappings;
  std::deque<xml::Node> pending{folder};
  while (!pending.empty()) {
    const xml::Node current = pending.front();
    pending.pop_front();
    for (const xml::Node& range : current.SelectNodes(".//Range")) {
      if (taken_ranges.insert(RangeIdentity(range)).second) {
        ranges.AppendChild(document.ImportNode(range, true));
      }
    }
    for (const xml::Node& mapping : current.SelectNodes(".//Mapping")) {
      const std::string name = UpperCase(Trim(mapping.AttributeOr("Name", "")));
      if (taken_mappings.insert(name).second) {
        mappings.AppendChild(document.ImportNode(mapping, true));
      }
      if (!visited.insert(name).second) continue;
      if (const xml::Node mapped = Folder(name)) pending.push_back(mapped);
    }
  }
  xml::Node store = ranges_store;
  return store.AppendChild(entry);
}

std::optional<std::vector<AccountRange>> ChartMapFolders::Ranges(const std::string& key,
                                                                 const xml::Node& ranges_store) {
  xml::Node entry = m_expanded.Find(ranges_store, key);
  if (!entry) {
    const xml::Node folder = Folder(key);
    if (!folder) return std::nullopt;
    entry = Expand(key, folder, ranges_store);
  }
  const std::string splitter = Splitter();
  std::vector<AccountRange> ranges;
  for (xml::Node range = ChildNamed(entry, "Ranges").FirstChild(); range;
       range = range.NextSibling()) {
    if (range.Type() != xml::NodeType::kElement) continue;
    std::string from = range.AttributeOr("From", "");
    std::string to = range.AttributeOr("To", "");
    if (Trim(from).empty()) {
      // A range written only as its name, "FROM:TO" or a single code.
      const std::string name = range.AttributeOr("Name", "");
      const std::size_t colon = name.find(':');
      from = name.substr(0, colon);
      to = colon == std::string::npos ? std::string() : name.substr(colon + 1);
    }
    AccountRange account_range;
    account_range.from = NormalizedCode(from, splitter);
    account_range.to = NormalizedCode(to, splitter);
    if (account_range.from.empty()) continue;
    account_range.stepping = std::string(Trim(range.AttributeOr("Step", "")));
    account_range.allow_credit = Allows(range, "Credit");
    account_range.allow_debit = Allows(range, "Debit");
    ranges.push_back(std::move(account_range));
  }
  return ranges;
}

}  // namespace orvo
