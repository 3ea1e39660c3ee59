// Node::AttributeAdder: AddAttributesFrom for many elements of one shape.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "orvo/xml.h"
#include "xml/arena.h"
#include "xml/libxml.h"
#include "xml/tree_edit.h"

namespace orvo::xml {

using detail::Arena;
using detail::RaiseXml;
using detail::ToXml;

namespace {

// Elements with more attributes than this take AddAttributesFrom's way.
constexpr std::size_t kMostAttributes = 32;
using AttributeList = std::array<xmlAttrPtr, kMostAttributes>;

// The attributes of `element` into `attributes`; false when there are too
// many or one has a namespace.
bool ListAttributes(xmlNodePtr element, AttributeList& attributes, std::size_t& count) {
  count = 0;
  for (xmlAttrPtr attr = element->properties; attr; attr = attr->next) {
    if (count == kMostAttributes || attr->ns) return false;
    attributes[count++] = attr;
  }
  return true;
}

bool NameEquals(const xmlChar* name, const std::string& wanted) {
  return !wanted.empty() && detail::TextEquals(name, wanted);
}

}  // namespace

struct Node::AttributeAdder::State {
  // What is asked, in storage of its own.
  std::vector<std::string> names;
  std::vector<std::string> sources;
  std::vector<std::string> raw_values;
  std::vector<detail::PreparedValue> values;
  std::vector<std::string> dropped;
  // The same as AddAttributesFrom takes them, for the elements the
  // remembered shape does not serve.
  std::vector<AttributeToAdd> additions;
  std::vector<std::string_view> drops;

  // The shape last learnt: the document and dictionary it holds for, and
  // the names of the element's attributes in order (dictionary strings).
  const xmlDoc* document = nullptr;
  const xmlDict* dict = nullptr;
  std::uint64_t epoch = 0;
  bool known = false;
  std::vector<const xmlChar*> shape;
  // What it means: per addition, its name in the dictionary, whether the
  // element has it already and where its source stands (-1: none); the
  // places of the attributes to drop that are no source, in order.
  std::vector<const xmlChar*> interned;
  std::vector<bool> present;
  std::vector<int> source_at;
  std::vector<std::size_t> drop_at;

  bool Matches(xmlNodePtr element, AttributeList& attributes, std::size_t& count) const;
  bool Learn(xmlNodePtr element, const AttributeList& attributes, std::size_t count);
  std::size_t Apply(Arena& arena, xmlNodePtr element, const AttributeList& attributes,
                    std::size_t count) const;
};

bool Node::AttributeAdder::State::Matches(xmlNodePtr element, AttributeList& attributes,
                                          std::size_t& count) const {
  if (!known || element->doc != document || !dict || element->doc->dict != dict ||
      detail::DictionaryEpoch() != epoch) {
    return false;
  }
  count = 0;
  for (xmlAttrPtr attr = element->properties; attr; attr = attr->next) {
    if (count == shape.size() || attr->name != shape[count] || attr->ns) return false;
    attributes[count++] = attr;
  }
  return count == shape.size();
}

bool Node::AttributeAdder::State::Learn(xmlNodePtr element, const AttributeList& attributes,
                                        std::size_t count) {
  known = false;
  xmlDocPtr doc = element->doc;
  if (!doc || !doc->dict) return false;
  // Names are compared by address from now on: each must be the
  // dictionary's own string.
  for (std::size_t at = 0; at < count; ++at) {
    if (xmlDictOwns(doc->dict, attributes[at]->name) != 1) return false;
  }
  interned.assign(names.size(), nullptr);
  for (std::size_t i = 0; i < names.size(); ++i) {
    interned[i] = detail::DictionaryName(doc, names[i]);
    if (!interned[i]) return false;  // AddAttributesFrom raises for it
  }
  present.assign(names.size(), false);
  source_at.assign(names.size(), -1);
  drop_at.clear();
  shape.assign(count, nullptr);
  for (std::size_t at = 0; at < count; ++at) {
    const xmlChar* name = attributes[at]->name;
    shape[at] = name;
    bool source = false;
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (NameEquals(name, names[i])) present[i] = true;
      if (NameEquals(name, sources[i])) {
        if (source_at[i] < 0) source_at[i] = static_cast<int>(at);
        source = true;
      }
    }
    // A source is kept even when it is named to be dropped.
    if (source) continue;
    for (const std::string& drop : dropped) {
      if (NameEquals(name, drop)) {
        drop_at.push_back(at);
        break;
      }
    }
  }
  document = doc;
  dict = doc->dict;
  epoch = detail::DictionaryEpoch();
  known = true;
  return true;
}

