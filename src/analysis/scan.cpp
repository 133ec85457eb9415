#include "scan.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string_view>
#include <thread>
#include <unordered_map>

#include "ZelAnalysis/FrameStats.h"
#include "formats.h"

namespace zel_analysis::scan {

namespace {

// Reads at any offset, from the file or from memory.
class Reader {
public:
  explicit Reader(const Source& source) : m_Memory(source.memory) {
    if (m_Memory == nullptr) m_File.open(source.name, std::ios::binary);
  }
  std::size_t Read(std::uint64_t offset, char* out, std::size_t size) {
    if (m_Memory != nullptr) {
      if (offset >= m_Memory->size()) return 0;
      size = std::min<std::size_t>(size, m_Memory->size() - offset);
      std::memcpy(out, m_Memory->data() + offset, size);
      return size;
    }
    if (offset != m_Position) {
      m_File.clear();
      m_File.seekg(static_cast<std::streamoff>(offset));
    }
    m_File.read(out, static_cast<std::streamsize>(size));
    const auto got = static_cast<std::size_t>(m_File.gcount());
    m_Position = offset + got;
    return got;
  }

private:
  const std::string* m_Memory;
  std::ifstream m_File;
  std::uint64_t m_Position = 0;
};

// The values a part keeps. Its first vector is given room up front for
// the rows the file's length promises (room not written takes no memory),
// so that the values are neither copied as a vector grows nor, for the
// first part, when the parts are put together.
class Values {
public:
  void Push(std::int64_t value) { m_Values.push_back(value); }
  void Reserve(std::size_t count) { m_Values.reserve(count); }
  std::size_t Size() const { return m_Values.size(); }
  // Appends the values to `out`, which will hold `total`, and frees them.
  void MoveTo(std::vector<std::int64_t>& out, std::size_t total) {
    if (out.empty() && m_Values.capacity() >= total) {
      out.swap(m_Values);
    } else {
      if (out.capacity() < total) out.reserve(total);
      out.insert(out.end(), m_Values.begin(), m_Values.end());
    }
    std::vector<std::int64_t>().swap(m_Values);
  }

private:
  std::vector<std::int64_t> m_Values;
};

bool CountFits(const formats::Layout& layout, std::size_t count) {
  return count >= layout.needed && count <= layout.most;
}

// A part of a zel file: the intervals.
struct ZelPart {
  const formats::Layout* layout = nullptr;
  Values ns;
  bool Row(const std::string_view* fields, std::size_t count) {
    Frame frame{};
    if (!CountFits(*layout, count) || !formats::ZelRow(fields, frame).empty()) return false;
    ns.Push(frame.intervalNs);
    return true;
  }
  std::size_t Rows() const { return ns.Size(); }
  void Expect(std::size_t rows) { ns.Reserve(rows); }
};

// A part of a PresentMon file: the intervals of each stream, in the order
// the streams first appear.
struct PresentMonPart {
  struct Stream {
    std::string key, application;
    std::array<std::string, 3> last;  // the key's fields
    Values ns;
    std::int64_t summedNs = 0;  // for a file without times
  };
  const formats::Layout* layout = nullptr;
  std::vector<Stream> streams;
  std::unordered_map<std::string, std::size_t> byKey;
  std::size_t current = 0;  // the stream of the row before
  std::size_t rows = 0;

