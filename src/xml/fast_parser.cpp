#include "xml/fast_parser.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "xml/arena.h"
#include "xml/libxml.h"
#include "xml/tree_edit.h"

namespace orvo::xml::detail {
namespace {

thread_local ParsePath parse_path = ParsePath::kFastFirst;

// libxml2 refuses elements nested deeper than 256 (without its huge option);
// deep documents are left to it, and so is the stack-free walk here never at
// risk.
constexpr int kMaxDepth = 200;
// libxml2 limits names (50,000 bytes), texts and attribute values
// (10,000,000 bytes) and its dictionary; far below those limits nothing
// depends on them.
constexpr std::size_t kMaxName = 1000;
constexpr std::size_t kMaxText = 1000000;
constexpr std::size_t kDictionaryLimit = 10000000;
// Duplicate attributes are found by comparing names pairwise.
constexpr std::size_t kMaxAttributes = 512;
// Texts shorter than this are kept inside their node, in the fields a text
// node does not use (libxml2's compact mode).
constexpr std::size_t kInlineText = 2 * sizeof(void*);
// The lines libxml2 records on nodes stop at this one.
constexpr int kMaxLine = 65535;

// Thrown inside the parser for anything it leaves to libxml2.
struct Declined {};

enum : std::uint8_t {
  kNameStart = 1,   // starts a name of the subset (ASCII, no colon)
  kNameChar = 2,    // continues one
  kBlank = 4,       // space, tab, line feed, carriage return
  kPlainText = 8,   // character data copied as it is, no line feed
  kPlainValue = 16  // attribute value copied as it is, no quote
};

constexpr std::array<std::uint8_t, 256> MakeClasses() {
  std::array<std::uint8_t, 256> classes{};
  for (int c = 0; c < 256; ++c) {
    std::uint8_t bits = 0;
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    if (letter) bits |= kNameStart | kNameChar;
    if ((c >= '0' && c <= '9') || c == '.' || c == '-') bits |= kNameChar;
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') bits |= kBlank;
    if ((c >= 0x20 && c <= 0x7F && c != '<' && c != '&' && c != ']') || c == '\t') {
      bits |= kPlainText;
    }
    if (c >= 0x20 && c <= 0x7F && c != '<' && c != '&' && c != '"' && c != '\'') {
      bits |= kPlainValue;
    }
    classes[static_cast<std::size_t>(c)] = bits;
  }
  return classes;
}

constexpr std::array<std::uint8_t, 256> kClasses = MakeClasses();

inline bool Is(unsigned char c, std::uint8_t bits) { return (kClasses[c] & bits) != 0; }

// The length of the UTF-8 sequence at `p` when it is well formed and a
// character XML 1.0 allows, else 0.
std::size_t ValidSequence(const unsigned char* p, const unsigned char* end) {
  const unsigned char c = p[0];
  auto continuation = [&](std::size_t i) { return p + i < end && (p[i] & 0xC0) == 0x80; };
  if (c >= 0xC2 && c <= 0xDF) return continuation(1) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    if (!continuation(1) || !continuation(2)) return 0;
    if (c == 0xE0 && p[1] < 0xA0) return 0;                   // overlong
    if (c == 0xED && p[1] >= 0xA0) return 0;                  // surrogates
    if (c == 0xEF && p[1] == 0xBF && p[2] >= 0xBE) return 0;  // U+FFFE, U+FFFF
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    if (!continuation(1) || !continuation(2) || !continuation(3)) return 0;
    if (c == 0xF0 && p[1] < 0x90) return 0;   // overlong
    if (c == 0xF4 && p[1] >= 0x90) return 0;  // beyond U+10FFFF
    return 4;
  }
  return 0;
}

bool IsXmlChar(std::uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

void AppendUtf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Whether the `length` bytes at `a` and `b` are the same (names are short:
// no library call).
bool SameBytes(const unsigned char* a, const unsigned char* b, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

bool IsBlankText(const unsigned char* text, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    if (!Is(text[i], kBlank)) return false;
  }
  return true;
}

bool EqualsIgnoringCase(const unsigned char* text, std::size_t length, std::string_view upper) {
  if (length != upper.size()) return false;
  for (std::size_t i = 0; i < length; ++i) {
    unsigned char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<unsigned char>(c - 'a' + 'A');
    if (c != static_cast<unsigned char>(upper[i])) return false;
  }
  return true;
}

// Short attribute values met in the parses of this thread: a parse whose
// number a slot holds met that value in the text node `text`.
struct ShortValue {
  std::uint64_t parse = 0;
  ShortValueKey key;
  xmlNodePtr text = nullptr;
};
constexpr std::size_t kShortValueBits = 9;
thread_local std::array<ShortValue, std::size_t{1} << kShortValueBits> short_values;
thread_local std::uint64_t parse_count = 0;

// The attribute names expected in a start tag (see ParseStartTag): those
// of the last tag named `element`, up to the first of over 7 bytes, each
// with its '=' as the bytes of a word and a mask of them.
constexpr std::size_t kExpectedAttributes = 16;
struct AttributeNames {
  const xmlChar* element = nullptr;
  std::size_t total = 0;  // the attributes of that tag
  std::size_t count = 0;  // those expected
  std::array<const xmlChar*, kExpectedAttributes> names{};
  std::array<std::uint64_t, kExpectedAttributes> words{};
  std::array<std::uint64_t, kExpectedAttributes> masks{};
  std::array<std::uint8_t, kExpectedAttributes> lengths{};
};
std::size_t AttributeNamesSlot(const xmlChar* element) {
  return static_cast<std::size_t>(
      (reinterpret_cast<std::uintptr_t>(element) * 0x9E3779B97F4A7C15ULL) >> 60);
}

class FastParser {
 public:
  FastParser(std::string_view text, bool preserve_whitespace, bool drops_blanks_while_parsing,
             NodePool* pool)
      : m_p(reinterpret_cast<const unsigned char*>(text.data())),
        m_end(m_p + text.size()),
        m_keep_blank_text(preserve_whitespace),
        m_blank_quirks(drops_blanks_while_parsing),
        m_pool(pool) {}

  FastParser(const FastParser&) = delete;
  FastParser& operator=(const FastParser&) = delete;

  ~FastParser() {
    if (!m_document) return;
    NoteDocumentFreed();
    if (m_pool) {
      // Pooled nodes go back to the pool, their long texts freed. What the
      // walk remembered of the dictionary must not outlive it.
      FreeDocument(m_pool, m_document);
      NoteDocumentFreed();
    } else {
      xmlFreeDoc(m_document);
    }
  }

  // The document, handed to the caller; throws Declined.
  xmlDocPtr Parse() {
    StartDocument();
    ParseProlog();
    ParseElements();
    SkipMisc();
    if (m_p != m_end) throw Declined{};
    // Pooled nodes only (comments are libxml2's): freed with the pool,
    // without a walk.
    if (m_pool && m_pure) MarkPure(m_document);
    xmlDocPtr document = m_document;
    m_document = nullptr;
    return document;
  }

 private:
  void StartDocument() {
    m_dict = xmlDictCreate();
    if (!m_dict) throw Declined{};
    xmlDictSetLimit(m_dict, kDictionaryLimit);
    // The strings libxml2's parser context puts first into its dictionary.
    xmlDictLookup(m_dict, BAD_CAST "xml", 3);
    m_xmlns = xmlDictLookup(m_dict, BAD_CAST "xmlns", 5);
    xmlDictLookup(m_dict, XML_XML_NAMESPACE, 36);
    m_document = xmlNewDoc(BAD_CAST "1.0");
    if (!m_document) {
      xmlDictFree(m_dict);
      throw Declined{};
    }
    m_document->dict = m_dict;
    m_document->properties = XML_DOC_WELLFORMED | XML_DOC_NSVALID | XML_DOC_DTDVALID;
    m_document->parseFlags =
        XML_PARSE_NONET | XML_PARSE_COMPACT | (m_blank_quirks ? XML_PARSE_NOBLANKS : 0);
    m_document->charset = XML_CHAR_ENCODING_UTF8;
    m_document->standalone = -1;
  }

  // A byte order mark, the XML declaration (version 1.0, UTF-8 if an
  // encoding is named), blanks.
  void ParseProlog() {
    if (m_end - m_p >= 3 && m_p[0] == 0xEF && m_p[1] == 0xBB && m_p[2] == 0xBF) m_p += 3;
    if (m_end - m_p >= 6 && std::memcmp(m_p, "<?xml", 5) == 0 && Is(m_p[5], kBlank)) {
      m_p += 5;
      ParseDeclaration();
    }
    SkipMisc();
  }

  // Blanks and comments outside the root element.
  void SkipMisc() {
    for (;;) {
      SkipBlanks();
      if (!Follows("<!--")) return;
      ParseComment(reinterpret_cast<xmlNodePtr>(m_document));
    }
  }

  void ParseDeclaration() {
    SkipBlanks();
    Expect("version");
    const unsigned char* version = nullptr;
    std::size_t length = PseudoAttributeValue(&version);
    if (length != 3 || std::memcmp(version, "1.0", 3) != 0) throw Declined{};
    m_document->standalone = -2;
    bool blank = SkipBlanks();
    if (blank && Follows("encoding")) {
      Expect("encoding");
      const unsigned char* encoding = nullptr;
      length = PseudoAttributeValue(&encoding);
      if (!EqualsIgnoringCase(encoding, length, "UTF-8") &&
          !EqualsIgnoringCase(encoding, length, "UTF8")) {
        throw Declined{};
      }
      m_document->encoding = xmlStrndup(encoding, static_cast<int>(length));
      if (!m_document->encoding) throw Declined{};
      blank = SkipBlanks();
    }
    if (blank && Follows("standalone")) {
      Expect("standalone");
      const unsigned char* value = nullptr;
      length = PseudoAttributeValue(&value);
      if (length == 3 && std::memcmp(value, "yes", 3) == 0) {
        m_document->standalone = 1;
      } else if (length == 2 && std::memcmp(value, "no", 2) == 0) {
        m_document->standalone = 0;
      } else {
        throw Declined{};
      }
      SkipBlanks();
    }
    Expect("?>");
  }

  // S? '=' S? and a quoted value of ASCII letters, digits and . _ -.
  std::size_t PseudoAttributeValue(const unsigned char** value) {
    SkipBlanks();
    Expect("=");
    if (m_p != m_end && Is(*m_p, kBlank)) SkipBlanks();
    if (m_p == m_end || (*m_p != '"' && *m_p != '\'')) throw Declined{};
    const unsigned char quote = *m_p++;
    *value = m_p;
    while (m_p != m_end && Is(*m_p, kNameChar)) ++m_p;
    if (m_p == m_end || *m_p != quote) throw Declined{};
    const std::size_t length = static_cast<std::size_t>(m_p - *value);
    ++m_p;
    return length;
  }

  bool Follows(std::string_view word) const {
    return static_cast<std::size_t>(m_end - m_p) >= word.size() &&
           std::memcmp(m_p, word.data(), word.size()) == 0;
  }

  void Expect(std::string_view word) {
    if (!Follows(word)) throw Declined{};
    m_p += word.size();
  }

  // Skips blanks, counting lines; whether there were any.
  bool SkipBlanks() {
    // Scanning loops work on a local cursor, which stays in a register.
    const unsigned char* const start = m_p;
    const unsigned char* p = start;
    while (p != m_end && Is(*p, kBlank)) {
      if (*p == '\n') ++m_line;
      ++p;
    }
    m_p = p;
    return p != start;
  }

  // The first byte from `p` on that is not of the class `bits`.
  const unsigned char* SkipClass(const unsigned char* p, std::uint8_t bits) const {
    while (p != m_end && Is(*p, bits)) ++p;
    return p;
  }

  // The name at the cursor, interned; the cursor ends after it.
  const xmlChar* Name() {
    const unsigned char* const start = m_p;
    const unsigned char* p = start;
    if (p == m_end || !Is(*p, kNameStart)) throw Declined{};
    ++p;
    while (p != m_end && Is(*p, kNameChar)) ++p;
    m_p = p;
    const std::size_t length = static_cast<std::size_t>(m_p - start);
    if (length > kMaxName) throw Declined{};
    // A name not followed by what may follow a name (a colon, a character
    // outside ASCII) is not one of the subset.
    if (m_p != m_end && !Is(*m_p, kBlank) && *m_p != '=' && *m_p != '>' && *m_p != '/') {
      throw Declined{};
    }
    // Names of up to 8 bytes (nearly all) are compared as one word.
    std::uint64_t word = 0;
    std::uint32_t hash = 0;
    if (length <= sizeof(word)) {
      word = NameWord(start, length);
      hash = static_cast<std::uint32_t>((word * 0x9E3779B97F4A7C15ULL) >> 32);
    } else {
      for (const unsigned char* at = start; at != m_p; ++at) hash = hash * 31 + *at;
    }
    NameSlot& slot = m_names[(hash ^ static_cast<std::uint32_t>(length)) % m_names.size()];
    if (slot.name && slot.length == length && slot.word == word &&
        (length <= sizeof(word) || SameBytes(slot.name, start, length))) {
      return slot.name;
    }
    const xmlChar* name = xmlDictLookup(m_dict, start, static_cast<int>(length));
    if (!name) throw Declined{};
    slot.name = name;
    slot.length = length;
    slot.word = word;
    return name;
  }

  // The `length` (at most 8) bytes at `start` as a word, the rest zero.
  std::uint64_t NameWord(const unsigned char* start, std::size_t length) const {
    std::uint64_t word = 0;
    if (m_end - start >= static_cast<std::ptrdiff_t>(sizeof(word))) {
      // One load of the 8 bytes there, the bytes beyond the name cleared.
      std::memcpy(&word, start, sizeof(word));
      if (length < sizeof(word)) {
        const std::uint64_t kept = (std::uint64_t{1} << (8 * length)) - 1;
        word &= std::endian::native == std::endian::little ? kept
                                                           : ~(~std::uint64_t{0} >> (8 * length));
      }
      return word;
    }
    auto* bytes = reinterpret_cast<unsigned char*>(&word);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = start[i];
    return word;
  }

  int Line() const { return m_line < kMaxLine ? m_line : kMaxLine; }

  // Links a new node as the last child of `parent`.
  static void AppendChild(xmlNodePtr parent, xmlNodePtr child) {
    child->parent = parent;
    child->prev = parent->last;
    if (parent->last) {
      parent->last->next = child;
    } else {
      parent->children = child;
    }
    parent->last = child;
  }

  // A zeroed node of `type`: from the pool when there is one (marked as
  // pooled), else from xmlMalloc.
  template <class T>
  T* NewBlank(xmlElementType type) {
    void* memory = nullptr;
    if (m_pool) {
      memory = m_pool->Take(std::is_same_v<T, xmlAttr> ? NodePool::kAttribute
                                                       : NodePool::kElementOrText);
    } else {
      memory = xmlMalloc(sizeof(T));
      if (!memory) throw Declined{};
    }
    auto* node = static_cast<T*>(memory);
    // Field by field: cheaper than clearing the whole node first, and every
    // field is written once.
    node->_private = m_pool ? reinterpret_cast<void*>(kPooledNode) : nullptr;
    node->type = type;
    node->name = nullptr;
    node->children = nullptr;
    node->last = nullptr;
    node->parent = nullptr;
    node->next = nullptr;
    node->prev = nullptr;
    node->doc = m_document;
    node->ns = nullptr;
    if constexpr (std::is_same_v<T, xmlAttr>) {
      node->atype = static_cast<xmlAttributeType>(0);
      node->psvi = nullptr;
    } else {
      node->content = nullptr;
      node->properties = nullptr;
      node->nsDef = nullptr;
      node->psvi = nullptr;
      node->line = 0;
      node->extra = 0;
    }
    return node;
  }

  // A text node with `length` bytes at `text`; linked under `parent` before
  // anything can fail, so a declined parse frees it with the document.
  xmlNodePtr NewText(xmlNodePtr parent, const unsigned char* text, std::size_t length) {
    xmlNodePtr node = NewBlank<xmlNode>(XML_TEXT_NODE);
    node->name = xmlStringText;
    AppendChild(parent, node);
    // The properties and nsDef fields, which a text node does not use.
    static_assert(offsetof(xmlNode, nsDef) == offsetof(xmlNode, properties) + sizeof(void*));
    xmlChar* content = reinterpret_cast<xmlChar*>(reinterpret_cast<unsigned char*>(node) +
                                                  offsetof(xmlNode, properties));
    if (length >= kInlineText) {
      content = static_cast<xmlChar*>(xmlMalloc(length + 1));
      if (!content) throw Declined{};
      if (m_pool) m_pool->KeepString(content);
    }
    if (length >= kInlineText) {
      std::memcpy(content, text, length);
    } else {
      // Short texts (most values) are copied without a library call.
      for (std::size_t i = 0; i < length; ++i) content[i] = text[i];
    }
    content[length] = '\0';
    node->content = content;
    return node;
  }

  // The root element and everything in it, iteratively: the open element is
  // the innermost one whose end tag is still to come.
  void ParseElements() {
    if (m_p == m_end || *m_p != '<') throw Declined{};
    xmlNodePtr open = reinterpret_cast<xmlNodePtr>(m_document);
    int depth = 0;
    do {
      // At '<'.
      if (m_end - m_p >= 2 && m_p[1] == '/') {
        m_p += 2;
        ParseEndTag(open);
        open = open->parent;
        --depth;
      } else if (depth > 0 && Follows("<!--")) {
        ParseComment(open);
      } else {
        ++m_p;
        if (++depth > kMaxDepth) throw Declined{};
        xmlNodePtr element = ParseStartTag(open);
        if (element) {
          open = element;
        } else {
          --depth;
        }
      }
      if (depth > 0) ParseCharacterData(open);
    } while (depth > 0);
  }

  // The start tag after its '<'; the element made, when it has content to
  // come (null for an empty-element tag).
  xmlNodePtr ParseStartTag(xmlNodePtr parent) {
    const xmlChar* name = Name();
    // Linked at once: a declined parse frees it with the document.
    xmlNodePtr element = NewBlank<xmlNode>(XML_ELEMENT_NODE);
    element->name = name;
    AppendChild(parent, element);
    // The attributes are expected to be named as those of the last tag of
    // this name. A name found where it is expected is one of a list without
    // duplicates, all expected so far: no lookup and no duplicate check.
    AttributeNames& expected = m_attribute_names[AttributeNamesSlot(name)];
    const std::size_t expected_count = expected.element == name ? expected.count : 0;
    bool as_expected = expected.element == name;  // every attribute so far
    xmlAttrPtr last = nullptr;
    std::size_t count = 0;
    for (;;) {
      const bool blank = SkipBlanks();
      if (m_p == m_end) throw Declined{};
      if (*m_p == '>' || *m_p == '/') {
        if (*m_p == '/' && (m_end - m_p < 2 || m_p[1] != '>')) throw Declined{};
        if (!as_expected || count != expected.total) ExpectNamesOf(expected, element, count);
        element->line = static_cast<unsigned short>(Line());
        if (*m_p == '>') {
          ++m_p;
          return element;
        }
        m_p += 2;
        return nullptr;
      }
      if (!blank || ++count > kMaxAttributes) throw Declined{};
      const std::size_t at = count - 1;
      if (at < expected_count && as_expected && m_end - m_p >= 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, m_p, sizeof(word));
        if ((word & expected.masks[at]) == expected.words[at]) {
          m_p += expected.lengths[at];
          last = ParseAttributeValue(element, last, expected.names[at]);
          continue;
        }
      }
      // Past the names expected (a longer list) the tag may still be as
      // expected; a name other than the one expected makes it not.
      if (at < expected_count) as_expected = false;
      last = ParseAttribute(element, last);
    }
  }

  // Remembers the attribute names of `element` (a start tag of `count`
  // attributes just read) as those to expect in the next tag of its name.
  void ExpectNamesOf(AttributeNames& expected, xmlNodePtr element, std::size_t count) {
    expected.element = element->name;
    expected.total = count;
    expected.count = 0;
    if constexpr (std::endian::native != std::endian::little) return;
    for (xmlAttrPtr attr = element->properties; attr && expected.count < kExpectedAttributes;
         attr = attr->next) {
      const std::size_t length = std::strlen(reinterpret_cast<const char*>(attr->name));
      // The name and its '=' in one word.
      if (length + 1 > sizeof(std::uint64_t)) break;
      std::uint64_t word = 0;
      std::memcpy(&word, attr->name, length);
      word |= std::uint64_t{'='} << (8 * length);
      const std::size_t at = expected.count++;
      expected.names[at] = attr->name;
      expected.words[at] = word;
      expected.masks[at] = length + 1 == sizeof(word)
                               ? ~std::uint64_t{0}
                               : (std::uint64_t{1} << (8 * (length + 1))) - 1;
      expected.lengths[at] = static_cast<std::uint8_t>(length + 1);
    }
  }

  xmlAttrPtr ParseAttribute(xmlNodePtr element, xmlAttrPtr last) {
    const xmlChar* name = Name();
    if (name == m_xmlns) throw Declined{};
    for (xmlAttrPtr other = element->properties; other; other = other->next) {
      if (other->name == name) throw Declined{};
    }
    SkipBlanks();
    if (m_p == m_end || *m_p != '=') throw Declined{};
    ++m_p;
    return ParseAttributeValue(element, last, name);
  }

  // The attribute `name` of `element`, after `last`, its value read from
  // after its '='.
  [[gnu::always_inline]] xmlAttrPtr ParseAttributeValue(xmlNodePtr element, xmlAttrPtr last,
                                                        const xmlChar* name) {
    // Linked at once, as every node made here.
    xmlAttrPtr attr = NewBlank<xmlAttr>(XML_ATTRIBUTE_NODE);
    attr->name = name;
    attr->parent = element;
    attr->prev = last;
    if (last) {
      last->next = attr;
    } else {
      element->properties = attr;
    }
    if (m_p != m_end && Is(*m_p, kBlank)) SkipBlanks();
    if (m_p == m_end || (*m_p != '"' && *m_p != '\'')) throw Declined{};
    const unsigned char quote = *m_p++;
    const unsigned char* start = m_p;
    const int line = Line();
    bool decoded = false;
    for (;;) {
      m_p = SkipPlainValue(m_p, quote);
      if (m_p == m_end) throw Declined{};
      const unsigned char c = *m_p;
      if (c == quote) break;
      if (c == '"' || c == '\'') {
        ++m_p;
      } else if (c >= 0x80) {
        SkipCharacter();
      } else {
        // A reference, a blank to normalise, or something not allowed.
        decoded = true;
        break;
      }
    }
    const unsigned char* text = start;
    std::size_t length = static_cast<std::size_t>(m_p - start);
    if (decoded) {
      m_buffer.assign(reinterpret_cast<const char*>(start), length);
      DecodeValue(quote);
      text = reinterpret_cast<const unsigned char*>(m_buffer.data());
      length = m_buffer.size();
    }
    if (length > kMaxText) throw Declined{};
    ++m_p;  // the closing quote
    // An empty value of a pooled tree has no text node, as the facade makes
    // them: the attribute reads and writes as "" all the same.
    if (length == 0 && m_pool) return attr;
    ShortValue* slot = nullptr;
    if (m_pool && length < kInlineText) {
      slot = &ShortValueSlot(text, length, !decoded);
      if (slot->parse == m_parse) {
        ShareText(attr, slot->text);
        return attr;
      }
    }
    xmlNodePtr value = NewText(reinterpret_cast<xmlNodePtr>(attr), text, length);
    // libxml2 marks the line on the values it takes as they are.
    if (!decoded) value->line = static_cast<unsigned short>(line);
    if (slot) {
      slot->text = value;
      slot->parse = m_parse;
    }
    return attr;
  }

  // The first byte from `p` on that is not of the class kPlainValue or is
  // `quote`, the other quote passed over where 16 bytes are looked at at
  // once.
  const unsigned char* SkipPlainValue(const unsigned char* p, unsigned char quote) const {
#if defined(__SSE2__)
    const __m128i quotes = _mm_set1_epi8(static_cast<char>(quote));
    const __m128i less_than = _mm_set1_epi8('<');
    const __m128i ampersand = _mm_set1_epi8('&');
    // Signed bytes: below the space, or 0x80 and above.
    const __m128i space = _mm_set1_epi8(0x20);
    while (m_end - p >= 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i stops = _mm_or_si128(
          _mm_or_si128(_mm_cmpeq_epi8(bytes, quotes), _mm_cmpeq_epi8(bytes, less_than)),
          _mm_or_si128(_mm_cmpeq_epi8(bytes, ampersand), _mm_cmplt_epi8(bytes, space)));
      const int mask = _mm_movemask_epi8(stops);
      if (mask != 0) return p + std::countr_zero(static_cast<unsigned>(mask));
      p += 16;
    }
#endif
    return SkipClass(p, kPlainValue);
  }

  // The slot of the short value at `text`: holding it for this parse, or
  // taken for it (with no text yet).
  // `in_input`: the value is read where it stands in the text parsed.
  ShortValue& ShortValueSlot(const unsigned char* text, std::size_t length, bool in_input) {
    const ShortValueKey key = in_input ? InputKey(text, length) : ShortValueKey(text, length);
    ShortValue& slot = short_values[key.Bucket(kShortValueBits)];
    if (slot.parse == m_parse && slot.key == key) return slot;
    slot.parse = 0;  // until its text is made
    slot.key = key;
    slot.text = nullptr;
    return slot;
  }

  // The key of a value of under 16 bytes at `text` in the text parsed: the
  // 16 bytes there loaded at once when the text goes on that far, the bytes
  // beyond the value cleared.
  ShortValueKey InputKey(const unsigned char* text, std::size_t length) const {
    if (m_end - text < 16 || std::endian::native != std::endian::little) {
      return ShortValueKey(text, length);
    }
    ShortValueKey key;
    key.length = length;
    std::memcpy(key.bytes, text, sizeof(key.bytes));
    const auto low_bytes = [](std::size_t count) {
      return count >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * count)) - 1;
    };
    key.bytes[0] &= low_bytes(length);
    key.bytes[1] &= length > 8 ? low_bytes(length - 8) : 0;
    return key;
  }

