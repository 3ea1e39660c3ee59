#include "xml/xpath_engine.h"

#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <algorithm>
#include <memory>
#include <string>
#include <unordered_map>

#include "xml/xpath_rewrite.h"

namespace orvo::xml::detail {
namespace {

constexpr std::size_t kMaxCachedQueries = 4096;

struct CompiledQueryDeleter {
  void operator()(xmlXPathCompExprPtr query) const { xmlXPathFreeCompExpr(query); }
};
struct ContextDeleter {
  void operator()(xmlXPathContextPtr context) const { xmlXPathFreeContext(context); }
};
struct ObjectDeleter {
  void operator()(xmlXPathObjectPtr object) const { xmlXPathFreeObject(object); }
};
using CompiledQuery = std::unique_ptr<xmlXPathCompExpr, CompiledQueryDeleter>;

// Resolves the root variable to the top of the context node's tree.
xmlXPathObjectPtr LookUpVariable(void* data, const xmlChar* name, const xmlChar* ns_uri) {
  if (ns_uri != nullptr || FromXmlChars(name) != kRootVariable) return nullptr;
  return xmlXPathNewNodeSet(static_cast<xmlNodePtr>(data));
}

class ThreadQueries {
 public:
  ThreadQueries() : m_context(xmlXPathNewContext(nullptr)) {}

  xmlXPathContextPtr Context() { return m_context.get(); }

  xmlXPathCompExprPtr Compile(std::string_view xpath) {
    auto found = m_cache.find(std::string(xpath));
    if (found != m_cache.end()) return found->second.get();
    std::string rewritten = RewriteRootPaths(xpath);
    CompiledQuery compiled(xmlXPathCompile(ToXmlChars(rewritten)));
    if (!compiled) {
      RaiseXml("Invalid XPath expression: " + std::string(xpath));
    }
    if (m_cache.size() >= kMaxCachedQueries) m_cache.clear();
    xmlXPathCompExprPtr raw = compiled.get();
    m_cache.emplace(std::string(xpath), std::move(compiled));
    return raw;
  }

 private:
  std::unique_ptr<xmlXPathContext, ContextDeleter> m_context;
  std::unordered_map<std::string, CompiledQuery> m_cache;
};

}  // namespace

std::vector<xmlNodePtr> SelectNodeSet(xmlNodePtr context, std::string_view xpath, bool first_only) {
  EnsureLibraryReady();
  thread_local ThreadQueries queries;
  xmlXPathCompExprPtr compiled = queries.Compile(xpath);

  xmlXPathContextPtr evaluation = queries.Context();
  evaluation->doc = context->doc;
  evaluation->node = context;
  xmlXPathRegisterVariableLookup(evaluation, LookUpVariable, TreeTop(context));
  std::unique_ptr<xmlXPathObject, ObjectDeleter> result(xmlXPathCompiledEval(compiled, evaluation));
  evaluation->node = nullptr;
  evaluation->doc = nullptr;
  if (!result) RaiseXml("XPath expression failed: " + std::string(xpath));
  if (result->type != XPATH_NODESET) {
    RaiseXml("XPath expression does not select nodes: " + std::string(xpath));
  }
  std::vector<xmlNodePtr> nodes;
  xmlNodeSetPtr set = result->nodesetval;
  if (set != nullptr) {
    int count = first_only ? std::min(set->nodeNr, 1) : set->nodeNr;
    nodes.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
      xmlNodePtr node = set->nodeTab[i];
      // Namespace nodes in a result are copies owned by the result: skip them.
      if (node->type == XML_NAMESPACE_DECL) continue;
      nodes.push_back(node);
    }
  }
  return nodes;
}

}  // namespace orvo::xml::detail