  std::string_view KeyField(const std::string_view* fields, int i) const {
    return layout->key[i] < 0 ? std::string_view() : fields[layout->key[i]];
  }
  Stream& StreamOf(const std::string_view* fields) {
    if (current < streams.size()) {
      const Stream& last = streams[current];
      if (last.last[0] == KeyField(fields, 0) && last.last[1] == KeyField(fields, 1) &&
          last.last[2] == KeyField(fields, 2))
        return streams[current];
    }
    std::string key = formats::StreamKey(*layout, fields);
    const auto [at, added] = byKey.emplace(key, streams.size());
    if (added) {
      Stream stream;
      stream.key = std::move(key);
      stream.application = std::string(fields[0]);
      streams.push_back(std::move(stream));
      for (int i = 0; i < 3; ++i) streams.back().last[i] = KeyField(fields, i);
    }
    current = at->second;
    return streams[current];
  }
  bool Row(const std::string_view* fields, std::size_t count) {
    Frame frame{};
    bool kept = false;
    if (!CountFits(*layout, count) || !formats::PresentMonRow(*layout, fields, frame, kept).empty())
      return false;
    if (!kept) return true;
    Stream& stream = StreamOf(fields);
    if (frame.timeNs < 0) {
      if (frame.intervalNs > csv::kMaxDurationNs - stream.summedNs) return false;
      stream.summedNs += frame.intervalNs;
    }
    stream.ns.Push(frame.intervalNs);
    ++rows;
    return true;
  }
  std::size_t Rows() const { return rows; }
  void Expect(std::size_t count) {
    if (!streams.empty()) streams[current].ns.Reserve(count);
  }
};

// A part of a MangoHud log: the frame times in their own unit, as the bits
// of a double, until the whole file has decided the unit.
struct MangoHudPart {
  const formats::Layout* layout = nullptr;
  Values frametimes;
  std::size_t rows = 0;
  std::size_t micro = 0;
  bool drawTooLong[2] = {false, false};  // in microseconds, in milliseconds
  bool Row(const std::string_view* fields, std::size_t count) {
    formats::MangoHudRow row;
    if (!CountFits(*layout, count) || !formats::MangoHudRowOf(*layout, fields, row).empty())
      return false;
    micro += row.micro ? 1 : 0;
    std::int64_t bits = 0;
    std::memcpy(&bits, &row.frametime, sizeof bits);
    frametimes.Push(bits);
    ++rows;
    if (row.draw >= 0.0) {
      std::int64_t ns = 0;
      std::string error;
      drawTooLong[0] = drawTooLong[0] || !csv::ToDuration(row.draw, 1000, ns, error);
      drawTooLong[1] = drawTooLong[1] || !csv::ToDuration(row.draw, 1000000, ns, error);
    }
    return true;
  }
  std::size_t Rows() const { return rows; }
  void Expect(std::size_t count) { frametimes.Reserve(count); }
};

enum class Status { kDone, kDeclined, kOpenAtEnd };

// Eight bytes at a time: a bit at the top of each byte that is a comma.
constexpr std::uint64_t kOnes = 0x0101010101010101;
constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7F;
std::uint64_t Commas(std::uint64_t bytes) {
  const std::uint64_t x = bytes ^ (kOnes * ',');
  return ~(((x & kLow7) + kLow7) | x | kLow7);
}

int LowestByte(std::uint64_t mask) {
#if defined(__GNUC__) || defined(__clang__)
  return __builtin_ctzll(mask) / 8;
#else
  int byte = 0;
  for (; (mask & 0x80) == 0; mask >>= 8) ++byte;
  return byte;
#endif
}

bool LittleEndian() {
  const std::uint16_t one = 1;
  unsigned char first = 0;
  std::memcpy(&first, &one, 1);
  return first == 1;
}

// The fields of a row without quotes: the first fields.size() as views,
// and the count of all. It takes eight bytes at a time where it can, as
// the plain rules' Split, which it must agree with, takes one.
std::size_t SplitRow(const char* p, const char* end, std::vector<std::string_view>& fields) {
  static const bool kWords = LittleEndian();
  const std::size_t want = fields.size();
  std::size_t count = 0;
  const char* start = p;
  const auto field = [&](const char* comma) {
    if (count < want)
      fields[count] = std::string_view(start, static_cast<std::size_t>(comma - start));
    ++count;
    start = comma + 1;
  };
  const char* c = p;
  for (; kWords && end - c >= 8; c += 8) {
    std::uint64_t bytes = 0;
    std::memcpy(&bytes, c, sizeof bytes);
    std::uint64_t commas = Commas(bytes);
    if (count >= want) {
      count += static_cast<std::size_t>(((commas >> 7) * kOnes) >> 56);
      continue;
    }
    for (; commas != 0; commas &= commas - 1) field(c + LowestByte(commas));
  }
  for (; c != end; ++c)
    if (*c == ',') field(c);
  field(end);
  return count;
}

// Where the row starting at `p` ends: at its line end outside quotes, or at
// `end` when the part ends first (`last`); null when the block ends first.
// `quoted` tells whether it holds a double quote.
const char* RowEnd(const char* p, const char* end, bool last, bool& quoted) {
  quoted = false;
  bool open = false;
  for (;;) {
    const auto* nl =
        static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    const char* lineEnd = nl != nullptr ? nl : end;
    const auto length = static_cast<std::size_t>(lineEnd - p);
    if (open || std::memchr(p, '"', length) != nullptr) {
      quoted = true;
      open = csv::OpenQuote({p, length}, open);
    }
    if (nl == nullptr) return last ? end : nullptr;
    if (!open) return nl;
    // A quoted line end: the row goes on, if anything follows.
    if (nl + 1 == end) return last ? nl : nullptr;
    p = nl + 1;
  }
}

// Feeds the whole rows in [p, end) to `rows`; returns where the first row
// left for the next block begins, or null when `rows` declined one.
template <typename Rows>
const char* FeedRows(const char* p, const char* end, bool last, Rows& rows,
                     std::vector<std::string_view>& fields) {
  bool quoted = false;
  while (p < end) {
    const char* rowEnd = RowEnd(p, end, last, quoted);
    if (rowEnd == nullptr) return p;
    const char* next = rowEnd == end ? end : rowEnd + 1;
    if (rowEnd > p && rowEnd[-1] == '\r') --rowEnd;
    if (rowEnd > p) {
      std::size_t count = 0;
      if (quoted) {
        const std::vector<std::string> split = csv::Split(std::string(p, rowEnd));
        count = split.size();
        for (std::size_t i = 0; i < fields.size() && i < count; ++i) fields[i] = split[i];
        if (!rows.Row(fields.data(), count)) return nullptr;
        p = next;
        continue;
      }
      count = SplitRow(p, rowEnd, fields);
      if (!rows.Row(fields.data(), count)) return nullptr;
    }
    p = next;
  }
  return p;
}

// The rows of [begin, end), read a block at a time; the last part of the
// file also takes a last row without a line end.
template <typename Rows>
Status ScanPart(const Source& source, std::uint64_t begin, std::uint64_t end, bool last,
                std::uint64_t expectBytes, std::size_t blockBytes, Rows& rows) {
  Reader reader(source);
  std::vector<char> buffer(blockBytes);
  std::vector<std::string_view> fields(rows.layout->needed);
  std::size_t kept = 0;  // bytes of an unfinished row at the buffer's front
  for (std::uint64_t offset = begin;;) {
    if (buffer.size() - kept < blockBytes / 2) buffer.resize(kept + blockBytes);
    const auto want =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size() - kept, end - offset));
    const std::size_t got = want == 0 ? 0 : reader.Read(offset, buffer.data() + kept, want);
    offset += got;
    const bool atEnd = got < want || offset >= end;
    const char* data = buffer.data();
    const char* left = FeedRows(data, data + kept + got, atEnd && last, rows, fields);
    if (left == nullptr) return Status::kDeclined;
    if (offset == begin + got && rows.Rows() > 0 && left > data) {
      // Room for as many rows as the first block's make likely in
      // `expectBytes`, and a quarter more.
      const double perByte = static_cast<double>(rows.Rows()) / static_cast<double>(left - data);
      rows.Expect(static_cast<std::size_t>(
          std::min(perByte * 1.25, 0.5) * static_cast<double>(expectBytes) + 1024.0));
    }
    kept = static_cast<std::size_t>(data + kept + got - left);
    std::memmove(buffer.data(), left, kept);
    // Only a row left open by a quoted line end runs past a part's end.
    if (atEnd) return kept > 0 ? Status::kOpenAtEnd : Status::kDone;
  }
}

