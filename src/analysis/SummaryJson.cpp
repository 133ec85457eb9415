#include "ZelAnalysis/SummaryJson.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "json.h"

namespace zel_analysis {

namespace {

std::string Quoted(std::uint64_t value) { return '"' + std::to_string(value) + '"'; }

std::string JsonText(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      static constexpr char kHex[] = "0123456789abcdef";
      out += "\\u00";
      out += kHex[(c >> 4) & 0xF];
      out += kHex[c & 0xF];
    } else {
      out += c;
    }
  }
  return out + '"';
}

std::string Number(double value) {
  char buffer[64];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

// A cumulative-free sum metric with the given data points' own fields.
std::string SumMetric(const std::string& name, const std::string& unit,
                      const std::vector<std::string>& points, const std::string& times) {
  std::string out = R"({"name":")" + name + R"(","unit":")" + unit +
                    "\",\"sum\":{\"aggregationTemporality\":1,\"isMonotonic\":true, "
                    "\"dataPoints\":[";
  for (std::size_t i = 0; i < points.size(); ++i)
    out += (i ? ",{" : "{") + times + "," + points[i] + "}";
  return out + "]}}";
}

bool ReadUnsigned(const JsonValue* value, const std::string& what, std::uint64_t& out,
                  std::string& error) {
  if (value == nullptr ||
      (value->kind != JsonValue::kString && value->kind != JsonValue::kNumber)) {
    error = what + " is missing";
    return false;
  }
  const std::string& text = value->text;
  if (!text.empty() && text[0] == '-' && text != "-0") {
    error = what + " is negative: " + text;
    return false;
  }
  const auto result = std::from_chars(text.data(), text.data() + text.size(), out);
  if (result.ec == std::errc::result_out_of_range || (result.ec == std::errc() && out >> 63)) {
    error = what + " is not below 2^63: " + text;
    return false;
  }
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) {
    error = what + " is not a whole number: " + text;
    return false;
  }
  return true;
}

bool ReadSigned(const JsonValue* value, const std::string& what, std::int64_t& out,
                std::string& error) {
  if (value == nullptr || value->kind != JsonValue::kNumber) {
    error = what + " is missing";
    return false;
  }
  const std::string& text = value->text;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), out);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) {
    error = what + " is not a whole number in range: " + text;
    return false;
  }
  return true;
}

// A nanosecond count written as a JSON double (min, max).
bool ReadNs(const JsonValue* value, const std::string& what, std::int64_t& out,
            std::string& error) {
  if (value != nullptr && value->kind == JsonValue::kNumber) {
    double ns = 0;
    const std::string& text = value->text;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), ns);
    if (result.ec == std::errc() && ns >= 0 && ns <= 9007199254740992.0 && std::floor(ns) == ns) {
      out = static_cast<std::int64_t>(ns);
      return true;
    }
  }
  error = what + (value == nullptr ? " is missing" : " is not a whole number of ns up to 2^53");
  return false;
}

const JsonValue* Path(const JsonValue* value, std::initializer_list<const char*> keys) {
  for (const char* key : keys) {
    if (value == nullptr) return nullptr;
    value = value->Find(key);
  }
  return value;
}

// The single data point of a metric, of the given type.
const JsonValue* Point(const std::vector<const JsonValue*>& metrics, const std::string& name,
                       const char* type, std::string& error, std::size_t index = 0) {
  for (const JsonValue* metric : metrics) {
    const JsonValue* metricName = metric->Find("name");
    if (metricName == nullptr || metricName->text != name) continue;
    const JsonValue* points = Path(metric, {type, "dataPoints"});
    if (points != nullptr && index < points->items.size()) return &points->items[index];
  }
  error = "no " + std::string(type) + " metric \"" + name + "\"";
  return nullptr;
}

std::string AttributeText(const JsonValue* attributes, const std::string& key) {
  if (attributes == nullptr) return {};
  for (const JsonValue& attribute : attributes->items) {
    const JsonValue* name = attribute.Find("key");
    if (name == nullptr || name->text != key) continue;
    const JsonValue* value = attribute.Find("value");
    if (value == nullptr) return {};
    for (const char* kind : {"stringValue", "intValue"})
      if (const JsonValue* text = value->Find(kind)) return text->text;
  }
  return {};
}

