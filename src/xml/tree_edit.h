// Tree edits written against libxml2's structures directly. libxml2's own
// linking helpers merge adjacent text nodes and replace same-named attributes
// by freeing nodes a handle may still hold; these never free a held node.
#ifndef ORVO_XML_TREE_EDIT_H_
#define ORVO_XML_TREE_EDIT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "xml/arena.h"
#include "xml/libxml.h"

namespace orvo::xml::detail {

// Links an unlinked node as a child of `parent`, before `before` (or last).
void LinkChild(xmlNodePtr parent, xmlNodePtr child, xmlNodePtr before);

// Links an unlinked attribute onto `element`, in place of `replaced` when
// given (which is unlinked), else last.
void LinkAttribute(xmlNodePtr element, xmlAttrPtr attr, xmlAttrPtr replaced);

// Links an unlinked attribute onto `element` right after `last` (first when
// null), for runs of attributes appended without walking the list each time.
// Whatever followed `last` is left to the caller.
void LinkAttributeAfter(xmlNodePtr element, xmlAttrPtr last, xmlAttrPtr attr);

// Raises unless `child` may become a child of `parent`: not a document or an
// attribute, not `parent` or one of its ancestors, and not a second element
// of a document (`leaving` is a child about to be replaced).
void CheckInsertable(xmlNodePtr parent, xmlNodePtr child, xmlNodePtr leaving = nullptr);

// Takes `child` out of wherever it is, moves it into `parent`'s document and
// arena when they differ, and links it before `before`.
void MoveInto(const ArenaRef& parent_arena, const ArenaRef& child_arena, xmlNodePtr parent,
              xmlNodePtr child, xmlNodePtr before);

// Moves a node (possibly from another document) into `document`; for a node
// being linked under `parent` of that document.
void AdoptInto(NodePool& pool, xmlNodePtr node, xmlDocPtr document, xmlNodePtr parent);

// Unlinks a node (or attribute) and hands it to the arena as detached.
void Detach(Arena& arena, xmlNodePtr node);

// Moves the children of `source` into `target`, whose own children are
// detached first. Document type declarations are not carried over.
void ReplaceDocumentContent(Arena& arena, xmlDocPtr source, xmlDocPtr target);

// Unlinks every child of `element`, freeing those no handle reaches.
void ReleaseChildren(Arena& arena, xmlNodePtr element);

// The three ways text enters a tree. Each takes literal text (no entity
// parsing) and applies the text rule (xml/valid_text.h) first. New nodes
// come from `pool`, the node pool of the arena owning `document`.
xmlNodePtr NewTextNode(NodePool& pool, xmlDocPtr document, std::string_view text);
// The same for text read from a tree, which is valid already (no check).
xmlNodePtr NewTextNodeOfValidText(NodePool& pool, xmlDocPtr document, std::string_view text);
// The content of a text, CDATA, comment or processing-instruction node.
void SetNodeContent(NodePool& pool, xmlNodePtr node, std::string_view text);
// Replaces an attribute's value.
void SetAttributeValue(NodePool& pool, xmlAttrPtr attr, std::string_view value);

// Shared texts (see SubtreeImage) count their holders, the attributes that
// point at them and the image that made them, in the psvi field (which
// libxml2 leaves alone in a text node); the last holder to let go gives the
// node back to its pool. An attribute's own text becomes shared (held by
// that attribute) through MakeShared; a pooled text, of no parent and no
// document from then on.
void MakeShared(xmlNodePtr text);
inline void HoldShared(xmlNodePtr text, std::uintptr_t holders = 1) {
  text->psvi = reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(text->psvi) + holders);
}
// Lets go of one hold; with no pool (it is about to go, and the text with
// it) nothing is freed.
void ReleaseShared(NodePool* pool, xmlNodePtr text);
// The shared text of `value` (valid, not empty, shorter than a text kept
// inside its node) from the pool's table of short values written lately:
// found there, or made and put in its slot in place of another. Not held
// for the caller.
xmlNodePtr SharedShortText(NodePool& pool, std::string_view value);
// Gives `attr`, which has no value yet, the text of `from`, an attribute of
// the same pool, when that is one pooled text not empty (made shared when
// it is not yet); false, and nothing done, otherwise.
bool ShareAttributeValue(xmlAttrPtr from, xmlAttrPtr attr);