// Where the parts begin: just after a line end, about equally far apart.
std::vector<std::uint64_t> Bounds(const Source& source, std::uint64_t begin, std::uint64_t end,
                                  const Options& options) {
  unsigned parts = options.parts != 0 ? options.parts : std::thread::hardware_concurrency();
  parts = std::max(1u, std::min(parts, 8u));
  const std::uint64_t size = end - begin;
  parts = static_cast<unsigned>(
      std::max<std::uint64_t>(1, std::min<std::uint64_t>(parts, size / options.partBytes)));
  std::vector<std::uint64_t> bounds = {begin};
  Reader reader(source);
  char window[4096];
  for (unsigned i = 1; i < parts; ++i) {
    std::uint64_t at = std::max(bounds.back(), begin + size / parts * i);
    for (;;) {
      const std::size_t got = reader.Read(at, window, sizeof window);
      const void* nl = std::memchr(window, '\n', got);
      if (nl != nullptr) {
        at += static_cast<std::uint64_t>(static_cast<const char*>(nl) - window) + 1;
        break;
      }
      at += got;
      if (got == 0) break;
    }
    if (at >= end) break;
    bounds.push_back(at);
  }
  bounds.push_back(end);
  return bounds;
}

// Each part read by a thread of its own (the first by this one).
template <typename Rows>
bool ScanParts(const Source& source, const std::vector<std::uint64_t>& bounds,
               const Options& options, std::vector<Rows>& parts) {
  std::vector<Status> status(parts.size(), Status::kDone);
  const auto scan = [&](std::size_t i) {
    // The first part's values will take the others' after them.
    const std::uint64_t expect = i == 0 ? bounds.back() - bounds[0] : bounds[i + 1] - bounds[i];
    status[i] = ScanPart(source, bounds[i], bounds[i + 1], i + 1 == parts.size(), expect,
                         options.blockBytes, parts[i]);
  };
  std::vector<std::thread> threads;
  for (std::size_t i = 1; i < parts.size(); ++i) threads.emplace_back(scan, i);
  scan(0);
  for (std::thread& thread : threads) thread.join();
  return std::all_of(status.begin(), status.end(), [](Status s) { return s == Status::kDone; });
}