  // Gives `attr` the text of a value met before, which becomes a shared
  // text (see SubtreeImage in tree_edit.h) when it is not one yet: the
  // attribute that had it keeps it, and it belongs to no document and no
  // parent from then on.
  static void ShareText(xmlAttrPtr attr, xmlNodePtr text) {
    if (!IsSharedText(text)) MakeShared(text);
    HoldShared(text);
    attr->children = text;
    attr->last = text;
  }

  // Steps over the character beyond ASCII at m_p; declines a sequence that
  // is not well-formed UTF-8 or not a character XML allows. Returns where
  // the character began.
  const unsigned char* SkipCharacter() {
    const unsigned char* start = m_p;
    const std::size_t length = ValidSequence(m_p, m_end);
    if (!length) throw Declined{};
    m_p += length;
    return start;
  }

  // The same, appending the character to m_buffer.
  void CopyCharacter() {
    const unsigned char* start = SkipCharacter();
    m_buffer.append(reinterpret_cast<const char*>(start), static_cast<std::size_t>(m_p - start));
  }

  // The rest of an attribute value into m_buffer: references replaced,
  // each tab, line feed and carriage return (a CR LF pair as one) a space.
  void DecodeValue(unsigned char quote) {
    for (;;) {
      if (m_p == m_end) throw Declined{};
      const unsigned char c = *m_p;
      if (c == quote) return;
      if (Is(c, kPlainValue) || c == '"' || c == '\'') {
        m_buffer += static_cast<char>(c);
        ++m_p;
      } else if (c == '&') {
        Reference();
      } else if (c == '\t' || c == '\n' || c == '\r') {
        if (c == '\r' && m_end - m_p >= 2 && m_p[1] == '\n') ++m_p;
        if (*m_p == '\n') ++m_line;
        m_buffer += ' ';
        ++m_p;
      } else if (c >= 0x80) {
        CopyCharacter();
      } else {
        throw Declined{};
      }
      if (m_buffer.size() > kMaxText) throw Declined{};
    }
  }

