#include "companions/note_counter.h"

#include "frame/text_value.h"
#include "frame/thread_context.h"

namespace orvo {

std::int32_t& ThreadNoteCounter() { return ThreadContext::Current().NoteCounter(); }

std::int32_t NextNoteNumber() {
  std::int32_t& counter = ThreadNoteCounter();
  counter = AddLong(counter, 1);
  return counter;
}

}  // namespace orvo
