// Internal glue between the facade and libxml2: pointer casts, one-time
// process set-up, and the handle counter kept in each node.
#ifndef ORVO_XML_LIBXML_H_
#define ORVO_XML_LIBXML_H_

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "orvo/xml.h"

namespace orvo::xml::detail {

inline xmlNodePtr ToXml(RawNode* node) { return reinterpret_cast<xmlNodePtr>(node); }
inline RawNode* ToRaw(xmlNodePtr node) { return reinterpret_cast<RawNode*>(node); }
inline RawNode* ToRaw(xmlDocPtr doc) { return reinterpret_cast<RawNode*>(doc); }
inline RawNode* ToRaw(xmlAttrPtr attr) { return reinterpret_cast<RawNode*>(attr); }
inline const xmlChar* ToXmlChars(const std::string& text) {
  return reinterpret_cast<const xmlChar*>(text.c_str());
}
inline std::string FromXmlChars(const xmlChar* text) {
  return text ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

// Process-wide set-up, run once before the first libxml2 call of the facade:
// initialises the parser, denies every external entity, DTD and document load,
// forbids stylesheet file and network access, and silences libxml2's own
// error printing (errors are reported as orvo::Error instead).
void EnsureLibraryReady();

// Handle counts live in the node's _private field, which the facade owns:
// copies made by libxml2 are reset before any handle sees them (libxml2
// never copies the field). One high bit of it marks a node whose memory
// comes from an arena's node pool (arena.h); the count is the rest.
// Another marks a document all of whose nodes are pooled and own nothing
// but names of its dictionary and texts their pool knows of: it can be freed
// without visiting them (see Arena's destructor).
// A third marks a pooled text node shared by the attributes of many copies
// of one subtree (SubtreeImage in tree_edit.h): it belongs to its pool, not
// to any attribute, and is never written to or freed with one; no handle
// ever refers to it.
constexpr std::intptr_t kPooledNode = std::intptr_t{1} << 62;
constexpr std::intptr_t kPureDocument = std::intptr_t{1} << 61;
constexpr std::intptr_t kSharedText = std::intptr_t{1} << 60;
inline std::intptr_t HandleCount(const xmlNode* node) {
  return reinterpret_cast<std::intptr_t>(node->_private) &
         ~(kPooledNode | kPureDocument | kSharedText);
}
inline bool IsSharedText(const xmlNode* node) {
  return (reinterpret_cast<std::intptr_t>(node->_private) & kSharedText) != 0;
}
inline bool IsPure(const xmlDoc* document) {
  return document && (reinterpret_cast<std::intptr_t>(document->_private) & kPureDocument) != 0;
}
// For a document made empty by the facade, before any node is made in it.
inline void MarkPure(xmlDocPtr document) {
  document->_private =
      reinterpret_cast<void*>(reinterpret_cast<std::intptr_t>(document->_private) | kPureDocument);
}
// For a document that takes in a node of libxml2's, a name of no dictionary
// or nodes of a document that is not pure.
inline void MarkImpure(xmlDocPtr document) {
  if (!document) return;
  document->_private =
      reinterpret_cast<void*>(reinterpret_cast<std::intptr_t>(document->_private) & ~kPureDocument);
}
// Whether an element, text (xmlNode) or attribute (xmlAttr, whose _private
// field comes first as well) is pooled.
inline bool IsPooled(const void* node) {
  return (reinterpret_cast<std::intptr_t>(static_cast<const xmlNode*>(node)->_private) &
          kPooledNode) != 0;
}
inline void AddHandle(xmlNodePtr node) {
  node->_private = reinterpret_cast<void*>(reinterpret_cast<std::intptr_t>(node->_private) + 1);
}
inline void DropHandle(xmlNodePtr node) {
  node->_private = reinterpret_cast<void*>(reinterpret_cast<std::intptr_t>(node->_private) - 1);
}

// Clears handle counts in a freshly copied subtree (attributes included).
void ResetHandleCounts(xmlNodePtr top);

// The top of a node's tree: its document node when attached, else the top of
// the detached fragment.
xmlNodePtr TreeTop(xmlNodePtr node);

// True when `node` is a root the arena must own: unlinked and not a document.
inline bool IsDetachedRoot(const xmlNode* node) {
  return node->parent == nullptr && node->type != XML_DOCUMENT_NODE &&
         node->type != XML_HTML_DOCUMENT_NODE;
}

[[noreturn]] void RaiseXml(std::string description, int number = 1);

}  // namespace orvo::xml::detail

#endif  // ORVO_XML_LIBXML_H_
