// hesk-record: records the events the buffer manager of this host delivers
// into the event archive (DAQ raw files, run catalog, index file), or with
// --recover makes whole files a killed recorder left behind.
//
// Exit status: 0 done; 1 failed (the message names the file); 2 bad usage.
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "recorder.h"
#include "tool_options.h"

namespace {

std::atomic<bool> g_stop{false};

void on_stop(int) {
  g_stop = true;
}

}  // namespace

int main(int argc, char** argv) {
  hrec::Options o;
  std::string why;
  switch (hrec::parse_options(argc, argv, &o, &why)) {
    case hrec::kHelp:
      fputs(hrec::usage_text(), stdout);
      return 0;
    case hrec::kUsageError:
      return hesk_cli::usage_error("hesk-record", "%s", why.c_str());
    case hrec::kParsed:
      break;
  }
  if (!o.recover.empty()) return hrec::recover_files(o);

  struct sigaction sa;
  memset(&sa, 0, sizeof(sa));
  sa.sa_handler = on_stop;
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &sa, nullptr);
  hrec::Recorder r(o);
  if (!r.start()) return 1;
  const int status = r.run(&g_stop);
  fputs(r.summary().c_str(), stdout);
  fflush(stdout);
  return status;
}
