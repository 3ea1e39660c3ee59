// The thread's note counter: notes are numbered in the order the build meets
// them. It belongs to the build part of the thread context, so it is 0 at the
// start of every report build (ThreadContext::ResetForBuild); the builder and
// the evaluator may set it to a number read back from the document; bookmarks
// and the evaluator draw the next number from it.
#ifndef ORVO_COMPANIONS_NOTE_COUNTER_H_
#define ORVO_COMPANIONS_NOTE_COUNTER_H_

#include <cstdint>

namespace orvo {

// The counter's current value, for reading and setting.
std::int32_t& ThreadNoteCounter();

// Raises the counter by one and returns the new value.
std::int32_t NextNoteNumber();

}  // namespace orvo

#endif  // ORVO_COMPANIONS_NOTE_COUNTER_H_