  // A character or predefined entity reference at '&', appended to
  // m_buffer.
  void Reference() {
    ++m_p;
    if (m_p != m_end && *m_p == '#') {
      ++m_p;
      std::uint32_t value = 0;
      std::size_t digits = 0;
      if (m_p != m_end && *m_p == 'x') {
        ++m_p;
        for (; m_p != m_end && *m_p != ';'; ++m_p, ++digits) {
          const unsigned char c = *m_p;
          std::uint32_t digit = 0;
          if (c >= '0' && c <= '9') {
            digit = c - '0';
          } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
          } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
          } else {
            throw Declined{};
          }
          value = value * 16 + digit;
          if (value > 0x10FFFF || digits > 16) throw Declined{};
        }
      } else {
        for (; m_p != m_end && *m_p != ';'; ++m_p, ++digits) {
          const unsigned char c = *m_p;
          if (c < '0' || c > '9') throw Declined{};
          value = value * 10 + (c - '0');
          if (value > 0x10FFFF || digits > 16) throw Declined{};
        }
      }
      if (m_p == m_end || digits == 0 || !IsXmlChar(value)) throw Declined{};
      ++m_p;
      AppendUtf8(m_buffer, value);
      return;
    }
    const unsigned char* name = m_p;
    while (m_p != m_end && *m_p != ';' && m_p - name < 5) ++m_p;
    if (m_p == m_end || *m_p != ';') throw Declined{};
    const std::string_view entity(reinterpret_cast<const char*>(name),
                                  static_cast<std::size_t>(m_p - name));
    ++m_p;
    if (entity == "lt") {
      m_buffer += '<';
    } else if (entity == "gt") {
      m_buffer += '>';
    } else if (entity == "amp") {
      m_buffer += '&';
    } else if (entity == "quot") {
      m_buffer += '"';
    } else if (entity == "apos") {
      m_buffer += '\'';
    } else {
      throw Declined{};
    }
  }

  // The character data after a tag, up to the next '<'; a text node of
  // `parent` unless it is blank and blank text is dropped.
  void ParseCharacterData(xmlNodePtr parent) {
    const unsigned char* start = m_p;
    int line = -1;  // libxml2's line of the text: where its first piece ends
    bool decoded = false;
    for (;;) {
      m_p = SkipClass(m_p, kPlainText);
      if (m_p == m_end) throw Declined{};
      const unsigned char c = *m_p;
      if (c == '<') break;
      if (c == '\n') {
        ++m_line;
        ++m_p;
      } else if (c == ']') {
        if (m_end - m_p >= 3 && m_p[1] == ']' && m_p[2] == '>') throw Declined{};
        ++m_p;
      } else if (c >= 0x80) {
        if (line < 0 && m_p != start) line = Line();
        SkipCharacter();
      } else if (c == '&' || c == '\r') {
        decoded = true;
        break;
      } else {
        throw Declined{};
      }
    }
    const unsigned char* text = start;
    std::size_t length = static_cast<std::size_t>(m_p - start);
    if (decoded) {
      m_buffer.assign(reinterpret_cast<const char*>(start), length);
      if (line < 0) line = Line();
      DecodeText();
      text = reinterpret_cast<const unsigned char*>(m_buffer.data());
      length = m_buffer.size();
    }
    if (length == 0) return;
    if (length > kMaxText) throw Declined{};
    if (line < 0) line = Line();
    if (IsBlankText(text, length)) {
      if (!m_keep_blank_text) return;
    } else if (m_blank_quirks && LeadingBlanksHoldCarriageReturn(start)) {
      // libxml2, asked to drop blank text itself, drops blank pieces ending
      // at a carriage return at the start of a text too.
      throw Declined{};
    }
    xmlNodePtr node = NewText(parent, text, length);
    node->line = static_cast<unsigned short>(line < kMaxLine ? line : kMaxLine);
  }

  bool LeadingBlanksHoldCarriageReturn(const unsigned char* start) const {
    for (const unsigned char* p = start; p != m_end && Is(*p, kBlank); ++p) {
      if (*p == '\r') return true;
    }
    return false;
  }

  // The rest of a text into m_buffer: references replaced, CR LF and a lone
  // CR a line feed.
  void DecodeText() {
    for (;;) {
      if (m_p == m_end) throw Declined{};
      const unsigned char c = *m_p;
      if (c == '<') return;
      if (Is(c, kPlainText)) {
        m_buffer += static_cast<char>(c);
        ++m_p;
      } else if (c == '\n') {
        ++m_line;
        m_buffer += '\n';
        ++m_p;
      } else if (c == '\r') {
        if (m_end - m_p >= 2 && m_p[1] == '\n') {
          ++m_p;
          ++m_line;
        }
        m_buffer += '\n';
        ++m_p;
      } else if (c == '&') {
        Reference();
      } else if (c == ']') {
        if (m_end - m_p >= 3 && m_p[1] == ']' && m_p[2] == '>') throw Declined{};
        m_buffer += ']';
        ++m_p;
      } else if (c >= 0x80) {
        CopyCharacter();
      } else {
        throw Declined{};
      }
      if (m_buffer.size() > kMaxText) throw Declined{};
    }
  }

  // A comment at "<!--", the last child of `parent`: its text as written
  // but for line ends (CR LF and a lone CR a line feed), no "--" inside.
  void ParseComment(xmlNodePtr parent) {
    m_p += 4;
    const unsigned char* start = m_p;
    bool carriage_return = false;
    for (;;) {
      if (m_p == m_end) throw Declined{};
      const unsigned char c = *m_p;
      if (c == '-') {
        if (m_end - m_p >= 2 && m_p[1] == '-') {
          if (m_end - m_p >= 3 && m_p[2] == '>') break;
          throw Declined{};
        }
        ++m_p;
      } else if ((c >= 0x20 && c <= 0x7F) || c == '\t') {
        ++m_p;
      } else if (c == '\n') {
        ++m_line;
        ++m_p;
      } else if (c == '\r') {
        carriage_return = true;
        ++m_p;
      } else if (c >= 0x80) {
        SkipCharacter();
      } else {
        throw Declined{};
      }
    }
    const std::size_t length = static_cast<std::size_t>(m_p - start);
    if (length > kMaxText) throw Declined{};
    m_p += 3;
    // Comments are rare: libxml2's nodes, which it frees as it frees any.
    NodePool* const pool = std::exchange(m_pool, nullptr);
    xmlNodePtr node = NewBlank<xmlNode>(XML_COMMENT_NODE);
    m_pool = pool;
    m_pure = false;
    node->name = xmlStringComment;
    LinkChild(parent, node, nullptr);
    node->line = static_cast<unsigned short>(Line());
    node->content = static_cast<xmlChar*>(xmlMalloc(length + 1));
    if (!node->content) throw Declined{};
    std::size_t written = 0;
    for (std::size_t i = 0; i < length; ++i) {
      if (carriage_return && start[i] == '\r') {
        node->content[written++] = '\n';
        if (i + 1 < length && start[i + 1] == '\n') ++i;
      } else {
        node->content[written++] = start[i];
      }
    }
    node->content[written] = '\0';
  }

  // At the name of an end tag, after "</": it must close `open`.
  void ParseEndTag(xmlNodePtr open) {
    if (open->type != XML_ELEMENT_NODE) throw Declined{};
    // The name of the open element, which was read as a name of the subset,
    // and no more of a name after it.
    const unsigned char* p = m_p;
    for (const xmlChar* name = open->name; *name; ++name, ++p) {
      if (p == m_end || *p != *name) throw Declined{};
    }
    if (p != m_end && Is(*p, kNameChar)) throw Declined{};
    m_p = p;
    SkipBlanks();
    if (m_p == m_end || *m_p != '>') throw Declined{};
    ++m_p;
  }

  struct NameSlot {
    const xmlChar* name = nullptr;
    std::size_t length = 0;
    std::uint64_t word = 0;  // NameWord of a name of up to 8 bytes, else 0
  };

  const unsigned char* m_p;
  const unsigned char* const m_end;
  const bool m_keep_blank_text;
  const bool m_blank_quirks;
  int m_line = 1;
  NodePool* m_pool;
  bool m_pure = true;  // no node but pooled ones yet
  xmlDocPtr m_document = nullptr;
  xmlDictPtr m_dict = nullptr;
  const xmlChar* m_xmlns = nullptr;
  std::array<NameSlot, 256> m_names{};
  std::array<AttributeNames, 16> m_attribute_names{};
  std::string m_buffer;
  // This parse's number for short_values.
  const std::uint64_t m_parse = ++parse_count;
};

}  // namespace

