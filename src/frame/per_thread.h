// Per-thread shared slots.
//
// State shared by the library's objects (launch properties, providers, the
// command factory, the token lists, the shared preview state) lives once per
// host thread. PerThread<T>() returns the calling thread's instance of T,
// constructing it on first use on that thread; it lives until the thread
// ends. Objects on different threads never share a slot, so no locking.
#ifndef ORVO_FRAME_PER_THREAD_H_
#define ORVO_FRAME_PER_THREAD_H_

namespace orvo {

template <class T>
T& PerThread() {
  thread_local T instance;
  return instance;
}

}  // namespace orvo

#endif  // ORVO_FRAME_PER_THREAD_H_
