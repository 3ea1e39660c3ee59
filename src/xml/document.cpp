#include <climits>
#include <vector>

#include "orvo/error.h"
#include "xml/arena.h"
#include "xml/fast_parser.h"
#include "xml/libxml.h"
#include "xml/tree_edit.h"
#include "xml/valid_text.h"

namespace orvo::xml {

using detail::Arena;
using detail::FromXmlChars;
using detail::RaiseXml;
using detail::ToRaw;
using detail::ToXml;

namespace {

struct ParserContextDeleter {
  void operator()(xmlParserCtxtPtr context) const { xmlFreeParserCtxt(context); }
};

bool IsBlank(const xmlChar* text) {
  if (!text) return true;
  for (; *text; ++text) {
    if (*text != ' ' && *text != '\t' && *text != '\r' && *text != '\n') return false;
  }
  return true;
}

bool PreservesSpace(xmlNodePtr element) { return xmlNodeGetSpacePreserve(element) == 1; }

// Drops whitespace-only text between elements, as the object model does by
// default, except under xml:space="preserve".
void StripBlankText(xmlNodePtr parent) {
  std::vector<xmlNodePtr> pending{parent};
  while (!pending.empty()) {
    xmlNodePtr node = pending.back();
    pending.pop_back();
    if (node->type == XML_ELEMENT_NODE && PreservesSpace(node)) continue;
    xmlNodePtr child = node->children;
    while (child) {
      xmlNodePtr next = child->next;
      if (child->type == XML_TEXT_NODE && IsBlank(child->content)) {
        xmlUnlinkNode(child);
        xmlFreeNode(child);
      } else if (child->type == XML_ELEMENT_NODE) {
        pending.push_back(child);
      }
      child = next;
    }
  }
}

// Whether the parser may leave out whitespace-only text between elements
// itself, sparing the nodes StripBlankText would free: it leaves out less
// than that walk does, the same under xml:space="preserve", but not the same
// where an element inside a preserving one says xml:space="default".
bool DropsBlanksWhileParsing(std::string_view text, bool preserve_whitespace) {
  return !preserve_whitespace && text.find("xml:space") == std::string_view::npos;
}

// Parses text into a new libxml2 document. No network, no external entity or
// DTD loads (the process-wide loader refuses them as well). Short texts and
// attribute values are kept inside their nodes (compact mode), which the
// facade's edits handle. With a `pool` (of the arena that will adopt the
// document), what the fast parser takes is built of pooled nodes, and holds
// no blank text to drop.
xmlDocPtr ParseText(std::string_view text, bool preserve_whitespace,
                    detail::NodePool* pool = nullptr) {
  detail::EnsureLibraryReady();
  if (text.size() > static_cast<std::size_t>(INT_MAX)) RaiseXml("XML text is too large");
  const bool drops_blanks = DropsBlanksWhileParsing(text, preserve_whitespace);
  if (xmlDocPtr document = detail::FastParse(text, preserve_whitespace, drops_blanks, pool)) {
    if (pool) return document;
    if (!preserve_whitespace) StripBlankText(reinterpret_cast<xmlNodePtr>(document));
    return document;
  }
  std::unique_ptr<xmlParserCtxt, ParserContextDeleter> context(xmlNewParserCtxt());
  if (!context) RaiseXml("Out of memory creating an XML parser");
  xmlDocPtr document =
      xmlCtxtReadMemory(context.get(), text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING |
                            XML_PARSE_COMPACT | (drops_blanks ? XML_PARSE_NOBLANKS : 0));
  if (!document || !context->wellFormed) {
    if (document) {
      detail::NoteDocumentFreed();
      xmlFreeDoc(document);
    }
    const xmlError* error = xmlCtxtGetLastError(context.get());
    std::string description = "Malformed XML";
    int number = 1;
    if (error) {
      number = error->code;
      description +=
          " at line " + std::to_string(error->line) + ", column " + std::to_string(error->int2);
      if (error->message) {
        std::string message = error->message;
        while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
          message.pop_back();
        }
        description += ": " + message;
      }
    }
    RaiseXml(description, number);
  }
  if (!preserve_whitespace) StripBlankText(reinterpret_cast<xmlNodePtr>(document));
  return document;
}

Document WrapNewDocument(xmlDocPtr document) {
  detail::ArenaRef arena = Arena::Make();
  Arena::Owner(arena).AdoptDocument(document);
  return Document(Node(std::move(arena), ToRaw(document)));
}

xmlDocPtr AsDocument(detail::RawNode* node) { return reinterpret_cast<xmlDocPtr>(ToXml(node)); }

}  // namespace

