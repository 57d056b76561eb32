// Named points of the event path and the monitor where a test can stop a
// process or hold a thread, to put two processes' steps into a chosen order.
// No hook is set in production: each point costs one relaxed load.
//
// Points:
//   "setup:marked"      a writer has marked a new event's record used and
//                       holds the slot's lock; the clients are not chosen yet
//   "monitor:snapshots" the monitor has compared the event slots' heads and
//                       has not yet looked for processes that are gone
#ifndef HESK_MANAGER_TEST_POINTS_H
#define HESK_MANAGER_TEST_POINTS_H

#include <atomic>

namespace hesk_mgr {

using TestPointHook = void (*)(const char* point);

// Sets the hook called at every point (null: none). Process-wide.
void set_test_point_hook(TestPointHook hook);

extern std::atomic<TestPointHook> g_test_point_hook;

inline void test_point(const char* point) {
  if (TestPointHook hook = g_test_point_hook.load(std::memory_order_relaxed)) hook(point);
}

}  // namespace hesk_mgr

#endif  // HESK_MANAGER_TEST_POINTS_H
