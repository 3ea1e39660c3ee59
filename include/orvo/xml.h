// The XML document object model every structured value of the library lives in.
//
// A thin facade over libxml2/libxslt with the behaviour the library's queries
// are written for:
//   * Node is a cheap handle: copies share the node. A node removed from its
//     tree (RemoveChild, ReplaceChild, RemoveNamedItem) or never inserted
//     (CreateElement, CloneNode) stays valid while any handle to it or into its
//     subtree is held; unheld detached subtrees are reclaimed.
//   * A node of one document may be inserted into another document; it moves
//     there and every handle to it stays valid.
//   * XPath "/" and "//" at the start of a location path mean the top of the
//     context node's tree: the document when the node is attached, the
//     detached top element otherwise ("/EPRC" on a detached EPRCs element
//     selects its EPRC children). Compiled queries are cached per thread.
//   * Parsing never loads external entities or DTDs; stylesheets can neither
//     read nor write files nor reach the network.
//   * Text rule: whatever bytes a caller passes, the tree holds only text
//     XML 1.0 can carry, so Xml() is always well-formed. Every text stored
//     through the facade (SetText, SetAttribute, CreateTextNode) and every
//     text Escape writes is made valid once, on the way in: each ill-formed
//     UTF-8 sequence (cut to its longest well-formed start) and each
//     character XML 1.0 cannot hold (C0 controls other than tab, line feed
//     and carriage return; U+FFFE, U+FFFF) becomes U+FFFD. Valid characters
//     are kept as they are, so text read back differs from text written only
//     where it was invalid. U+00FF ("\xC3\xBF"), which display texts use as
//     a page and reference marker, is a valid character and kept; a lone
//     byte 0xFF is ill-formed UTF-8 and becomes U+FFFD, so code writing the
//     marker writes its UTF-8 form. A comment text holding "--" or ending in
//     "-", a processing-instruction text holding "?>" and an attribute name
//     that is no XML name are refused with a failure.
//
// Failures are orvo::Error with source "XML": number 1 for misuse (inserting
// a node into its own subtree, a bad XPath), the parser's own code for
// malformed text.
//
// Threading: a tree and every handle into it belong to one thread.
#ifndef ORVO_XML_H_
#define ORVO_XML_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace orvo::xml {

namespace detail {
struct RawNode;  // an xmlNode, opaque to hosts
class SubtreeImage;

// The number of references to an arena (the owner of a tree's memory). Not
// atomic: a tree and every handle into it belong to one thread, and handles
// are made and dropped at every step of a walk over a tree.
struct ArenaCount {
  std::size_t references = 0;
};
// Frees an arena no reference is left to.
void ReleaseArena(ArenaCount* arena) noexcept;

// A node's handle count lives in its first word (see libxml.h), which every
// node type the facade hands out begins with. Handles are made and dropped
// at every step of a walk, so the count is changed here, inline, rather
// than through a call.
inline void ChangeHandleCount(RawNode* node, std::intptr_t change) noexcept {
  std::intptr_t word = 0;
  std::memcpy(&word, static_cast<void*>(node), sizeof(word));
  word += change;
  std::memcpy(static_cast<void*>(node), &word, sizeof(word));
}

// A counted reference to an arena.
class ArenaRef {
 public:
  ArenaRef() noexcept = default;
  explicit ArenaRef(ArenaCount* arena) noexcept : m_arena(arena) {
    if (m_arena) ++m_arena->references;
  }
  ArenaRef(const ArenaRef& other) noexcept : ArenaRef(other.m_arena) {}
  ArenaRef(ArenaRef&& other) noexcept : m_arena(std::exchange(other.m_arena, nullptr)) {}
  ArenaRef& operator=(ArenaRef other) noexcept {
    std::swap(m_arena, other.m_arena);
    return *this;
  }
  ~ArenaRef() {
    if (m_arena && --m_arena->references == 0) ReleaseArena(m_arena);
  }
  ArenaCount* Get() const noexcept { return m_arena; }

 private:
  ArenaCount* m_arena = nullptr;
};
}  // namespace detail

enum class NodeType {
  kElement,
  kAttribute,
  kText,
  kCData,
  kComment,
  kProcessingInstruction,
  kDocument,
  kOther
};

class Document;
class NodeList;
class NamedNodeMap;
class Stylesheet;