Document::Document(const Node& document_node) : Node(document_node) {
  if (m_node && Type() != NodeType::kDocument) RaiseXml("The node is not a document");
}

Document Document::Create() {
  detail::EnsureLibraryReady();
  xmlDocPtr document = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
  if (!document) RaiseXml("Out of memory creating a document");
  detail::MarkPure(document);
  return WrapNewDocument(document);
}

Document Document::Parse(std::string_view text, bool preserve_whitespace) {
  // The arena first: the fast parser takes the nodes from its pool.
  detail::ArenaRef arena = Arena::Make();
  Arena& owner = Arena::Owner(arena);
  xmlDocPtr document = ParseText(text, preserve_whitespace, &owner.Pool());
  owner.AdoptDocument(document);
  return Document(Node(std::move(arena), ToRaw(document)));
}

void Document::LoadXml(std::string_view text, bool preserve_whitespace) {
  RequireNode();
  xmlDocPtr parsed = ParseText(text, preserve_whitespace);
  detail::ReplaceDocumentContent(Arena::Owner(m_arena), parsed, AsDocument(m_node));
  detail::NoteDocumentFreed();
  xmlFreeDoc(parsed);
}

Node Document::DocumentElement() const {
  RequireNode();
  xmlNodePtr root = xmlDocGetRootElement(AsDocument(m_node));
  return root ? Node(m_arena, ToRaw(root)) : Node();
}

void Document::SetDocumentElement(const Node& element) {
  Node current = DocumentElement();
  if (current) {
    ReplaceChild(element, current);
  } else {
    AppendChild(element);
  }
}

namespace {
Node NewDetached(const detail::ArenaRef& arena, xmlNodePtr node, const std::string& name) {
  if (!node) RaiseXml("The node could not be created: " + name);
  Arena::Owner(arena).AddDetached(node);
  return Node(arena, ToRaw(node));
}
}  // namespace

Node Document::CreateElement(std::string_view name) const {
  RequireNode();
  std::string owned(name);
  if (xmlValidateName(detail::ToXmlChars(owned), 0) != 0)
    RaiseXml("Invalid element name: " + owned);
  Arena& arena = Arena::Owner(m_arena);
  arena.NoteGrowth(AsDocument(m_node));
  return NewDetached(m_arena, detail::NewUnlinkedElement(arena.Pool(), AsDocument(m_node), owned),
                     owned);
}

Node Document::CreateAttribute(std::string_view name) const {
  RequireNode();
  std::string owned(name);
  if (xmlValidateName(detail::ToXmlChars(owned), 0) != 0)
    RaiseXml("Invalid attribute name: " + owned);
  Arena& arena = Arena::Owner(m_arena);
  arena.NoteGrowth(AsDocument(m_node));
  xmlAttrPtr attr = detail::NewUnlinkedAttribute(arena.Pool(), AsDocument(m_node), owned);
  return NewDetached(m_arena, reinterpret_cast<xmlNodePtr>(attr), owned);
}

Node Document::CreateTextNode(std::string_view text) const {
  RequireNode();
  return NewDetached(m_arena,
                     detail::NewTextNode(Arena::Owner(m_arena).Pool(), AsDocument(m_node), text),
                     "#text");
}

