// What the command-line tools share in reading their arguments. Options are
// read with getopt_long, so "--opt VALUE" and "--opt=VALUE" are alike, and
// a bad argument of any tool is a usage error: a message saying what is
// allowed, a hint to --help, and exit status 2.
#ifndef HESK_TOOL_OPTIONS_H
#define HESK_TOOL_OPTIONS_H

namespace hesk_cli {

// Exit status of every tool for bad usage.
constexpr int kUsageError = 2;

// A whole decimal number within [lo, hi].
bool parse_long(const char* text, long lo, long hi, long* out);
bool parse_int(const char* text, int lo, int hi, int* out);

// Prints "<tool>: <message>" and "try '<tool> --help'" on standard error;
// returns kUsageError.
int usage_error(const char* tool, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The same for a number option whose value is not a number within
// [lo, hi]: "<tool>: --opt needs a number from lo to hi, not 'VALUE'".
int range_error(const char* tool, const char* option, long lo, long hi, const char* value);

// For getopt_long's '?' (unknown option or missing value, already reported
// by getopt_long itself): the hint, and kUsageError.
int getopt_error(const char* tool);

}  // namespace hesk_cli

#endif  // HESK_TOOL_OPTIONS_H