class Node {
 public:
  // A null handle ("Nothing").
  Node() noexcept = default;
  Node(const Node& other) noexcept : m_arena(other.m_arena), m_node(other.m_node) {
    if (m_node) detail::ChangeHandleCount(m_node, 1);
  }
  Node(Node&& other) noexcept
      : m_arena(std::move(other.m_arena)), m_node(std::exchange(other.m_node, nullptr)) {}
  Node& operator=(const Node& other) noexcept {
    if (this != &other) *this = Node(other);
    return *this;
  }
  Node& operator=(Node&& other) noexcept {
    if (this != &other) {
      if (m_node) detail::ChangeHandleCount(m_node, -1);
      m_node = std::exchange(other.m_node, nullptr);
      // Released after the count changed: the arena may free the old node.
      m_arena = std::move(other.m_arena);
    }
    return *this;
  }
  ~Node() {
    if (m_node) detail::ChangeHandleCount(m_node, -1);
  }

  explicit operator bool() const noexcept { return m_node != nullptr; }
  bool IsNull() const noexcept { return m_node == nullptr; }
  // Identity: two handles to the same node compare equal.
  friend bool operator==(const Node& a, const Node& b) noexcept { return a.m_node == b.m_node; }

  NodeType Type() const;
  std::string Name() const;
  // Whether Name() equals `name`, without building the name: for readers
  // that look at many nodes.
  bool NameIs(std::string_view name) const;

  // Whether an element named `name` (as NameIs reads names) is anywhere
  // below this element or document, without a handle per node looked at.
  bool HasDescendant(std::string_view name) const;
  // HasDescendant for each of `nodes`, answers in their order. The walks go
  // in step, a node of each in turn, so that the reads of different
  // subtrees overlap: much faster than one walk after another over subtrees
  // that are not in the cache.
  static void HasDescendants(std::span<const Node> nodes, std::string_view name,
                             std::vector<bool>& answers);
  // ReadAttribute for each of `elements`: `values[i]` is the value of the
  // i-th one's attribute `name`, empty when it has none. The attribute lists
  // are read in step, as HasDescendants reads subtrees.
  static void ReadAttributes(std::span<const Node> elements, std::string_view name,
                             std::vector<std::string>& values);

  // Text content: for an element the concatenated text of its descendants,
  // for an attribute or text node its value.
  std::string Text() const;
  // Replaces the content: an element gets one text child, an attribute a new value.
  void SetText(std::string_view text);

  // Serialised form, without an XML declaration.
  std::string Xml() const;

  Node ParentNode() const;
  Node FirstChild() const;
  Node LastChild() const;
  Node NextSibling() const;
  Node PreviousSibling() const;
  NodeList ChildNodes() const;  // snapshot of the children
  bool HasChildNodes() const;
  Document OwnerDocument() const;

  // Tree edits. Each returns the node that was inserted or removed.
  // An inserted node is first taken out of wherever it was.
  Node AppendChild(const Node& child);
  // A new element named `name` of this node's document, appended as the
  // last child (AppendChild of CreateElement without the detour).
  Node AppendNewElement(std::string_view name);
  // The same, with the attributes `copies` lists, in that order: each named
  // `name`, with the value of `from`'s attribute `source` ("" when `from`
  // has none or is no element). One call per element for writers that copy
  // chosen attributes of many elements; the values go from node to node
  // without intermediate strings.
  struct AttributeCopy {
    std::string_view name;
    std::string_view source;
  };
  Node AppendNewElement(std::string_view name, const Node& from,
                        std::span<const AttributeCopy> copies);
  // An attribute written with a given value.
  struct AttributeValue {
    std::string_view name;
    std::string_view value;
  };
  // How AppendShaped writes an element: named `name`, with the attributes
  // `attributes` (as AppendNewElement copies them), then for each entry of
  // `children` in turn, the element children of the source named its
  // `source`, each written by that entry. A `gathered` entry is written once
  // however many such children the source has (none included), with no
  // attributes, and its children are made from the children of all of them.
  // An entry with `absent` attributes (not gathered) writes, when the source
  // has no such child, one element `name` with those attributes instead.
  struct ElementShape {
    std::string_view name;
    std::string_view source;
    std::span<const AttributeCopy> attributes;
    std::span<const ElementShape> children;
    bool gathered = false;
    std::span<const AttributeValue> absent = {};
  };
  // Appends the element `shape` makes of the element `from`. With `move`,
  // when no other handle reaches `from` or any node below it and its
  // document's names live where this node's document keeps its own (see
  // Document::CreateSharingNames), `from` itself becomes the new element:
  // taken out of its tree, its attributes renamed, reordered, added and
  // dropped and its children dropped as the shape says, without copying a
  // name or a value; `from` must then not be used again. Otherwise (and
  // always for nodes with namespaces or IDs) the element is written as a
  // copy and `from` is left as it was. The result is the same either way.
  // The attribute sources of one list must differ, and so must the sources
  // of one element's children.
  Node AppendShaped(Node from, const ElementShape& shape, bool move);
  // A shape made ready for many AppendShaped calls, for writers that move
  // thousands of elements: its names are checked once and looked up once in
  // the dictionary the documents share, so that each move matches and
  // renames names by pointer. `shape` (and every string it refers to) must
  // outlive it.
  class PreparedShape {
   public:
    explicit PreparedShape(const ElementShape& shape);
    ~PreparedShape();
    PreparedShape(const PreparedShape&) = delete;
    PreparedShape& operator=(const PreparedShape&) = delete;
    struct Names;  // the xml layer's own

