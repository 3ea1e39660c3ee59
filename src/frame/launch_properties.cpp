#include "frame/launch_properties.h"

#include "frame/thread_context.h"

namespace orvo {

xml::Node CopyLaunchProperties(const xml::Node& node) {
  if (!node) return {};
  xml::Document copy = xml::Document::Create();
  // ImportNode takes a document's element and leaves the source untouched.
  xml::Node element = copy.ImportNode(node, true);
  if (!element) return {};
  copy.SetDocumentElement(element);
  return element;
}

xml::Node GetLaunchProperties() { return ThreadContext::Current().LaunchProperties(); }

void SetLaunchProperties(const xml::Node& node) {
  ThreadContext::Current().LaunchProperties() = CopyLaunchProperties(node);
}

void InitLaunchProperties(const xml::Node& node) {
  if (!ThreadContext::Current().LaunchProperties()) SetLaunchProperties(node);
}

}  // namespace orvo
