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
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
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
      bool written = false;
      for_each_child(from, child.source, [&](const Node& part) {
        WriteCopy(element, part, child);
        written = true;
      });
      if (!written && !child.absent.empty()) {
        Node made = element.AppendNewElement(child.name);
        for (const Node::AttributeValue& value : child.absent) {
          made.SetAttribute(value.name, value.value);
        }
      }
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
      // A subtree copied whole has its attributes one after another (see
      // SubtreeImage): the memory of those further on is asked for early.
      __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(attr) +
                                                       16 * sizeof(xmlAttr)));
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

// Points every node of the subtree of `root` at `target` (but shared texts,
// which belong to no document).
void SetDocument(xmlNodePtr root, xmlDocPtr target) {
  for (xmlNodePtr node = root; node; node = NextInSubtree(node, root)) {
    node->doc = target;
    if (node->type != XML_ELEMENT_NODE) continue;
    for (xmlAttrPtr attr = node->properties; attr; attr = attr->next) {
      attr->doc = target;
      for (xmlNodePtr part = attr->children; part; part = part->next) {
        if (!detail::IsSharedText(part)) part->doc = target;
      }
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

// The index of the first copy whose source is `name`, or -1.
int PickByText(Copies copies, const xmlChar* name) {
  for (std::size_t i = 0; i < copies.size(); ++i) {
    if (!copies[i].source.empty() && detail::TextEquals(name, copies[i].source)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

// Whether `name` may name a node: an XML name without a NUL.
bool IsXmlName(std::string_view name) {
  if (name.empty() || name.find('\0') != std::string_view::npos) return false;
  const std::string owned(name);
  return xmlValidateName(reinterpret_cast<const xmlChar*>(owned.c_str()), 0) == 0;
}

// The string of `dict` for `name`, or null (no dictionary, no name, out of
// memory: callers then compare texts).
const xmlChar* Interned(xmlDictPtr dict, std::string_view name) {
  if (!dict || name.empty() || name.size() > 0x7fffffff ||
      name.find('\0') != std::string_view::npos) {
    return nullptr;
  }
  return xmlDictLookup(dict, reinterpret_cast<const xmlChar*>(name.data()),
                       static_cast<int>(name.size()));
}

}  // namespace

// A shape's elements and attribute lists, with their names checked once and
// looked up in one dictionary (held while the names are). Shapes reached
// twice (or from themselves) get one entry.
struct Node::PreparedShape::Names {
  struct Attribute {
    const xmlChar* name = nullptr;    // the dictionary's string, or null
    const xmlChar* source = nullptr;  // the dictionary's string, or null
    bool valid = false;               // the name is an XML name
    bool as_source = false;           // a name, equal to the (non-empty) source
    int next_same = -1;               // the next copy of the same source
  };

  // Which copy each attribute name of the dictionary goes to (-1: none), as
  // comparing the texts found: names met before are matched by pointer.
  // Only the dictionary's strings are remembered (they stay while it does);
  // other names are compared as texts each time.
  class Picks {
   public:
    bool Find(const xmlChar* name, int& pick) const {
      for (std::size_t at = Home(name);; at = (at + 1) % kSlots) {
        if (m_slots[at].name == name) {
          pick = m_slots[at].pick;
          return true;
        }
        if (!m_slots[at].name) return false;
      }
    }
    void Remember(const xmlChar* name, int pick) {
      if (m_size >= kSlots * 3 / 4) return;
      std::size_t at = Home(name);
      while (m_slots[at].name) at = (at + 1) % kSlots;
      m_slots[at] = {name, pick};
      ++m_size;
    }
    void Clear() {
      m_slots = {};
      m_size = 0;
    }

   private:
    static constexpr std::size_t kSlots = 64;
    static std::size_t Home(const xmlChar* name) {
      return (reinterpret_cast<std::uintptr_t>(name) * 0x9E3779B97F4A7C15ULL) >> 58;
    }
    struct Slot {
      const xmlChar* name = nullptr;
      int pick = -1;
    };
    std::array<Slot, kSlots> m_slots{};
    std::size_t m_size = 0;
  };

  struct Element {
    const Shape* shape = nullptr;
    const xmlChar* name = nullptr;    // the dictionary's string, or null
    const xmlChar* source = nullptr;  // the dictionary's string, or null
    std::size_t first_child = 0;      // into `children`
    std::size_t first_attribute = 0;  // into `attributes`
    bool valid_names = true;          // every attribute name an XML name
    Picks picks;
    // The names (all the dictionary's) of the last attribute list worked
    // out, and the copy each attribute went to (-1: none).
    std::vector<const xmlChar*> last_names;
    std::vector<int> last_picks;
    // The names of the absent element's attributes, as `name`.
    std::vector<const xmlChar*> absent_names;

    bool SameNamesAsLast(xmlAttrPtr attr) const {
      if (last_names.empty()) return false;
      for (const xmlChar* last : last_names) {
        if (!attr || attr->name != last) return false;
        attr = attr->next;
      }
      return attr == nullptr;
    }
    void RememberNames(xmlAttrPtr attr, const std::vector<int>& attribute_picks) {
      last_names.clear();
      for (; attr; attr = attr->next) last_names.push_back(attr->name);
      last_picks = attribute_picks;
    }
  };

  explicit Names(const Shape& shape) {
    std::unordered_map<const Shape*, std::size_t> index;
    const auto add = [&](const Shape& element) {
      auto [at, added] = index.emplace(&element, elements.size());
      if (added) {
        elements.emplace_back();
        elements.back().shape = &element;
      }
      return at->second;
    };
    add(shape);
    for (std::size_t e = 0; e < elements.size(); ++e) {
      const Shape& element = *elements[e].shape;
      const std::size_t first_child = children.size();
      for (const Shape& child : element.children) children.push_back(add(child));
      elements[e].first_child = first_child;
      elements[e].first_attribute = attributes.size();
      const Copies copies = element.attributes;
      for (std::size_t i = 0; i < copies.size(); ++i) {
        Attribute attribute;
        attribute.valid = IsXmlName(copies[i].name);
        elements[e].valid_names = elements[e].valid_names && attribute.valid;
        attribute.as_source = !copies[i].source.empty() && copies[i].name == copies[i].source;
        for (std::size_t j = i + 1; j < copies.size() && attribute.next_same < 0; ++j) {
          if (copies[j].source == copies[i].source) attribute.next_same = static_cast<int>(j);
        }
        attributes.push_back(attribute);
      }
    }
  }
  Names(const Names&) = delete;
  Names& operator=(const Names&) = delete;
  ~Names() { Release(); }

  // Looks the names up in `names` (the target's dictionary, or null) unless
  // that was done last.
  void Ready(xmlDictPtr names) {
    if (ready && names == dict) return;
    Release();
    if (names && xmlDictReference(names) == 0) dict = names;
    for (Element& element : elements) {
      element.name = Interned(dict, element.shape->name);
      element.source = Interned(dict, element.shape->source);
      element.picks.Clear();
      element.last_names.clear();
      element.last_picks.clear();
      element.absent_names.clear();
      for (const AttributeValue& value : element.shape->absent) {
        element.absent_names.push_back(IsXmlName(value.name) ? Interned(dict, value.name)
                                                             : nullptr);
      }
      const Copies copies = element.shape->attributes;
      for (std::size_t i = 0; i < copies.size(); ++i) {
        Attribute& attribute = attributes[element.first_attribute + i];
        attribute.name = attribute.valid ? Interned(dict, copies[i].name) : nullptr;
        attribute.source = Interned(dict, copies[i].source);
      }
    }
    ready = true;
  }

  void Release() {
    if (dict) xmlDictFree(dict);
    dict = nullptr;
    ready = false;
  }

  // Attributes a move drops, named in the dictionary, kept until the end of
  // the move to be reused for the attributes of absent elements (a freed
  // attribute and a new one cost more than renaming one).
  std::vector<xmlAttrPtr> spares;

  std::vector<Element> elements;  // the shape's own first
  std::vector<std::size_t> children;
  std::vector<Attribute> attributes;
  xmlDictPtr dict = nullptr;
  bool ready = false;
};

Node::PreparedShape::PreparedShape(const ElementShape& shape)
    : m_shape(shape), m_names(std::make_unique<Names>(shape)) {}

Node::PreparedShape::~PreparedShape() = default;

namespace {

using Names = Node::PreparedShape::Names;

// Dropped attributes kept for reuse, at most.
constexpr std::size_t kSpares = 8;

// Points an attribute kept by a move, and its text (unless shared: that
// belongs to no document), at `document`.
inline void SetAttributeDocument(xmlAttrPtr attr, xmlDocPtr document) {
  attr->doc = document;
  for (xmlNodePtr part = attr->children; part; part = part->next) {
    if (!detail::IsSharedText(part)) part->doc = document;
  }
}

// Copies in a shape's attribute list worked out without a table of their
// own (at most).
constexpr std::size_t kMostCopies = 32;

// Links onto `element`, which has no attributes now, one attribute per copy
// of `entry`'s shape, in order: `taken[i]`, renamed as the copy asks (by
// pointer when `by_pointer[i]`, null: all), moved to `document`, or a new
// empty attribute when null.
void LinkCopies(detail::NodePool& pool, const Names& names, const Names::Element& entry,
                xmlNodePtr element, xmlDocPtr document, const xmlAttrPtr* taken,
                const unsigned char* by_pointer) {
  const Copies copies = entry.shape->attributes;
  const Names::Attribute* wanted = names.attributes.data() + entry.first_attribute;
  xmlAttrPtr last = nullptr;
  for (std::size_t i = 0; i < copies.size(); ++i) {
    xmlAttrPtr kept = taken[i];
    if (kept) {
      SetAttributeDocument(kept, document);
      if (!wanted[i].as_source) {
        if ((!by_pointer || by_pointer[i]) && wanted[i].name) {
          kept->name = wanted[i].name;
        } else {
          Rename(pool, reinterpret_cast<xmlNodePtr>(kept), document, copies[i].name);
        }
      }
      NormalizeValue(pool, kept);
    } else {
      kept = detail::NewUnlinkedAttribute(pool, document, copies[i].name);
      if (!kept) RaiseXml("Invalid attribute name: " + std::string(copies[i].name));
    }
    kept->parent = element;
    kept->prev = last;
    if (last) {
      last->next = kept;
    } else {
      element->properties = kept;
    }
    last = kept;
  }
}

// ReshapeAttributes for an element whose attribute names are those of the
// list last worked out for `entry` (all the dictionary's, the copies' names
// all XML names): each attribute goes where it went then.
void ReshapeAsLast(detail::NodePool& pool, Names& names, Names::Element& entry, xmlNodePtr element,
                   xmlDocPtr document) {
  std::array<xmlAttrPtr, kMostCopies> taken;
  const std::size_t copies = entry.shape->attributes.size();
  std::fill_n(taken.begin(), copies, nullptr);
  xmlAttrPtr attr = element->properties;
  element->properties = nullptr;
  for (const int pick : entry.last_picks) {
    xmlAttrPtr next = attr->next;
    attr->prev = nullptr;
    attr->next = nullptr;
    if (pick >= 0) {
      taken[static_cast<std::size_t>(pick)] = attr;
    } else if (names.spares.size() < kSpares) {
      names.spares.push_back(attr);
    } else {
      detail::FreeTree(&pool, reinterpret_cast<xmlNodePtr>(attr));
    }
    attr = next;
  }
  LinkCopies(pool, names, entry, element, document, taken.data(), nullptr);
}

// Rebuilds an element's attribute list as its shape's copies ask, from its
// own attributes: each copy takes the first attribute named as its source
// (renamed when the names differ), or a new empty attribute; the others are
// freed. The attributes kept move to `document`.
void ReshapeAttributes(detail::NodePool& pool, Names& names, Names::Element& entry,
                       xmlNodePtr element, xmlDocPtr document) {
  const Copies copies = entry.shape->attributes;
  const Names::Attribute* wanted = names.attributes.data() + entry.first_attribute;
  // The usual case, records written from the same template as the shape:
  // the attributes are already those of the copies, in order, each with one
  // text node at most. Each one found so is moved to `document` at once
  // (what follows when one is not moves the kept ones again, and frees the
  // others alike in either document: both have the same names).
  xmlAttrPtr attr = element->properties;
  std::size_t in_place = 0;
  for (; in_place < copies.size() && attr; ++in_place, attr = attr->next) {
    if (!wanted[in_place].as_source) break;
    if (attr->name != wanted[in_place].source &&
        !detail::TextEquals(attr->name, copies[in_place].source)) {
      break;
    }
    xmlNodePtr only = attr->children;
    if (only && (only->next || only->type != XML_TEXT_NODE)) break;
    SetAttributeDocument(attr, document);
  }
  if (in_place == copies.size() && !attr) return;
  if (names.dict && entry.valid_names && copies.size() <= kMostCopies &&
      entry.SameNamesAsLast(element->properties)) {
    ReshapeAsLast(pool, names, entry, element, document);
    return;
  }

  // Which attribute each copy takes, and whether its name is the
  // dictionary's (a rename then only points it elsewhere). Records of one
  // template carry the same names: the list last worked out is tried first.
  thread_local std::vector<xmlAttrPtr> taken;
  thread_local std::vector<unsigned char> taken_by_pointer;
  thread_local std::vector<int> picks;  // per attribute, in order
  taken.assign(copies.size(), nullptr);
  picks.clear();
  bool dictionary_names = true;  // every name the dictionary's
  if (entry.SameNamesAsLast(element->properties)) {
    taken_by_pointer.assign(copies.size(), 1);
    attr = element->properties;
    for (const int pick : entry.last_picks) {
      if (pick >= 0) taken[pick] = attr;
      picks.push_back(pick);
      attr = attr->next;
    }
  } else {
    taken_by_pointer.assign(copies.size(), 0);
    bool all_by_pointer = names.dict != nullptr;
    for (attr = element->properties; attr; attr = attr->next) {
      int pick = -1;
      bool by_pointer = names.dict && entry.picks.Find(attr->name, pick);
      if (!by_pointer) {
        pick = PickByText(copies, attr->name);
        if (names.dict && xmlDictOwns(names.dict, attr->name) == 1) {
          entry.picks.Remember(attr->name, pick);
          by_pointer = true;
        }
      }
      all_by_pointer = all_by_pointer && by_pointer;
      while (pick >= 0 && taken[pick]) pick = wanted[pick].next_same;
      picks.push_back(pick);
      if (pick < 0) continue;
      taken[pick] = attr;
      taken_by_pointer[pick] = by_pointer;
    }
    if (all_by_pointer) entry.RememberNames(element->properties, picks);
    dictionary_names = all_by_pointer;
  }
  // Names are checked before anything changes.
  for (std::size_t i = 0; i < copies.size(); ++i) {
    if (!wanted[i].valid && !(taken[i] && wanted[i].as_source)) {
      RaiseXml("Invalid attribute name: " + std::string(copies[i].name));
    }
  }

  attr = element->properties;
  element->properties = nullptr;
  for (std::size_t at = 0; attr; ++at) {
    xmlAttrPtr next = attr->next;
    attr->prev = nullptr;
    attr->next = nullptr;
    if (picks[at] < 0) {
      if (dictionary_names && names.spares.size() < kSpares) {
        names.spares.push_back(attr);
      } else {
        detail::FreeTree(&pool, reinterpret_cast<xmlNodePtr>(attr));
      }
    }
    attr = next;
  }
  LinkCopies(pool, names, entry, element, document, taken.data(), taken_by_pointer.data());
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

// Whether `node` is an element named as `entry`'s source.
inline bool IsSource(xmlNodePtr node, const Names::Element& entry) {
  if (node->type != XML_ELEMENT_NODE) return false;
  if (node->name == entry.source) return true;
  return !entry.shape->source.empty() && detail::TextEquals(node->name, entry.shape->source);
}

void Reshape(detail::NodePool& pool, Names& names, Names::Element& entry, xmlNodePtr element,
             xmlDocPtr document);

// A spare attribute (see Names::spares) for the value `value`, named
// `name` (the dictionary's) and pointing at `document`; null when none is
// left. One without text is taken for an empty value, one with text for
// another, when there is one.
xmlAttrPtr TakeSpare(Names& names, const xmlChar* name, std::string_view value,
                     xmlDocPtr document) {
  if (names.spares.empty() || !name) return nullptr;
  auto chosen = names.spares.end() - 1;
  for (auto at = names.spares.begin(); at != names.spares.end(); ++at) {
    if (((*at)->children == nullptr) == value.empty()) {
      chosen = at;
      break;
    }
  }
  xmlAttrPtr attr = *chosen;
  *chosen = names.spares.back();
  names.spares.pop_back();
  attr->name = name;
  attr->atype = static_cast<xmlAttributeType>(0);
  attr->psvi = nullptr;
  attr->parent = nullptr;
  SetAttributeDocument(attr, document);
  return attr;
}

// Appends to `parent` the element `entry`'s shape writes for a source
// without the child it picks.
void AppendAbsent(detail::NodePool& pool, xmlNodePtr parent, Names& names,
                  const Names::Element& entry, xmlDocPtr document) {
  const Shape& shape = *entry.shape;
  xmlNodePtr made = detail::NewUnlinkedElement(pool, document, shape.name);
  if (!made) RaiseXml("Invalid element name: " + std::string(shape.name));
  detail::LinkChild(parent, made, nullptr);
  xmlAttrPtr last = nullptr;
  for (std::size_t i = 0; i < shape.absent.size(); ++i) {
    const Node::AttributeValue& value = shape.absent[i];
    xmlAttrPtr attr =
        names.dict ? TakeSpare(names, entry.absent_names[i], value.value, document) : nullptr;
    if (!attr) attr = detail::NewUnlinkedAttribute(pool, document, value.name);
    if (!attr) RaiseXml("Invalid attribute name: " + std::string(value.name));
    detail::LinkAttributeAfter(made, last, attr);
    last = attr;
    if (!value.value.empty() || attr->children) {
      detail::SetAttributeValue(pool, attr, value.value);
    }
  }
}

// Moves each element of `run` named as `entry`'s source, reshaped, to the
// end of `parent`.
void MovePicked(Run& run, xmlNodePtr parent, Names& names, Names::Element& entry,
                xmlDocPtr document) {
  bool moved = false;
  for (xmlNodePtr node = run.first; node;) {
    xmlNodePtr next = node->next;
    if (IsSource(node, entry)) {
      run.Unlink(node);
      detail::LinkChild(parent, node, nullptr);
      Reshape(run.pool, names, entry, node, document);
      moved = true;
    }
    node = next;
  }
  if (!moved && !entry.shape->absent.empty()) {
    AppendAbsent(run.pool, parent, names, entry, document);
  }
}

// Turns an element of a plain subtree, linked where it goes, into what its
// shape writes; what is kept moves to `document` (whose names are those of
// `names`), what is dropped is freed.
void Reshape(detail::NodePool& pool, Names& names, Names::Element& entry, xmlNodePtr element,
             xmlDocPtr document) {
  element->doc = document;
  const Shape& shape = *entry.shape;
  if (!(entry.name && element->name == entry.name) &&
      (shape.name.empty() || !detail::TextEquals(element->name, shape.name))) {
    Rename(pool, element, document, shape.name);
  }
  ReshapeAttributes(pool, names, entry, element, document);
  if (!element->children && shape.children.empty()) return;
  Run children(pool, element);
  for (std::size_t k = 0; k < shape.children.size(); ++k) {
    Names::Element& child = names.elements[names.children[entry.first_child + k]];
    if (!child.shape->gathered) {
      MovePicked(children, element, names, child, document);
      continue;
    }
    xmlNodePtr gathered = detail::NewUnlinkedElement(pool, document, child.shape->name);
    if (!gathered) RaiseXml("Invalid element name: " + std::string(child.shape->name));
    detail::LinkChild(element, gathered, nullptr);
    const std::size_t grandchildren = child.shape->children.size();
    for (xmlNodePtr part = children.first; part;) {
      xmlNodePtr next = part->next;
      if (IsSource(part, child)) {
        children.Unlink(part);
        Run runs(pool, part);
        part->parent = nullptr;
        detail::FreeTree(&pool, part);
        for (std::size_t g = 0; g < grandchildren; ++g) {
          Names::Element& grandchild = names.elements[names.children[child.first_child + g]];
          MovePicked(runs, gathered, names, grandchild, document);
        }
      }
      part = next;
    }
  }
}

}  // namespace

Node Node::AppendShaped(Node from, const ElementShape& shape, bool move) {
  PreparedShape prepared(shape);
  return AppendShaped(std::move(from), prepared, move);
}

Node Node::AppendShaped(Node from, PreparedShape& shape, bool move) {
  RequireNode();
  from.RequireNode();
  xmlNodePtr parent = ToXml(m_node);
  xmlNodePtr source = ToXml(from.m_node);
  if (!move || parent->type != XML_ELEMENT_NODE || !Movable(source, parent->doc)) {
    return WriteCopy(*this, from, shape.m_shape);
  }
  xmlDocPtr document = parent->doc;
  Names& names = *shape.m_names;
  names.Ready(document->dict);
  if (source->parent) {
    xmlUnlinkNode(source);
  } else {
    Arena::Owner(from.m_arena).RemoveDetached(source);
  }
  // The moved nodes' memory may come from the source's pool: from here on
  // both arenas draw from (and keep alive) one pool.
  Arena::SharePools(from.m_arena, m_arena);
  if (source->doc != document && !detail::IsPure(source->doc)) detail::MarkImpure(document);
  detail::LinkChild(parent, source, nullptr);
  // Each node kept is pointed at its new document as the reshaping reaches
  // it; the dropped ones are freed from the old one, which shares the names.
  // A failure part way points whatever is left at the target, which then
  // frees it whole.
  detail::NodePool& pool = Arena::Owner(m_arena).Pool();
  // The spares left are freed while their document (the source's) stands.
  struct FreeSpares {
    detail::NodePool& pool;
    std::vector<xmlAttrPtr>& spares;
    ~FreeSpares() {
      for (xmlAttrPtr attr : spares) detail::FreeTree(&pool, reinterpret_cast<xmlNodePtr>(attr));
      spares.clear();
    }
  };
  try {
    const FreeSpares free_spares{pool, names.spares};
    Reshape(pool, names, names.elements.front(), source, document);
  } catch (...) {
    SetDocument(source, document);
    throw;
  }
  // The source's arena may go with the handle; nothing of it is used now.
  from = Node();
  return Node(m_arena, ToRaw(source));
}

namespace {

// Whether the element `node` is named `name` as NameIs reads names.
inline bool ElementNamed(xmlNodePtr node, std::string_view name) {
  return node->type == XML_ELEMENT_NODE && detail::QualifiedNameIs(node->ns, node->name, name);
}

// The first node below `root` to look at for HasDescendant, or null.
inline xmlNodePtr FirstBelow(xmlNodePtr root) {
  if (root->type != XML_ELEMENT_NODE && root->type != XML_DOCUMENT_NODE) return nullptr;
  return root->children;
}

// Walks one path per item, `count` of them, up to 16 paths in step: one
// step of each in turn, so that the memory reads of different paths
// overlap (each step asks early for the memory of its next one). A path
// is a `Cursor`: `start(i, cursor)` places it at item i's first step
// (false: item i has nothing to walk); `step(i, cursor)` takes a step and
// answers whether the path goes on.
template <class Cursor, class Start, class Step>
void WalkInStep(std::size_t count, Start start, Step step) {
  struct Walk {
    Cursor at;
    std::size_t index;
  };
  constexpr std::size_t kInStep = 16;
  std::array<Walk, kInStep> walks;
  std::size_t walking = 0;
  std::size_t next = 0;
  const auto begin = [&](Walk& walk) {
    for (; next < count; ++next) {
      if (start(next, walk.at)) {
        walk.index = next++;
        return true;
      }
    }
    return false;
  };
  while (walking < kInStep && begin(walks[walking])) ++walking;
  while (walking > 0) {
    for (std::size_t w = 0; w < walking;) {
      Walk& walk = walks[w];
      if (step(walk.index, walk.at)) {
        ++w;
      } else if (!begin(walk)) {
        walk = walks[--walking];
      }
    }
  }
}

}  // namespace

bool Node::HasDescendant(std::string_view name) const {
  RequireNode();
  xmlNodePtr root = ToXml(m_node);
  for (xmlNodePtr node = FirstBelow(root); node; node = NextInSubtree(node, root)) {
    if (ElementNamed(node, name)) return true;
  }
  return false;
}

void Node::HasDescendants(std::span<const Node> nodes, std::string_view name,
                          std::vector<bool>& answers) {
  for (const Node& node : nodes) node.RequireNode();
  answers.assign(nodes.size(), false);
  struct Cursor {
    xmlNodePtr root;
    xmlNodePtr at;
  };
  WalkInStep<Cursor>(
      nodes.size(),
      [&](std::size_t i, Cursor& cursor) {
        xmlNodePtr root = ToXml(nodes[i].m_node);
        xmlNodePtr first = FirstBelow(root);
        if (!first) return false;
        __builtin_prefetch(first);
        cursor = {root, first};
        return true;
      },
      [&](std::size_t i, Cursor& cursor) {
        if (ElementNamed(cursor.at, name)) {
          answers[i] = true;
          return false;
        }
        cursor.at = NextInSubtree(cursor.at, cursor.root);
        if (!cursor.at) return false;
        __builtin_prefetch(cursor.at);
        return true;
      });
}

void Node::ReadAttributes(std::span<const Node> elements, std::string_view name,
                          std::vector<std::string>& values) {
  for (const Node& element : elements) element.RequireNode();
  values.resize(elements.size());
  // The attribute found of each element, or null; its text is asked for
  // when it is found and read once every list has been walked.
  thread_local std::vector<xmlAttrPtr> found;
  found.assign(elements.size(), nullptr);
  WalkInStep<xmlAttrPtr>(
      elements.size(),
      [&](std::size_t i, xmlAttrPtr& at) {
        xmlNodePtr element = ToXml(elements[i].m_node);
        if (element->type != XML_ELEMENT_NODE || name.empty() || !element->properties) {
          return false;
        }
        __builtin_prefetch(element->properties);
        at = element->properties;
        return true;
      },
      [&](std::size_t i, xmlAttrPtr& at) {
        if (detail::QualifiedNameIs(at->ns, at->name, name)) {
          found[i] = at;
          __builtin_prefetch(at->children);
          return false;
        }
        at = at->next;
        if (!at) return false;
        __builtin_prefetch(at);
        return true;
      });
  for (std::size_t i = 0; i < elements.size(); ++i) {
    std::string& value = values[i];
    value.clear();
    xmlAttrPtr attr = found[i];
    if (!attr) continue;
    xmlNodePtr only = attr->children;
    if (only && !only->next && only->type == XML_TEXT_NODE) {
      if (only->content) value.append(reinterpret_cast<const char*>(only->content));
    } else if (only) {
      value = detail::NodeText(reinterpret_cast<xmlNodePtr>(attr));
    }
  }
}

}  // namespace orvo::xml