   private:
    friend class Node;
    const ElementShape& m_shape;
    std::unique_ptr<Names> m_names;
  };
  Node AppendShaped(Node from, PreparedShape& shape, bool move);
  Node InsertBefore(const Node& child, const Node& reference);  // null reference appends
  Node RemoveChild(const Node& child);
  Node ReplaceChild(const Node& replacement, const Node& old_child);
  // A copy in the same document, detached; shallow copies the node and its attributes.
  Node CloneNode(bool deep) const;

  // Attributes of an element.
  NamedNodeMap Attributes() const;
  std::optional<std::string> GetAttribute(std::string_view name) const;
  bool HasAttribute(std::string_view name) const;
  std::string AttributeOr(std::string_view name, std::string_view fallback) const;
  // Copies the attribute's value into `value`, reusing its storage, and
  // returns true; returns false and empties `value` when there is none. For
  // readers that take many values one after another.
  bool ReadAttribute(std::string_view name, std::string& value) const;
  // The same for the attribute at `position` (from 0) in the element's list,
  // for readers that take the same attribute of many elements laid out alike
  // (an item's column is its third attribute); false on a node that is no
  // element.
  bool ReadAttributeAt(std::size_t position, std::string& value) const;
  void SetAttribute(std::string_view name, std::string_view value);
  // Adds the attribute when the element has none of that name (after the
  // ones it has) and returns true; leaves an existing one alone (false).
  bool AddAttribute(std::string_view name, std::string_view value);
  // AddAttribute for each pair in turn, in one walk to the end of the
  // attribute list. Returns how many were added.
  std::size_t AddAttributes(
      std::initializer_list<std::pair<std::string_view, std::string_view>> attributes);
  // AddAttributes for attributes some of which take the value of another
  // attribute of the element: an entry with a `source` gets that
  // attribute's value ("" when there is none), copied from node to node
  // without an intermediate string or a second check; one without gets
  // `value`. Sources are read before anything is added; the names to add
  // differ from one another (at most 16 of them). The attributes named in
  // `dropped` (at most 16; none that is a source) are taken off first, so
  // that the new ones take their memory. Returns how many were added.
  struct AttributeToAdd {
    std::string_view name;
    std::string_view source;
    std::string_view value;
  };
  std::size_t AddAttributesFrom(std::span<const AttributeToAdd> attributes,
                                std::span<const std::string_view> dropped = {});
  // AddAttributesFrom for a run of elements alike, such as the items of a
  // format, with the same result: the names are looked up once, given
  // values are checked once, and for an element that has the same attributes
  // in the same order as the one before, where its sources and the
  // attributes to drop stand is known without comparing names. Dropped
  // attributes no handle refers to become the new ones.
  class AttributeAdder {
   public:
    AttributeAdder(std::span<const AttributeToAdd> attributes,
                   std::span<const std::string_view> dropped = {});
    ~AttributeAdder();
    AttributeAdder(const AttributeAdder&) = delete;
    AttributeAdder& operator=(const AttributeAdder&) = delete;