bool ReadSum(const std::vector<const JsonValue*>& metrics, const std::string& name,
             std::uint64_t& out, std::string& error) {
  const JsonValue* point = Point(metrics, name, "sum", error);
  return point != nullptr && ReadUnsigned(point->Find("asInt"), name, out, error);
}

std::string Read(const JsonValue& root, SummaryDocument& document) {
  std::string error;
  std::vector<const JsonValue*> metrics;
  const JsonValue* resources = root.Find("resourceMetrics");
  if (resources == nullptr) return "no resourceMetrics: not an OTLP metrics document";
  for (const JsonValue& resource : resources->items) {
    const std::string name =
        AttributeText(Path(&resource, {"resource", "attributes"}), "service.name");
    if (!name.empty()) document.application = name;
    if (const JsonValue* scopes = resource.Find("scopeMetrics"))
      for (const JsonValue& scope : scopes->items)
        if (const JsonValue* list = scope.Find("metrics"))
          for (const JsonValue& metric : list->items) metrics.push_back(&metric);
  }
  const JsonValue* point = Point(metrics, "frame.time", "exponentialHistogram", error);
  if (point == nullptr) return error;

  FrameSummary& s = document.summary;
  std::int64_t scale = 0;
  std::int64_t offset = 0;
  std::uint64_t total = 0;
  if (!ReadSigned(point->Find("scale"), "scale", scale, error)) return error;
  if (scale < kSummaryMinScale || scale > 20)
    return "scale " + std::to_string(scale) + " is outside -10 to 20";
  s.scale = static_cast<int>(scale);
  if (!ReadUnsigned(point->Find("count"), "count", s.frames, error) ||
      !ReadUnsigned(point->Find("zeroCount"), "zeroCount", s.zeroCount, error))
    return error;
  const JsonValue* counts = Path(point, {"positive", "bucketCounts"});
  s.counts.clear();
  if (counts != nullptr) {
    for (const JsonValue& item : counts->items) {
      s.counts.push_back(0);
      if (!ReadUnsigned(&item, "a bucket count", s.counts.back(), error)) return error;
    }
  }
  if (!s.counts.empty() &&
      !ReadSigned(Path(point, {"positive", "offset"}), "positive.offset", offset, error))
    return error;
  // Empty buckets at the ends say nothing: leave them out.
  std::size_t begin = 0;
  while (begin < s.counts.size() && s.counts[begin] == 0) ++begin;
  s.counts.erase(s.counts.begin(), s.counts.begin() + static_cast<std::ptrdiff_t>(begin));
  while (!s.counts.empty() && s.counts.back() == 0) s.counts.pop_back();
  offset += static_cast<std::int64_t>(begin);
  // The last bucket at this scale that frames up to kMaxTotalNs reach.
  const std::int64_t highest =
      (std::int64_t{BucketIndex(kMaxTotalNs, kSummaryMaxScale)} + 1) *
          (scale > kSummaryMaxScale ? std::int64_t{1} << (scale - kSummaryMaxScale) : 1) -
      1;
  const std::int64_t last = offset + static_cast<std::int64_t>(s.counts.size()) - 1;
  if (!s.counts.empty() &&
      (offset < -1 ||
       last > (scale > kSummaryMaxScale ? highest : BucketIndex(kMaxTotalNs, s.scale))))
    return "positive.offset " + std::to_string(offset) + " puts buckets outside 1 ns to 1e17 ns";
  s.offset = s.counts.empty() ? 0 : static_cast<std::int32_t>(offset);
  if (s.frames > 0 && (!ReadNs(point->Find("min"), "min", s.minNs, error) ||
                       !ReadNs(point->Find("max"), "max", s.maxNs, error)))
    return error;

  std::uint64_t sessions = 0, stutters = 0, stutterNs = 0, jitterNs = 0;
  if (!ReadSum(metrics, "frame.time.total", total, error) ||
      !ReadSum(metrics, "frame.sessions", sessions, error) ||
      !ReadSum(metrics, "frame.stutters", stutters, error) ||
      !ReadSum(metrics, "frame.stutter.time", stutterNs, error) ||
      !ReadSum(metrics, "frame.jitter.total", jitterNs, error))
    return error;
  s.totalNs = static_cast<std::int64_t>(total);
  s.sessions = sessions;
  s.stutters = stutters;
  s.stutterNs = static_cast<std::int64_t>(stutterNs);
  s.jitterNs = static_cast<std::int64_t>(jitterNs);
  for (std::size_t i = 0; i < kSlowFrameNs.size(); ++i) {
    bool found = false;
    for (std::size_t p = 0; !found; ++p) {
      const JsonValue* slow = Point(metrics, "frame.slow", "sum", error, p);
      if (slow == nullptr)
        return "no frame.slow point for threshold_ns " + std::to_string(kSlowFrameNs[i]);
      if (AttributeText(slow->Find("attributes"), "threshold_ns") !=
          std::to_string(kSlowFrameNs[i]))
        continue;
      if (!ReadUnsigned(slow->Find("asInt"), "frame.slow", s.over[i], error)) return error;
      found = true;
    }
  }
  if (s.scale > kSummaryMaxScale) Coarsen(s, kSummaryMaxScale);
  error = CheckSummary(s);
  return error;
}

}  // namespace

