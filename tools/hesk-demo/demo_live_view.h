// The live view beside a demo run (hesk-demo --serve): hesk-status --serve
// on the run's partitions, as a child process that the demo starts before
// the run and stops after it. The child ends by itself when the demo
// process dies, and ignores the interrupt that ends the run in order, so
// that the view stays until the run is over.
#ifndef HESK_DEMO_LIVE_VIEW_H
#define HESK_DEMO_LIVE_VIEW_H

#include <sys/types.h>

#include <string>

// Whether `text` is [ADDR:]PORT with a port from 0 to 65535 (the address is
// for hesk-status to judge).
bool valid_listen_address(const char* text);

class DemoLiveView {
 public:
  DemoLiveView() = default;
  ~DemoLiveView() { stop(); }
  DemoLiveView(const DemoLiveView&) = delete;
  DemoLiveView& operator=(const DemoLiveView&) = delete;

  // Starts `status_tool --serve listen --cl client --ev event [--2024]` and
  // waits until it listens: its URL. On failure the reason, and the exit
  // code the demo should end with (2 when `listen` is not [ADDR:]PORT).
  bool start(const std::string& status_tool, const std::string& listen, const std::string& client,
             const std::string& event, bool layout_2024, std::string* url, std::string* error,
             int* exit_code);
  // Stops it (SIGTERM, SIGKILL after a few seconds) and waits for it.
  void stop();

 private:
  pid_t pid_ = -1;
  int out_ = -1;  // its standard output
};

#endif  // HESK_DEMO_LIVE_VIEW_H
