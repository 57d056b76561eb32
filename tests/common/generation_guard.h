// Restores the process-wide generation flags when a test leaves its scope, so
// tests that switch generations do not leak into each other.
#ifndef HESK_TESTS_GENERATION_GUARD_H
#define HESK_TESTS_GENERATION_GUARD_H

#include "event_util.h"

class GenerationGuard {
 public:
  GenerationGuard() : f2010_(is_data_format_2010()), f2024_(is_data_format_2024()) {}
  ~GenerationGuard() {
    set_data_format_2010(false);
    set_data_format_2024(false);
    if (f2010_) set_data_format_2010(true);
    if (f2024_) set_data_format_2024(true);
  }
  GenerationGuard(const GenerationGuard&) = delete;
  GenerationGuard& operator=(const GenerationGuard&) = delete;

  static void use_2009() {
    set_data_format_2010(false);
    set_data_format_2024(false);
  }

 private:
  bool f2010_;
  bool f2024_;
};

#endif  // HESK_TESTS_GENERATION_GUARD_H