// A new attribute or element of `document`, not linked anywhere, named
// `name` (interned in the document's dictionary when it has one); null when
// `name` is no XML name.
xmlAttrPtr NewUnlinkedAttribute(NodePool& pool, xmlDocPtr document, std::string_view name);
xmlNodePtr NewUnlinkedElement(NodePool& pool, xmlDocPtr document, std::string_view name);
// The name `name` has in `document`'s dictionary (the document must have
// one), or null when it is no XML name. Such names are compared by address.
const xmlChar* DictionaryName(xmlDocPtr document, std::string_view name);
// Bumped whenever the facade frees a document: names remembered by address
// stand only while it stays the same (a dictionary freed with a document may
// be followed by another at the same address).
std::uint64_t DictionaryEpoch();
// A new attribute of `document`, not linked anywhere, named `name` (a name
// of the document's dictionary).
xmlAttrPtr NewAttributeNamed(NodePool& pool, xmlDocPtr document, const xmlChar* name);
// Makes `attr` (unlinked, pooled, of no namespace, no ID, and no handle
// refers to it) a new attribute named `name` (a name of its document's
// dictionary), as NewAttributeNamed would make it: its value is let go of
// and its memory reused.
void RenewAttribute(NodePool& pool, xmlAttrPtr attr, const xmlChar* name);

// A value given to many new attributes: checked once, and when it is short,
// its slot in the pool's table of short texts worked out once.
class PreparedValue {
 public:
  explicit PreparedValue(std::string_view raw_value);
  // Gives `attr`, which has no value yet, this value (as SetAttributeValue
  // would).
  void GiveTo(NodePool& pool, xmlAttrPtr attr) const;

 private:
  std::string m_text;
  ShortValueKey m_key;
  std::size_t m_bucket = 0;
  bool m_short = false;
};

// To be called when the facade frees a document (and with it possibly its
// dictionary), after its own last look at the document's strings and before
// any new dictionary is made: what is remembered per thread of dictionaries
// (names for new nodes, strings known to be a dictionary's) is dropped.
void NoteDocumentFreed();

// The attribute of that name on an element, or null.
xmlAttrPtr FindAttribute(xmlNodePtr element, std::string_view name);
// Whether the NUL-terminated `text` equals `name`, without measuring `text`
// first: most names differ from the wanted one in the first character.
inline bool TextEquals(const xmlChar* text, std::string_view name) {
  const char* chars = reinterpret_cast<const char*>(text);
  for (const char c : name) {
    if (*chars == '\0' || *chars != c) return false;
    ++chars;
  }
  return *chars == '\0';
}
// Whether an element or attribute of namespace `ns` (null: none) and local
// name `local` is called `name`: "prefix:local" when the namespace has a
// prefix, the local name alone otherwise.
inline bool QualifiedNameIs(const xmlNs* ns, const xmlChar* local, std::string_view name) {
  if (!ns || !ns->prefix) return TextEquals(local, name);
  const std::string_view prefix(reinterpret_cast<const char*>(ns->prefix));
  return name.size() > prefix.size() && name.starts_with(prefix) && name[prefix.size()] == ':' &&
         TextEquals(local, name.substr(prefix.size() + 1));
}

// A copy of `node` owned by `document` with clean handle counts: deep or
// shallow (a shallow element copy keeps its attributes). Copying a document
// node yields a new document. With `share_texts` (the nodes of `node` are of
// `pool` as well), a deep copy's attributes share their source's text.
xmlNodePtr CopyNode(NodePool& pool, xmlNodePtr node, xmlDocPtr document, bool deep,
                    bool share_texts);

