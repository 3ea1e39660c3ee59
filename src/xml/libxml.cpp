#include "xml/libxml.h"

#include <libxml/xmlerror.h>
#include <libxslt/security.h>
#include <libxslt/xsltutils.h>

#include <mutex>
#include <vector>

#include "orvo/error.h"

namespace orvo::xml::detail {
namespace {

// Refuses every external load: entities, DTDs, document(), includes.
xmlParserInputPtr DenyExternalLoad(const char*, const char*, xmlParserCtxtPtr) { return nullptr; }

void IgnoreGenericError(void*, const char*, ...) {}
void IgnoreStructuredError(void*, xmlErrorPtr) {}

void InstallForbiddingSecurityPrefs() {
  xsltSecurityPrefsPtr prefs = xsltNewSecurityPrefs();
  for (xsltSecurityOption option :
       {XSLT_SECPREF_READ_FILE, XSLT_SECPREF_WRITE_FILE, XSLT_SECPREF_CREATE_DIRECTORY,
        XSLT_SECPREF_READ_NETWORK, XSLT_SECPREF_WRITE_NETWORK}) {
    xsltSetSecurityPrefs(prefs, option, xsltSecurityForbid);
  }
  // Stays installed for the life of the process.
  xsltSetDefaultSecurityPrefs(prefs);
}

}  // namespace

void EnsureLibraryReady() {
  static std::once_flag process_once;
  std::call_once(process_once, [] {
    xmlInitParser();
    xmlSetExternalEntityLoader(DenyExternalLoad);
    xsltSetGenericErrorFunc(nullptr, IgnoreGenericError);
    InstallForbiddingSecurityPrefs();
  });
  // libxml2 keeps its error handlers per thread.
  thread_local bool thread_ready = false;
  if (!thread_ready) {
    xmlSetGenericErrorFunc(nullptr, IgnoreGenericError);
    xmlSetStructuredErrorFunc(nullptr, IgnoreStructuredError);
    thread_ready = true;
  }
}

void ResetHandleCounts(xmlNodePtr top) {
  // Depth-first over the copy; the stack is reused across calls.
  thread_local std::vector<xmlNodePtr> pending;
  pending.assign(1, top);
  while (!pending.empty()) {
    xmlNodePtr node = pending.back();
    pending.pop_back();
    node->_private = nullptr;
    if (node->type == XML_ELEMENT_NODE) {
      for (xmlAttrPtr attr = node->properties; attr; attr = attr->next) attr->_private = nullptr;
    }
    if (node->type == XML_ENTITY_REF_NODE) continue;
    for (xmlNodePtr child = node->children; child; child = child->next) pending.push_back(child);
  }
}

xmlNodePtr TreeTop(xmlNodePtr node) {
  while (node->parent) node = node->parent;
  return node;
}

void RaiseXml(std::string description, int number) {
  RaiseFailure(number, "XML", std::move(description));
}

}  // namespace orvo::xml::detail
