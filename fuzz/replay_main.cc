// Runs a fuzz target over saved inputs (files, or directories of files) as an
// ordinary program, so the seed corpus is a regression test with any
// compiler. Converter messages on standard output are discarded.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int run_file(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  if (!f) {
    fprintf(stderr, "cannot read %s\n", p.c_str());
    return 1;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (freopen("/dev/null", "w", stdout) == nullptr) return 1;
  int failures = 0, inputs = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path arg(argv[i]);
    if (std::filesystem::is_directory(arg)) {
      for (const auto& e : std::filesystem::directory_iterator(arg)) {
        if (!e.is_regular_file()) continue;
        failures += run_file(e.path());
        ++inputs;
      }
    } else {
      failures += run_file(arg);
      ++inputs;
    }
  }
  fprintf(stderr, "%d inputs replayed\n", inputs);
  return (failures > 0 || inputs == 0) ? 1 : 0;
}
