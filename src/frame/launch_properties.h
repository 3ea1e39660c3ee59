// The thread's launch-properties node: a deep copy of the node the host gave
// to the first Init on this thread. Every Init calls InitLaunchProperties,
// which stores a copy only while none is stored; SetLaunchProperties always
// replaces it.
#ifndef ORVO_FRAME_LAUNCH_PROPERTIES_H_
#define ORVO_FRAME_LAUNCH_PROPERTIES_H_

#include "orvo/xml.h"

namespace orvo {

// The stored node, or a null node before the first Init on this thread.
xml::Node GetLaunchProperties();

// Stores a deep copy of `node` (a null node clears the slot).
void SetLaunchProperties(const xml::Node& node);

// The rule every Init follows: store a deep copy only while none is stored.
void InitLaunchProperties(const xml::Node& node);

// A deep copy of a launch-properties node (an element, or a document whose
// element is taken) as the element of a new document of its own: whoever
// holds the copy may keep or change it without touching the original's tree.
// Null for a null node or an empty document.
xml::Node CopyLaunchProperties(const xml::Node& node);

}  // namespace orvo

#endif  // ORVO_FRAME_LAUNCH_PROPERTIES_H_
