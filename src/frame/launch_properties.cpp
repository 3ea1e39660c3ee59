#include "frame/launch_properties.h"

#include "frame/per_thread.h"

namespace orvo {
namespace {

struct LaunchPropertiesSlot {
  xml::Node node;
};

}  // namespace

xml::Node CopyLaunchProperties(const xml::Node& node) {
  if (!node) return {};
  xml::Document copy = xml::Document::Create();
  // ImportNode takes a document's element and leaves the source untouched.
  xml::Node element = copy.ImportNode(node, true);
  if (!element) return {};
  copy.SetDocumentElement(element);
  return element;
}

xml::Node GetLaunchProperties() { return PerThread<LaunchPropertiesSlot>().node; }

void SetLaunchProperties(const xml::Node& node) {
  PerThread<LaunchPropertiesSlot>().node = CopyLaunchProperties(node);
}

void InitLaunchProperties(const xml::Node& node) {
  if (!PerThread<LaunchPropertiesSlot>().node) SetLaunchProperties(node);
}

}  // namespace orvo
