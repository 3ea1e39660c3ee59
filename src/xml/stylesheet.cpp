#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include "orvo/error.h"
#include "xml/arena.h"
#include "xml/libxml.h"
#include "xml/tree_edit.h"

namespace orvo::xml {

using detail::Arena;
using detail::RaiseXml;
using detail::ToRaw;
using detail::ToXml;

namespace {

constexpr const char* kXsltNamespace = "http://www.w3.org/1999/XSL/Transform";

struct DocDeleter {
  void operator()(xmlDocPtr document) const {
    detail::NoteDocumentFreed();
    xmlFreeDoc(document);
  }
};
using OwnedDoc = std::unique_ptr<xmlDoc, DocDeleter>;

struct TransformContextDeleter {
  void operator()(xsltTransformContextPtr context) const { xsltFreeTransformContext(context); }
};
struct SecurityPrefsDeleter {
  void operator()(xsltSecurityPrefsPtr prefs) const { xsltFreeSecurityPrefs(prefs); }
};

// A scratch document holding a copy of `node` (libxslt transforms whole
// documents, and a copy keeps the caller's tree untouched by the transform).
OwnedDoc ScratchCopy(xmlNodePtr node) {
  if (node->type == XML_DOCUMENT_NODE) {
    OwnedDoc copy(xmlCopyDoc(reinterpret_cast<xmlDocPtr>(node), 1));
    if (!copy) RaiseXml("The document could not be copied for the transform");
    return copy;
  }
  if (node->type != XML_ELEMENT_NODE) RaiseXml("Only documents and elements can be transformed");
  OwnedDoc scratch(xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0")));
  xmlNodePtr copy = xmlDocCopyNode(node, scratch.get(), 1);
  if (!copy) RaiseXml("The node could not be copied for the transform");
  xmlDocSetRootElement(scratch.get(), copy);
  return scratch;
}

// Refuses stylesheets that pull in other stylesheets: includes and imports
// would be read from files regardless of the per-transform security settings.
void RejectIncludes(xmlNodePtr root) {
  std::vector<xmlNodePtr> pending{root};
  while (!pending.empty()) {
    xmlNodePtr node = pending.back();
    pending.pop_back();
    if (node->type != XML_ELEMENT_NODE) continue;
    if (node->ns && detail::FromXmlChars(node->ns->href) == kXsltNamespace) {
      std::string name = detail::FromXmlChars(node->name);
      if (name == "include" || name == "import") {
        RaiseXml("Stylesheets may not include or import other stylesheets");
      }
    }
    for (xmlNodePtr child = node->children; child; child = child->next) pending.push_back(child);
  }
}

}  // namespace

struct Stylesheet::Compiled {
  explicit Compiled(xsltStylesheetPtr compiled) : style(compiled) {}
  ~Compiled() {
    detail::NoteDocumentFreed();  // the stylesheet's document goes with it
    xsltFreeStylesheet(style);
  }
  Compiled(const Compiled&) = delete;
  Compiled& operator=(const Compiled&) = delete;
  xsltStylesheetPtr style;
};

Stylesheet::Stylesheet(std::unique_ptr<Compiled> compiled) : m_compiled(std::move(compiled)) {}
Stylesheet::Stylesheet(Stylesheet&&) noexcept = default;
Stylesheet& Stylesheet::operator=(Stylesheet&&) noexcept = default;
Stylesheet::~Stylesheet() = default;

namespace {
std::unique_ptr<Stylesheet::Compiled> CompileDocument(OwnedDoc document) {
  xmlNodePtr root = xmlDocGetRootElement(document.get());
  if (!root) RaiseXml("The stylesheet is empty");
  RejectIncludes(root);
  // No base URL: document('') and relative references have nothing to resolve against.
  xsltStylesheetPtr style = xsltParseStylesheetDoc(document.get());
  if (!style) RaiseXml("The stylesheet is not valid XSLT 1.0");
  document.release();  // owned by the compiled stylesheet from here on
  auto compiled = std::make_unique<Stylesheet::Compiled>(style);
  if (style->errors > 0) RaiseXml("The stylesheet is not valid XSLT 1.0");
  return compiled;
}
}  // namespace

Stylesheet Stylesheet::Compile(const Node& stylesheet) {
  stylesheet.RequireNode();
  detail::EnsureLibraryReady();
  return Stylesheet(CompileDocument(ScratchCopy(ToXml(stylesheet.Raw()))));
}

Stylesheet Stylesheet::Compile(std::string_view text) {
  Document parsed = Document::Parse(text, true);
  return Compile(parsed);
}

namespace {

// Runs the transform with every file and network access forbidden.
OwnedDoc Apply(const Stylesheet& stylesheet, xmlNodePtr source_node) {
  detail::EnsureLibraryReady();
  OwnedDoc source = ScratchCopy(source_node);
  xsltStylesheetPtr style = stylesheet.Get().style;
  std::unique_ptr<xsltTransformContext, TransformContextDeleter> context(
      xsltNewTransformContext(style, source.get()));
  std::unique_ptr<xsltSecurityPrefs, SecurityPrefsDeleter> prefs(xsltNewSecurityPrefs());
  if (!context || !prefs) RaiseXml("Out of memory preparing a transform");
  for (xsltSecurityOption option :
       {XSLT_SECPREF_READ_FILE, XSLT_SECPREF_WRITE_FILE, XSLT_SECPREF_CREATE_DIRECTORY,
        XSLT_SECPREF_READ_NETWORK, XSLT_SECPREF_WRITE_NETWORK}) {
    xsltSetSecurityPrefs(prefs.get(), option, xsltSecurityForbid);
  }
  xsltSetCtxtSecurityPrefs(prefs.get(), context.get());
  OwnedDoc result(
      xsltApplyStylesheetUser(style, source.get(), nullptr, nullptr, nullptr, context.get()));
  if (!result || context->state != XSLT_STATE_OK) {
    RaiseXml("The transform failed (a stylesheet may not read or write files or the network)");
  }
  return result;
}

}  // namespace

std::string Node::TransformNode(const Stylesheet& stylesheet) const {
  RequireNode();
  OwnedDoc result = Apply(stylesheet, ToXml(m_node));
  xmlChar* text = nullptr;
  int length = 0;
  if (xsltSaveResultToString(&text, &length, result.get(), stylesheet.Get().style) != 0) {
    RaiseXml("The transform result could not be serialised");
  }
  std::string out =
      text ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length))
           : std::string();
  xmlFree(text);
  return out;
}

std::string Node::TransformNode(const Node& stylesheet) const {
  return TransformNode(Stylesheet::Compile(stylesheet));
}

void Node::TransformNodeToObject(const Stylesheet& stylesheet, Document& output) const {
  RequireNode();
  output.RequireNode();
  OwnedDoc result = Apply(stylesheet, ToXml(m_node));
  detail::ReplaceDocumentContent(Arena::Owner(output.m_arena), result.get(),
                                 reinterpret_cast<xmlDocPtr>(ToXml(output.Raw())));
}

void Node::TransformNodeToObject(const Node& stylesheet, Document& output) const {
  TransformNodeToObject(Stylesheet::Compile(stylesheet), output);
}

}  // namespace orvo::xml