// A plain copy of an element subtree (what CopyNode makes of elements,
// attributes and texts without namespaces or IDs, named from the document's
// dictionary) laid out once in one buffer, from which copies are made many
// times over: each copy is the buffer's bytes written into one block of the
// pool and relinked, with a new buffer only for a text too long to live in
// its node. The nodes of a copy lie in document order, each element followed
// by its attributes (and the texts of those holding more than one), so that
// walks over the copy touch few cache lines.
//
// An attribute holding one text shares it with the same attribute of every
// copy: one text node per value, made from the pool with the image, marked
// as shared (kSharedText, libxml.h), of no document and no parent. A copy
// is then about half the bytes. A shared text is never written to: a new
// value replaces it by a text of the attribute's own (SetAttributeValue),
// as does a move that libxml2 makes (AdoptInto). It is freed with the last
// attribute holding it (or with the image, see Release); its pool is merged
// with the pool of any arena a copy moves to.
//
// The document, its dictionary and the pool must outlive the image; it
// belongs to the document's thread.
class SubtreeImage {
 public:
  // The image of `prototype`, an unlinked pooled copy of `document` that is
  // left as it was, its shared texts made from `pool` (that of the arena
  // owning the document); null when the subtree is not plain.
  static std::unique_ptr<SubtreeImage> Make(xmlNodePtr prototype, NodePool& pool);

  // A new unlinked copy, from the pool of the arena owning the document;
  // raises when out of memory.
  xmlNodePtr Copy(NodePool& pool);

  // Lets go of the shared texts (to `pool`, the pool of the arena owning the
  // document); to be called once, before the image goes.
  void Release(NodePool& pool);

 private:
  struct Slot {
    std::uint32_t offset;  // bytes into the image
    NodePool::Kind kind;
  };
  // The nodes a pointer field and its target lie in, for copies not in one
  // block.
  struct LinkNodes {
    std::uint32_t node;
    std::uint32_t to;
  };
  // A text kept in a buffer of its own: the content field at `at` (in node
  // `node`), the text's bytes in m_texts.
  struct LongText {
    std::uint32_t at;
    std::uint32_t node;
    std::uint32_t begin;
    std::uint32_t length;
  };

  // Writes the copies' own buffers of long texts; `at(node, offset)` is
  // where a field of a node lies in the copy.
  template <class Where>
  void CopyLongTexts(NodePool& pool, xmlNodePtr root, Where at);

  std::vector<std::uint64_t> m_bytes;  // the nodes, 8-byte aligned
  std::size_t m_size = 0;              // bytes used of m_bytes
  std::vector<Slot> m_slots;
  // Where the pointer fields that point into the subtree lie (bytes into
  // the image); the image holds where each points (bytes into the image).
  std::vector<std::uint32_t> m_links;
  std::vector<LinkNodes> m_link_nodes;  // one per link
  std::vector<LongText> m_long_texts;
  std::string m_texts;
  std::size_t m_counts[2] = {0, 0};  // nodes of each kind
  // Each shared text and how many attributes of a copy hold it.
  std::vector<std::pair<xmlNodePtr, std::uint32_t>> m_shared;
  std::vector<std::byte*> m_scratch;  // where each node went (free slots)
};

// Frees an unlinked subtree or attribute as xmlFreeNode and xmlFreeProp do
// (names and texts of the document's dictionary stay, texts kept inside
// their node are no buffers), walking elements, attributes and texts itself
// and handing other nodes to libxml2. The same for each child of a document
// about to be freed (FreeDocument), whose other parts libxml2 frees.
// Pooled nodes go back to `pool` (the pool of the arena owning them); with
// no pool (the whole pool is about to go) only the strings they own are
// freed. No libxml2 function may free a pooled node: every free of a node
// the facade may have made goes through here.
void FreeTree(NodePool* pool, xmlNodePtr root);
void FreeDocument(NodePool* pool, xmlDocPtr document);

// True when no handle refers to `root` or to any node below it.
bool IsUnreferenced(xmlNodePtr root);

std::string NodeText(xmlNodePtr node);
std::string Serialize(xmlNodePtr node);

}  // namespace orvo::xml::detail

#endif  // ORVO_XML_TREE_EDIT_H_
