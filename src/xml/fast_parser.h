// A one-pass parser for the documents the library mostly reads: workspace
// lists, report definitions and formats written as plain elements,
// attributes, text and comments.
//
// It builds the very tree libxml2's parser builds with the options
// Document::Parse uses: nodes allocated with xmlMalloc one by one (or taken
// from an arena's node pool, see FastParse), element and attribute names in a
// new dictionary of the document, every attribute value one text node, short
// texts kept inside their node, the same document fields (version, encoding as
// declared, standalone, parse flags), element and comment lines as libxml2
// counts them (the lines of texts, which nothing reads, only roughly),
// whitespace-only text dropped where Document::Parse drops it. Anything else (a
// document type, namespaces, CDATA, processing instructions, another encoding,
// entities other than the five predefined ones, deep nesting, a malformed text
// of any kind) it declines before anything escapes, and the caller parses with
// libxml2, which then reports every error as before.
//
// Thread use: any thread; no state is shared between calls but the parse
// path of the calling thread (for tests and benchmarks).
#ifndef ORVO_XML_FAST_PARSER_H_
#define ORVO_XML_FAST_PARSER_H_

#include <string>
#include <string_view>

#include "orvo/xml.h"

struct _xmlDoc;

namespace orvo::xml::detail {

class NodePool;

// The parsed document, owned by the caller, or null when the text is not
// one this parser handles. `preserve_whitespace` is Document::Parse's flag;
// `drops_blanks_while_parsing` says whether libxml2 would be asked to leave
// out blank text itself (which it does with quirks the parser then avoids).
//
// With a `pool`, the elements, attributes and texts come from it instead of
// xmlMalloc, long texts known to it, as the facade makes its own nodes (an
// empty attribute value without a text node; the document marked pure when
// it holds no comment). The caller's arena must own the pool and adopt the
// document, which is then freed the way the facade frees its own.
// Whitespace-only text is never left in such a document when
// `preserve_whitespace` is false.
_xmlDoc* FastParse(std::string_view text, bool preserve_whitespace, bool drops_blanks_while_parsing,
                   NodePool* pool = nullptr);

// Which parser Document::Parse and LoadXml use on this thread: the fast one
// with libxml2 behind it (the default), libxml2 alone, or the fast one alone
// (a text it declines then raises an error numbered kFastParseDeclined).
enum class ParsePath { kFastFirst, kLibxmlOnly, kFastOnly };
inline constexpr int kFastParseDeclined = -1;
// Sets the path of this thread and returns the one before.
ParsePath SetParsePath(ParsePath path);

// Every property of a parsed tree that the two parsers must agree on, one
// line per node: document fields, node types, names and whether they are the
// dictionary's, element lines, links, attribute order, values and texts.
// An attribute value of one empty text is described as one of no text.
std::string DescribeTree(const Node& document);

}  // namespace orvo::xml::detail

#endif  // ORVO_XML_FAST_PARSER_H_