std::size_t Node::AttributeAdder::State::Apply(Arena& arena, xmlNodePtr element,
                                               const AttributeList& attributes,
                                               std::size_t count) const {
  detail::NodePool& pool = arena.Pool();
  xmlAttrPtr last = count > 0 ? attributes[count - 1] : nullptr;
  // Dropped attributes no handle refers to are made the new ones.
  std::array<xmlAttrPtr, kMostAttributes> spare;
  std::size_t spares = 0;
  for (const std::size_t at : drop_at) {
    xmlAttrPtr attr = attributes[at];
    if (attr == last) last = attr->prev;
    if (attr->prev) {
      attr->prev->next = attr->next;
    } else {
      element->properties = attr->next;
    }
    if (attr->next) attr->next->prev = attr->prev;
    attr->parent = nullptr;
    attr->prev = nullptr;
    attr->next = nullptr;
    xmlNodePtr node = reinterpret_cast<xmlNodePtr>(attr);
    if (!detail::IsUnreferenced(node)) {
      arena.AddDetached(node);
    } else if (detail::IsPooled(attr) && attr->atype != XML_ATTRIBUTE_ID) {
      spare[spares++] = attr;
    } else {
      detail::FreeTree(&pool, node);
    }
  }
  std::size_t reused = 0;
  std::size_t added = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (present[i]) continue;
    xmlAttrPtr attr;
    if (reused < spares) {
      attr = spare[reused++];
      detail::RenewAttribute(pool, attr, interned[i]);
    } else {
      attr = detail::NewAttributeNamed(pool, element->doc, interned[i]);
    }
    detail::LinkAttributeAfter(element, last, attr);
    last = attr;
    ++added;
    if (sources[i].empty()) {
      values[i].GiveTo(pool, attr);
      continue;
    }
    if (source_at[i] < 0) continue;
    xmlAttrPtr from = attributes[static_cast<std::size_t>(source_at[i])];
    if (from->children && !detail::ShareAttributeValue(from, attr)) {
      detail::SetAttributeValue(pool, attr, detail::NodeText(reinterpret_cast<xmlNodePtr>(from)));
    }
  }
  // (More dropped than added: the rest are freed.)
  for (; reused < spares; ++reused) {
    detail::FreeTree(&pool, reinterpret_cast<xmlNodePtr>(spare[reused]));
  }
  return added;
}

Node::AttributeAdder::AttributeAdder(std::span<const AttributeToAdd> attributes,
                                     std::span<const std::string_view> dropped)
    : m_state(std::make_unique<State>()) {
  constexpr std::size_t kMost = 16;
  if (attributes.size() > kMost || dropped.size() > kMost) {
    RaiseXml("Too many attributes to add or drop at once");
  }
  State& state = *m_state;
  for (const AttributeToAdd& attribute : attributes) {
    state.names.emplace_back(attribute.name);
    state.sources.emplace_back(attribute.source);
    state.raw_values.emplace_back(attribute.source.empty() ? attribute.value : std::string_view());
    state.values.emplace_back(state.raw_values.back());
  }
  for (const std::string_view name : dropped) state.dropped.emplace_back(name);
  for (std::size_t i = 0; i < state.names.size(); ++i) {
    state.additions.push_back({state.names[i], state.sources[i], state.raw_values[i]});
  }
  for (const std::string& name : state.dropped) state.drops.push_back(name);
}

Node::AttributeAdder::~AttributeAdder() = default;

std::size_t Node::AttributeAdder::AddTo(Node& element) {
  element.RequireNode();
  xmlNodePtr node = ToXml(element.m_node);
  if (node->type != XML_ELEMENT_NODE) RaiseXml("Only elements have attributes");
  // Only elements of a document with a dictionary are served here (a
  // document without one gets it, when it does, from AddAttributesFrom).
  State& state = *m_state;
  AttributeList attributes;
  std::size_t count = 0;
  if (!state.Matches(node, attributes, count) &&
      !(ListAttributes(node, attributes, count) && state.Learn(node, attributes, count))) {
    return element.AddAttributesFrom(state.additions, state.drops);
  }
  return state.Apply(Arena::Owner(element.m_arena), node, attributes, count);
}

}  // namespace orvo::xml
