#include "xml/tree_edit.h"

#include <libxml/xmlsave.h>

#include <array>
#include <atomic>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "xml/valid_text.h"

namespace orvo::xml::detail {

void LinkChild(xmlNodePtr parent, xmlNodePtr child, xmlNodePtr before) {
  child->parent = parent;
  if (before == nullptr) {
    child->prev = parent->last;
    child->next = nullptr;
    if (parent->last) {
      parent->last->next = child;
    } else {
      parent->children = child;
    }
    parent->last = child;
    return;
  }
  child->next = before;
  child->prev = before->prev;
  if (before->prev) {
    before->prev->next = child;
  } else {
    parent->children = child;
  }
  before->prev = child;
}

void LinkAttribute(xmlNodePtr element, xmlAttrPtr attr, xmlAttrPtr replaced) {
  attr->parent = element;
  if (replaced) {
    attr->prev = replaced->prev;
    attr->next = replaced->next;
    if (replaced->prev) {
      replaced->prev->next = attr;
    } else {
      element->properties = attr;
    }
    if (replaced->next) replaced->next->prev = attr;
    replaced->parent = nullptr;
    replaced->prev = nullptr;
    replaced->next = nullptr;
    return;
  }
  attr->next = nullptr;
  attr->prev = nullptr;
  if (!element->properties) {
    element->properties = attr;
    return;
  }
  xmlAttrPtr last = element->properties;
  while (last->next) last = last->next;
  last->next = attr;
  attr->prev = last;
}

void CheckInsertable(xmlNodePtr parent, xmlNodePtr child, xmlNodePtr leaving) {
  if (child->type == XML_DOCUMENT_NODE || child->type == XML_HTML_DOCUMENT_NODE ||
      child->type == XML_ATTRIBUTE_NODE || child->type == XML_NAMESPACE_DECL) {
    RaiseXml("This node type cannot be inserted as a child");
  }
  for (xmlNodePtr up = parent; up; up = up->parent) {
    if (up == child) RaiseXml("The new child node is this node or one of its ancestors");
  }
  if (parent->type == XML_DOCUMENT_NODE && child->type == XML_ELEMENT_NODE) {
    for (xmlNodePtr sibling = parent->children; sibling; sibling = sibling->next) {
      if (sibling->type == XML_ELEMENT_NODE && sibling != child && sibling != leaving) {
        RaiseXml("Only one top level element is allowed in an XML document");
      }
    }
  }
}

void AdoptInto(xmlNodePtr node, xmlDocPtr document, xmlNodePtr parent) {
  if (node->doc == document) return;
  if (xmlDOMWrapAdoptNode(nullptr, node->doc, node, document, parent, 0) != 0) {
    RaiseXml("The node could not be moved to the other document");
  }
}

void MoveInto(const ArenaRef& parent_arena, const ArenaRef& child_arena, xmlNodePtr parent,
              xmlNodePtr child, xmlNodePtr before) {
  if (child->parent) {
    xmlUnlinkNode(child);
  } else {
    Arena::Owner(child_arena).RemoveDetached(child);
  }
  Arena::Merge(child_arena, parent_arena);
  xmlDocPtr document =
      parent->type == XML_DOCUMENT_NODE ? reinterpret_cast<xmlDocPtr>(parent) : parent->doc;
  try {
    AdoptInto(child, document, parent);
  } catch (...) {
    Arena::Owner(parent_arena).AddDetached(child);
    throw;
  }
  LinkChild(parent, child, before);
}

void Detach(Arena& arena, xmlNodePtr node) {
  xmlUnlinkNode(node);
  arena.AddDetached(node);
}

void ReplaceDocumentContent(Arena& arena, xmlDocPtr source, xmlDocPtr target) {
  xmlNodePtr target_node = reinterpret_cast<xmlNodePtr>(target);
  while (xmlNodePtr old_child = target_node->children) Detach(arena, old_child);
  while (xmlNodePtr child = source->children) {
    xmlUnlinkNode(child);
    if (child->type == XML_DTD_NODE) {
      xmlFreeNode(child);
      continue;
    }
    AdoptInto(child, target, target_node);
    LinkChild(target_node, child, nullptr);
  }
}

void ReleaseChildren(Arena& arena, xmlNodePtr element) {
  while (xmlNodePtr child = element->children) {
    xmlUnlinkNode(child);
    if (IsUnreferenced(child)) {
      xmlFreeNode(child);
    } else {
      arena.AddDetached(child);
    }
  }
}

namespace {

// Never a null pointer, even for an empty text: libxml2 keeps a null content
// apart from an empty one.
const xmlChar* BytesOf(std::string_view text) {
  return reinterpret_cast<const xmlChar*>(text.empty() ? "" : text.data());
}

int LengthOf(std::string_view text) {
  if (text.size() > static_cast<std::size_t>(INT_MAX)) RaiseXml("The text is too long");
  return static_cast<int>(text.size());
}

}  // namespace

namespace {

// Texts shorter than this are kept inside their node.
constexpr std::size_t kInlineText = 2 * sizeof(void*);

// Where a short text is kept: the properties and nsDef fields, which a text
// node does not use. The parser's compact mode stores short texts the same
// way, and libxml2 never frees or follows that storage as a pointer.
xmlChar* InlineStorage(xmlNodePtr node) {
  static_assert(offsetof(xmlNode, nsDef) == offsetof(xmlNode, properties) + sizeof(void*));
  return reinterpret_cast<xmlChar*>(reinterpret_cast<unsigned char*>(node) +
                                    offsetof(xmlNode, properties));
}

// A text node of `document` holding `text` (valid already). Most texts of a
// built tree (attribute values: flags, keys, amounts) are short and then
// cost no allocation besides the node.
xmlNodePtr NewText(xmlDocPtr document, std::string_view text) {
  if (text.size() >= kInlineText) return xmlNewDocTextLen(document, BytesOf(text), LengthOf(text));
  xmlNodePtr node = xmlNewDocTextLen(document, nullptr, 0);
  if (!node) return nullptr;
  xmlChar* storage = InlineStorage(node);
  std::memcpy(storage, text.data(), text.size());
  storage[text.size()] = '\0';
  node->content = storage;
  return node;
}

}  // namespace

xmlNodePtr NewTextNodeOfValidText(xmlDocPtr document, std::string_view text) {
  xmlNodePtr node = NewText(document, text);
  if (!node) RaiseXml("Out of memory creating a text node");
  return node;
}

xmlNodePtr NewTextNode(xmlDocPtr document, std::string_view raw_text) {
  ValidText text(raw_text);
  xmlNodePtr node = NewText(document, text.View());
  if (!node) RaiseXml("Out of memory creating a text node");
  return node;
}

namespace {

// Writes `text` over the content of a text node without a new buffer when it
// can: a short text goes into the node (freeing a buffer of the node's own),
// a longer one over a buffer of the node's own at least as long (not a
// string of the document's dictionary). Values rewritten with others of the
// same or smaller size (flags, amounts) then cost no allocation.
bool OverwriteInPlace(xmlNodePtr node, std::string_view text) {
  xmlChar* content = node->content;
  if (!content) return false;
  const bool held_inline = content == InlineStorage(node);
  const bool in_dictionary =
      !held_inline && node->doc && node->doc->dict && xmlDictOwns(node->doc->dict, content);
  if (text.size() < kInlineText) {
    // Short texts live in the node; a buffer of its own is freed.
    if (!held_inline && !in_dictionary) xmlFree(content);
    xmlChar* storage = InlineStorage(node);
    std::memcpy(storage, text.data(), text.size());
    storage[text.size()] = '\0';
    node->content = storage;
    return true;
  }
  if (held_inline || in_dictionary) return false;
  // Short texts only: a long buffer would stay pinned by a short value.
  if (text.size() > 64) return false;
  std::size_t capacity = 0;
  while (capacity <= text.size() && content[capacity] != '\0') ++capacity;
  if (capacity < text.size()) return false;
  std::copy(text.begin(), text.end(), content);
  content[text.size()] = '\0';
  return true;
}

// Any other new content: libxml2 replaces the old (freeing a buffer of the
// node's own) with a new buffer. The fields of inline storage are cleared,
// in case they held a short text.
void ReplaceContent(xmlNodePtr node, std::string_view text) {
  const bool held_inline = node->content == InlineStorage(node);
  xmlNodeSetContentLen(node, BytesOf(text), LengthOf(text));
  if (held_inline && node->content != InlineStorage(node)) {
    node->properties = nullptr;
    node->nsDef = nullptr;
  }
}

}  // namespace

void SetNodeContent(xmlNodePtr node, std::string_view raw_text) {
  ValidText text(raw_text);
  if (node->type == XML_TEXT_NODE && OverwriteInPlace(node, text.View())) return;
  ReplaceContent(node, text.View());
}

void SetAttributeValue(xmlAttrPtr attr, std::string_view raw_value) {
  ValidText value(raw_value);
  // Nobody holds handles to an attribute's text children: the facade never
  // hands them out, so they can be changed or freed at once. The common case,
  // one text child, keeps its node and only replaces the text.
  xmlNodePtr only = attr->children;
  if (only && !only->next && only->type == XML_TEXT_NODE) {
    if (!OverwriteInPlace(only, value.View())) ReplaceContent(only, value.View());
    return;
  }
  xmlFreeNodeList(attr->children);
  attr->children = nullptr;
  attr->last = nullptr;
  // An empty value needs no text node: the attribute reads and writes as "".
  if (value.View().empty()) return;
  xmlNodePtr text = NewText(attr->doc, value.View());
  if (!text) RaiseXml("Out of memory creating a text node");
  text->parent = reinterpret_cast<xmlNodePtr>(attr);
  attr->children = text;
  attr->last = text;
}

namespace {

// Bumped before the facade frees a document: a dictionary freed with it may
// be followed by a new one at the same address, whose strings are others.
std::atomic<std::uint64_t> dictionary_epoch{0};

// Names longer than this are checked and looked up every time.
constexpr std::size_t kRememberedName = 31;

// A name recently given to a new node: the caller's bytes (and where it
// kept them, which for the literals most callers pass is the same every
// time), the dictionary and the checked name's string there.
struct RememberedName {
  const xmlDict* dict = nullptr;
  std::uint64_t epoch = 0;
  const char* data = nullptr;
  std::size_t length = 0;
  const xmlChar* interned = nullptr;
  char text[kRememberedName] = {};
};

// The name for a new element or attribute of `document`: the dictionary's
// string, or a copy of the node's own without a dictionary. Null when
// `name` is no XML name. Writers give thousands of nodes the same few
// names: those are checked and looked up once per thread.
const xmlChar* NewNodeName(xmlDocPtr document, std::string_view name) {
  xmlDictPtr dict = document ? document->dict : nullptr;
  RememberedName* slot = nullptr;
  std::uint64_t epoch = 0;
  if (dict && name.size() <= kRememberedName) {
    thread_local std::array<RememberedName, 64> remembered;
    const auto key = (reinterpret_cast<std::uintptr_t>(name.data()) >> 3) ^ name.size();
    slot = &remembered[(key * 0x9E3779B97F4A7C15ULL) >> 58];
    epoch = dictionary_epoch.load(std::memory_order_acquire);
    // The bytes are compared too: a caller may reuse storage for another name.
    if (slot->dict == dict && slot->epoch == epoch && slot->data == name.data() &&
        slot->length == name.size() && std::memcmp(slot->text, name.data(), name.size()) == 0) {
      return slot->interned;
    }
  }
  const std::string owned(name);
  if (xmlValidateName(ToXmlChars(owned), 0) != 0) return nullptr;
  const xmlChar* result =
      dict ? xmlDictLookup(dict, ToXmlChars(owned), -1) : xmlStrdup(ToXmlChars(owned));
  if (!result) RaiseXml("Out of memory creating a name");
  if (slot) {
    slot->dict = dict;
    slot->epoch = epoch;
    slot->data = name.data();
    slot->length = name.size();
    slot->interned = result;
    std::memcpy(slot->text, name.data(), name.size());
  }
  return result;
}

// A zeroed node of libxml2 type `Node` (xmlNode or xmlAttr) of `document`,
// named as NewNodeName names it, not linked anywhere. Null when `name` is no
// XML name.
template <class Node>
Node* NewUnlinkedNode(xmlDocPtr document, std::string_view name, xmlElementType type) {
  const xmlChar* node_name = NewNodeName(document, name);
  if (!node_name) return nullptr;
  auto* node = static_cast<Node*>(xmlMalloc(sizeof(Node)));
  if (!node) {
    // A name of no dictionary is the node's own copy.
    if (!document || !document->dict) xmlFree(const_cast<xmlChar*>(node_name));
    RaiseXml(type == XML_ATTRIBUTE_NODE ? "Out of memory creating an attribute"
                                        : "Out of memory creating an element");
  }
  std::memset(node, 0, sizeof(Node));
  node->type = type;
  node->doc = document;
  node->name = node_name;
  return node;
}

}  // namespace

void NoteDocumentFreed() { dictionary_epoch.fetch_add(1, std::memory_order_acq_rel); }

xmlAttrPtr NewUnlinkedAttribute(xmlDocPtr document, std::string_view name) {
  return NewUnlinkedNode<xmlAttr>(document, name, XML_ATTRIBUTE_NODE);
}

xmlNodePtr NewUnlinkedElement(xmlDocPtr document, std::string_view name) {
  return NewUnlinkedNode<xmlNode>(document, name, XML_ELEMENT_NODE);
}

bool TextEquals(const xmlChar* text, std::string_view name) {
  const char* chars = reinterpret_cast<const char*>(text);
  for (char c : name) {
    if (*chars == '\0' || *chars != c) return false;
    ++chars;
  }
  return *chars == '\0';
}

xmlAttrPtr FindAttribute(xmlNodePtr element, std::string_view name) {
  if (element->type != XML_ELEMENT_NODE || name.empty()) return nullptr;
  // Most names differ from the wanted one in their first byte: that is
  // checked before anything else. Names live in the document's dictionary
  // (one compact block) rather than one allocation per attribute.
  const auto first = static_cast<xmlChar>(name.front());
  for (xmlAttrPtr attr = element->properties; attr; attr = attr->next) {
    const xmlNs* ns = attr->ns;
    if (ns && ns->prefix) {
      const std::string_view prefix(reinterpret_cast<const char*>(ns->prefix));
      if (name.size() > prefix.size() && name.substr(0, prefix.size()) == prefix &&
          name[prefix.size()] == ':' && TextEquals(attr->name, name.substr(prefix.size() + 1))) {
        return attr;
      }
    } else if (attr->name[0] == first && TextEquals(attr->name + 1, name.substr(1))) {
      return attr;
    }
  }
  return nullptr;
}

namespace {

// Whether an element subtree uses no namespaces (declared or bound), so that
// CopyPlainTree can copy it.
bool IsPlainTree(xmlNodePtr top) {
  thread_local std::vector<xmlNodePtr> pending;
  pending.assign(1, top);
  while (!pending.empty()) {
    xmlNodePtr node = pending.back();
    pending.pop_back();
    if (node->type != XML_ELEMENT_NODE) continue;
    if (node->ns || node->nsDef) return false;
    for (xmlAttrPtr attr = node->properties; attr; attr = attr->next) {
      if (attr->ns) return false;
      for (xmlNodePtr part = attr->children; part; part = part->next) {
        if (part->type != XML_TEXT_NODE) return false;
      }
    }
    for (xmlNodePtr child = node->children; child; child = child->next) pending.push_back(child);
  }
  return true;
}

// A string for a copy in `document`: the source's own when the document's
// dictionary holds it already, else interned there (or duplicated without a
// dictionary).
const xmlChar* Interned(xmlDocPtr document, const xmlChar* text, int length = -1) {
  if (!document->dict) return length < 0 ? xmlStrdup(text) : xmlStrndup(text, length);
  if (xmlDictOwns(document->dict, text) == 1) return text;
  return xmlDictLookup(document->dict, text, length);
}

const xmlChar* CopyName(xmlDocPtr document, const xmlChar* name) {
  return Interned(document, name);
}

xmlNodePtr NewBlankNode(xmlElementType type) {
  auto* node = static_cast<xmlNodePtr>(xmlMalloc(sizeof(xmlNode)));
  if (!node) return nullptr;
  std::memset(node, 0, sizeof(xmlNode));
  node->type = type;
  return node;
}

// A text node of `document` holding the text of `text`. Texts shorter than
// two pointers live in the node; others up to 40 bytes (names, codes,
// formulas of a repeated row) in the document's dictionary, so the many
// copies of a repeated row share them.
xmlNodePtr CopyText(xmlNodePtr text, xmlDocPtr document, xmlNodePtr parent) {
  xmlNodePtr copy = NewBlankNode(XML_TEXT_NODE);
  if (!copy) return nullptr;
  copy->name = text->name;  // the library's static name of text nodes
  copy->doc = document;
  copy->parent = parent;
  if (text->content) {
    constexpr std::size_t kShortText = 40;
    const std::size_t length = static_cast<std::size_t>(xmlStrlen(text->content));
    if (length < kInlineText) {
      xmlChar* storage = InlineStorage(copy);
      std::memcpy(storage, text->content, length + 1);
      copy->content = storage;
      return copy;
    }
    copy->content =
        length <= kShortText
            ? const_cast<xmlChar*>(Interned(document, text->content, static_cast<int>(length)))
            : xmlStrdup(text->content);
    if (!copy->content) {
      xmlFree(copy);
      return nullptr;
    }
  }
  return copy;
}

void AppendCopy(xmlNodePtr parent, xmlNodePtr copy) {
  copy->parent = parent;
  if (!parent->children) {
    parent->children = copy;
  } else {
    parent->last->next = copy;
    copy->prev = parent->last;
  }
  parent->last = copy;
}

// Copies an element subtree without namespaces into `document` with one
// allocation per node, attribute and text (names come from the document's
// dictionary); null when out of memory. Nodes other than elements and texts
// are copied by libxml2.
xmlNodePtr CopyPlainTree(xmlNodePtr source, xmlDocPtr document) {
  xmlNodePtr top = NewBlankNode(XML_ELEMENT_NODE);
  if (!top) return nullptr;
  top->doc = document;
  top->line = source->line;
  top->name = CopyName(document, source->name);
  if (!top->name) {
    xmlFree(top);
    return nullptr;
  }
  // Pairs of (source element, its copy) whose content is still to copy.
  thread_local std::vector<std::pair<xmlNodePtr, xmlNodePtr>> pending;
  pending.assign(1, {source, top});
  while (!pending.empty()) {
    const auto [from, to] = pending.back();
    pending.pop_back();
    xmlAttrPtr last_attr = nullptr;
    for (xmlAttrPtr attr = from->properties; attr; attr = attr->next) {
      auto* copy = static_cast<xmlAttrPtr>(xmlMalloc(sizeof(xmlAttr)));
      if (!copy) {
        xmlFreeNode(top);
        return nullptr;
      }
      std::memset(copy, 0, sizeof(xmlAttr));
      copy->type = XML_ATTRIBUTE_NODE;
      copy->doc = document;
      copy->parent = to;
      copy->name = CopyName(document, attr->name);
      if (last_attr) {
        last_attr->next = copy;
        copy->prev = last_attr;
      } else {
        to->properties = copy;
      }
      last_attr = copy;
      if (!copy->name) {
        xmlFreeNode(top);
        return nullptr;
      }
      for (xmlNodePtr part = attr->children; part; part = part->next) {
        xmlNodePtr text = CopyText(part, document, reinterpret_cast<xmlNodePtr>(copy));
        if (!text) {
          xmlFreeNode(top);
          return nullptr;
        }
        AppendCopy(reinterpret_cast<xmlNodePtr>(copy), text);
      }
    }
    for (xmlNodePtr child = from->children; child; child = child->next) {
      xmlNodePtr copy = nullptr;
      if (child->type == XML_ELEMENT_NODE) {
        copy = NewBlankNode(XML_ELEMENT_NODE);
        if (copy) {
          copy->doc = document;
          copy->line = child->line;
          copy->name = CopyName(document, child->name);
          if (!copy->name) {
            xmlFree(copy);
            copy = nullptr;
          }
        }
        if (copy) pending.emplace_back(child, copy);
      } else if (child->type == XML_TEXT_NODE) {
        copy = CopyText(child, document, to);
      } else {
        copy = xmlDocCopyNode(child, document, 1);
        if (copy) ResetHandleCounts(copy);
      }
      if (!copy) {
        xmlFreeNode(top);
        return nullptr;
      }
      AppendCopy(to, copy);
    }
  }
  return top;
}

}  // namespace

xmlNodePtr CopyNode(xmlNodePtr node, xmlDocPtr document, bool deep) {
  if (deep && node->type == XML_ELEMENT_NODE && IsPlainTree(node)) {
    xmlNodePtr copy = CopyPlainTree(node, document);
    if (!copy) RaiseXml("The node could not be copied");
    return copy;
  }
  xmlNodePtr copy = nullptr;
  if (node->type == XML_DOCUMENT_NODE || node->type == XML_HTML_DOCUMENT_NODE) {
    copy =
        reinterpret_cast<xmlNodePtr>(xmlCopyDoc(reinterpret_cast<xmlDocPtr>(node), deep ? 1 : 0));
  } else {
    // Extended mode 2 copies an element's attributes without its children.
    copy = xmlDocCopyNode(node, document, deep ? 1 : 2);
  }
  if (!copy) RaiseXml("The node could not be copied");
  ResetHandleCounts(copy);
  return copy;
}

bool IsUnreferenced(xmlNodePtr root) {
  if (HandleCount(root) != 0) return false;  // the usual answer for a held root
  if (!root->children && (root->type != XML_ELEMENT_NODE || !root->properties)) return true;
  // The walk's stack is reused: sweeps check many roots in a row.
  thread_local std::vector<xmlNodePtr> pending;
  pending.assign(1, root);
  while (!pending.empty()) {
    xmlNodePtr node = pending.back();
    pending.pop_back();
    if (HandleCount(node) != 0) return false;
    if (node->type == XML_ELEMENT_NODE) {
      for (xmlAttrPtr attr = node->properties; attr; attr = attr->next) {
        if (HandleCount(reinterpret_cast<xmlNodePtr>(attr)) != 0) return false;
      }
    }
    if (node->type == XML_ENTITY_REF_NODE) continue;  // children belong to the entity
    for (xmlNodePtr child = node->children; child; child = child->next) pending.push_back(child);
  }
  return true;
}

std::string NodeText(xmlNodePtr node) {
  // Fast path for the common attribute or element holding one text node.
  xmlNodePtr only = node->children;
  if ((node->type == XML_ATTRIBUTE_NODE || node->type == XML_ELEMENT_NODE) && only && !only->next &&
      only->type == XML_TEXT_NODE) {
    return FromXmlChars(only->content);
  }
  if (node->type == XML_ATTRIBUTE_NODE && !only) return std::string();
  xmlChar* content = xmlNodeGetContent(node);
  std::string text = FromXmlChars(content);
  xmlFree(content);
  return text;
}

namespace {

std::string DumpNode(xmlNodePtr node) {
  xmlBufferPtr buffer = xmlBufferCreate();
  xmlNodeDump(buffer, node->doc, node, 0, 0);
  std::string text(reinterpret_cast<const char*>(xmlBufferContent(buffer)),
                   static_cast<std::size_t>(xmlBufferLength(buffer)));
  xmlBufferFree(buffer);
  return text;
}

}  // namespace

std::string Serialize(xmlNodePtr node) {
  switch (node->type) {
    case XML_ATTRIBUTE_NODE: {
      std::string name = FromXmlChars(node->name);
      if (node->ns && node->ns->prefix) name = FromXmlChars(node->ns->prefix) + ":" + name;
      return name + "=\"" + Escape(NodeText(node)) + "\"";
    }
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE: {
      std::string text;
      for (xmlNodePtr child = node->children; child; child = child->next) {
        if (child->type == XML_DTD_NODE) continue;
        text += DumpNode(child);
      }
      return text;
    }
    default:
      return DumpNode(node);
  }
}

}  // namespace orvo::xml::detail
