// Writing an element of a given shape from another element, by moving the
// source's own nodes when nothing else can see them.
//
// A writer that turns each element of a large tree into a slimmer element
// of another document (fewer attributes, some renamed, fewer children) and
// then drops the source would allocate every kept attribute, its text node
// and its value again and free the old ones. Moving keeps them: the source
// element is unlinked, its attribute list is rebuilt from its own attribute
// nodes, and the children the shape keeps are relinked. Names stay valid
// because the target document keeps its names in the same dictionary
// (Document::CreateSharingNames); values (held inside their text nodes, in
// the dictionary or in buffers of their own) go with their nodes untouched.
//
// A move needs a subtree nobody else reaches: no handle but the one given
// (which the move takes over), no namespaces (whose declarations could live
// above it) and no IDs (which the source document indexes). Anything else is
// copied, with exactly the calls a copying writer makes.
#include <cstddef>
#include <string>
#include <vector>

#include "orvo/xml.h"
#include "xml/arena.h"
#include "xml/libxml.h"
#include "xml/tree_edit.h"

namespace orvo::xml {

using detail::Arena;
using detail::RaiseXml;
using detail::ToRaw;
using detail::ToXml;

Document Document::CreateSharingNames(const Node& other) {
  detail::EnsureLibraryReady();
  xmlDocPtr document = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
  if (!document) RaiseXml("Out of memory creating a document");
  detail::MarkPure(document);
  if (other) {
    xmlNodePtr node = ToXml(other.Raw());
    xmlDocPtr source = node->type == XML_DOCUMENT_NODE || node->type == XML_HTML_DOCUMENT_NODE
                           ? reinterpret_cast<xmlDocPtr>(node)
                           : node->doc;
    if (source && source->dict && xmlDictReference(source->dict) == 0) {
      document->dict = source->dict;
    }
  }
  detail::ArenaRef arena = Arena::Make();
  Arena::Owner(arena).AdoptDocument(document);
  return Document(Node(std::move(arena), ToRaw(document)));
}

namespace {

using Shape = Node::ElementShape;
using Copies = std::span<const Node::AttributeCopy>;

// Whether a node's name is `name` (not empty). Names of one list mostly
// differ in their first byte, which is compared before anything else.
inline bool NameEquals(const xmlChar* node_name, std::string_view name) {
  if (node_name[0] != static_cast<xmlChar>(name[0])) return false;
  const xmlChar* at = node_name + 1;
  for (std::size_t i = 1; i < name.size(); ++i, ++at) {
    if (*at != static_cast<xmlChar>(name[i])) return false;
  }
  return *at == '\0';
}

inline bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && (a.data() == b.data() || a == b);
}

// The next node after `node` in document order within the subtree of `root`,
// going down into elements only.
inline xmlNodePtr NextInSubtree(xmlNodePtr node, xmlNodePtr root) {
  if (node->type == XML_ELEMENT_NODE && node->children) return node->children;
  for (; node != root; node = node->parent) {
    if (node->next) return node->next;
  }
  return nullptr;
}

// The copying writer: AppendNewElement for the element and each child the
// shape keeps, in the shape's order.
Node WriteCopy(Node& parent, const Node& from, const Shape& shape) {
  Node element = parent.AppendNewElement(shape.name, from, shape.attributes);
  const auto for_each_child = [](const Node& of, std::string_view name, auto&& visit) {
    for (Node child = of.FirstChild(); child; child = child.NextSibling()) {
      if (child.Type() == NodeType::kElement && child.NameIs(name)) visit(child);
    }
  };
  for (const Shape& child : shape.children) {
    if (!child.gathered) {
      for_each_child(from, child.source,
                     [&](const Node& part) { WriteCopy(element, part, child); });
      continue;
    }
    Node gathered = element.AppendNewElement(child.name);
    for_each_child(from, child.source, [&](const Node& part) {
      for (const Shape& grandchild : child.children) {
        for_each_child(part, grandchild.source,
                       [&](const Node& run) { WriteCopy(gathered, run, grandchild); });
      }
    });
  }
  return element;
}

// Whether the subtree of `root` may be moved into `target`: `root` held by
// one handle only and nothing below it held, no namespace, no ID, attribute
// values of text only (an entity reference would be looked up in the
// document it names), and names that the target's dictionary either holds
// or never needs to free (a source without a dictionary).
bool Movable(xmlNodePtr root, xmlDocPtr target) {
  if (root->type != XML_ELEMENT_NODE || !root->doc || detail::HandleCount(root) != 1) return false;
  if (root->doc != target && root->doc->dict && root->doc->dict != target->dict) return false;
  for (xmlNodePtr node = root; node; node = NextInSubtree(node, root)) {
    if (node != root && detail::HandleCount(node) != 0) return false;
    if (node->type != XML_ELEMENT_NODE) continue;
    if (node->ns || node->nsDef) return false;
    for (xmlAttrPtr attr = node->properties; attr; attr = attr->next) {
      if (attr->ns || attr->atype == XML_ATTRIBUTE_ID ||
          detail::HandleCount(reinterpret_cast<xmlNodePtr>(attr)) != 0) {
        return false;
      }
      for (xmlNodePtr part = attr->children; part; part = part->next) {
        if (part->type != XML_TEXT_NODE || detail::HandleCount(part) != 0) return false;
      }
    }
  }
  return true;
}

// Points every node of the subtree of `root` at `target`.
void SetDocument(xmlNodePtr root, xmlDocPtr target) {
  for (xmlNodePtr node = root; node; node = NextInSubtree(node, root)) {
    node->doc = target;
    if (node->type != XML_ELEMENT_NODE) continue;
    for (xmlAttrPtr attr = node->properties; attr; attr = attr->next) {
      attr->doc = target;
      for (xmlNodePtr part = attr->children; part; part = part->next) part->doc = target;
    }
  }
}

// Renames an element or attribute of `document` (which the node already
// belongs to): the name is interned in its dictionary, or the node's own copy
// without one.
void Rename(detail::NodePool& pool, xmlNodePtr node, xmlDocPtr document, std::string_view name) {
  const std::string owned(name);
  const auto* text = reinterpret_cast<const xmlChar*>(owned.c_str());
  if (xmlValidateName(text, 0) != 0) {
    RaiseXml(
        (node->type == XML_ATTRIBUTE_NODE ? "Invalid attribute name: " : "Invalid element name: ") +
        owned);
  }
  const xmlChar* renamed =
      document->dict ? xmlDictLookup(document->dict, text, -1) : xmlStrdup(text);
  if (!renamed) RaiseXml("Out of memory creating a name");
  // A pooled node's own names are known to its pool.
  const bool pooled = detail::IsPooled(node);
  const xmlChar* old = node->name;
  if (old && (!document->dict || xmlDictOwns(document->dict, old) != 1)) {
    if (pooled) pool.ForgetString(old);
    xmlFree(const_cast<xmlChar*>(old));
  }
  if (pooled && !document->dict) pool.KeepString(renamed);
  node->name = renamed;
}

// Gives an attribute kept by a move one text node at most, as a copy has.
// An empty text stays: the value reads, matches and serialises as a copy's
// (which has no text node for it), and no handle ever sees an attribute's
// text nodes.
void NormalizeValue(detail::NodePool& pool, xmlAttrPtr attr) {
  xmlNodePtr only = attr->children;
  if (!only || (!only->next && only->type == XML_TEXT_NODE)) return;
  detail::SetAttributeValue(pool, attr, detail::NodeText(reinterpret_cast<xmlNodePtr>(attr)));
}

// Whether an element's attributes are already those of `copies`, in order,
// each with one text node at most: the usual case for records written from
// the same template as the shape.
bool AttributesAsCopied(xmlNodePtr element, Copies copies) {
  xmlAttrPtr attr = element->properties;
  for (const Node::AttributeCopy& copy : copies) {
    if (!attr || copy.name.empty() || !SameText(copy.name, copy.source) ||
        !NameEquals(attr->name, copy.name)) {
      return false;
    }
    xmlNodePtr only = attr->children;
    if (only && (only->next || only->type != XML_TEXT_NODE)) return false;
    attr = attr->next;
  }
  return attr == nullptr;
}

// Rebuilds an element's attribute list as `copies` asks, from its own
// attributes: each copy takes the first attribute named as its source
// (renamed when the names differ), or a new empty attribute; the others are
// freed.
void ReshapeAttributes(detail::NodePool& pool, xmlNodePtr element, Copies copies) {
  if (AttributesAsCopied(element, copies)) return;
  thread_local std::vector<xmlAttrPtr> taken;
  taken.assign(copies.size(), nullptr);
  xmlAttrPtr attr = element->properties;
  element->properties = nullptr;
  while (attr) {
    xmlAttrPtr next = attr->next;
    attr->prev = nullptr;
    attr->next = nullptr;
    bool kept = false;
    for (std::size_t i = 0; i < copies.size() && !kept; ++i) {
      if (!taken[i] && !copies[i].source.empty() && NameEquals(attr->name, copies[i].source)) {
        taken[i] = attr;
        kept = true;
      }
    }
    if (!kept) detail::FreeTree(&pool, reinterpret_cast<xmlNodePtr>(attr));
    attr = next;
  }
  xmlAttrPtr last = nullptr;
  for (std::size_t i = 0; i < copies.size(); ++i) {
    xmlAttrPtr kept = taken[i];
    if (kept) {
      if (!SameText(copies[i].name, copies[i].source)) {
        Rename(pool, reinterpret_cast<xmlNodePtr>(kept), element->doc, copies[i].name);
      }
      NormalizeValue(pool, kept);
    } else {
      kept = detail::NewUnlinkedAttribute(pool, element->doc, copies[i].name);
      if (!kept) RaiseXml("Invalid attribute name: " + std::string(copies[i].name));
    }
    detail::LinkAttributeAfter(element, last, kept);
    last = kept;
  }
}

// A run of sibling nodes taken out of their parent, to pick from.
struct Run {
  detail::NodePool& pool;
  xmlNodePtr first = nullptr;

