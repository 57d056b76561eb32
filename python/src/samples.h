// Where the samples of a channel lie inside one sub-block in host order, as
// the library's channel accessors find them (sample-axis parameters, then
// the first sample of each channel), for the file reader and the online
// reader alike.
//
// A sub-block may hold several channels (a beam-position monitor's X and Y,
// the ROIs of a camera block, the entries of a name/value list). Asked for
// channel k, the samples are that channel's; asked for all (-1), they are
// every channel's in stored order, channel 0 first.
//
// Re-entrant: the generation-specific accessors are called directly, so the
// process-wide generation flags are not read.
#ifndef HESK_PY_SAMPLES_H
#define HESK_PY_SAMPLES_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace heskpy {

// `count` floats from `first`, `stride` bytes apart.
struct SampleRun {
  const unsigned char* first;
  size_t count;
  size_t stride;
};

enum class Located {
  kOk,
  kNoSamples,   // a type without a sample axis (slow lists, images, framework blocks)
  kCompressed,  // a compressed payload
  kNoChannel,   // the block has no channel of that number
  kCorrupt      // its counts do not fit the block
};

// Finds the samples of channel `subchan` (-1: every channel) of the
// sub-block at `sub`, whose head is of the 2009 layout when `short_head`,
// else of the 2010/2024 layout. REQUIRES: `sub` is 4-byte aligned and its
// ldata bytes are readable.
Located locate_samples(void* sub, bool short_head, int subchan, std::vector<SampleRun>* runs);

size_t sample_count(const std::vector<SampleRun>& runs);
// Copies the runs' samples, one after the other, to `out`.
void copy_samples(const std::vector<SampleRun>& runs, float* out);

// A sentence for a failed Located value, naming the block's type.
std::string located_text(Located what, int dtype);

}  // namespace heskpy

#endif  // HESK_PY_SAMPLES_H