_xmlDoc* FastParse(std::string_view text, bool preserve_whitespace, bool drops_blanks_while_parsing,
                   NodePool* pool) {
  if (parse_path == ParsePath::kLibxmlOnly) return nullptr;
  try {
    FastParser parser(text, preserve_whitespace, drops_blanks_while_parsing, pool);
    return parser.Parse();
  } catch (const Declined&) {
  }
  if (parse_path == ParsePath::kFastOnly) {
    RaiseXml("The fast parser leaves this text to libxml2", kFastParseDeclined);
  }
  return nullptr;
}

ParsePath SetParsePath(ParsePath path) {
  const ParsePath before = parse_path;
  parse_path = path;
  return before;
}

namespace {

void Describe(std::string& out, const char* what, const void* value) {
  out += what;
  out += value ? "+ " : "0 ";
}

std::string Text(const xmlChar* text) {
  return text ? "'" + FromXmlChars(text) + "'" : std::string("null");
}

void DescribeNode(std::string& out, xmlNodePtr node, xmlDocPtr document, int depth) {
  out.append(static_cast<std::size_t>(depth) * 2, ' ');
  out += "type=" + std::to_string(node->type) + " name=" + Text(node->name);
  const bool named = node->type == XML_ELEMENT_NODE || node->type == XML_ATTRIBUTE_NODE;
  if (named) out += xmlDictOwns(document->dict, node->name) == 1 ? " (dict)" : " (own)";
  // A shared text belongs to no document, and to every attribute holding it.
  out += node->doc == document || IsSharedText(node) ? " doc" : " other-doc";
  // A pooled node's mark is no handle.
  out += HandleCount(node) != 0 ? " private" : "";
  if (node->type == XML_ELEMENT_NODE || node->type == XML_COMMENT_NODE) {
    out += " line=" + std::to_string(node->line);
  }
  if (node->type == XML_ELEMENT_NODE) {
    Describe(out, " ns", node->ns);
    Describe(out, "nsDef", node->nsDef);
    Describe(out, "content", node->content);
  }
  if (node->type == XML_TEXT_NODE || node->type == XML_COMMENT_NODE) {
    out += " content=" + Text(node->content);
    if (node->name != xmlStringText && node->name != xmlStringComment) out += " odd-name";
  }
  if (node->type == XML_ATTRIBUTE_NODE) {
    auto* attr = reinterpret_cast<xmlAttrPtr>(node);
    out += " atype=" + std::to_string(attr->atype);
    Describe(out, " ns", attr->ns);
  }
  if (node->type != XML_ATTRIBUTE_NODE) out += " extra=" + std::to_string(node->extra);
  out += '\n';
  if (node->type == XML_ELEMENT_NODE) {
    xmlAttrPtr previous = nullptr;
    for (xmlAttrPtr attr = node->properties; attr; attr = attr->next) {
      if (attr->parent != node || attr->prev != previous) out += "bad attribute links\n";
      DescribeNode(out, reinterpret_cast<xmlNodePtr>(attr), document, depth + 1);
      previous = attr;
    }
  }
  // An attribute whose value is one empty text reads as one without a text.
  const xmlNodePtr only = node->children;
  if (node->type == XML_ATTRIBUTE_NODE && only && !only->next && only->type == XML_TEXT_NODE &&
      only->content && only->content[0] == '\0' && node->last == only) {
    return;
  }
  if (node->type == XML_ELEMENT_NODE || node->type == XML_ATTRIBUTE_NODE ||
      node->type == XML_DOCUMENT_NODE) {
    xmlNodePtr previous = nullptr;
    for (xmlNodePtr child = node->children; child; child = child->next) {
      if ((child->parent != node && !IsSharedText(child)) || child->prev != previous) {
        out += "bad child links\n";
      }
      DescribeNode(out, child, document, depth + 1);
      previous = child;
    }
    if (node->last != previous) out += "bad last child\n";
  }
}

}  // namespace

