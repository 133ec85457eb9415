// ZelTimers analysis: a frame summary as an OpenTelemetry (OTLP) JSON
// document, the form telemetry pipelines carry.
//
// The document is an ExportMetricsServiceRequest in protobuf's JSON mapping
// (lowerCamelCase keys, 64-bit integers as decimal strings) with one
// resource, whose "service.name" is the program captured, and these
// metrics, each one data point with the session's start and end times:
//  - "frame.time" (unit "ns"): an exponential histogram with the summary's
//    scale, count, sum, min, max and zeroCount, and its buckets as
//    positive.offset and positive.bucketCounts (bucket i holds
//    (base^i, base^(i+1)]);
//  - sums (asInt) of what the histogram cannot say exactly:
//    "frame.time.total" (ns), "frame.sessions", "frame.stutters",
//    "frame.stutter.time" (ns), "frame.jitter.total" (ns), and "frame.slow"
//    with one point per threshold (attribute "threshold_ns").
// min and max are exact up to 2^53 ns (104 days).
#ifndef ZELANALYSIS_SUMMARYJSON_H
#define ZELANALYSIS_SUMMARYJSON_H

#include <cstdint>
#include <string>

#include "FrameSummary.h"

namespace zel_analysis {

struct SummaryDocument {
  FrameSummary summary;
  std::string application;
  std::uint64_t startUnixNs = 0;  ///< when the session began, 0 if unknown
  std::uint64_t endUnixNs = 0;
};

/// The document as JSON text, ending in a line end.
std::string SummaryToJson(const SummaryDocument& document);

/// Reads a document written by SummaryToJson, or by another OTLP source
/// with the same metrics (a finer scale, up to 20, is made coarser to 7).
/// Returns "" or one line saying what is wrong: not JSON, a missing metric,
/// a bad scale, a count that is negative or not below 2^63, an offset out of
/// range, or figures that CheckSummary refuses.
std::string SummaryFromJson(const std::string& text, SummaryDocument& document);

}  // namespace zel_analysis

#endif
