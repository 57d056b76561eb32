#include "test_points.h"

namespace hesk_mgr {

std::atomic<TestPointHook> g_test_point_hook{nullptr};

void set_test_point_hook(TestPointHook hook) {
  g_test_point_hook.store(hook);
}

}  // namespace hesk_mgr
