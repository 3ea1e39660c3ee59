#include "xml/tree_edit.h"

#include <libxml/parserInternals.h>
#include <libxml/xmlsave.h>

#include <array>
#include <atomic>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "xml/valid_text.h"

namespace orvo::xml::detail {
namespace {

// A zeroed node of libxml2 type `Node` (xmlNode or xmlAttr) from `pool`,
// marked as pooled.
template <class Node>
Node* NewPooled(NodePool& pool, xmlElementType type) {
  constexpr NodePool::Kind kind =
      std::is_same_v<Node, xmlAttr> ? NodePool::kAttribute : NodePool::kElementOrText;
  auto* node = static_cast<Node*>(pool.Take(kind));
  std::memset(node, 0, sizeof(Node));
  node->_private = reinterpret_cast<void*>(kPooledNode);
  node->type = type;
  return node;
}

}  // namespace

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

void LinkAttributeAfter(xmlNodePtr element, xmlAttrPtr last, xmlAttrPtr attr) {
  attr->parent = element;
  attr->prev = last;
  if (last) {
    last->next = attr;
  } else {
    element->properties = attr;
  }
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
    AdoptInto(Arena::Owner(parent_arena).Pool(), child, document, parent);
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
    MarkImpure(target);
    xmlUnlinkNode(child);
    if (child->type == XML_DTD_NODE) {
      xmlFreeNode(child);
      continue;
    }
    AdoptInto(arena.Pool(), child, target, target_node);
    LinkChild(target_node, child, nullptr);
  }
}