  Run(detail::NodePool& nodes, xmlNodePtr parent) : pool(nodes), first(parent->children) {
    parent->children = nullptr;
    parent->last = nullptr;
  }
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;
  // Frees what was not picked.
  ~Run() {
    while (first) {
      xmlNodePtr next = first->next;
      first->prev = nullptr;
      first->next = nullptr;
      first->parent = nullptr;
      detail::FreeTree(&pool, first);
      first = next;
    }
  }

  void Unlink(xmlNodePtr node) {
    if (node->prev) {
      node->prev->next = node->next;
    } else {
      first = node->next;
    }
    if (node->next) node->next->prev = node->prev;
    node->prev = nullptr;
    node->next = nullptr;
  }
};

void Reshape(detail::NodePool& pool, xmlNodePtr element, const Shape& shape);

// Moves each element of `run` named `shape.source`, reshaped, to the end of
// `parent`.
void MovePicked(Run& run, xmlNodePtr parent, const Shape& shape) {
  for (xmlNodePtr node = run.first; node;) {
    xmlNodePtr next = node->next;
    if (node->type == XML_ELEMENT_NODE && !shape.source.empty() &&
        NameEquals(node->name, shape.source)) {
      run.Unlink(node);
      detail::LinkChild(parent, node, nullptr);
      Reshape(run.pool, node, shape);
    }
    node = next;
  }
}

// Turns an element (of a plain subtree already pointing at its new document,
// linked where it goes) into what `shape` writes.
void Reshape(detail::NodePool& pool, xmlNodePtr element, const Shape& shape) {
  if (shape.name.empty() || !NameEquals(element->name, shape.name)) {
    Rename(pool, element, element->doc, shape.name);
  }
  ReshapeAttributes(pool, element, shape.attributes);
  if (!element->children && shape.children.empty()) return;
  Run children(pool, element);
  for (const Shape& child : shape.children) {
    if (!child.gathered) {
      MovePicked(children, element, child);
      continue;
    }
    xmlNodePtr gathered = detail::NewUnlinkedElement(pool, element->doc, child.name);
    if (!gathered) RaiseXml("Invalid element name: " + std::string(child.name));
    detail::LinkChild(element, gathered, nullptr);
    for (xmlNodePtr part = children.first; part;) {
      xmlNodePtr next = part->next;
      if (part->type == XML_ELEMENT_NODE && !child.source.empty() &&
          NameEquals(part->name, child.source)) {
        children.Unlink(part);
        Run runs(pool, part);
        part->parent = nullptr;
        detail::FreeTree(&pool, part);
        for (const Shape& grandchild : child.children) MovePicked(runs, gathered, grandchild);
      }
      part = next;
    }
  }
}

}  // namespace

