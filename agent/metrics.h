// The board's live values in the Prometheus text format (version 0.0.4), for
// a scraper of a lab's boards: names under halvo_, in base units (celsius,
// volts, hertz, seconds, amperes, coulombs, bytes), one gauge per value and
// labels naming the sensor. A read the board refuses leaves its values out and shows as
// halvo_read_success{read="..."} 0, so a missing sensor is not a zero; a
// sensor that gives no reading leaves out only itself, shown as
// halvo_read_success{read="temperatures",index="N"} 0.
#ifndef HALVO_AGENT_METRICS_H
#define HALVO_AGENT_METRICS_H

#include <cstdint>
#include <string>

namespace halvo::agent
{

// Reads the board behind `handle` of this library.
std::string metricsText(int32_t handle);

// A label value with backslash, quote and newline escaped.
std::string escapeLabel(const std::string &value);

} // namespace halvo::agent

#endif
