// PerThread<T>(): a per-thread cache of constants, one per type. Defined with
// everything else that lives per thread in frame/thread_context.h.
#ifndef ORVO_FRAME_PER_THREAD_H_
#define ORVO_FRAME_PER_THREAD_H_

#include "frame/thread_context.h"

#endif  // ORVO_FRAME_PER_THREAD_H_