Node Node::AppendShaped(Node from, const ElementShape& shape, bool move) {
  RequireNode();
  from.RequireNode();
  xmlNodePtr parent = ToXml(m_node);
  xmlNodePtr source = ToXml(from.m_node);
  if (!move || parent->type != XML_ELEMENT_NODE || !Movable(source, parent->doc)) {
    return WriteCopy(*this, from, shape);
  }
  if (source->parent) {
    xmlUnlinkNode(source);
  } else {
    Arena::Owner(from.m_arena).RemoveDetached(source);
  }
  // The moved nodes' memory may come from the source's pool: from here on
  // both arenas draw from (and keep alive) one pool.
  Arena::SharePools(from.m_arena, m_arena);
  // Every node points at its new document before anything is changed or
  // freed, so a failure part way leaves a tree the target frees whole.
  if (source->doc != parent->doc) {
    if (!detail::IsPure(source->doc)) detail::MarkImpure(parent->doc);
    SetDocument(source, parent->doc);
  }
  detail::LinkChild(parent, source, nullptr);
  Reshape(Arena::Owner(m_arena).Pool(), source, shape);
  // The source's arena may go with the handle; nothing of it is used now.
  from = Node();
  return Node(m_arena, ToRaw(source));
}

bool Node::HasDescendant(std::string_view name) const {
  RequireNode();
  xmlNodePtr root = ToXml(m_node);
  if (root->type != XML_ELEMENT_NODE && root->type != XML_DOCUMENT_NODE) return false;
  for (xmlNodePtr node = root->children; node; node = NextInSubtree(node, root)) {
    if (node->type != XML_ELEMENT_NODE) continue;
    if (!node->ns || !node->ns->prefix) {
      if (!name.empty() && NameEquals(node->name, name)) return true;
      continue;
    }
    // As NameIs reads a prefixed name.
    const std::string_view prefix(reinterpret_cast<const char*>(node->ns->prefix));
    if (name.size() > prefix.size() && name.substr(0, prefix.size()) == prefix &&
        name[prefix.size()] == ':' &&
        detail::TextEquals(node->name, name.substr(prefix.size() + 1))) {
      return true;
    }
  }
  return false;
}

}  // namespace orvo::xml
