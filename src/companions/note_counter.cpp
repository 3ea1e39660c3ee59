#include "companions/note_counter.h"

#include "frame/per_thread.h"
#include "frame/text_value.h"

namespace orvo {
namespace {

struct NoteCounter {
  std::int32_t value = 0;
};

}  // namespace

std::int32_t& ThreadNoteCounter() { return PerThread<NoteCounter>().value; }

std::int32_t NextNoteNumber() {
  std::int32_t& counter = ThreadNoteCounter();
  counter = AddLong(counter, 1);
  return counter;
}

}  // namespace orvo