template <typename Rows>
bool Scan(const Source& source, const formats::Layout& layout, std::uint64_t begin,
          std::uint64_t end, const Options& options, std::vector<Rows>& parts) {
  std::vector<std::uint64_t> bounds = Bounds(source, begin, end, options);
  parts.assign(bounds.size() - 1, Rows());
  for (Rows& part : parts) part.layout = &layout;
  if (ScanParts(source, bounds, options, parts)) return true;
  if (parts.size() == 1) return false;
  // Perhaps a quoted line end where two parts meet: once more as one part.
  parts.assign(1, Rows());
  parts[0].layout = &layout;
  return ScanParts(source, {begin, end}, options, parts);
}

bool ZelTimes(const Source& source, const formats::Layout& layout, std::uint64_t begin,
              std::uint64_t end, const Options& options, std::vector<std::int64_t>& ns) {
  std::vector<ZelPart> parts;
  if (!Scan(source, layout, begin, end, options, parts)) return false;
  std::size_t frames = 0;
  for (const ZelPart& part : parts) frames += part.ns.Size();
  for (ZelPart& part : parts) part.ns.MoveTo(ns, frames);
  return true;
}

bool PresentMonTimes(const Source& source, const formats::Layout& layout, std::uint64_t begin,
                     std::uint64_t end, const Options& options, CaptureFile& file,
                     std::vector<std::int64_t>& ns) {
  std::vector<PresentMonPart> parts;
  if (!Scan(source, layout, begin, end, options, parts)) return false;
  // The streams of all parts, in the order they first appear.
  struct Whole {
    std::string application;
    std::vector<std::pair<std::size_t, std::size_t>> pieces;  // (part, stream)
    std::size_t frames = 0;
    std::int64_t summedNs = 0;
  };
  std::vector<Whole> streams;
  std::unordered_map<std::string, std::size_t> byKey;
  std::size_t rows = 0;
  for (std::size_t p = 0; p < parts.size(); ++p) {
    rows += parts[p].rows;
    for (std::size_t s = 0; s < parts[p].streams.size(); ++s) {
      const PresentMonPart::Stream& stream = parts[p].streams[s];
      const auto [at, added] = byKey.emplace(stream.key, streams.size());
      if (added) streams.push_back({stream.application, {}, 0, 0});
      Whole& whole = streams[at->second];
      whole.pieces.emplace_back(p, s);
      whole.frames += stream.ns.Size();
      whole.summedNs += stream.summedNs;  // each at most the limit: no overflow
      if (whole.summedNs > csv::kMaxDurationNs) return false;
    }
  }
  if (streams.empty()) return false;
  const Whole& busiest =
      *std::max_element(streams.begin(), streams.end(),
                        [](const Whole& a, const Whole& b) { return a.frames < b.frames; });
  if (streams.size() > 1)
    file.note = formats::BusiestNote(busiest.application, busiest.frames, rows, streams.size());
  file.capture.application = busiest.application;
  for (const auto& [p, s] : busiest.pieces) parts[p].streams[s].ns.MoveTo(ns, busiest.frames);
  return true;
}