    // element.AddAttributesFrom(attributes, dropped).
    std::size_t AddTo(Node& element);

   private:
    struct State;
    std::unique_ptr<State> m_state;
  };
  void RemoveAttribute(std::string_view name);
  // Every attribute's name (with its prefix) and value, in order, into
  // `attributes`: resized to their number, the strings' storage reused. For
  // writers that read all attributes of many elements.
  void ReadAttributes(std::vector<std::pair<std::string, std::string>>& attributes) const;
  // Calls `visit(name, value)` (two std::string_view) for every attribute,
  // in order, without a string of its own for each: the views point into the
  // tree (a prefixed name or a value of several nodes is assembled for the
  // call) and live until `visit` returns. `visit` must not change the tree.
  // For writers that copy out all attributes of many elements.
  template <class Visit>
  void VisitAttributes(Visit&& visit) const {
    using Target = std::remove_reference_t<Visit>;
    VisitAttributes([](void* target, std::string_view name,
                       std::string_view value) { (*static_cast<Target*>(target))(name, value); },
                    const_cast<void*>(static_cast<const void*>(std::addressof(visit))));
  }
  using AttributeVisitor = void (*)(void* target, std::string_view name, std::string_view value);
  void VisitAttributes(AttributeVisitor visitor, void* target) const;

  // XPath 1.0 with this node as context (see the file comment for "/").
  Node SelectSingleNode(std::string_view xpath) const;
  NodeList SelectNodes(std::string_view xpath) const;

  // XSLT 1.0 over this node's subtree (a document or an element).
  std::string TransformNode(const Stylesheet& stylesheet) const;
  std::string TransformNode(const Node& stylesheet) const;
  // Replaces the content of `output` by the transform's result tree.
  void TransformNodeToObject(const Stylesheet& stylesheet, Document& output) const;
  void TransformNodeToObject(const Node& stylesheet, Document& output) const;

  // For the facade's own implementation.
  detail::RawNode* Raw() const noexcept { return m_node; }
  Node(detail::ArenaRef arena, detail::RawNode* node) noexcept
      : m_arena(std::move(arena)), m_node(node) {
    if (m_node) detail::ChangeHandleCount(m_node, 1);
  }

 protected:
  friend class NamedNodeMap;
  friend class AttributeSet;
  friend class NodeStamp;
  friend class Stylesheet;
  void RequireNode() const;

  detail::ArenaRef m_arena;
  detail::RawNode* m_node = nullptr;
};

class Document : public Node {
 public:
  // A null document handle.
  Document() noexcept = default;
  explicit Document(const Node& document_node);

  // A new empty document.
  static Document Create();
  // A new empty document keeping its names and short texts in the same
  // dictionary as the document of `other` (a plain new document when that
  // one has none), so that AppendShaped can move nodes of that document into
  // it without copying a string. Both documents belong to one thread.
  static Document CreateSharingNames(const Node& other);
  // Parses text; a malformed text raises an Error. Whitespace-only text
  // between elements is dropped unless `preserve_whitespace`.
  static Document Parse(std::string_view text, bool preserve_whitespace = false);

  // Replaces the whole content by the parsed text; on malformed text raises
  // and leaves the content unchanged.
  void LoadXml(std::string_view text, bool preserve_whitespace = false);

  Node DocumentElement() const;
  // Makes `element` the document element, replacing any previous one.
  void SetDocumentElement(const Node& element);

  Node CreateElement(std::string_view name) const;
  Node CreateAttribute(std::string_view name) const;
  Node CreateTextNode(std::string_view text) const;

  // A detached copy of `node` (of any document) owned by this document. Unlike
  // inserting a node of another document, the source tree is left untouched
  // and keeps no tie to this one.
  Node ImportNode(const Node& node, bool deep) const;
};

// Copies of one subtree made many times over (a row repeated per record).
// The subtree is read once, when the stamp is made; each Copy is then what
// CloneNode(true) gave at that moment, detached in the source's document,
// made without walking the source again. Later changes to the source do not
// show in the copies.
class NodeStamp {
 public:
  explicit NodeStamp(const Node& source);
  NodeStamp(const NodeStamp&) = delete;
  NodeStamp& operator=(const NodeStamp&) = delete;
  ~NodeStamp();

