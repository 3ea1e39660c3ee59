#include <libxml/xmlsave.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "orvo/error.h"
#include "xml/arena.h"
#include "xml/libxml.h"
#include "xml/tree_edit.h"
#include "xml/xpath_engine.h"

namespace orvo::xml {

using detail::Arena;
using detail::FromXmlChars;
using detail::RaiseXml;
using detail::ToRaw;
using detail::ToXml;
using detail::ToXmlChars;

// The handle count the public header changes inline is _private, the first
// word of every node type a handle may hold.
static_assert(offsetof(xmlNode, _private) == 0 && offsetof(xmlAttr, _private) == 0 &&
              offsetof(xmlDoc, _private) == 0);
static_assert(sizeof(void*) == sizeof(std::intptr_t));

void Node::RequireNode() const {
  if (!m_node) RaiseXml("Object variable not set: the node is Nothing", kErrObjectRequired);
}

NodeType Node::Type() const {
  RequireNode();
  switch (ToXml(m_node)->type) {
    case XML_ELEMENT_NODE:
      return NodeType::kElement;
    case XML_ATTRIBUTE_NODE:
      return NodeType::kAttribute;
    case XML_TEXT_NODE:
      return NodeType::kText;
    case XML_CDATA_SECTION_NODE:
      return NodeType::kCData;
    case XML_COMMENT_NODE:
      return NodeType::kComment;
    case XML_PI_NODE:
      return NodeType::kProcessingInstruction;
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE:
      return NodeType::kDocument;
    default:
      return NodeType::kOther;
  }
}

std::string Node::Name() const {
  RequireNode();
  xmlNodePtr node = ToXml(m_node);
  switch (node->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
      if (node->ns && node->ns->prefix) {
        return FromXmlChars(node->ns->prefix) + ":" + FromXmlChars(node->name);
      }
      return FromXmlChars(node->name);
    case XML_TEXT_NODE:
      return "#text";
    case XML_CDATA_SECTION_NODE:
      return "#cdata-section";
    case XML_COMMENT_NODE:
      return "#comment";
    case XML_DOCUMENT_NODE:
    case XML_HTML_DOCUMENT_NODE:
      return "#document";
    default:
      return FromXmlChars(node->name);
  }
}

bool Node::NameIs(std::string_view name) const {
  RequireNode();
  xmlNodePtr node = ToXml(m_node);
  if (node->type != XML_ELEMENT_NODE && node->type != XML_ATTRIBUTE_NODE) return Name() == name;
  return detail::QualifiedNameIs(node->ns, node->name, name);
}

std::string Node::Text() const {
  RequireNode();
  return detail::NodeText(ToXml(m_node));
}

void Node::SetText(std::string_view text) {
  RequireNode();
  xmlNodePtr node = ToXml(m_node);
  switch (node->type) {
    case XML_ELEMENT_NODE: {
      Arena& arena = Arena::Owner(m_arena);
      detail::ReleaseChildren(arena, node);
      if (!text.empty()) {
        detail::LinkChild(node, detail::NewTextNode(arena.Pool(), node->doc, text), nullptr);
      }
      break;
    }
    case XML_ATTRIBUTE_NODE:
      detail::SetAttributeValue(Arena::Owner(m_arena).Pool(), reinterpret_cast<xmlAttrPtr>(node),
                                text);
      break;
    case XML_COMMENT_NODE:
      if (text.find("--") != std::string_view::npos || (!text.empty() && text.back() == '-')) {
        RaiseXml("A comment cannot hold \"--\" or end with \"-\"");
      }
      detail::SetNodeContent(Arena::Owner(m_arena).Pool(), node, text);
      break;
    case XML_PI_NODE:
      if (text.find("?>") != std::string_view::npos) {
        RaiseXml("A processing instruction cannot hold \"?>\"");
      }
      detail::SetNodeContent(Arena::Owner(m_arena).Pool(), node, text);
      break;
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
      detail::SetNodeContent(Arena::Owner(m_arena).Pool(), node, text);
      break;
    default:
      RaiseXml("The text of this node cannot be set");
  }
}

std::string Node::Xml() const {
  RequireNode();
  return detail::Serialize(ToXml(m_node));
}

Node Node::ParentNode() const {
  RequireNode();
  xmlNodePtr node = ToXml(m_node);
  // Attributes have no parent in the object model.
  if (node->type == XML_ATTRIBUTE_NODE || !node->parent) return {};
  return Node(m_arena, ToRaw(node->parent));
}

namespace {
bool HasChildList(xmlNodePtr node) {
  return node->type == XML_ELEMENT_NODE || node->type == XML_DOCUMENT_NODE ||
         node->type == XML_DOCUMENT_FRAG_NODE;
}
}  // namespace

Node Node::FirstChild() const {
  RequireNode();
  xmlNodePtr node = ToXml(m_node);
  return HasChildList(node) && node->children ? Node(m_arena, ToRaw(node->children)) : Node();
}

Node Node::LastChild() const {
  RequireNode();
  xmlNodePtr node = ToXml(m_node);
  return HasChildList(node) && node->last ? Node(m_arena, ToRaw(node->last)) : Node();
}

Node Node::NextSibling() const {
  RequireNode();
  xmlNodePtr node = ToXml(m_node);
  return node->type != XML_ATTRIBUTE_NODE && node->next ? Node(m_arena, ToRaw(node->next)) : Node();
}

Node Node::PreviousSibling() const {
  RequireNode();
  xmlNodePtr node = ToXml(m_node);
  return node->type != XML_ATTRIBUTE_NODE && node->prev ? Node(m_arena, ToRaw(node->prev)) : Node();
}

NodeList Node::ChildNodes() const {
  RequireNode();
  std::vector<Node> children;
  xmlNodePtr node = ToXml(m_node);
  if (HasChildList(node)) {
    for (xmlNodePtr child = node->children; child; child = child->next) {
      children.emplace_back(m_arena, ToRaw(child));
    }
  }
  return NodeList(std::move(children));
}

bool Node::HasChildNodes() const {
  RequireNode();
  xmlNodePtr node = ToXml(m_node);
  return HasChildList(node) && node->children != nullptr;
}

Document Node::OwnerDocument() const {
  RequireNode();
  return Document(Node(m_arena, ToRaw(ToXml(m_node)->doc)));
}

Node Node::AppendChild(const Node& child) { return InsertBefore(child, Node()); }

Node Node::AppendNewElement(std::string_view name) {
  RequireNode();
  xmlNodePtr parent = ToXml(m_node);
  if (!HasChildList(parent)) RaiseXml("This node type cannot have children");
  xmlDocPtr document =
      parent->type == XML_DOCUMENT_NODE ? reinterpret_cast<xmlDocPtr>(parent) : parent->doc;
  Arena& arena = Arena::Owner(m_arena);
  arena.NoteGrowth(document);
  xmlNodePtr element = detail::NewUnlinkedElement(arena.Pool(), document, name);
  if (!element) RaiseXml("Invalid element name: " + std::string(name));
  try {
    detail::CheckInsertable(parent, element);
  } catch (...) {
    detail::FreeTree(&arena.Pool(), element);
    throw;
  }
  detail::LinkChild(parent, element, nullptr);
  return Node(m_arena, ToRaw(element));
}

Node Node::InsertBefore(const Node& child, const Node& reference) {
  RequireNode();
  child.RequireNode();
  xmlNodePtr parent = ToXml(m_node);
  xmlNodePtr moving = ToXml(child.m_node);
  xmlNodePtr before = reference ? ToXml(reference.m_node) : nullptr;
  if (!HasChildList(parent)) RaiseXml("This node type cannot have children");
  if (before && before->parent != parent)
    RaiseXml("The reference node is not a child of this node");
  if (moving == before) return child;
  detail::CheckInsertable(parent, moving);
  detail::MoveInto(m_arena, child.m_arena, parent, moving, before);
  return child;
}

Node Node::RemoveChild(const Node& child) {
  RequireNode();
  child.RequireNode();
  xmlNodePtr removing = ToXml(child.m_node);
  if (removing->type == XML_ATTRIBUTE_NODE || removing->parent != ToXml(m_node)) {
    RaiseXml("The node to remove is not a child of this node");
  }
  detail::Detach(Arena::Owner(m_arena), removing);
  return child;
}

Node Node::ReplaceChild(const Node& replacement, const Node& old_child) {
  RequireNode();
  replacement.RequireNode();
  old_child.RequireNode();
  xmlNodePtr parent = ToXml(m_node);
  xmlNodePtr old_node = ToXml(old_child.m_node);
  if (old_node->type == XML_ATTRIBUTE_NODE || old_node->parent != parent) {
    RaiseXml("The node to replace is not a child of this node");
  }
  if (replacement == old_child) return old_child;
  xmlNodePtr incoming = ToXml(replacement.m_node);
  // A document may hold one element: the one being replaced does not count.
  detail::CheckInsertable(parent, incoming, old_node);
  detail::MoveInto(m_arena, replacement.m_arena, parent, incoming, old_node);
  detail::Detach(Arena::Owner(m_arena), old_node);
  return old_child;
}

Node Node::CloneNode(bool deep) const {
  RequireNode();
  if (ToXml(m_node)->type != XML_DOCUMENT_NODE)
    Arena::Owner(m_arena).NoteGrowth(ToXml(m_node)->doc);
  // The copy comes from the pool the node's own come from: they share texts.
  xmlNodePtr copy =
      detail::CopyNode(Arena::Owner(m_arena).Pool(), ToXml(m_node), ToXml(m_node)->doc, deep, true);
  if (copy->type == XML_DOCUMENT_NODE) {
    Arena::Owner(m_arena).AdoptDocument(reinterpret_cast<xmlDocPtr>(copy));
  } else {
    Arena::Owner(m_arena).AddDetached(copy);
  }
  return Node(m_arena, ToRaw(copy));
}

NodeStamp::NodeStamp(const Node& source) : m_prototype(source.CloneNode(true)) {
  xmlNodePtr prototype = ToXml(m_prototype.m_node);
  if (prototype->type != XML_ELEMENT_NODE) return;
  m_image = detail::SubtreeImage::Make(prototype, Arena::Owner(m_prototype.m_arena).Pool());
  if (!m_image) return;
  // Nothing else holds the prototype: its nodes go back to the pool at once.
  m_arena = m_prototype.m_arena;
  m_prototype = Node();
  Arena& arena = Arena::Owner(m_arena);
  arena.RemoveDetached(prototype);
  detail::FreeTree(&arena.Pool(), prototype);
}

NodeStamp::~NodeStamp() {
  if (m_image) m_image->Release(Arena::Owner(m_arena).Pool());
}

Node NodeStamp::Copy() {
  if (!m_image) return m_prototype.CloneNode(true);
  Arena& arena = Arena::Owner(m_arena);
  xmlNodePtr copy = m_image->Copy(arena.Pool());
  arena.AddDetached(copy);
  return Node(m_arena, ToRaw(copy));
}

NamedNodeMap Node::Attributes() const {
  RequireNode();
  return NamedNodeMap(*this);
}

std::optional<std::string> Node::GetAttribute(std::string_view name) const {
  RequireNode();
  xmlAttrPtr attr = detail::FindAttribute(ToXml(m_node), name);
  if (!attr) return std::nullopt;
  return detail::NodeText(reinterpret_cast<xmlNodePtr>(attr));
}

bool Node::HasAttribute(std::string_view name) const {
  RequireNode();
  return detail::FindAttribute(ToXml(m_node), name) != nullptr;
}

namespace {

// Copies an attribute's value into `value`, whose storage is reused.
void CopyAttributeValue(xmlAttrPtr attr, std::string& value) {
  value.clear();
  xmlNodePtr only = attr->children;
  if (only && !only->next && only->type == XML_TEXT_NODE) {
    if (only->content) value.append(reinterpret_cast<const char*>(only->content));
  } else if (only) {
    value = detail::NodeText(reinterpret_cast<xmlNodePtr>(attr));
  }
}

}  // namespace

bool Node::ReadAttribute(std::string_view name, std::string& value) const {
  RequireNode();
  xmlAttrPtr attr = detail::FindAttribute(ToXml(m_node), name);
  if (!attr) {
    value.clear();
    return false;
  }
  CopyAttributeValue(attr, value);
  return true;
}

bool Node::ReadAttributeAt(std::size_t position, std::string& value) const {
  RequireNode();
  const xmlNodePtr node = ToXml(m_node);
  xmlAttrPtr attr = node->type == XML_ELEMENT_NODE ? node->properties : nullptr;
  for (; attr && position > 0; --position) attr = attr->next;
  if (!attr) {
    value.clear();
    return false;
  }
  CopyAttributeValue(attr, value);
  return true;
}

std::string Node::AttributeOr(std::string_view name, std::string_view fallback) const {
  std::optional<std::string> value = GetAttribute(name);
  return value ? std::move(*value) : std::string(fallback);
}

namespace {

// A new attribute of `element` linked right after `last` (first when null),
// so that a run of attributes is appended without walking the list each time.
xmlAttrPtr NewAttributeAfter(detail::NodePool& pool, xmlNodePtr element, xmlAttrPtr last,
                             std::string_view name) {
  xmlAttrPtr attr = detail::NewUnlinkedAttribute(pool, element->doc, name);
  if (!attr) RaiseXml("Invalid attribute name: " + std::string(name));
  detail::LinkAttributeAfter(element, last, attr);
  return attr;
}

xmlAttrPtr NewAttribute(detail::NodePool& pool, xmlNodePtr element, std::string_view name) {
  // A name that is no XML name would make the serialised tree unreadable.
  xmlAttrPtr attr = detail::NewUnlinkedAttribute(pool, element->doc, name);
  if (!attr) RaiseXml("Invalid attribute name: " + std::string(name));
  detail::LinkAttribute(element, attr, nullptr);
  return attr;
}

// Gives the new, empty attribute `to` the value of `from` (none when `from`
// is null or empty): the same shared text when `from` is of `pool` too.
void CopyAttributeValue(detail::NodePool& pool, xmlAttrPtr from, xmlAttrPtr to, bool same_pool) {
  if (!from || !from->children) return;
  if (same_pool && detail::ShareAttributeValue(from, to)) return;
  xmlNodePtr only = from->children;
  if (only->next || only->type != XML_TEXT_NODE) {
    detail::SetAttributeValue(pool, to, detail::NodeText(reinterpret_cast<xmlNodePtr>(from)));
    return;
  }
  // The tree holds only valid text: the value is copied as it is.
  const xmlChar* content = only->content;
  if (!content || *content == '\0') return;
  xmlNodePtr text = detail::NewTextNodeOfValidText(
      pool, to->doc, std::string_view(reinterpret_cast<const char*>(content)));
  text->parent = reinterpret_cast<xmlNodePtr>(to);
  to->children = text;
  to->last = text;
}

}  // namespace

void Node::SetAttribute(std::string_view name, std::string_view value) {
  RequireNode();
  xmlNodePtr element = ToXml(m_node);
  if (element->type != XML_ELEMENT_NODE) RaiseXml("Only elements have attributes");
  xmlAttrPtr attr = detail::FindAttribute(element, name);
  Arena& arena = Arena::Owner(m_arena);
  if (!attr) {
    arena.NoteGrowth(element->doc);
    attr = NewAttribute(arena.Pool(), element, name);
  }
  detail::SetAttributeValue(arena.Pool(), attr, value);
}

bool Node::AddAttribute(std::string_view name, std::string_view value) {
  RequireNode();
  xmlNodePtr element = ToXml(m_node);
  if (element->type != XML_ELEMENT_NODE) RaiseXml("Only elements have attributes");
  if (detail::FindAttribute(element, name)) return false;
  Arena& arena = Arena::Owner(m_arena);
  arena.NoteGrowth(element->doc);
  detail::SetAttributeValue(arena.Pool(), NewAttribute(arena.Pool(), element, name), value);
  return true;
}

std::size_t Node::AddAttributes(
    std::initializer_list<std::pair<std::string_view, std::string_view>> attributes) {
  RequireNode();
  xmlNodePtr element = ToXml(m_node);
  if (element->type != XML_ELEMENT_NODE) RaiseXml("Only elements have attributes");
  xmlAttrPtr last = element->properties;
  while (last && last->next) last = last->next;
  Arena& arena = Arena::Owner(m_arena);
  arena.NoteGrowth(element->doc);
  detail::NodePool& pool = arena.Pool();
  std::size_t added = 0;
  for (const auto& [name, value] : attributes) {
    if (detail::FindAttribute(element, name)) continue;
    xmlAttrPtr attr = NewAttributeAfter(pool, element, last, name);
    last = attr;
    detail::SetAttributeValue(pool, attr, value);
    ++added;
  }
  return added;
}

std::size_t Node::AddAttributesFrom(std::span<const AttributeToAdd> attributes,
                                    std::span<const std::string_view> dropped) {
  RequireNode();
  xmlNodePtr element = ToXml(m_node);
  if (element->type != XML_ELEMENT_NODE) RaiseXml("Only elements have attributes");
  constexpr std::size_t kMost = 16;
  if (attributes.size() > kMost || dropped.size() > kMost) {
    RaiseXml("Too many attributes to add or drop at once");
  }
  // One walk over the attributes the element has finds the sources, the
  // names it has already, the ones to drop and the last attribute. The
  // names sought are chained by their first byte: an attribute is compared
  // in full only with those that start as it does.
  enum : std::uint8_t { kPresent, kSource, kDrop };
  struct Probe {
    std::string_view name;
    std::uint8_t kind;
    std::uint8_t index;
    std::uint8_t next;
  };
  constexpr std::uint8_t kNone = 0xFF;
  std::array<Probe, 3 * kMost> probes;
  std::array<std::uint8_t, 256> first{};
  first.fill(kNone);
  std::uint8_t probe_count = 0;
  const auto seek = [&](std::string_view name, std::uint8_t kind, std::size_t index) {
    if (name.empty()) return;
    std::uint8_t& head = first[static_cast<unsigned char>(name.front())];
    probes[probe_count] = {name, kind, static_cast<std::uint8_t>(index), head};
    head = probe_count++;
  };
  for (std::size_t i = 0; i < attributes.size(); ++i) {
    seek(attributes[i].name, kPresent, i);
    seek(attributes[i].source, kSource, i);
  }
  for (std::size_t i = 0; i < dropped.size(); ++i) seek(dropped[i], kDrop, i);
  std::array<xmlAttrPtr, kMost> sources{};
  std::array<bool, kMost> present{};
  std::array<xmlAttrPtr, kMost> drop{};
  std::size_t drops = 0;
  xmlAttrPtr last = nullptr;
  for (xmlAttrPtr attr = element->properties; attr; attr = attr->next) {
    last = attr;
    const bool prefixed = attr->ns && attr->ns->prefix;
    for (std::uint8_t at = prefixed ? 0 : first[attr->name[0]]; at != kNone && at < probe_count;
         at = prefixed ? static_cast<std::uint8_t>(at + 1) : probes[at].next) {
      const Probe& probe = probes[at];
      // A prefixed name (rare) is left to the general look-up.
      const bool match = prefixed ? detail::FindAttribute(element, probe.name) == attr
                                  : detail::TextEquals(attr->name, probe.name);
      if (!match) continue;
      if (probe.kind == kPresent) {
        present[probe.index] = true;
      } else if (probe.kind == kSource) {
        if (!sources[probe.index]) sources[probe.index] = attr;
      } else if (std::find(drop.begin(), drop.begin() + drops, attr) == drop.begin() + drops) {
        drop[drops++] = attr;
      }
    }
  }
  Arena& arena = Arena::Owner(m_arena);
  arena.NoteGrowth(element->doc);
  detail::NodePool& pool = arena.Pool();
  for (std::size_t d = 0; d < drops; ++d) {
    xmlAttrPtr attr = drop[d];
    if (std::find(sources.begin(), sources.end(), attr) != sources.end()) continue;
    if (attr == last) last = attr->prev;
    xmlUnlinkNode(reinterpret_cast<xmlNodePtr>(attr));
    // Freed at once unless a handle holds it: the new attributes reuse it.
    if (detail::IsUnreferenced(reinterpret_cast<xmlNodePtr>(attr))) {
      detail::FreeTree(&pool, reinterpret_cast<xmlNodePtr>(attr));
    } else {
      arena.AddDetached(reinterpret_cast<xmlNodePtr>(attr));
    }
  }
  std::size_t added = 0;
  for (std::size_t i = 0; i < attributes.size(); ++i) {
    if (present[i]) continue;
    xmlAttrPtr attr = NewAttributeAfter(pool, element, last, attributes[i].name);
    last = attr;
    ++added;
    if (attributes[i].source.empty()) {
      detail::SetAttributeValue(pool, attr, attributes[i].value);
    } else {
      CopyAttributeValue(pool, sources[i], attr, true);
    }
  }
  return added;
}

Node Node::AppendNewElement(std::string_view name, const Node& from,
                            std::span<const AttributeCopy> copies) {
  from.RequireNode();
  Node element = AppendNewElement(name);
  xmlNodePtr target = ToXml(element.m_node);
  xmlNodePtr source = ToXml(from.m_node);
  detail::NodePool& pool = Arena::Owner(m_arena).Pool();
  const bool same_pool = &Arena::Owner(from.m_arena).Pool() == &pool;
  xmlAttrPtr last = nullptr;
  for (const AttributeCopy& copy : copies) {
    xmlAttrPtr attr = NewAttributeAfter(pool, target, last, copy.name);
    last = attr;
    CopyAttributeValue(pool, detail::FindAttribute(source, copy.source), attr, same_pool);
  }
  return element;
}

void Node::RemoveAttribute(std::string_view name) {
  RequireNode();
  if (xmlAttrPtr attr = detail::FindAttribute(ToXml(m_node), name)) {
    detail::Detach(Arena::Owner(m_arena), reinterpret_cast<xmlNodePtr>(attr));
  }
}

void Node::ReadAttributes(std::vector<std::pair<std::string, std::string>>& attributes) const {
  RequireNode();
  xmlNodePtr element = ToXml(m_node);
  std::size_t count = 0;
  for (xmlAttrPtr attr = element->type == XML_ELEMENT_NODE ? element->properties : nullptr; attr;
       attr = attr->next) {
    if (count == attributes.size()) attributes.emplace_back();
    auto& [name, value] = attributes[count++];
    name.clear();
    if (attr->ns && attr->ns->prefix) {
      name.append(reinterpret_cast<const char*>(attr->ns->prefix));
      name += ':';
    }
    name.append(reinterpret_cast<const char*>(attr->name));
    value.clear();
    xmlNodePtr only = attr->children;
    if (only && !only->next && only->type == XML_TEXT_NODE) {
      if (only->content) value.append(reinterpret_cast<const char*>(only->content));
    } else if (only) {
      value = detail::NodeText(reinterpret_cast<xmlNodePtr>(attr));
    }
  }
  attributes.resize(count);
}

void Node::VisitAttributes(AttributeVisitor visitor, void* target) const {
  RequireNode();
  xmlNodePtr element = ToXml(m_node);
  if (element->type != XML_ELEMENT_NODE) return;
  std::string assembled_name;
  std::string assembled_value;
  for (xmlAttrPtr attr = element->properties; attr; attr = attr->next) {
    std::string_view name = reinterpret_cast<const char*>(attr->name);
    if (attr->ns && attr->ns->prefix) {
      assembled_name.assign(reinterpret_cast<const char*>(attr->ns->prefix));
      assembled_name += ':';
      assembled_name += name;
      name = assembled_name;
    }
    std::string_view value;
    xmlNodePtr only = attr->children;
    if (only && !only->next && only->type == XML_TEXT_NODE) {
      if (only->content) value = reinterpret_cast<const char*>(only->content);
    } else if (only) {
      assembled_value = detail::NodeText(reinterpret_cast<xmlNodePtr>(attr));
      value = assembled_value;
    }
    visitor(target, name, value);
  }
}

AttributeSet::AttributeSet(std::span<const std::string_view> names) : m_names(names) {
  if (names.size() > kMostNames) RaiseXml("Too many attribute names in one set");
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i].empty()) RaiseXml("An attribute set names an empty attribute");
    m_starting[static_cast<unsigned char>(names[i].front())] |= static_cast<std::uint16_t>(1u << i);
  }
}