std::string DescribeTree(const Node& document) {
  auto* doc = reinterpret_cast<xmlDocPtr>(ToXml(document.Raw()));
  if (!doc || doc->type != XML_DOCUMENT_NODE) return "not a document\n";
  std::string out = "version=" + Text(doc->version) + " encoding=" + Text(doc->encoding) +
                    " standalone=" + std::to_string(doc->standalone) + " URL=" + Text(doc->URL) +
                    " charset=" + std::to_string(doc->charset) +
                    " properties=" + std::to_string(doc->properties) +
                    " parseFlags=" + std::to_string(doc->parseFlags) +
                    " compression=" + std::to_string(doc->compression);
  Describe(out, " dict", doc->dict);
  Describe(out, "intSubset", doc->intSubset);
  Describe(out, "extSubset", doc->extSubset);
  Describe(out, "oldNs", doc->oldNs);
  Describe(out, "ids", doc->ids);
  Describe(out, "refs", doc->refs);
  out += '\n';
  xmlNodePtr previous = nullptr;
  for (xmlNodePtr child = doc->children; child; child = child->next) {
    if (child->parent != reinterpret_cast<xmlNodePtr>(doc) || child->prev != previous) {
      out += "bad child links\n";
    }
    DescribeNode(out, child, doc, 1);
    previous = child;
  }
  if (doc->last != previous) out += "bad last child\n";
  return out;
}

}  // namespace orvo::xml::detail
