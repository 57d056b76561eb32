// Multi-process tests of the recorder: the test binary re-runs itself as a
// master and as writer processes of the buffer manager (--hesk-child=ROLE),
// runs the real hesk-record, hesk-select and hesk-daqdump programs, and
// reads the recorded files back through the file readers.
//
// Writer w (1-based) delivers its block "W<w>" of event i (0-based): keyed
// t0 + i seconds, event id i + 1 (2024: 2^32 + i + 1), trigger mask 1 << w,
// event type types[i % n]; one spectrum "W<w>.CH0" that fills the block,
// whose samples make_block() computes, so a test can rebuild every block it
// should find in the files.
#ifndef HESK_TESTS_RECORD_ROLES_H
#define HESK_TESTS_RECORD_ROLES_H

#include <cstdint>
#include <string>
#include <vector>

namespace record_test {

constexpr unsigned kT0 = 1700000000;

struct WriterSpec {
  int index = 1;  // w
  int gen = 2010;
  long events = 100;
  int block = 1024;  // bytes of each server block
  std::vector<int> types;
  int rate = 0;  // events per second, 0: as fast as buffers come back
};

// The server block writer w delivers for event i.
std::vector<unsigned char> make_block(const WriterSpec& w, long i);
uint64_t event_id(int gen, long i);
std::string block_name(int w);

// Child roles (argv[1] is --hesk-child=ROLE); the process's exit status.
int run_role(int argc, char** argv);
// Arguments of the writer role.
std::vector<std::string> writer_args(const std::string& dir, const std::string& data,
                                     const WriterSpec& w);

}  // namespace record_test

#endif  // HESK_TESTS_RECORD_ROLES_H