void AttributeSet::Find(const Node& element) {
  m_element = element;
  m_found.fill(nullptr);
  m_last = nullptr;
  xmlNodePtr node = element ? ToXml(element.Raw()) : nullptr;
  if (!node || node->type != XML_ELEMENT_NODE) return;
  // The names still sought, one bit each. A prefixed attribute name (rare)
  // may match any of them; an unprefixed one only those starting as it does.
  auto sought = static_cast<std::uint16_t>((1u << m_names.size()) - 1);
  xmlAttrPtr attr = node->properties;
  for (; attr && sought; attr = attr->next) {
    if (!attr->next) m_last = ToRaw(reinterpret_cast<xmlNodePtr>(attr));
    const bool prefixed = attr->ns && attr->ns->prefix;
    std::uint16_t candidates = prefixed ? sought : (m_starting[attr->name[0]] & sought);
    while (candidates) {
      const int i = std::countr_zero(candidates);
      candidates &= static_cast<std::uint16_t>(candidates - 1);
      const std::string_view name = m_names[static_cast<std::size_t>(i)];
      // (An unprefixed name matched its first byte already.)
      if (prefixed ? detail::QualifiedNameIs(attr->ns, attr->name, name)
                   : detail::TextEquals(attr->name + 1, name.substr(1))) {
        m_found[static_cast<std::size_t>(i)] = ToRaw(reinterpret_cast<xmlNodePtr>(attr));
        sought &= static_cast<std::uint16_t>(~(1u << i));
        break;
      }
    }
  }
}