bool MangoHudTimes(const Source& source, const formats::Layout& layout, std::uint64_t begin,
                   std::uint64_t end, const Options& options, std::vector<std::int64_t>& ns) {
  std::vector<MangoHudPart> parts;
  if (!Scan(source, layout, begin, end, options, parts)) return false;
  std::size_t frames = 0, micro = 0;
  bool drawTooLong[2] = {false, false};
  for (const MangoHudPart& part : parts) {
    frames += part.frametimes.Size();
    micro += part.micro;
    drawTooLong[0] = drawTooLong[0] || part.drawTooLong[0];
    drawTooLong[1] = drawTooLong[1] || part.drawTooLong[1];
  }
  const std::int64_t unit = formats::MangoHudUnit(micro, frames);
  if (frames == 0 || drawTooLong[unit == 1000 ? 0 : 1]) return false;
  for (MangoHudPart& part : parts) part.frametimes.MoveTo(ns, frames);
  std::string error;
  for (std::int64_t& value : ns) {
    double frametime = 0.0;
    std::memcpy(&frametime, &value, sizeof frametime);
    if (!csv::ToDuration(frametime, unit, value, error)) return false;
  }
  return true;
}

// The fast reader's answer, or false to leave the file to the plain one.
bool Fast(const Source& source, CaptureFile& file, const Options& options,
          std::vector<std::int64_t>& ns) {
  std::ifstream in;
  std::istringstream text;
  std::uint64_t size = 0;
  if (source.memory != nullptr) {
    text.str(*source.memory);
    size = source.memory->size();
  } else {
    file.error = formats::OpenError(source.name, in);
    if (!file.error.empty()) return true;
    in.seekg(0, std::ios::end);
    size = static_cast<std::uint64_t>(in.tellg());
    in.seekg(0);
  }
  std::istream& stream = source.memory != nullptr ? static_cast<std::istream&>(text) : in;
  csv::Lines lines(stream, source.name);
  formats::Layout layout;
  file.error = formats::Header(lines, file, layout);
  if (!file.error.empty()) return true;
  std::uint64_t begin = size;
  if (!stream.eof()) {
    const auto at = stream.tellg();
    if (at < 0) return false;
    begin = static_cast<std::uint64_t>(at);
  }
  switch (file.format) {
    case CaptureFormat::kZel:
      return ZelTimes(source, layout, begin, size, options, ns);
    case CaptureFormat::kPresentMon:
      return PresentMonTimes(source, layout, begin, size, options, file, ns);
    case CaptureFormat::kMangoHud:
      return MangoHudTimes(source, layout, begin, size, options, ns);
  }
  return false;
}

}  // namespace

std::vector<std::int64_t> ReadFrameTimes(const Source& source, CaptureFile& file,
                                         const Options& options, Path* path) {
  std::vector<std::int64_t> ns;
  file = CaptureFile();
  if (Fast(source, file, options, ns)) {
    if (path != nullptr) *path = Path::kFast;
    if (!file.error.empty()) {
      ns.clear();
      file.capture = Capture();
    }
    return ns;
  }
  if (path != nullptr) *path = Path::kPlain;
  ns.clear();
  if (source.memory != nullptr) {
    std::istringstream in(*source.memory);
    file = ReadCapture(in, source.name);
  } else {
    file = ReadCaptureFile(source.name);
  }
  ns = FrameTimesOf(file.capture);
  file.capture.frames.clear();
  file.capture.frames.shrink_to_fit();
  return ns;
}

}  // namespace zel_analysis::scan

namespace zel_analysis {

std::vector<std::int64_t> ReadFrameTimesFile(const std::string& path, CaptureFile& file) {
  return scan::ReadFrameTimes({path, nullptr}, file, scan::Options());
}

}  // namespace zel_analysis
