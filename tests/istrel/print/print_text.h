// Expected texts of the record-head dumps that every printed payload and
// event starts with, for the print tests.
#ifndef HESK_TESTS_PRINT_TEXT_H
#define HESK_TESTS_PRINT_TEXT_H

#include <string>

#include <gtest/gtest.h>

namespace printtext {

template <typename F>
std::string captured(F f) {
  testing::internal::CaptureStdout();
  f();
  return testing::internal::GetCapturedStdout();
}

// A channel head without error bits and without a device type.
inline std::string chan(const std::string& name, const std::string& hex_type,
                        const std::string& type_name, int size) {
  return "\n\t\t Chan.name: " + name + "\n\t\t Type: 0x" + hex_type + "(" + type_name +
         " dev:NONE)\n\t\t Error:0x0(0)(OK)\n\t\t Size: " + std::to_string(size) + "\n";
}

// A server block head of the test events (time 300 s 4 us, mpulse 42,
// tmask 0xF), dumped without a slot (prefix "   ") or with one.
inline std::string server(const std::string& name, long total, int nchan,
                          const std::string& prefix = "   ") {
  return prefix + "\t Time: 300 sec 4 usec\n\t Total size: " + std::to_string(total) +
         "\n\t Mpulse:42\n\t Server: " + name +
         "\n\t tmask:0xF\n\t Status: 0\n\t Nchan: " + std::to_string(nchan) + "\n";
}

}  // namespace printtext

#endif  // HESK_TESTS_PRINT_TEXT_H