Node Document::ImportNode(const Node& node, bool deep) const {
  RequireNode();
  if (!node) return {};
  xmlNodePtr source = ToXml(node.Raw());
  if (source->type == XML_DOCUMENT_NODE) {
    source = xmlDocGetRootElement(reinterpret_cast<xmlDocPtr>(source));
    if (!source) return {};
  }
  Arena& arena = Arena::Owner(m_arena);
  arena.NoteGrowth(AsDocument(m_node));
  // A node of this very document is of the same pool: the copy shares texts.
  xmlNodePtr copy = detail::CopyNode(arena.Pool(), source, AsDocument(m_node), deep,
                                     source->doc == AsDocument(m_node));
  arena.AddDetached(copy);
  return Node(m_arena, ToRaw(copy));
}

std::size_t NamedNodeMap::Length() const {
  std::size_t count = 0;
  if (m_element && m_element.Type() == NodeType::kElement) {
    for (xmlAttrPtr attr = ToXml(m_element.Raw())->properties; attr; attr = attr->next) ++count;
  }
  return count;
}

Node NamedNodeMap::Wrap(detail::RawNode* attr) const {
  return attr ? Node(m_element.m_arena, attr) : Node();
}

Node NamedNodeMap::Item(std::size_t index) const {
  if (!m_element || m_element.Type() != NodeType::kElement) return {};
  xmlAttrPtr attr = ToXml(m_element.Raw())->properties;
  for (; attr && index > 0; --index) attr = attr->next;
  return Wrap(ToRaw(attr));
}

Node NamedNodeMap::GetNamedItem(std::string_view name) const {
  if (!m_element) return {};
  return Wrap(ToRaw(detail::FindAttribute(ToXml(m_element.Raw()), name)));
}

Node NamedNodeMap::SetNamedItem(const Node& attribute) {
  m_element.RequireNode();
  attribute.RequireNode();
  xmlNodePtr element = ToXml(m_element.Raw());
  xmlNodePtr incoming = ToXml(attribute.Raw());
  if (element->type != XML_ELEMENT_NODE) RaiseXml("Only elements have attributes");
  if (incoming->type != XML_ATTRIBUTE_NODE) RaiseXml("Only attributes can be set as named items");
  if (incoming->parent == element) return {};
  if (incoming->parent)
    RaiseXml("The attribute belongs to another element; remove or clone it first");
  xmlAttrPtr attr = reinterpret_cast<xmlAttrPtr>(incoming);
  std::string name = FromXmlChars(attr->name);
  if (attr->ns && attr->ns->prefix) name = FromXmlChars(attr->ns->prefix) + ":" + name;
  xmlAttrPtr replaced = detail::FindAttribute(element, name);
  Arena::Owner(attribute.m_arena).RemoveDetached(incoming);
  Arena::Merge(attribute.m_arena, m_element.m_arena);
  try {
    detail::AdoptInto(Arena::Owner(m_element.m_arena).Pool(), incoming, element->doc, element);
  } catch (...) {
    Arena::Owner(m_element.m_arena).AddDetached(incoming);
    throw;
  }
  detail::LinkAttribute(element, attr, replaced);
  if (!replaced) return {};
  Node old = Wrap(ToRaw(replaced));
  Arena::Owner(m_element.m_arena).AddDetached(reinterpret_cast<xmlNodePtr>(replaced));
  return old;
}

Node NamedNodeMap::RemoveNamedItem(std::string_view name) {
  m_element.RequireNode();
  xmlAttrPtr attr = detail::FindAttribute(ToXml(m_element.Raw()), name);
  if (!attr) return {};
  Node removed = Wrap(ToRaw(attr));
  detail::Detach(Arena::Owner(m_element.m_arena), reinterpret_cast<xmlNodePtr>(attr));
  return removed;
}

std::string Escape(std::string_view raw_text) {
  detail::ValidText valid(raw_text);
  std::string_view text = valid.View();
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\r':
        out += "&#13;";
        break;
      case '\n':
        out += "&#10;";
        break;
      case '\t':
        out += "&#9;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace orvo::xml