std::string SummaryToJson(const SummaryDocument& d) {
  const FrameSummary& s = d.summary;
  const std::string times =
      "\"startTimeUnixNano\":" + Quoted(d.startUnixNs) + ",\"timeUnixNano\":" + Quoted(d.endUnixNs);
  std::string buckets;
  for (std::size_t i = 0; i < s.counts.size(); ++i) buckets += (i ? "," : "") + Quoted(s.counts[i]);
  std::string out =
      "{\"resourceMetrics\":[{\n"
      " \"resource\":{\"attributes\":[{\"key\":\"service.name\",\"value\":{\"stringValue\":" +
      JsonText(d.application) +
      "}}]},\n"
      " \"scopeMetrics\":[{\"scope\":{\"name\":\"zeltimers\"},\"metrics\":[\n"
      "  {\"name\":\"frame.time\",\"unit\":\"ns\",\"exponentialHistogram\":"
      "{\"aggregationTemporality\":1,\"dataPoints\":[{" +
      times + ",\n   \"count\":" + Quoted(s.frames) +
      ",\"sum\":" + Number(static_cast<double>(s.totalNs)) +
      ",\"scale\":" + std::to_string(s.scale) + ",\"zeroCount\":" + Quoted(s.zeroCount) +
      R"(,"zeroThreshold":0,"min":)" + Number(static_cast<double>(s.minNs)) +
      ",\"max\":" + Number(static_cast<double>(s.maxNs)) +
      ",\n   \"positive\":{\"offset\":" + std::to_string(s.offset) + ",\"bucketCounts\":[" +
      buckets + "]}}]}},\n";
  const auto asInt = [](std::uint64_t value) { return "\"asInt\":" + Quoted(value); };
  std::vector<std::string> slow;
  for (std::size_t i = 0; i < kSlowFrameNs.size(); ++i) {
    slow.push_back(R"("attributes":[{"key":"threshold_ns","value":{"intValue":)" +
                   Quoted(static_cast<std::uint64_t>(kSlowFrameNs[i])) + "}}], " +
                   asInt(s.over[i]));
  }
  const std::string metrics[] = {
      SumMetric("frame.time.total", "ns", {asInt(static_cast<std::uint64_t>(s.totalNs))}, times),
      SumMetric("frame.sessions", "{session}", {asInt(s.sessions)}, times),
      SumMetric("frame.stutters", "{frame}", {asInt(s.stutters)}, times),
      SumMetric("frame.stutter.time", "ns", {asInt(static_cast<std::uint64_t>(s.stutterNs))},
                times),
      SumMetric("frame.jitter.total", "ns", {asInt(static_cast<std::uint64_t>(s.jitterNs))}, times),
      SumMetric("frame.slow", "{frame}", slow, times)};
  for (std::size_t i = 0; i < std::size(metrics); ++i)
    out += "  " + metrics[i] + (i + 1 < std::size(metrics) ? ",\n" : "\n");
  return out + " ]}]\n}]}\n";
}

std::string SummaryFromJson(const std::string& text, SummaryDocument& document) {
  document = SummaryDocument();
  JsonValue root;
  std::string error = ParseJson(text, root);
  if (error.empty()) error = Read(root, document);
  if (!error.empty()) document = SummaryDocument();
  return error;
}

}  // namespace zel_analysis