void AttributeSet::Clear() {
  m_element = Node();
  m_found.fill(nullptr);
  m_last = nullptr;
}

bool AttributeSet::Has(std::size_t index) const {
  if (index >= m_names.size()) RaiseOutOfBounds();
  return m_found[index] != nullptr;
}

std::string_view AttributeSet::Value(std::size_t index) const {
  if (!Has(index)) return {};
  xmlNodePtr attr = ToXml(m_found[index]);
  xmlNodePtr only = attr->children;
  if (!only) return {};
  if (!only->next && only->type == XML_TEXT_NODE) {
    return only->content ? std::string_view(reinterpret_cast<const char*>(only->content))
                         : std::string_view();
  }
  if (m_assembled.size() < m_names.size()) m_assembled.resize(m_names.size());
  m_assembled[index] = detail::NodeText(attr);
  return m_assembled[index];
}

void AttributeSet::Write(std::size_t index, std::string_view value) {
  if (index >= m_names.size()) RaiseOutOfBounds();
  m_element.RequireNode();
  xmlNodePtr element = ToXml(m_element.Raw());
  if (element->type != XML_ELEMENT_NODE) RaiseXml("Only elements have attributes");
  xmlAttrPtr attr = reinterpret_cast<xmlAttrPtr>(ToXml(m_found[index]));
  Arena& arena = Arena::Owner(m_element.m_arena);
  if (!attr) {
    // Attributes are added after the others: while the last one Find saw is
    // still the last, none was added since, and the new one follows it.
    xmlAttrPtr last = reinterpret_cast<xmlAttrPtr>(ToXml(m_last));
    const bool unchanged = last && last->parent == element && !last->next;
    if (!unchanged) attr = detail::FindAttribute(element, m_names[index]);
    if (!attr) {
      arena.NoteGrowth(element->doc);
      if (unchanged) {
        attr = NewAttributeAfter(arena.Pool(), element, last, m_names[index]);
      } else {
        attr = NewAttribute(arena.Pool(), element, m_names[index]);
      }
    }
    m_found[index] = ToRaw(reinterpret_cast<xmlNodePtr>(attr));
    if (!attr->next) m_last = ToRaw(reinterpret_cast<xmlNodePtr>(attr));
  }
  detail::SetAttributeValue(arena.Pool(), attr, value);
}

Node Node::SelectSingleNode(std::string_view xpath) const {
  RequireNode();
  std::vector<xmlNodePtr> found = detail::SelectNodeSet(ToXml(m_node), xpath, true);
  return found.empty() ? Node() : Node(m_arena, ToRaw(found.front()));
}

NodeList Node::SelectNodes(std::string_view xpath) const {
  RequireNode();
  std::vector<xmlNodePtr> found = detail::SelectNodeSet(ToXml(m_node), xpath, false);
  std::vector<Node> nodes;
  nodes.reserve(found.size());
  for (xmlNodePtr node : found) nodes.emplace_back(m_arena, ToRaw(node));
  return NodeList(std::move(nodes));
}

const Node& NodeList::Item(std::size_t index) const {
  if (index >= m_nodes.size()) RaiseOutOfBounds();
  return m_nodes[index];
}

}  // namespace orvo::xml