void ReleaseChildren(Arena& arena, xmlNodePtr element) {
  while (xmlNodePtr child = element->children) {
    xmlUnlinkNode(child);
    if (IsUnreferenced(child)) {
      FreeTree(&arena.Pool(), child);
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
xmlNodePtr NewText(NodePool& pool, xmlDocPtr document, std::string_view text);

// A shared text holding `text`, named `name` (one of libxml2's static names
// of text nodes), held once (by the image that makes it).
xmlNodePtr NewSharedText(NodePool& pool, std::string_view text, const xmlChar* name) {
  xmlNodePtr node = NewText(pool, nullptr, text);
  if (!node) RaiseXml("Out of memory creating a text node");
  node->name = name;
  MakeShared(node);
  return node;
}

xmlNodePtr NewText(NodePool& pool, xmlDocPtr document, std::string_view text) {
  xmlNodePtr node = NewPooled<xmlNode>(pool, XML_TEXT_NODE);
  node->name = xmlStringText;
  node->doc = document;
  if (text.size() < kInlineText) {
    node->content = InlineStorage(node);
  } else {
    node->content = static_cast<xmlChar*>(xmlMalloc(text.size() + 1));
    if (!node->content) {
      pool.Give(node, NodePool::kElementOrText);
      return nullptr;
    }
    pool.KeepString(node->content);
  }
  if (!text.empty()) std::memcpy(node->content, text.data(), text.size());
  node->content[text.size()] = '\0';
  return node;
}

}  // namespace

xmlNodePtr NewTextNodeOfValidText(NodePool& pool, xmlDocPtr document, std::string_view text) {
  xmlNodePtr node = NewText(pool, document, text);
  if (!node) RaiseXml("Out of memory creating a text node");
  return node;
}

xmlNodePtr NewTextNode(NodePool& pool, xmlDocPtr document, std::string_view raw_text) {
  ValidText text(raw_text);
  xmlNodePtr node = NewText(pool, document, text.View());
  if (!node) RaiseXml("Out of memory creating a text node");
  return node;
}

void MakeShared(xmlNodePtr text) {
  text->_private = reinterpret_cast<void*>(kPooledNode | kSharedText);
  text->parent = nullptr;
  text->doc = nullptr;
  text->psvi = reinterpret_cast<void*>(std::uintptr_t{1});
}

void ReleaseShared(NodePool* pool, xmlNodePtr text) {
  const auto holders = reinterpret_cast<std::uintptr_t>(text->psvi);
  if (holders > 1) {
    text->psvi = reinterpret_cast<void*>(holders - 1);
    return;
  }
  if (!pool) return;
  xmlChar* content = text->content;
  if (content && content != InlineStorage(text)) {
    pool->ForgetString(content);
    xmlFree(content);
  }
  // Whoever asked libxml2 to hear of every freed node hears of these too.
  if (xmlDeregisterNodeDefaultValue) xmlDeregisterNodeDefaultValue(text);
  pool->Give(text, NodePool::kElementOrText);
}

namespace {

// The slot of the table of short values lately written where `key` goes.
NodePool::ShortText& ShortTextSlot(NodePool& pool, const ShortValueKey& key) {
  return pool.ShortTextTable()[key.Bucket(NodePool::kShortTextBits)];
}

// A new shared text of `value` put in `slot` (that of `key`) in place of
// the one it held.
xmlNodePtr NewShortTextIn(NodePool& pool, NodePool::ShortText& slot, const ShortValueKey& key,
                          std::string_view value) {
  xmlNodePtr text = NewSharedText(pool, value, xmlStringText);
  if (slot.text) ReleaseShared(&pool, slot.text);
  slot.key = key;
  slot.text = text;
  return text;
}

}  // namespace

xmlNodePtr SharedShortText(NodePool& pool, std::string_view value) {
  const ShortValueKey key(value.data(), value.size());
  NodePool::ShortText& slot = ShortTextSlot(pool, key);
  if (slot.text && slot.key == key) return slot.text;
  return NewShortTextIn(pool, slot, key, value);
}

bool ShareAttributeValue(xmlAttrPtr from, xmlAttrPtr attr) {
  xmlNodePtr only = from->children;
  if (!only || only->next || only->type != XML_TEXT_NODE || !IsPooled(only) || only->ns ||
      (only->name != xmlStringText && only->name != xmlStringTextNoenc) || !only->content ||
      only->content[0] == '\0') {
    return false;
  }
  if (!IsSharedText(only)) MakeShared(only);
  HoldShared(only);
  attr->children = only;
  attr->last = only;
  return true;
}

namespace {

// Whether `text` is a text node of the facade's pools as a value written
// anew would make it: escaped when written, of no namespace.
bool IsPlainText(const xmlNode* text) {
  return text->type == XML_TEXT_NODE && IsPooled(text) && !text->ns &&
         text->name == xmlStringText && text->content;
}

// Another attribute of `attr`'s element whose value is `value` (not empty),
// held alone by a plain text; null when there is none.
xmlAttrPtr SiblingHolding(xmlAttrPtr attr, std::string_view value) {
  const xmlNode* element = attr->parent;
  if (!element || element->type != XML_ELEMENT_NODE) return nullptr;
  const auto first = static_cast<xmlChar>(value.front());
  for (xmlAttrPtr other = element->properties; other; other = other->next) {
    // Most values differ in their first byte: that is looked at first.
    const xmlNode* text = other->children;
    if (!text) continue;
    const xmlChar* content = text->content;
    if (!content || content[0] != first || other == attr) continue;
    if (!text->next && IsPlainText(text) && TextEquals(content, value)) return other;
  }
  return nullptr;
}

// Writes `text` over the content of a text node without a new buffer when it
// can: a short text goes into the node (freeing a buffer of the node's own),
// a longer one over a buffer of the node's own at least as long (not a
// string of the document's dictionary). Values rewritten with others of the
// same or smaller size (flags, amounts) then cost no allocation. A pooled
// node's text is never the dictionary's.
bool OverwriteInPlace(NodePool& pool, xmlNodePtr node, std::string_view text) {
  xmlChar* content = node->content;
  if (!content) return false;
  const bool held_inline = content == InlineStorage(node);
  const bool pooled = IsPooled(node);
  const bool in_dictionary = !held_inline && !pooled && node->doc && node->doc->dict &&
                             xmlDictOwns(node->doc->dict, content);
  if (text.size() < kInlineText) {
    // Short texts live in the node; a buffer of its own is freed.
    if (!held_inline && !in_dictionary) {
      if (pooled) pool.ForgetString(content);
      xmlFree(content);
    }
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
// in case they held a short text. The pool hears of a pooled node's old and
// new buffers.
void ReplaceContent(NodePool& pool, xmlNodePtr node, std::string_view text) {
  const bool held_inline = node->content == InlineStorage(node);
  const bool pooled = IsPooled(node);
  if (pooled && node->content && !held_inline) pool.ForgetString(node->content);
  xmlNodeSetContentLen(node, BytesOf(text), LengthOf(text));
  if (held_inline && node->content != InlineStorage(node)) {
    node->properties = nullptr;
    node->nsDef = nullptr;
  }
  if (pooled && node->content && node->content != InlineStorage(node)) {
    pool.KeepString(node->content);
  }
}

}  // namespace

void SetNodeContent(NodePool& pool, xmlNodePtr node, std::string_view raw_text) {
  ValidText text(raw_text);
  if (node->type == XML_TEXT_NODE && OverwriteInPlace(pool, node, text.View())) return;
  ReplaceContent(pool, node, text.View());
}

void SetAttributeValue(NodePool& pool, xmlAttrPtr attr, std::string_view raw_value) {
  ValidText value(raw_value);
  // Nobody holds handles to an attribute's text children: the facade never
  // hands them out, so they can be changed or freed at once. The common case,
  // one text child, keeps its node and only replaces the text; a shared text
  // (see SubtreeImage) is let go of and replaced by one of the attribute's
  // own.
  xmlNodePtr only = attr->children;
  if (only && !only->next && only->type == XML_TEXT_NODE) {
    if (!IsSharedText(only)) {
      if (!OverwriteInPlace(pool, only, value.View())) ReplaceContent(pool, only, value.View());
      return;
    }
    // A shared text that holds the value already stays: a value written
    // over with itself (a constant evaluated to what it is) keeps its text.
    if (IsPlainText(only) && TextEquals(only->content, value.View())) return;
  }
  for (xmlNodePtr part = attr->children; part;) {
    xmlNodePtr next = part->next;
    if (IsSharedText(part)) {
      ReleaseShared(&pool, part);
      part = next;
      continue;
    }
    part->parent = nullptr;
    part->prev = nullptr;
    part->next = nullptr;
    FreeTree(&pool, part);
    part = next;
  }
  attr->children = nullptr;
  attr->last = nullptr;
  // An empty value needs no text node: the attribute reads and writes as "".
  if (value.View().empty()) return;
  // A short value an attribute gets anew (flags, keys, numbers written over
  // and over) shares its text with the same value written lately; failing
  // that, and for a longer value, the value of another attribute of the
  // element (an item's display text, most often its value) shares that
  // attribute's text.
  if (value.View().size() < kInlineText) {
    const ShortValueKey key(value.View().data(), value.View().size());
    NodePool::ShortText& slot = ShortTextSlot(pool, key);
    xmlNodePtr text = slot.text;
    if (!text || !(slot.key == key)) {
      xmlAttrPtr twin = SiblingHolding(attr, value.View());
      if (twin && ShareAttributeValue(twin, attr)) return;
      text = NewShortTextIn(pool, slot, key, value.View());
    }
    HoldShared(text);
    attr->children = text;
    attr->last = text;
    return;
  }
  xmlAttrPtr twin = SiblingHolding(attr, value.View());
  if (twin && ShareAttributeValue(twin, attr)) return;
  xmlNodePtr text = NewText(pool, attr->doc, value.View());
  if (!text) RaiseXml("Out of memory creating a text node");
  text->parent = reinterpret_cast<xmlNodePtr>(attr);
  attr->children = text;
  attr->last = text;
}

namespace {

// Bumped before the facade frees a document: a dictionary freed with it may
// be followed by a new one at the same address, whose strings are others.
std::atomic<std::uint64_t> dictionary_epoch{0};

// A name recently given to a new node: where the caller kept its bytes
// (for the literals most callers pass, the same place every time), the
// dictionary and the checked name's string there, whose bytes are the
// name's own.
struct RememberedName {
  const xmlDict* dict = nullptr;
  std::uint64_t epoch = 0;
  const char* data = nullptr;
  std::size_t length = 0;
  const xmlChar* interned = nullptr;
};

// Whether `text` starts with the bytes of `name` (short: no library call).
bool SameBytes(const xmlChar* text, std::string_view name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (text[i] != static_cast<xmlChar>(name[i])) return false;
  }
  return true;
}

// Slots of the per-thread table: room for every name a writer uses (an
// output item alone carries some fifty) without two of them taking turns.
constexpr std::size_t kRememberedSlots = 1024;

// Whether `slot` remembers `name` for `dict` in this epoch. The bytes are
// compared too (with the dictionary's string, alive while the epoch
// stands): a caller may reuse storage for another name.
inline bool Remembers(const RememberedName& slot, const xmlDict* dict, std::uint64_t epoch,
                      std::string_view name) {
  return slot.data == name.data() && slot.dict == dict && slot.length == name.size() &&
         slot.epoch == epoch && SameBytes(slot.interned, name);
}

// The name for a new element or attribute when it is not remembered: checked,
// interned (or copied without a dictionary) and remembered in `pair` (null
// without a dictionary).
[[gnu::noinline]] const xmlChar* CheckedNewNodeName(xmlDictPtr dict, RememberedName* pair,
                                                    std::uint64_t epoch, std::string_view name) {
  // A NUL would cut the name short where libxml2 reads it.
  if (name.find('\0') != std::string_view::npos) return nullptr;
  const std::string owned(name);
  if (xmlValidateName(ToXmlChars(owned), 0) != 0) return nullptr;
  const xmlChar* result =
      dict ? xmlDictLookup(dict, ToXmlChars(owned), -1) : xmlStrdup(ToXmlChars(owned));
  if (!result) RaiseXml("Out of memory creating a name");
  if (pair) {
    pair[1] = pair[0];
    pair[0] = {dict, epoch, name.data(), name.size(), result};
  }
  return result;
}

// The name for a new element or attribute of `document`: the dictionary's
// string, or a copy of the node's own without a dictionary. Null when
// `name` is no XML name. Writers give thousands of nodes the same few
// names: those are checked and looked up once per thread.
inline const xmlChar* NewNodeName(xmlDocPtr document, std::string_view name) {
  xmlDictPtr dict = document ? document->dict : nullptr;
  if (!dict) return CheckedNewNodeName(nullptr, nullptr, 0, name);
  thread_local std::array<RememberedName, kRememberedSlots> remembered;
  // Every bit of the address counts (literals lie a byte apart), and the
  // dictionary's: one writer fills two documents with the same names.
  const auto key = reinterpret_cast<std::uintptr_t>(name.data()) + (name.size() << 48) +
                   (reinterpret_cast<std::uintptr_t>(dict) >> 4) * 0xD6E8FEB86659FD93ULL;
  // Two slots per key, the latest name first: two names sharing a key do not
  // take turns.
  RememberedName* pair = &remembered[((key * 0x9E3779B97F4A7C15ULL) >> 54) & ~std::size_t{1}];
  const std::uint64_t epoch = dictionary_epoch.load(std::memory_order_acquire);
  if (Remembers(pair[0], dict, epoch, name)) return pair[0].interned;
  if (Remembers(pair[1], dict, epoch, name)) return pair[1].interned;
  return CheckedNewNodeName(dict, pair, epoch, name);
}

// A zeroed node of libxml2 type `Node` (xmlNode or xmlAttr) of `document`,
// named as NewNodeName names it, not linked anywhere. Null when `name` is no
// XML name.
template <class Node>
Node* NewUnlinkedNode(NodePool& pool, xmlDocPtr document, std::string_view name,
                      xmlElementType type) {
  const xmlChar* node_name = NewNodeName(document, name);
  if (!node_name) return nullptr;
  const bool owned_name = !document || !document->dict;
  Node* node = nullptr;
  try {
    node = NewPooled<Node>(pool, type);
  } catch (...) {
    // A name of no dictionary is the node's own copy.
    if (owned_name) xmlFree(const_cast<xmlChar*>(node_name));
    throw;
  }
  if (owned_name) pool.KeepString(node_name);
  node->doc = document;
  node->name = node_name;
  return node;
}

}  // namespace

void NoteDocumentFreed() { dictionary_epoch.fetch_add(1, std::memory_order_acq_rel); }

namespace {

// Whether `text` is a string of `dict` (xmlDictOwns), remembered per thread
// for the names copies and frees meet over and over. A yes stands until the
// facade frees a document, and with it possibly the dictionary.
bool InDictionary(xmlDictPtr dict, const xmlChar* text) {
  struct Owned {
    const xmlChar* text = nullptr;
    const xmlDict* dict = nullptr;
    std::uint64_t epoch = 0;
  };
  thread_local std::array<Owned, 512> owned;
  const auto bits = reinterpret_cast<std::uintptr_t>(text);
  Owned& slot = owned[(bits * 0x9E3779B97F4A7C15ULL) >> 55];
  const std::uint64_t epoch = dictionary_epoch.load(std::memory_order_acquire);
  if (slot.text == text && slot.dict == dict && slot.epoch == epoch) return true;
  if (xmlDictOwns(dict, text) != 1) return false;
  slot = {text, dict, epoch};
  return true;
}

}  // namespace

xmlAttrPtr NewUnlinkedAttribute(NodePool& pool, xmlDocPtr document, std::string_view name) {
  return NewUnlinkedNode<xmlAttr>(pool, document, name, XML_ATTRIBUTE_NODE);
}

xmlNodePtr NewUnlinkedElement(NodePool& pool, xmlDocPtr document, std::string_view name) {
  return NewUnlinkedNode<xmlNode>(pool, document, name, XML_ELEMENT_NODE);
}

const xmlChar* DictionaryName(xmlDocPtr document, std::string_view name) {
  return NewNodeName(document, name);
}

std::uint64_t DictionaryEpoch() { return dictionary_epoch.load(std::memory_order_acquire); }

xmlAttrPtr NewAttributeNamed(NodePool& pool, xmlDocPtr document, const xmlChar* name) {
  auto* attr = NewPooled<xmlAttr>(pool, XML_ATTRIBUTE_NODE);
  attr->doc = document;
  attr->name = name;
  return attr;
}

void RenewAttribute(NodePool& pool, xmlAttrPtr attr, const xmlChar* name) {
  for (xmlNodePtr part = attr->children; part;) {
    xmlNodePtr next = part->next;
    if (IsSharedText(part)) {
      ReleaseShared(&pool, part);
    } else {
      part->parent = nullptr;
      part->prev = nullptr;
      part->next = nullptr;
      FreeTree(&pool, part);
    }
    part = next;
  }
  xmlDocPtr document = attr->doc;
  std::memset(attr, 0, sizeof(xmlAttr));
  attr->_private = reinterpret_cast<void*>(kPooledNode);
  attr->type = XML_ATTRIBUTE_NODE;
  attr->doc = document;
  attr->name = name;
}

PreparedValue::PreparedValue(std::string_view raw_value) : m_text(ValidText(raw_value).View()) {
  m_short = !m_text.empty() && m_text.size() < kInlineText;
  if (!m_short) return;
  m_key = ShortValueKey(m_text.data(), m_text.size());
  m_bucket = m_key.Bucket(NodePool::kShortTextBits);
}

void PreparedValue::GiveTo(NodePool& pool, xmlAttrPtr attr) const {
  if (m_text.empty()) return;
  if (!m_short) {
    SetAttributeValue(pool, attr, m_text);
    return;
  }
  // The text the table holds for the value, as SharedShortText finds it.
  const NodePool::ShortText& slot = pool.ShortTextTable()[m_bucket];
  xmlNodePtr text = slot.text && slot.key == m_key ? slot.text : SharedShortText(pool, m_text);
  HoldShared(text);
  attr->children = text;
  attr->last = text;
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
      if (QualifiedNameIs(ns, attr->name, name)) return attr;
    } else if (attr->name[0] == first && TextEquals(attr->name + 1, name.substr(1))) {
      return attr;
    }
  }
  return nullptr;
}

namespace {

// Copies element subtrees that use no namespaces (declared or bound) and
// whose attribute values are plain text into one document, with one
// allocation per element, attribute and text (two for a text too long to
// live in its node) in a single walk over the source.
class PlainCopier {
 public:
  // With `share_texts`, the source's nodes are of `pool` too: attributes of
  // the copy share the text of their source (ShareAttributeValue).
  PlainCopier(NodePool& pool, xmlDocPtr document, bool share_texts)
      : m_pool(pool), m_document(document), m_share_texts(share_texts) {}

  // The copy of `source`; null when the subtree is not plain, in which case
  // nothing of the copy is left. Raises when out of memory.
  xmlNodePtr Copy(xmlNodePtr source) {
    xmlNodePtr top = NewElement(source);
    if (!top) return Fail(nullptr);
    if (!CopyAttributes(source, top)) return Fail(top);
    // Down and up the source through its own links (no stack: copies may be
    // made while per-thread storage is torn down), `to` the copy of `from`.
    xmlNodePtr from = source;
    xmlNodePtr to = top;
    xmlNodePtr child = source->children;
    for (;;) {
      if (!child) {
        if (from == source) return top;
        child = from->next;
        from = from->parent;
        to = to->parent;
        continue;
      }
      xmlNodePtr copy = nullptr;
      if (child->type == XML_ELEMENT_NODE) {
        copy = NewElement(child);
        if (!copy) return Fail(top);
        AppendCopy(to, copy);
        if (!CopyAttributes(child, copy)) return Fail(top);
        from = child;
        to = copy;
        child = child->children;
        continue;
      }
      if (child->type == XML_TEXT_NODE) {
        copy = NewText(child);
      } else {
        copy = xmlDocCopyNode(child, m_document, 1);
        if (copy) ResetHandleCounts(copy);
        MarkImpure(m_document);
      }
      if (!copy) return Fail(top);
      AppendCopy(to, copy);
      child = child->next;
    }
  }

 private:
  // Frees a partial copy; raises when the copy ran out of memory, else
  // answers that the source is not plain.
  xmlNodePtr Fail(xmlNodePtr partial) {
    if (partial) FreeTree(&m_pool, partial);
    if (!m_not_plain) RaiseXml("The node could not be copied");
    return nullptr;
  }

  static void AppendCopy(xmlNodePtr parent, xmlNodePtr copy) {
    copy->parent = parent;
    if (!parent->children) {
      parent->children = copy;
    } else {
      parent->last->next = copy;
      copy->prev = parent->last;
    }
    parent->last = copy;
  }

  template <class Node>
  Node* NewBlank(xmlElementType type) {
    return NewPooled<Node>(m_pool, type);
  }

  // The name for a copy: the source's own when the document's dictionary
  // holds it (as it does for a copy within the document), else interned
  // there (or duplicated without a dictionary).
  const xmlChar* Name(const xmlChar* name) {
    xmlDictPtr dict = m_document->dict;
    if (!dict) {
      const xmlChar* copy = xmlStrdup(name);
      if (copy) m_pool.KeepString(copy);
      return copy;
    }
    return InDictionary(dict, name) ? name : xmlDictLookup(dict, name, -1);
  }

  xmlNodePtr NewElement(xmlNodePtr from) {
    if (from->ns || from->nsDef) {
      m_not_plain = true;
      return nullptr;
    }
    xmlNodePtr copy = NewBlank<xmlNode>(XML_ELEMENT_NODE);
    if (!copy) return nullptr;
    copy->doc = m_document;
    copy->line = from->line;
    copy->name = Name(from->name);
    if (!copy->name) {
      m_pool.Give(copy, NodePool::kElementOrText);
      return nullptr;
    }
    return copy;
  }

  // A text of the document with the text of `from`. A text kept inside its
  // node is copied with the node's bytes, without measuring it.
  xmlNodePtr NewText(xmlNodePtr from) {
    xmlNodePtr copy = NewBlank<xmlNode>(XML_TEXT_NODE);
    if (!copy) return nullptr;
    copy->name = from->name;  // the library's static name of text nodes
    copy->doc = m_document;
    const xmlChar* content = from->content;
    if (!content) return copy;
    if (content == InlineStorage(from)) {
      std::memcpy(InlineStorage(copy), content, kInlineText);
      copy->content = InlineStorage(copy);
      return copy;
    }
    const std::size_t length = std::strlen(reinterpret_cast<const char*>(content));
    if (length < kInlineText) {
      std::memcpy(InlineStorage(copy), content, length + 1);
      copy->content = InlineStorage(copy);
      return copy;
    }
    // A buffer of the copy's own, never the dictionary's: a copied subtree
    // may later move to another document by relinking alone.
    copy->content = static_cast<xmlChar*>(xmlMalloc(length + 1));
    if (!copy->content) {
      m_pool.Give(copy, NodePool::kElementOrText);
      return nullptr;
    }
    m_pool.KeepString(copy->content);
    std::memcpy(copy->content, content, length + 1);
    return copy;
  }

  // False when out of memory or an attribute is not plain.
  bool CopyAttributes(xmlNodePtr from, xmlNodePtr to) {
    xmlAttrPtr last = nullptr;
    for (xmlAttrPtr attr = from->properties; attr; attr = attr->next) {
      if (attr->ns) {
        m_not_plain = true;
        return false;
      }
      auto* copy = NewBlank<xmlAttr>(XML_ATTRIBUTE_NODE);
      if (!copy) return false;
      copy->doc = m_document;
      copy->parent = to;
      if (last) {
        last->next = copy;
        copy->prev = last;
      } else {
        to->properties = copy;
      }
      last = copy;
      copy->name = Name(attr->name);
      if (!copy->name) return false;
      if (m_share_texts && ShareAttributeValue(attr, copy)) continue;
      for (xmlNodePtr part = attr->children; part; part = part->next) {
        if (part->type != XML_TEXT_NODE) {
          m_not_plain = true;
          return false;
        }
        xmlNodePtr text = NewText(part);
        if (!text) return false;
        AppendCopy(reinterpret_cast<xmlNodePtr>(copy), text);
      }
    }
    return true;
  }

  NodePool& m_pool;
  xmlDocPtr m_document;
  bool m_share_texts;
  bool m_not_plain = false;
};

}  // namespace

xmlNodePtr CopyNode(NodePool& pool, xmlNodePtr node, xmlDocPtr document, bool deep,
                    bool share_texts) {
  if (deep && node->type == XML_ELEMENT_NODE) {
    if (xmlNodePtr copy = PlainCopier(pool, document, share_texts).Copy(node)) return copy;
  }
  xmlNodePtr copy = nullptr;
  if (node->type == XML_DOCUMENT_NODE || node->type == XML_HTML_DOCUMENT_NODE) {
    copy =
        reinterpret_cast<xmlNodePtr>(xmlCopyDoc(reinterpret_cast<xmlDocPtr>(node), deep ? 1 : 0));
  } else {
    // Extended mode 2 copies an element's attributes without its children.
    copy = xmlDocCopyNode(node, document, deep ? 1 : 2);
    MarkImpure(document);
  }
  if (!copy) RaiseXml("The node could not be copied");
  ResetHandleCounts(copy);
  return copy;
}

namespace {

// Frees what libxml2 frees with a node: strings of the document's dictionary
// stay. Pooled nodes go back to the pool, or stay in their chunks when there
// is none (the pool is about to go).
class TreeFreer {
 public:
  TreeFreer(NodePool* pool, xmlDocPtr document)
      : m_pool(pool), m_dict(document ? document->dict : nullptr) {}

  void FreeString(const xmlChar* text) {
    if (!text || (m_dict && InDictionary(m_dict, text))) return;
    xmlFree(const_cast<xmlChar*>(text));
  }

  void FreeText(xmlNodePtr text) {
    // A shared text goes with its last holder (or with the pool).
    if (IsSharedText(text)) {
      ReleaseShared(m_pool, text);
      return;
    }
    xmlChar* content = text->content;
    if (!IsPooled(text)) {
      if (content != InlineStorage(text)) FreeString(content);
      FreeMemory(text, NodePool::kElementOrText);
      return;
    }
    // A pooled text's buffer is known to the pool, which frees what is left
    // when it goes.
    if (m_pool && content && content != InlineStorage(text)) {
      m_pool->ForgetString(content);
      xmlFree(content);
    }
    FreeMemory(text, NodePool::kElementOrText);
  }

  void FreeAttribute(xmlAttrPtr attr) {
    // An ID leaves the document's table first, as libxml2 does it.
    if (attr->atype == XML_ATTRIBUTE_ID && attr->doc) xmlRemoveID(attr->doc, attr);
    for (xmlNodePtr part = attr->children; part;) {
      xmlNodePtr next = part->next;
      if (part->type == XML_TEXT_NODE) {
        FreeText(part);
      } else {
        xmlFreeNode(part);
      }
      part = next;
    }
    FreeName(IsPooled(attr), attr->name);
    FreeMemory(attr, NodePool::kAttribute);
  }

  // Frees a node whose children are freed already (other than an element
  // or text: libxml2 frees it with whatever it holds).
  void FreeNode(xmlNodePtr node) {
    if (node->type == XML_TEXT_NODE) {
      FreeText(node);
      return;
    }
    if (node->type != XML_ELEMENT_NODE) {
      xmlFreeNode(node);
      return;
    }
    for (xmlAttrPtr attr = node->properties; attr;) {
      xmlAttrPtr next = attr->next;
      FreeAttribute(attr);
      attr = next;
    }
    if (node->nsDef) xmlFreeNsList(node->nsDef);
    FreeName(IsPooled(node), node->name);
    FreeMemory(node, NodePool::kElementOrText);
  }

  // Walks the subtree through its own links, children before their parent,
  // with no stack of its own: documents are freed by destructors of
  // per-thread objects too, after other per-thread storage is gone.
  void FreeSubtree(xmlNodePtr root) {
    xmlNodePtr node = root;
    for (;;) {
      while (node->type == XML_ELEMENT_NODE && node->children) node = node->children;
      xmlNodePtr next = node == root ? nullptr : node->next;
      xmlNodePtr parent = node == root ? nullptr : node->parent;
      FreeNode(node);
      if (!parent) return;
      if (next) {
        node = next;
      } else {
        // Every child of the parent is freed: the parent is next.
        parent->children = nullptr;
        parent->last = nullptr;
        node = parent;
      }
    }
  }

 private:
  // A pooled node's own name is known to its pool, which frees what is left
  // when it goes.
  void FreeName(bool pooled, const xmlChar* name) {
    if (!pooled) {
      FreeString(name);
      return;
    }
    if (!m_pool || !name || (m_dict && InDictionary(m_dict, name))) return;
    m_pool->ForgetString(name);
    xmlFree(const_cast<xmlChar*>(name));
  }

  template <class Node>
  void FreeMemory(Node* node, NodePool::Kind kind) {
    // Whoever asked libxml2 to hear of every freed node hears of these too.
    if (m_deregister) m_deregister(reinterpret_cast<xmlNodePtr>(node));
    if (!IsPooled(node)) {
      xmlFree(node);
    } else if (m_pool) {
      m_pool->Give(node, kind);
    }
  }

  NodePool* m_pool;
  xmlDictPtr m_dict;
  xmlDeregisterNodeFunc m_deregister = xmlDeregisterNodeDefaultValue;
};

}  // namespace

void FreeTree(NodePool* pool, xmlNodePtr root) {
  if (root->type == XML_ATTRIBUTE_NODE) {
    TreeFreer(pool, root->doc).FreeAttribute(reinterpret_cast<xmlAttrPtr>(root));
    return;
  }
  if (root->type != XML_ELEMENT_NODE && root->type != XML_TEXT_NODE) {
    xmlFreeNode(root);
    return;
  }
  TreeFreer(pool, root->doc).FreeSubtree(root);
}

void FreeDocument(NodePool* pool, xmlDocPtr document) {
  TreeFreer freer(pool, document);
  xmlNodePtr node = reinterpret_cast<xmlNodePtr>(document);
  for (xmlNodePtr child = node->children; child;) {
    xmlNodePtr next = child->next;
    if (child->type == XML_ELEMENT_NODE || child->type == XML_TEXT_NODE) {
      xmlUnlinkNode(child);
      freer.FreeSubtree(child);
    }
    child = next;
  }
  xmlFreeDoc(document);
}

namespace {

// The next node of `root`'s subtree in document order after `node`, through
// the tree's own links; `descend` false skips the children of `node`. Null
// after the last.
xmlNodePtr NextInSubtree(xmlNodePtr root, xmlNodePtr node, bool descend) {
  if (descend && node->children && node->type != XML_ENTITY_REF_NODE) return node->children;
  while (node != root && !node->next) node = node->parent;
  return node == root ? nullptr : node->next;
}

// Gives each attribute of the subtree of `root` (or `root` itself, an
// attribute) that holds a shared text a text of its own with that content.
void OwnSharedTexts(NodePool& pool, xmlNodePtr root) {
  const auto own = [&pool](xmlAttrPtr attr) {
    xmlNodePtr shared = attr->children;
    if (!shared || !IsSharedText(shared)) return;
    xmlNodePtr text = NewText(pool, attr->doc, reinterpret_cast<const char*>(shared->content));
    if (!text) RaiseXml("Out of memory moving a node");
    text->parent = reinterpret_cast<xmlNodePtr>(attr);
    attr->children = text;
    attr->last = text;
    ReleaseShared(&pool, shared);
  };
  if (root->type == XML_ATTRIBUTE_NODE) {
    own(reinterpret_cast<xmlAttrPtr>(root));
    return;
  }
  if (root->type != XML_ELEMENT_NODE) return;
  for (xmlNodePtr node = root; node; node = NextInSubtree(root, node, true)) {
    if (node->type != XML_ELEMENT_NODE) continue;
    for (xmlAttrPtr attr = node->properties; attr; attr = attr->next) own(attr);
  }
}

// Moves subtrees without namespaces, IDs or entity references from one
// document to another: every node is given the new document, names come
// from its dictionary and texts held by the old one's are copied. One walk
// to check, one to move, each name looked up once per move.
class PlainMover {
 public:
  PlainMover(NodePool& pool, xmlDocPtr from, xmlDocPtr to)
      : m_pool(pool), m_from(from->dict), m_to(to), m_names(to->dict ? 64 : 0) {}

  static bool IsPlain(xmlNodePtr root) {
    if (root->type != XML_ELEMENT_NODE) return false;
    for (xmlNodePtr node = root; node; node = NextInSubtree(root, node, true)) {
      switch (node->type) {
        case XML_ELEMENT_NODE:
          if (node->ns || node->nsDef) return false;
          for (xmlAttrPtr attr = node->properties; attr; attr = attr->next) {
            if (attr->ns || attr->atype == XML_ATTRIBUTE_ID) return false;
            for (xmlNodePtr part = attr->children; part; part = part->next) {
              if (part->type != XML_TEXT_NODE) return false;
            }
          }
          break;
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
        case XML_COMMENT_NODE:
          break;
        default:
          return false;
      }
    }
    return true;
  }

  void Move(xmlNodePtr root) {
    for (xmlNodePtr node = root; node; node = NextInSubtree(root, node, true)) {
      node->doc = m_to;
      if (node->type != XML_ELEMENT_NODE) {
        MoveText(node);
        continue;
      }
      node->name = Name(node->name, IsPooled(node));
      for (xmlAttrPtr attr = node->properties; attr; attr = attr->next) {
        attr->doc = m_to;
        attr->name = Name(attr->name, IsPooled(attr));
        for (xmlNodePtr part = attr->children; part; part = part->next) {
          // A shared text belongs to no document (nor its content to any
          // dictionary).
          if (IsSharedText(part)) continue;
          part->doc = m_to;
          MoveText(part);
        }
      }
    }
  }

 private:
  bool InSourceDictionary(const xmlChar* text) const {
    return m_from && InDictionary(m_from, text);
  }

  // A text, comment or CDATA node's content: a string of the old dictionary
  // becomes the node's own (a text inside the node or a buffer of its own
  // moves as it is).
  void MoveText(xmlNodePtr node) {
    xmlChar* content = node->content;
    if (!content || content == InlineStorage(node) || !InSourceDictionary(content)) return;
    node->content = xmlStrdup(content);
    if (!node->content) RaiseXml("Out of memory moving a node");
    if (IsPooled(node)) m_pool.KeepString(node->content);
  }

  // A pooled node's own name is known to the pool (NodePool::KeepString).
  const xmlChar* Name(const xmlChar* name, bool pooled) {
    const bool shared = InSourceDictionary(name);
    if (!m_to->dict) {
      // Without a dictionary each node owns its name.
      if (!shared) return name;
      const xmlChar* copy = xmlStrdup(name);
      if (!copy) RaiseXml("Out of memory moving a node");
      if (pooled) m_pool.KeepString(copy);
      return copy;
    }
    if (!shared) {
      // The node's own copy goes; the new document's string replaces it.
      const xmlChar* interned = xmlDictLookup(m_to->dict, name, -1);
      if (!interned) RaiseXml("Out of memory moving a node");
      if (pooled) m_pool.ForgetString(name);
      xmlFree(const_cast<xmlChar*>(name));
      return interned;
    }
    Known& slot = m_names[(reinterpret_cast<std::uintptr_t>(name) * 0x9E3779B97F4A7C15ULL) >> 58];
    if (slot.source == name) return slot.name;
    const xmlChar* interned = xmlDictLookup(m_to->dict, name, -1);
    if (!interned) RaiseXml("Out of memory moving a node");
    slot = {name, interned};
    return interned;
  }

  struct Known {
    const xmlChar* source = nullptr;
    const xmlChar* name = nullptr;
  };

  NodePool& m_pool;
  xmlDictPtr m_from;
  xmlDocPtr m_to;
  std::vector<Known> m_names;  // names of the old dictionary already looked up
};

}  // namespace

void AdoptInto(NodePool& pool, xmlNodePtr node, xmlDocPtr document, xmlNodePtr parent) {
  if (node->doc == document) return;
  // Nodes of a document that is not pure may hold anything.
  if (!IsPure(node->doc)) MarkImpure(document);
  if (node->doc && node->doc->dict != document->dict && PlainMover::IsPlain(node)) {
    PlainMover(pool, node->doc, document).Move(node);
    return;
  }
  MarkImpure(document);
  // libxml2 rewrites every text it moves: shared texts are replaced by the
  // attributes' own first.
  OwnSharedTexts(pool, node);
  // libxml2 may free or replace the names it moves: the pool forgets the
  // pooled nodes' own names first and learns those they own afterwards.
  const auto each_pooled_name = [node](auto&& visit) {
    for (xmlNodePtr at = node; at; at = NextInSubtree(node, at, true)) {
      if (at->type != XML_ELEMENT_NODE) continue;
      if (IsPooled(at)) visit(at->name);
      for (xmlAttrPtr attr = at->properties; attr; attr = attr->next) {
        if (IsPooled(attr)) visit(attr->name);
      }
    }
  };
  const auto owned = [](xmlDocPtr doc, const xmlChar* name) {
    return name && (!doc || !doc->dict || xmlDictOwns(doc->dict, name) != 1);
  };
  xmlDocPtr source = node->doc;
  each_pooled_name([&](const xmlChar* name) {
    if (owned(source, name)) pool.ForgetString(name);
  });
  const int failed = xmlDOMWrapAdoptNode(nullptr, source, node, document, parent, 0);
  each_pooled_name([&](const xmlChar* name) {
    if (owned(node->doc, name)) pool.KeepString(name);
  });
  if (failed != 0) RaiseXml("The node could not be moved to the other document");
}

bool IsUnreferenced(xmlNodePtr root) {
  if (HandleCount(root) != 0) return false;  // the usual answer for a held root
  // No handle ever refers to an attribute's texts (nor may the walk below go
  // up from a shared one: it has no parent).
  if (root->type == XML_ATTRIBUTE_NODE) return true;
  if (!root->children && (root->type != XML_ELEMENT_NODE || !root->properties)) return true;
  // Down and up through the tree's own links (no stack: sweeps run while
  // per-thread storage is torn down too).
  xmlNodePtr node = root;
  for (;;) {
    if (HandleCount(node) != 0) return false;
    if (node->type == XML_ELEMENT_NODE) {
      for (xmlAttrPtr attr = node->properties; attr; attr = attr->next) {
        if (HandleCount(reinterpret_cast<xmlNodePtr>(attr)) != 0) return false;
      }
    }
    // The children of an entity reference belong to the entity.
    if (node->children && node->type != XML_ENTITY_REF_NODE) {
      node = node->children;
      continue;
    }
    while (node != root && !node->next) node = node->parent;
    if (node == root) return true;
    node = node->next;
  }
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

namespace orvo::xml::detail {
namespace {

template <class Field>
void StorePointer(std::byte* at, Field* value) {
  std::memcpy(at, &value, sizeof value);
}

void CopySlot(std::byte* to, const std::byte* from, NodePool::Kind kind) {
  if (kind == NodePool::kAttribute) {
    std::memcpy(to, from, sizeof(xmlAttr));
  } else {
    std::memcpy(to, from, sizeof(xmlNode));
  }
}

bool IsPlainText(xmlNodePtr node) {
  return node->type == XML_TEXT_NODE && IsPooled(node) && !node->children && !node->ns &&
         (node->name == xmlStringText || node->name == xmlStringTextNoenc);
}

// The text of an attribute whose copies share one text node: its only
// child, plain and not empty of content.
xmlNodePtr ShareableText(xmlAttrPtr attr) {
  xmlNodePtr only = attr->children;
  return only && !only->next && IsPlainText(only) && only->content ? only : nullptr;
}

}  // namespace

std::unique_ptr<SubtreeImage> SubtreeImage::Make(xmlNodePtr prototype, NodePool& pool) {
  if (prototype->type != XML_ELEMENT_NODE || prototype->parent || prototype->next ||
      prototype->prev || !prototype->doc || !prototype->doc->dict) {
    return nullptr;
  }
  xmlDictPtr dict = prototype->doc->dict;
  std::unique_ptr<SubtreeImage> image(new SubtreeImage());
  // The nodes in the image's order, and where each went.
  std::vector<const void*> order;
  std::unordered_map<const void*, std::uint32_t> index;
  // Offsets are 32 bits: a larger subtree is copied node by node.
  constexpr std::size_t kLargestImage = std::size_t{1} << 31;
  const auto add = [&](const void* node, NodePool::Kind kind) {
    if (image->m_size > kLargestImage) return false;
    index.emplace(node, static_cast<std::uint32_t>(order.size()));
    order.push_back(node);
    image->m_slots.push_back({static_cast<std::uint32_t>(image->m_size), kind});
    image->m_size += NodePool::SizeOf(kind);
    ++image->m_counts[kind];
    return true;
  };
  const auto plain_name = [dict](const xmlChar* name) {
    return name != nullptr && InDictionary(dict, name);
  };
  for (xmlNodePtr node = prototype; node; node = NextInSubtree(prototype, node, true)) {
    if (node->type == XML_TEXT_NODE) {
      if (!IsPlainText(node) || !add(node, NodePool::kElementOrText)) return nullptr;
      continue;
    }
    if (node->type != XML_ELEMENT_NODE || !IsPooled(node) || node->ns || node->nsDef ||
        node->content || !plain_name(node->name) || !add(node, NodePool::kElementOrText)) {
      return nullptr;
    }
    for (xmlAttrPtr attr = node->properties; attr; attr = attr->next) {
      if (!IsPooled(attr) || attr->ns || attr->atype != 0 || !plain_name(attr->name) ||
          !add(attr, NodePool::kAttribute)) {
        return nullptr;
      }
    }
    for (xmlAttrPtr attr = node->properties; attr; attr = attr->next) {
      if (ShareableText(attr)) continue;
      for (xmlNodePtr part = attr->children; part; part = part->next) {
        if (!IsPlainText(part) || !add(part, NodePool::kElementOrText)) return nullptr;
      }
    }
  }
  image->m_bytes.assign((image->m_size + 7) / 8, 0);
  auto* base = reinterpret_cast<std::byte*>(image->m_bytes.data());
  // Links between the nodes become pairs of offsets; a link out of the
  // subtree means it is no plain copy after all.
  bool linked = true;
  // The attributes whose copies share a text (bytes into the image) and the
  // prototype's text.
  struct Sharing {
    std::uint32_t attr;
    xmlNodePtr text;
  };
  std::vector<Sharing> sharing;
  const auto link = [&](std::uint32_t node, std::size_t field, const void* target,
                        std::size_t target_field) {
    if (!target) return;
    const auto found = index.find(target);
    if (found == index.end()) {
      linked = false;
      return;
    }
    const std::size_t at = image->m_slots[node].offset + field;
    const std::uintptr_t points_to = image->m_slots[found->second].offset + target_field;
    std::memcpy(base + at, &points_to, sizeof points_to);
    image->m_links.push_back(static_cast<std::uint32_t>(at));
    image->m_link_nodes.push_back({node, found->second});
  };
  for (std::uint32_t i = 0; i < order.size(); ++i) {
    const Slot& slot = image->m_slots[i];
    std::byte* at = base + slot.offset;
    std::memcpy(at, order[i], NodePool::SizeOf(slot.kind));
    StorePointer(at, reinterpret_cast<void*>(kPooledNode));  // the _private field: no handles
    if (slot.kind == NodePool::kAttribute) {
      auto* attr = const_cast<xmlAttr*>(static_cast<const xmlAttr*>(order[i]));
      if (xmlNodePtr text = ShareableText(attr)) {
        sharing.push_back({slot.offset, text});
      } else {
        link(i, offsetof(xmlAttr, children), attr->children, 0);
        link(i, offsetof(xmlAttr, last), attr->last, 0);
      }
      link(i, offsetof(xmlAttr, parent), attr->parent, 0);
      link(i, offsetof(xmlAttr, next), attr->next, 0);
      link(i, offsetof(xmlAttr, prev), attr->prev, 0);
      continue;
    }
    const auto* node = static_cast<const xmlNode*>(order[i]);
    link(i, offsetof(xmlNode, parent), node->parent, 0);
    link(i, offsetof(xmlNode, next), node->next, 0);
    link(i, offsetof(xmlNode, prev), node->prev, 0);
    if (node->type == XML_ELEMENT_NODE) {
      link(i, offsetof(xmlNode, children), node->children, 0);
      link(i, offsetof(xmlNode, last), node->last, 0);
      link(i, offsetof(xmlNode, properties), node->properties, 0);
      continue;
    }
    const xmlChar* content = node->content;
    if (!content) continue;
    if (content == InlineStorage(const_cast<xmlNodePtr>(node))) {
      link(i, offsetof(xmlNode, content), node, offsetof(xmlNode, properties));
      continue;
    }
    // The copy's own buffer is made per copy; the image holds none.
    const std::size_t length = std::strlen(reinterpret_cast<const char*>(content));
    if (length > kLargestImage) return nullptr;
    image->m_long_texts.push_back(
        {static_cast<std::uint32_t>(slot.offset + offsetof(xmlNode, content)), i,
         static_cast<std::uint32_t>(image->m_texts.size()), static_cast<std::uint32_t>(length)});
    image->m_texts.append(reinterpret_cast<const char*>(content), length);
    StorePointer(at + offsetof(xmlNode, content), static_cast<xmlChar*>(nullptr));
  }
  if (!linked) return nullptr;
  // One shared text per value, made only now that the image stands (or the
  // prototype's, when it is shared already), held by the image and by each
  // copy's attributes.
  std::unordered_map<std::string_view, std::size_t> texts;  // into m_shared
  for (const Sharing& share : sharing) {
    const std::string_view content(reinterpret_cast<const char*>(share.text->content));
    const auto [found, added] = texts.emplace(content, image->m_shared.size());
    if (added) {
      xmlNodePtr text = share.text;
      if (IsSharedText(text)) {
        HoldShared(text);
      } else {
        text = NewSharedText(pool, content, text->name);
      }
      image->m_shared.emplace_back(text, 0);
    }
    auto& [text, holders] = image->m_shared[found->second];
    ++holders;
    StorePointer(base + share.attr + offsetof(xmlAttr, children), text);
    StorePointer(base + share.attr + offsetof(xmlAttr, last), text);
  }
  return image;
}

void SubtreeImage::Release(NodePool& pool) {
  for (const auto& [text, holders] : m_shared) ReleaseShared(&pool, text);
  m_shared.clear();
}

template <class Where>
void SubtreeImage::CopyLongTexts(NodePool& pool, xmlNodePtr root, Where at) {
  try {
    for (const LongText& text : m_long_texts) {
      auto* buffer = static_cast<xmlChar*>(xmlMalloc(text.length + 1));
      if (!buffer) RaiseXml("The node could not be copied");
      std::memcpy(buffer, m_texts.data() + text.begin, text.length);
      buffer[text.length] = '\0';
      // Held by the node first: freeing the copy frees it, known or not.
      StorePointer(at(text.node, text.at), buffer);
      pool.KeepString(buffer);
    }
  } catch (...) {
    // The texts not reached have no buffer yet.
    FreeTree(&pool, root);
    throw;
  }
}

xmlNodePtr SubtreeImage::Copy(NodePool& pool) {
  const auto* image = reinterpret_cast<const std::byte*>(m_bytes.data());
  // Nodes freed earlier are used first, so that copies made and freed in
  // turn do not make the pool grow; else the copy is one block.
  const bool reuse =
      pool.FreeCount(NodePool::kElementOrText) >= m_counts[NodePool::kElementOrText] &&
      pool.FreeCount(NodePool::kAttribute) >= m_counts[NodePool::kAttribute];
  if (!reuse) {
    if (auto* block = static_cast<std::byte*>(pool.TakeBlock(m_size))) {
      // Node by node, each of a size known here (no call, no loop of bytes).
      for (const Slot& slot : m_slots)
        CopySlot(block + slot.offset, image + slot.offset, slot.kind);
      // Each link holds its target's offset: the block's address is added
      // (a copy has hundreds of links: the loop is unrolled).
      const auto address = reinterpret_cast<std::uintptr_t>(block);
#pragma GCC unroll 4
      for (const std::uint32_t at : m_links) {
        std::uintptr_t offset;
        std::memcpy(&offset, block + at, sizeof offset);
        offset += address;
        std::memcpy(block + at, &offset, sizeof offset);
      }
      for (const auto& [text, holders] : m_shared) HoldShared(text, holders);
      auto* root = reinterpret_cast<xmlNodePtr>(block);
      CopyLongTexts(pool, root, [block](std::uint32_t, std::uint32_t at) { return block + at; });
      return root;
    }
  }
  // Node by node: from the free lists, or from the end of one chunk of
  // blocks into the next.
  m_scratch.resize(m_slots.size());
  for (std::size_t i = 0; i < m_slots.size(); ++i) {
    const Slot& slot = m_slots[i];
    auto* memory =
        static_cast<std::byte*>(reuse ? pool.Take(slot.kind) : pool.TakeInBlocks(slot.kind));
    CopySlot(memory, image + slot.offset, slot.kind);
    m_scratch[i] = memory;
  }
  const auto where = [this](std::uint32_t node, std::uint32_t at) {
    return m_scratch[node] + (at - m_slots[node].offset);
  };
  for (std::size_t i = 0; i < m_links.size(); ++i) {
    const LinkNodes& nodes = m_link_nodes[i];
    std::uintptr_t target;
    std::memcpy(&target, image + m_links[i], sizeof target);
    StorePointer(where(nodes.node, m_links[i]),
                 where(nodes.to, static_cast<std::uint32_t>(target)));
  }
  for (const auto& [text, holders] : m_shared) HoldShared(text, holders);
  auto* root = reinterpret_cast<xmlNodePtr>(m_scratch[0]);
  CopyLongTexts(pool, root, where);
  return root;
}

}  // namespace orvo::xml::detail
