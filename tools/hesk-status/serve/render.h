// The live view's answers, rendered once per snapshot: the status as JSON
// (with or without the rate history) and the Prometheus text exposition.
#ifndef HESK_STATUS_SERVE_RENDER_H
#define HESK_STATUS_SERVE_RENDER_H

#include <string>

#include "history.h"
#include "snapshot.h"

namespace live {

// Seconds over which the rates of /api/status are measured.
constexpr double kRateWindow = 5.0;

std::string status_json(const Snapshot& s, const History& h, double interval, bool with_history);
std::string metrics_text(const Snapshot& s);

// Valid UTF-8: every byte that does not start or continue a well-formed
// sequence becomes U+FFFD.
std::string utf8_clean(const std::string& in);

}  // namespace live

#endif  // HESK_STATUS_SERVE_RENDER_H