  Node Copy();

 private:
  detail::ArenaRef m_arena;
  std::unique_ptr<detail::SubtreeImage> m_image;
  Node m_prototype;  // copied node by node when no image could be made
};

// Several attributes of one element, found in one walk over its attribute
// list and then read and written without being looked up again: for code
// that takes the same few attributes of many elements in turn.
//
// The names (at most kMostNames, none empty; a name listed twice is found
// for its first entry only) are given when the set is made and must outlive
// it; string literals, mostly. Find(element)
// looks all of them up (names are matched as GetAttribute matches them).
// After that, Has and Value read what was found, and Write writes the
// attribute found, or adds it after the element's others (as SetAttribute
// does) when the element has none of that name. An attribute added to the
// element after Find other than through Write is not seen by Has and Value;
// Write finds it. A view from Value stays valid until that attribute is
// written. Removing one of the element's attributes other than through the
// set leaves what was found stale: Find again before using the set.
// The set holds a handle to the element until the next Find or Clear.
class AttributeSet {
 public:
  static constexpr std::size_t kMostNames = 16;
  explicit AttributeSet(std::span<const std::string_view> names);

  // Looks up every name among the attributes of `element` (an element
  // without attributes, or any other node, has none of them).
  void Find(const Node& element);
  // Lets go of the element.
  void Clear();
  const Node& Element() const noexcept { return m_element; }

  // Whether Find found the attribute `names[index]`.
  bool Has(std::size_t index) const;
  // Its value, "" when there is none.
  std::string_view Value(std::size_t index) const;
  // Sets its value (see above).
  void Write(std::size_t index, std::string_view value);

 private:
  std::span<const std::string_view> m_names;
  Node m_element;
  std::array<detail::RawNode*, kMostNames> m_found{};
  // The element's last attribute when Find walked to it (some name was not
  // found), else null: a name still missing is added after it at once.
  detail::RawNode* m_last = nullptr;
  // By the first byte of a name: the names that start with it, one bit each.
  std::array<std::uint16_t, 256> m_starting{};
  // Values of more than one node, assembled for Value.
  mutable std::vector<std::string> m_assembled;
};

// An ordered snapshot of nodes, as returned by SelectNodes and ChildNodes.
class NodeList {
 public:
  NodeList() = default;
  explicit NodeList(std::vector<Node> nodes) : m_nodes(std::move(nodes)) {}

  std::size_t Length() const noexcept { return m_nodes.size(); }
  bool Empty() const noexcept { return m_nodes.empty(); }
  // Raises the bounds failure outside 0..Length()-1.
  const Node& Item(std::size_t index) const;

  auto begin() const noexcept { return m_nodes.begin(); }
  auto end() const noexcept { return m_nodes.end(); }

 private:
  std::vector<Node> m_nodes;
};

// The attributes of one element, in document order.
class NamedNodeMap {
 public:
  explicit NamedNodeMap(Node element) : m_element(std::move(element)) {}

  std::size_t Length() const;
  Node Item(std::size_t index) const;  // null past the end
  Node GetNamedItem(std::string_view name) const;
  // Puts the attribute node on the element, replacing one of the same name;
  // returns the replaced attribute (detached) or null.
  Node SetNamedItem(const Node& attribute);
  // Removes the named attribute and returns it (detached), or null.
  Node RemoveNamedItem(std::string_view name);

 private:
  Node Wrap(detail::RawNode* attr) const;
  Node m_element;
};

// A compiled XSLT 1.0 stylesheet. Compile it once and apply it many times.
// Stylesheets that include or import others are refused.
class Stylesheet {
 public:
  static Stylesheet Compile(const Node& stylesheet);
  static Stylesheet Compile(std::string_view text);

  Stylesheet(Stylesheet&&) noexcept;
  Stylesheet& operator=(Stylesheet&&) noexcept;
  ~Stylesheet();

  struct Compiled;
  const Compiled& Get() const { return *m_compiled; }

 private:
  explicit Stylesheet(std::unique_ptr<Compiled> compiled);
  std::unique_ptr<Compiled> m_compiled;
};

// Escapes text for use inside an XML attribute value or element content,
// after applying the text rule (see the file comment).
std::string Escape(std::string_view text);

}  // namespace orvo::xml

#endif  // ORVO_XML_H_
