#include "frame/launch_properties.h"

#include "frame/per_thread.h"

namespace orvo {
namespace {

struct LaunchPropertiesSlot {
  xml::Node node;
};

// A detached deep copy living in its own document, so the host's node and
// tree are never touched again.
xml::Node DeepCopy(const xml::Node& node) {
  if (!node) return {};
  if (node.Type() == xml::NodeType::kDocument) {
    xml::Node element = xml::Document(node).DocumentElement();
    return element ? element.CloneNode(true) : xml::Node{};
  }
  xml::Document copy = xml::Document::Create();
  return copy.AppendChild(node.CloneNode(true));
}

}  // namespace

xml::Node GetLaunchProperties() { return PerThread<LaunchPropertiesSlot>().node; }

void SetLaunchProperties(const xml::Node& node) {
  PerThread<LaunchPropertiesSlot>().node = DeepCopy(node);
}

void InitLaunchProperties(const xml::Node& node) {
  if (!PerThread<LaunchPropertiesSlot>().node) SetLaunchProperties(node);
}

}  // namespace orvo
