#include "scan.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <fstream>
#include <istream>
#include <memory>
#include <mutex>
#include <streambuf>
#include <string_view>
#include <thread>
#include <unordered_map>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif
#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "ZelAnalysis/FrameStats.h"
#include "formats.h"
#include "parts.h"

// Keeps a function a call of its own: PresentMonPart::StreamOf, whose rare
// new-stream path would otherwise swell every row's body.
#if defined(__GNUC__) || defined(__clang__)
#define ZEL_NOINLINE __attribute__((noinline))
#else
#define ZEL_NOINLINE
#endif

namespace zel_analysis::scan {

namespace {

// Asks the system to back the 2 MB-aligned middle of [data, data + bytes)
// with huge pages when it is first written, so that filling many megabytes
// takes a page fault per 2 MB rather than per 4 KB (each fault costs
// microseconds, and a 10 M-frame result alone has about 20 000 of them).
// Only a hint: the values are the same either way, and where it is refused
// or unknown (another system, huge pages turned off) nothing changes.
void AdviseHugePages(void* data, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::size_t kHuge = std::size_t{1} << 21;
  const std::size_t skip = (kHuge - reinterpret_cast<std::uintptr_t>(data) % kHuge) % kHuge;
  const std::size_t length = bytes > skip ? (bytes - skip) / kHuge * kHuge : 0;
  if (length > 0)
    static_cast<void>(madvise(static_cast<char*>(data) + skip, length, MADV_HUGEPAGE));
#else
  static_cast<void>(data);
  static_cast<void>(bytes);
#endif
}

// Room for `count` values or more in `values`, kept in order; fresh room
// is advised for huge pages before anything is written to it.
void Reserve(std::vector<std::int64_t>& values, std::size_t count) {
  if (count <= values.capacity()) return;
  std::vector<std::int64_t> room;
  room.reserve(count);
  AdviseHugePages(room.data(), room.capacity() * sizeof room[0]);
  room.insert(room.end(), values.begin(), values.end());
  values.swap(room);
}

// Reads at any offset, from the file or from memory.
class Reader {
public:
  explicit Reader(const Source& source) : m_Memory(source.memory) {
    // A read error is thrown, not taken for the file's end.
    m_File.exceptions(std::ios::badbit);
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

// Whether a row of `count` fields passes the count's rule and then `rule`
// (a row function); if not, why into `fault`. A row that passes leaves
// `fault` as it was, without a string moved.
template <typename Rule>
bool Passes(const formats::Layout& layout, std::size_t count, std::string& fault, Rule rule) {
  if (count < layout.needed || count > layout.most) {
    fault = csv::CountFault(count, layout.needed, layout.most);
    return false;
  }
  std::string error = rule();
  if (error.empty()) return true;
  fault = std::move(error);
  return false;
}

// Each part's Row takes a row's fields, or refuses the row with `fault`
// saying why (without the file and line); an empty fault leaves the file to
// the plain reader.

// A part of a zel file: the intervals.
struct ZelPart {
  const formats::Layout* layout = nullptr;
  std::vector<std::int64_t> ns;
  std::string fault;
  bool Row(const std::string_view* fields, std::size_t count, bool /*padded*/) {
    Frame frame{};
    if (!Passes(*layout, count, fault, [&] { return formats::ZelRow(fields, frame); }))
      return false;
    ns.push_back(frame.intervalNs);
    return true;
  }
  std::size_t Rows() const { return ns.size(); }
  void Expect(std::size_t rows) { Reserve(ns, rows); }
  void Reset() {
    ns.clear();
    fault.clear();
  }
  std::vector<int> Columns() const { return {0, 1, 2}; }
};
// A part of a PresentMon file: the intervals of each stream, in the order
// the streams first appear.
struct PresentMonPart {
  struct Stream {
    std::string key, application;
    std::array<std::string, 3> last;  // the key's fields
    std::vector<std::int64_t> ns;
    std::int64_t summedNs = 0;  // for a file without times
  };
  const formats::Layout* layout = nullptr;
  std::string fault;
  std::vector<Stream> streams;
  std::unordered_map<std::string, std::size_t> byKey;
  std::size_t current = 0;  // the stream of the row before
  std::size_t rows = 0;
  std::vector<std::int64_t> spare;  // room kept for the next part's first stream

  // Equality written out, so that it stays inline however the compiler
  // weighs the rest of the file.
  static bool Same(const std::string& kept, std::string_view field) {
    return kept.size() == field.size() &&
           (field.empty() || std::memcmp(kept.data(), field.data(), field.size()) == 0);
  }
  std::string_view KeyField(const std::string_view* fields, int i) const {
    return layout->key[i] < 0 ? std::string_view() : fields[layout->key[i]];
  }
  ZEL_NOINLINE Stream& StreamOf(const std::string_view* fields) {
    if (current < streams.size()) {
      const Stream& last = streams[current];
      if (Same(last.last[0], KeyField(fields, 0)) && Same(last.last[1], KeyField(fields, 1)) &&
          Same(last.last[2], KeyField(fields, 2)))
        return streams[current];
    }
    std::string key = formats::StreamKey(*layout, fields);
    const auto [at, added] = byKey.emplace(key, streams.size());
    if (added) {
      Stream stream;
      stream.key = std::move(key);
      stream.application = std::string(fields[0]);
      stream.ns.swap(spare);
      streams.push_back(std::move(stream));
      for (int i = 0; i < 3; ++i) streams.back().last[i] = KeyField(fields, i);
    }
    current = at->second;
    return streams[current];
  }
  bool Row(const std::string_view* fields, std::size_t count, bool padded) {
    Frame frame{};
    bool kept = false;
    if (!Passes(*layout, count, fault,
                [&] { return formats::PresentMonRow(*layout, fields, frame, kept, padded); }))
      return false;
    if (!kept) return true;
    Stream& stream = StreamOf(fields);
    if (frame.timeNs < 0) {
      // Where the sum of all parts first grows too long is the plain reader's to say.
      if (frame.intervalNs > csv::kMaxDurationNs - stream.summedNs) {
        fault.clear();
        return false;
      }
      stream.summedNs += frame.intervalNs;
    }
    stream.ns.push_back(frame.intervalNs);
    ++rows;
    return true;
  }
  std::size_t Rows() const { return rows; }
  void Expect(std::size_t count) {
    if (!streams.empty()) Reserve(streams[current].ns, count);
  }
  void Reset() {
    if (!streams.empty() && spare.capacity() < streams[0].ns.capacity()) spare.swap(streams[0].ns);
    spare.clear();
    streams.clear();
    byKey.clear();
    current = rows = 0;
    fault.clear();
  }
  std::vector<int> Columns() const {
    return {layout->key[0],   layout->key[1], layout->key[2],
            layout->interval, layout->time,   layout->draw};
  }
};

// A part of a MangoHud log: the frame times in nanoseconds, in the unit
// of the part's first row until the whole file has decided the unit (a
// part whose guess was wrong, or whose values do not fit it, is read
// again). Given the unit (`known`), it refuses the first row whose values
// do not fit it.
struct MangoHudPart {
  const formats::Layout* layout = nullptr;
  std::string fault;
  std::int64_t unit = 0;  // ns: the file's when `known`, else the guess
  bool known = false;
  bool misfit = false;  // a value that does not fit the guess
  std::vector<std::int64_t> frametimes;
  std::size_t rows = 0;
  std::size_t micro = 0;
  csv::DecimalScale scale;  // in `scaleUnit`, which follows `unit`
  std::int64_t scaleUnit = 0;
  bool Row(const std::string_view* fields, std::size_t count, bool padded) {
    formats::MangoHudDecimals quick;
    if (padded && count >= layout->needed && count <= layout->most &&
        formats::MangoHudQuickRow(*layout, fields, quick))
      return TakeQuick(quick);
    formats::MangoHudRow row;
    if (!Passes(*layout, count, fault,
                [&] { return formats::MangoHudRowOf(*layout, fields, row, padded, false); }))
      return false;
    if (unit == 0) unit = formats::MangoHudUnit(row.micro ? 1 : 0, 1);
    std::int64_t ns = 0, drawNs = 0;
    const bool fit = csv::Scale(row.frametime, unit, ns) &&
                     (row.draw < 0.0 || csv::Scale(row.draw, unit, drawNs));
    return Take(fit, ns, row.micro);
  }
  // A row MangoHudQuickRow read.
  bool TakeQuick(const formats::MangoHudDecimals& quick) {
    if (unit == 0) unit = formats::MangoHudUnit(quick.micro ? 1 : 0, 1);
    if (scaleUnit != unit) {
      scale = csv::DecimalScale(unit);
      scaleUnit = unit;
    }
    std::int64_t ns = 0, drawNs = 0;
    const bool fit = scale(quick.frametime, quick.frametimeDecimals, ns) &&
                     (quick.drawDecimals < 0 || scale(quick.draw, quick.drawDecimals, drawNs));
    return Take(fit, ns, quick.micro);
  }
  // A row's frame time `ns`, if its values `fit` the unit.
  bool Take(bool fit, std::int64_t ns, bool isMicro) {
    if (!fit) {
      if (known) {
        fault = std::string(formats::kMangoHudUnitFault) + csv::kNotADuration;
        return false;
      }
      misfit = true;
    }
    micro += isMicro ? 1 : 0;
    frametimes.push_back(ns);
    ++rows;
    return true;
  }
  std::size_t Rows() const { return rows; }
  void Expect(std::size_t count) { Reserve(frametimes, count); }
  void Reset() {
    frametimes.clear();
    fault.clear();
    unit = 0;
    misfit = false;
    rows = micro = 0;
  }
  std::vector<int> Columns() const {
    return {layout->fps, layout->frametime, layout->elapsed, layout->draw};
  }
};

// Eight bytes at a time: a bit at the top of each byte that is `c`.
constexpr std::uint64_t kOnes = 0x0101010101010101;
constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7F;
std::uint64_t Matches(std::uint64_t bytes, char c) {
  const std::uint64_t x = bytes ^ (kOnes * static_cast<unsigned char>(c));
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

int LowestBit(std::uint32_t mask) {
#if defined(__GNUC__) || defined(__clang__)
  return __builtin_ctz(mask);
#else
  int bit = 0;
  for (; (mask & 1) == 0; mask >>= 1) ++bit;
  return bit;
#endif
}

bool LittleEndian() {
  const std::uint16_t one = 1;
  unsigned char first = 0;
  std::memcpy(&first, &one, 1);
  return first == 1;
}

// The number of bits set.
unsigned Ones(std::uint32_t x) {
  x -= (x >> 1) & 0x55555555;
  x = (x & 0x33333333) + ((x >> 2) & 0x33333333);
  x = (x + (x >> 4)) & 0x0F0F0F0F;
  return (x * 0x01010101) >> 24;
}

int HighestBit(std::uint64_t mask) {
#if defined(__GNUC__) || defined(__clang__)
  return 63 - __builtin_clzll(mask);
#else
  int bit = 63;
  for (; (mask >> bit) == 0; --bit) {
  }
  return bit;
#endif
}

// The fields of rows without quotes, thirty-two or eight bytes at a time
// where it can, as the plain rules' Split, which it must agree with, takes
// one: of the first `want`, the ones the row rules read as views, and the
// count of all. The commas that end a field nobody reads are only counted.
// `fields` has room for one more, where the views of fields not kept go.
class Splitter {
public:
  // `columns`: the fields the row rules read, each before `want`; `most`:
  // the most fields a row they read has. When that is `want`, the last of
  // those fields is one the line end closes, never a comma.
  Splitter(std::size_t want, std::size_t most, const std::vector<int>& columns) : m_Want(want) {
    for (const int column : columns) {
      if (column < 0 || (most == want && static_cast<std::size_t>(column) + 1 == want)) continue;
      m_Last = std::max(m_Last, static_cast<std::size_t>(column) + 1);
    }
    m_Last = std::min(m_Last, want);  // so that those fields have their own place
  }

  // The row [p, end).
  std::size_t Split(const char* p, const char* end, std::string_view* fields) const {
    std::size_t count = 0;
    const char* start = p;
    const char* c = p;
    for (; kWords && end - c >= 8; c += 8) {
      std::uint64_t bytes = 0;
      std::memcpy(&bytes, c, sizeof bytes);
      Word(c, Matches(bytes, ','), start, count, fields);
    }
    for (; c != end; ++c)
      if (*c == ',') Field(c, start, count, fields);
    Field(end, start, count, fields);
    return count;
  }

  // The row at `p` when it holds no quote and its line end comes in the
  // whole words of [p, end): where the line end is, with the fields of the
  // row before it (without a '\r' there) in `fields` and their count in
  // `count`. Null for any other row.
  const char* Line(const char* p, const char* end, std::string_view* fields,
                   std::size_t& fieldCount) const {
    // Kept apart from `fieldCount`, which the stores of views might alias.
    std::size_t count = 0;
    const char* start = p;
    const char* c = p;
#if defined(__SSE2__) || defined(_M_X64)
    // Thirty-two bytes at a time: a bit for each byte that is a comma, and
    // for each that is a line end or a quote.
    const __m128i commaBytes = _mm_set1_epi8(',');
    const __m128i lineEndBytes = _mm_set1_epi8('\n');
    const __m128i quoteBytes = _mm_set1_epi8('"');
    const auto masks = [&](const char* at, std::uint32_t& commas) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
      commas = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, commaBytes)));
      return static_cast<std::uint32_t>(_mm_movemask_epi8(
          _mm_or_si128(_mm_cmpeq_epi8(bytes, lineEndBytes), _mm_cmpeq_epi8(bytes, quoteBytes))));
    };
    for (; end - c >= 16; c += 32) {
      std::uint32_t commas = 0, more = 0;
      std::uint32_t stops = masks(c, commas);
      if (end - c >= 32) stops |= masks(c + 16, more) << 16;
      commas |= more << 16;
      if (stops == 0 && end - c >= 32) {
        Bits(c, commas, start, count, fields);
        continue;
      }
      if (stops == 0) {
        Bits(c, commas, start, count, fields);
        c += 16;
        break;
      }
      Bits(c, commas & ((stops & (0u - stops)) - 1), start, count, fields);
      return Stop(p, c + LowestBit(stops), start, count, fields, fieldCount);
    }
#endif
    for (; kWords && end - c >= 8; c += 8) {
      std::uint64_t bytes = 0;
      std::memcpy(&bytes, c, sizeof bytes);
      std::uint64_t commas = Matches(bytes, ',');
      const std::uint64_t stops = Matches(bytes, '\n') | Matches(bytes, '"');
      if (stops == 0) {
        Word(c, commas, start, count, fields);
        continue;
      }
      Word(c, commas & ((stops & (~stops + 1)) - 1), start, count, fields);
      return Stop(p, c + LowestByte(stops), start, count, fields, fieldCount);
    }
    return nullptr;
  }

private:
  static inline const bool kWords = LittleEndian();

  void Field(const char* comma, const char*& start, std::size_t& count,
             std::string_view* fields) const {
    fields[count < m_Want ? count : m_Want] =
        std::string_view(start, static_cast<std::size_t>(comma - start));
    ++count;
    start = comma + 1;
  }
  // The row at `p` up to `stop`, a line end or a quote: its line end, or
  // null for a quote.
  const char* Stop(const char* p, const char* stop, const char*& start, std::size_t& count,
                   std::string_view* fields, std::size_t& fieldCount) const {
    if (*stop == '"') return nullptr;
    Field(stop > p && stop[-1] == '\r' ? stop - 1 : stop, start, count, fields);
    fieldCount = count;
    return stop;
  }
  // The commas of the thirty-two bytes at `c`, a bit each (used with SSE2):
  // one at a time up to the last that ends a field the rules read, the
  // rest only counted.
  // cppcheck-suppress unusedPrivateFunction
  void Bits(const char* c, std::uint32_t commas, const char*& start, std::size_t& count,
            std::string_view* fields) const {
    for (; count < m_Last; commas &= commas - 1, ++count) {
      if (commas == 0) return;
      const char* comma = c + LowestBit(commas);
      fields[count] = std::string_view(start, static_cast<std::size_t>(comma - start));
      start = comma + 1;
    }
    if (commas == 0) return;
    count += Ones(commas);
    start = c + HighestBit(commas) + 1;
  }
  // The commas of the word at `c`, a bit at the top of each byte, likewise.
  void Word(const char* c, std::uint64_t commas, const char*& start, std::size_t& count,
            std::string_view* fields) const {
    for (; count < m_Last; commas &= commas - 1, ++count) {
      if (commas == 0) return;
      const char* comma = c + LowestByte(commas);
      fields[count] = std::string_view(start, static_cast<std::size_t>(comma - start));
      start = comma + 1;
    }
    if (commas == 0) return;
    count += static_cast<std::size_t>(((commas >> 7) * kOnes) >> 56);
    start = c + HighestBit(commas) / 8 + 1;
  }

  std::size_t m_Want;
  std::size_t m_Last = 0;  // the commas up to the last that ends a field the rules read
};

// The rows of a MangoHud log as MangoHud writes them (fps and frametime
// its first two fields, elapsed its last, no draw_time), read whole at
// once, which is most of the reading's work: the line end and the row's
// commas found sixteen bytes at a time, and the three fields read by
// MangoHudQuickFields. Other rows return null, for the Splitter and the
// row rules to read. `took` then says what the part made of the row.
template <typename Rows>
const char* QuickLine(Rows&, const char*, const char*, bool&) {
  return nullptr;
}

const char* QuickLine(MangoHudPart& rows, const char* p, const char* end, bool& took) {
#if defined(__SSE2__) || defined(_M_X64)
  const formats::Layout& layout = *rows.layout;
  if (layout.fps != 0 || layout.frametime != 1 || layout.draw >= 0 ||
      static_cast<std::size_t>(layout.elapsed) + 1 != layout.most || end - p < 32)
    return nullptr;
  const __m128i commaBytes = _mm_set1_epi8(',');
  const __m128i lineEndBytes = _mm_set1_epi8('\n');
  const __m128i quoteBytes = _mm_set1_epi8('"');
  const auto load = [](const char* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  };
  const auto bits = [](__m128i mask) {
    return static_cast<std::uint32_t>(_mm_movemask_epi8(mask));
  };
  // The first two commas, within the first 32 bytes (the fields read are
  // at most 8 characters each).
  std::uint32_t first = bits(_mm_cmpeq_epi8(load(p), commaBytes)) |
                        bits(_mm_cmpeq_epi8(load(p + 16), commaBytes)) << 16;
  if ((first & (first - 1)) == 0) return nullptr;
  const char* fpsEnd = p + LowestBit(first);
  first &= first - 1;
  const char* frametimeEnd = p + LowestBit(first);
  // The commas before the line end, counted in the bytes of a register (-1
  // for each), which hold 255 sixteen-byte steps; and the last of them.
  __m128i counts = _mm_setzero_si128();
  const char* lastAt = p;
  std::uint32_t last = 0;
  const char* c = p;
  for (int steps = 0;; c += 16, ++steps) {
    if (end - c < 16 || steps == 255) return nullptr;
    const __m128i bytes = load(c);
    const __m128i commas = _mm_cmpeq_epi8(bytes, commaBytes);
    const std::uint32_t stops =
        bits(_mm_or_si128(_mm_cmpeq_epi8(bytes, lineEndBytes), _mm_cmpeq_epi8(bytes, quoteBytes)));
    std::uint32_t found = bits(commas);
    if (stops != 0) {
      found &= (stops & (0u - stops)) - 1;
      if (found != 0) {
        lastAt = c;
        last = found;
      }
      c += LowestBit(stops);
      const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
      const auto before = static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
                          static_cast<std::size_t>(_mm_extract_epi16(sums, 4)) + Ones(found);
      if (*c == '"' || before + 1 != layout.most) return nullptr;
      break;
    }
    counts = _mm_sub_epi8(counts, commas);
    if (found != 0) {
      lastAt = c;
      last = found;
    }
  }
  const char* elapsed = lastAt + HighestBit(last) + 1;
  const char* elapsedEnd = c > elapsed && c[-1] == '\r' ? c - 1 : c;
  formats::MangoHudDecimals quick;
  if (!formats::MangoHudQuickFields(
          {p, static_cast<std::size_t>(fpsEnd - p)},
          {fpsEnd + 1, static_cast<std::size_t>(frametimeEnd - fpsEnd - 1)},
          {elapsed, static_cast<std::size_t>(elapsedEnd - elapsed)}, quick))
    return nullptr;
  took = rows.TakeQuick(quick);
  return c;
#else
  static_cast<void>(rows);
  static_cast<void>(p);
  static_cast<void>(end);
  static_cast<void>(took);
  return nullptr;
#endif
}

// How far the row at the front of the unread bytes has been looked
// through, so that a row longer than a block is looked through only once.
struct RowScan {
  std::size_t seen = 0;         // its bytes looked through
  bool open = false;            // inside quotes after them
  bool quoted = false;          // a quote among them
  std::uint64_t lineEnds = 0;   // quoted line ends among them
  std::uint64_t quoteLine = 0;  // the line of its last quote, counted from its first
};

// Where the row starting at `p` ends: at its line end outside quotes, or at
// `end` when the file ends first (`last`); null when the block ends first.
// A row still open at the file's end ends there, with row.open set.
const char* RowEnd(const char* p, const char* end, bool last, RowScan& row) {
  for (;;) {
    const char* from = p + row.seen;
    const auto* nl =
        static_cast<const char*>(std::memchr(from, '\n', static_cast<std::size_t>(end - from)));
    const char* lineEnd = nl != nullptr ? nl : end;
    if (const auto* quote = static_cast<const char*>(
            std::memchr(from, '"', static_cast<std::size_t>(lineEnd - from)))) {
      row.quoted = true;
      row.quoteLine = row.lineEnds;
      row.open = csv::OpenQuote({quote, static_cast<std::size_t>(lineEnd - quote)}, row.open);
    }
    if (nl == nullptr) {
      row.seen = static_cast<std::size_t>(end - p);
      return last ? end : nullptr;
    }
    if (!row.open) return nl;
    // A quoted line end: the row goes on.
    ++row.lineEnds;
    row.seen = static_cast<std::size_t>(nl + 1 - p);
  }
}

// The fields of the row [p, end) as `fields` and their count.
std::size_t Fields(const Splitter& splitter, const char* p, const char* end, bool quoted,
                   std::vector<std::string_view>& fields, std::vector<std::string>& split) {
  if (!quoted) return splitter.Split(p, end, fields.data());
  split = csv::Split(std::string(p, end));
  for (std::size_t i = 0; i + 1 < fields.size() && i < split.size(); ++i) fields[i] = split[i];
  return split.size();
}

enum class Status { kDone, kDeclined, kOpen };

// What a part made of its rows. Lines are counted from the part's first.
struct Outcome {
  Status status = Status::kDone;
  // kDone: where the part's rows end; otherwise where the row in question
  // (refused, or open where reading had to stop) begins.
  std::uint64_t stop = 0;
  std::uint64_t lines = 0;      // line ends before `stop`
  std::int64_t lastRow = -1;    // the line the last row taken, blank or not, began on
  std::uint64_t quoteLine = 0;  // kOpen: the line of the row's last quote, from its first
  bool unclosed = false;        // kOpen: the quote is still open where the file ends
  std::string fault;            // kDeclined: why; empty to leave the file to the plain reader
};

// What a thread reads with: the file, opened once, and a buffer of a
// block or more kept from one part to the next (not zeroed: only the bytes
// read into it are ever looked at).
class Context {
public:
  explicit Context(const Source& source) : reader(source) {}
  Reader reader;
  char* Data() { return m_Buffer.get(); }
  std::size_t Size() const { return m_Size; }
  // Room for `size` bytes or more, the first `keep` kept. At least twice
  // the room before, so that a long row costs a copy per doubling only.
  // Eight bytes more follow, which Read zeroes past what it reads: a
  // field's eight bytes may be read (csv::PaddedNumber).
  void Grow(std::size_t size, std::size_t keep) {
    if (size <= m_Size) return;
    size = std::max(size, 2 * m_Size);
    std::unique_ptr<char[]> more(new char[size + kSlack]);
    AdviseHugePages(more.get(), size + kSlack);
    if (keep > 0) std::memcpy(more.get(), m_Buffer.get(), keep);
    m_Buffer = std::move(more);
    m_Size = size;
  }

  // Reads `size` bytes at `offset` into the buffer from `at`: how many.
  std::size_t Read(std::uint64_t offset, std::size_t at, std::size_t size) {
    const std::size_t got = size == 0 ? 0 : reader.Read(offset, Data() + at, size);
    std::memset(Data() + at + got, 0, kSlack);
    return got;
  }

private:
  static constexpr std::size_t kSlack = 8;
  std::unique_ptr<char[]> m_Buffer;
  std::size_t m_Size = 0;
};

// The rows that begin in [begin, end), read a block at a time up to `limit`
// (past `end` only to finish the row open there). Up to the file's end
// (`limit` is its size), the last row may lack a line end. A row longer
// than options.rowBytes is only looked through, not kept, and left to the
// plain reader; open where the file ends, it is the error either way.
template <typename Rows>
Outcome ScanPart(Context& context, std::uint64_t begin, std::uint64_t end, std::uint64_t limit,
                 bool last, std::uint64_t expectBytes, const Options& options, Rows& rows) {
  Outcome out;
  const std::size_t blockBytes = std::max<std::size_t>(options.blockBytes, 2);
  // A block, or what is left to read when that is less.
  const auto room = [&](std::uint64_t offset) {
    return static_cast<std::size_t>(std::min<std::uint64_t>(blockBytes, limit - offset));
  };
  context.Grow(std::max<std::size_t>(room(begin), 2), 0);
  std::vector<std::string_view> fields(rows.layout->needed + 1);
  std::vector<std::string> split;
  const Splitter splitter(rows.layout->needed, rows.layout->most, rows.Columns());
  RowScan row;
  std::uint64_t rowBegin = begin;  // where the row at the buffer's front begins
  std::size_t kept = 0;            // bytes of that row at the buffer's front
  bool skipping = false;           // that row is too long to keep
  for (std::uint64_t offset = begin;;) {
    if (context.Size() - kept < std::min(blockBytes / 2, room(offset)))
      context.Grow(kept + std::max<std::size_t>(room(offset), 2), kept);
    const auto want =
        static_cast<std::size_t>(std::min<std::uint64_t>(context.Size() - kept, limit - offset));
    const std::size_t got = context.Read(offset, kept, want);
    offset += got;
    const bool atEnd = got < want || offset >= limit;
    const char* data = context.Data();
    const char* dataEnd = data + kept + got;
    const char* p = data;
    for (;;) {
      if (!skipping && (rowBegin >= end || (p == dataEnd && atEnd))) {
        out.stop = rowBegin;
        return out;
      }
      std::size_t count = 0;
      bool quick = false, took = false;
      const char* line = nullptr;
      if (row.seen == 0 && !skipping) {
        line = QuickLine(rows, p, dataEnd, took);
        quick = line != nullptr;
        if (!quick) line = splitter.Line(p, dataEnd, fields.data(), count);
      }
      if (line != nullptr) {
        // Most rows: no quote, the line end in this block.
        out.lastRow = static_cast<std::int64_t>(out.lines);
        const bool blank = line == p || (line == p + 1 && *p == '\r');
        if (quick ? !took : !blank && !rows.Row(fields.data(), count, true)) {
          out.status = Status::kDeclined;
          out.stop = rowBegin;
          out.fault = std::move(rows.fault);
          return out;
        }
        ++out.lines;
        rowBegin += static_cast<std::uint64_t>(line + 1 - p);
        p = line + 1;
        continue;
      }
      const char* rowEnd = RowEnd(p, dataEnd, atEnd && last, row);
      if (rowEnd == nullptr) {
        if (!atEnd) break;
        out.status = Status::kOpen;  // at the part's end, which the next one takes
      } else if (row.open) {
        out.status = Status::kOpen;
        out.unclosed = true;
      } else if (skipping) {
        out.status = Status::kDeclined;
      }
      if (out.status != Status::kDone) {
        out.stop = rowBegin;
        out.quoteLine = row.quoteLine;
        return out;
      }
      out.lastRow = static_cast<std::int64_t>(out.lines);
      const bool lineEnd = rowEnd != dataEnd;
      const char* next = lineEnd ? rowEnd + 1 : dataEnd;
      if (rowEnd > p && rowEnd[-1] == '\r') --rowEnd;
      if (rowEnd > p &&
          !rows.Row(fields.data(), Fields(splitter, p, rowEnd, row.quoted, fields, split),
                    !row.quoted)) {
        out.status = Status::kDeclined;
        out.stop = rowBegin;
        out.fault = std::move(rows.fault);
        return out;
      }
      out.lines += row.lineEnds + (lineEnd ? 1 : 0);
      rowBegin += static_cast<std::uint64_t>(next - p);
      p = next;
      row = RowScan();
    }
    if (offset == begin + got && rows.Rows() > 0 && p > data) {
      // Room for as many rows as the first block's make likely in
      // `expectBytes`, and a quarter more.
      const double perByte = static_cast<double>(rows.Rows()) / static_cast<double>(p - data);
      rows.Expect(static_cast<std::size_t>(
          std::min(perByte * 1.25, 0.5) * static_cast<double>(expectBytes) + 1024.0));
    }
    kept = static_cast<std::size_t>(dataEnd - p);
    if (kept > options.rowBytes || skipping) {
      // Looked through already: only the quotes' state goes on.
      skipping = true;
      row.seen = 0;
      kept = 0;
    }
    std::memmove(context.Data(), p, kept);
  }
}

// Where the parts begin: just after a line end, `parts` of them about
// equally far apart, or fewer where lines are long. Each part's first line
// end is looked for only up to where the next part would begin, so that
// the file is looked through at most once; with many parts, a second
// thread looks for those of the second half (each a seek and a read).
std::vector<std::uint64_t> Bounds(const Source& source, std::uint64_t begin, std::uint64_t end,
                                  std::uint64_t parts) {
  const std::uint64_t size = end - begin;
  const auto nominal = [&](std::uint64_t i) { return begin + size / parts * i; };
  std::vector<std::uint64_t> after(parts, 0);  // past part i's first line end; 0: none
  const auto find = [&](std::uint64_t from, std::uint64_t to) {
    Reader reader(source);
    char window[4096];
    for (std::uint64_t i = from; i < to; ++i) {
      const std::uint64_t stop = i + 1 < parts ? nominal(i + 1) : end;
      for (std::uint64_t at = nominal(i); at < stop;) {
        const std::size_t got = reader.Read(
            at, window,
            static_cast<std::size_t>(std::min<std::uint64_t>(sizeof window, stop - at)));
        if (got == 0) break;
        if (const void* nl = std::memchr(window, '\n', got)) {
          after[i] = at + static_cast<std::uint64_t>(static_cast<const char*>(nl) - window) + 1;
          break;
        }
        at += got;
      }
    }
  };
  // A thread costs about as much as dozens of those seeks and reads.
  InParts(static_cast<std::size_t>(parts), parts >= 64 ? static_cast<std::size_t>(parts / 2) : 0,
          [&](std::uint64_t from, std::uint64_t to, int) {
            find(std::max<std::uint64_t>(from, 1), to);
          });
  std::vector<std::uint64_t> bounds = {begin};
  for (std::uint64_t i = 1; i < parts; ++i)
    if (after[i] != 0 && after[i] < end) bounds.push_back(after[i]);
  bounds.push_back(end);
  return bounds;
}

// "NAME:LINE: what".
std::string ErrorAt(const Source& source, std::uint64_t line, const std::string& what) {
  return source.name + ":" + std::to_string(line) + ": " + what;
}

// Where a part's rows turned out to be: those beginning in [begin, end),
// the first on line `line`.
struct Span {
  std::uint64_t begin = 0, end = 0, line = 0;
};

enum class Verdict { kRead, kError, kPlain };

// What the parts of a file read, or why not.
struct Read {
  Verdict verdict = Verdict::kRead;
  std::string error;
  std::vector<Span> spans;
  std::uint64_t lastRow = 0;
};

// A file's bytes past its header.
struct Body {
  const Source& source;
  const formats::Layout& layout;
  std::uint64_t begin, size, line, lastRow;  // line: the first row's; lastRow: the header's
  const Options& options;
};

// A part read, waiting for the parts before it to be handed on.
template <typename Rows>
struct Parked {
  std::unique_ptr<Rows> rows;
  Outcome out;
};

// The rows of the file's body. With more than one thread the body is cut
// into parts of about a block each, which the threads take in turn, the
// next part not yet taken each time; the calling thread hands them on in
// the file's order to `take`, which keeps their values and leaves a part
// empty, its room then used for a later part. So only the result takes
// fresh memory, and it fills while the parts are read, not after.
//
// A part that began inside a row left open where the part before ends (a
// quoted line end) is read again from that row, once, and the row's quote
// is followed past the part's end; a row refused stops the reading with the
// error of the part holding it (taken first, rows before the refused one
// included), or leaves the file to the plain reader, as does `take`
// returning false. A thread's failure (memory running out) is thrown here
// once every thread has ended.
template <typename Rows, typename Take>
Read Scan(const Body& body, Take take) {
  const Options& options = body.options;
  const std::uint64_t bytes = body.size - body.begin;
  unsigned threads = options.parts != 0 ? options.parts : std::thread::hardware_concurrency();
  threads = std::max(1u, std::min(threads, 8u));
  threads = static_cast<unsigned>(
      std::max<std::uint64_t>(1, std::min<std::uint64_t>(threads, bytes / options.partBytes)));
  const std::uint64_t blockBytes = std::max<std::size_t>(options.blockBytes, 2);
  const std::vector<std::uint64_t> bounds =
      Bounds(body.source, body.begin, body.size,
             threads == 1 ? 1 : std::max<std::uint64_t>(threads, bytes / blockBytes));
  const std::size_t count = bounds.size() - 1;

  Read read;
  read.lastRow = body.lastRow;
  read.spans.resize(count);
  std::mutex mutex;
  std::condition_variable parkedOne;
  std::vector<Parked<Rows>> parked(count);
  std::vector<std::unique_ptr<Rows>> spare;
  std::size_t next = 0;  // the next part to read
  bool stopped = false;  // no more parts to read
  std::exception_ptr failure;

  // Reads the next part not yet taken: false when there is none.
  const auto readOne = [&](Context& context) {
    std::size_t i = 0;
    std::unique_ptr<Rows> rows;
    {
      const std::lock_guard<std::mutex> lock(mutex);
      if (stopped || next == count) return false;
      i = next++;
      if (spare.empty()) {
        rows = std::make_unique<Rows>();
        rows->layout = &body.layout;
      } else {
        rows = std::move(spare.back());
        spare.pop_back();
      }
    }
    Outcome out = ScanPart(context, bounds[i], bounds[i + 1], bounds[i + 1], i + 1 == count,
                           bounds[i + 1] - bounds[i], options, *rows);
    {
      const std::lock_guard<std::mutex> lock(mutex);
      parked[i].out = std::move(out);
      parked[i].rows = std::move(rows);
    }
    parkedOne.notify_one();
    return true;
  };
  const auto fail = [&] {
    {
      const std::lock_guard<std::mutex> lock(mutex);
      if (!failure) failure = std::current_exception();
      stopped = true;
    }
    parkedOne.notify_one();
  };

  // The calling thread's: part `i` handed on; false to stop.
  std::uint64_t at = body.begin, line = body.line;
  const auto hand = [&](Context& context, std::size_t i, Rows& part, Outcome& out) {
    Span& span = read.spans[i];
    span = {at, bounds[i + 1], line};
    if (at >= bounds[i + 1]) return true;  // all inside a row of the part before
    if (at != bounds[i]) {
      part.Reset();
      out =
          ScanPart(context, at, bounds[i + 1], body.size, true, bounds[i + 1] - at, options, part);
    }
    if (out.lastRow >= 0) read.lastRow = line + static_cast<std::uint64_t>(out.lastRow);
    line += out.lines;
    at = out.stop;
    const bool done = out.status == Status::kDone || (out.status == Status::kOpen && !out.unclosed);
    // A row refused without a fault, or values `take` refuses, leave the
    // file to the plain reader.
    if ((!done && out.status == Status::kDeclined && out.fault.empty()) ||
        !take(part, span, count)) {
      read.verdict = Verdict::kPlain;
    } else if (!done) {
      read.verdict = Verdict::kError;
      read.error = out.status == Status::kOpen
                       ? ErrorAt(body.source, line + out.quoteLine, csv::kUnclosedQuote)
                       : ErrorAt(body.source, line, out.fault);
    }
    return read.verdict == Verdict::kRead;
  };
  // Hands on the parts read, in order, waiting for each when `wait`: false
  // once none is left to hand on.
  std::size_t handed = 0;
  bool over = false;  // every part handed on, or a stop
  const auto handOn = [&](Context& context, bool wait) {
    while (!over) {
      Parked<Rows> part;
      {
        std::unique_lock<std::mutex> lock(mutex);
        if (wait) parkedOne.wait(lock, [&] { return parked[handed].rows || failure; });
        if (failure) return false;
        if (!parked[handed].rows) return true;
        part = std::move(parked[handed]);
      }
      over = !hand(context, handed, *part.rows, part.out) || ++handed == count;
      part.rows->Reset();
      const std::lock_guard<std::mutex> lock(mutex);
      spare.push_back(std::move(part.rows));
      stopped = stopped || over;
    }
    return false;
  };

  std::vector<std::thread> threadsRunning;
  threadsRunning.reserve(threads - 1);
  for (unsigned t = 1; t < threads; ++t) {
    try {
      threadsRunning.emplace_back([&]() noexcept {
        try {
          Context context(body.source);
          while (readOne(context)) {
          }
        } catch (...) {
          fail();
        }
      });
    } catch (...) {
      // No such thread: the others read its parts.
    }
  }
  try {
    Context context(body.source);
    while (handOn(context, false) && readOne(context)) {
    }
    while (handOn(context, true)) {
    }
  } catch (...) {
    fail();
  }
  for (std::thread& thread : threadsRunning) thread.join();
  if (failure) std::rethrow_exception(failure);
  return read;
}

// The answer, with the frame times in `ns`, or false to leave the file to
// the plain reader.
bool Answer(const Read& read, CaptureFile& file) {
  if (read.verdict == Verdict::kError) file.error = read.error;
  return read.verdict != Verdict::kPlain;
}

// Appends a part's values (those of `span`) to the file's, and empties them
// keeping their room. The first values give the file's room for as many
// rows as they make likely in the rest of it, and a quarter more, in huge
// pages where the system has them; a file of one part takes them as they are.
void Append(std::vector<std::int64_t>& out, std::vector<std::int64_t>& values, const Span& span,
            std::uint64_t size, std::size_t parts) {
  if (parts == 1 && out.empty()) {
    out.swap(values);
    return;
  }
  if (out.capacity() == 0 && !values.empty()) {
    const double perByte =
        static_cast<double>(values.size()) / static_cast<double>(span.end - span.begin);
    Reserve(out, values.size() +
                     static_cast<std::size_t>(std::min(perByte * 1.25, 0.5) *
                                              static_cast<double>(size - span.end)) +
                     1024);
  }
  out.insert(out.end(), values.begin(), values.end());
  values.clear();
}

bool ZelTimes(const Body& body, CaptureFile& file, std::vector<std::int64_t>& ns) {
  const Read read = Scan<ZelPart>(body, [&](ZelPart& part, const Span& span, std::size_t parts) {
    Append(ns, part.ns, span, body.size, parts);
    return true;
  });
  return Answer(read, file);
}

bool PresentMonTimes(const Body& body, CaptureFile& file, std::vector<std::int64_t>& ns) {
  // The streams of all parts, in the order they first appear: the first's
  // values go straight into `ns`, the others' are kept in pieces.
  struct Whole {
    std::string application;
    std::vector<std::vector<std::int64_t>> pieces;
    std::size_t frames = 0;
    std::int64_t summedNs = 0;
  };
  std::vector<Whole> streams;
  std::unordered_map<std::string, std::size_t> byKey;
  std::size_t rows = 0;
  const auto take = [&](PresentMonPart& part, const Span& span, std::size_t parts) {
    rows += part.rows;
    for (PresentMonPart::Stream& stream : part.streams) {
      const auto [at, added] = byKey.emplace(stream.key, streams.size());
      if (added) streams.push_back({stream.application, {}, 0, 0});
      Whole& whole = streams[at->second];
      whole.frames += stream.ns.size();
      whole.summedNs += stream.summedNs;  // each at most the limit: no overflow
      // Too long before the refused row, if any: the plain reader says where.
      if (whole.summedNs > csv::kMaxDurationNs) return false;
      if (at->second == 0) {
        Append(ns, stream.ns, span, body.size, parts);
      } else {
        whole.pieces.push_back(std::move(stream.ns));
      }
    }
    return true;
  };
  const Read read = Scan<PresentMonPart>(body, take);
  if (read.verdict != Verdict::kRead) return Answer(read, file);
  if (streams.empty()) {
    file.error = ErrorAt(body.source, read.lastRow, formats::kNoPresentMonFrames);
    return true;
  }
  const Whole& busiest =
      *std::max_element(streams.begin(), streams.end(),
                        [](const Whole& a, const Whole& b) { return a.frames < b.frames; });
  if (streams.size() > 1)
    file.note = formats::BusiestNote(busiest.application, busiest.frames, rows, streams.size());
  file.capture.application = busiest.application;
  if (&busiest != &streams.front()) {
    std::vector<std::int64_t> chosen;
    chosen.reserve(busiest.frames);
    for (const std::vector<std::int64_t>& piece : busiest.pieces)
      chosen.insert(chosen.end(), piece.begin(), piece.end());
    ns.swap(chosen);
  }
  return true;
}

bool MangoHudTimes(const Body& body, CaptureFile& file, std::vector<std::int64_t>& ns) {
  // Where each part's values went, and in which unit.
  struct Piece {
    Span span;
    std::size_t offset, rows;
    std::int64_t unit;
    bool misfit;
  };
  std::vector<Piece> pieces;
  std::size_t micro = 0;
  const Read read =
      Scan<MangoHudPart>(body, [&](MangoHudPart& part, const Span& span, std::size_t parts) {
        pieces.push_back({span, ns.size(), part.rows, part.unit, part.misfit});
        micro += part.micro;
        Append(ns, part.frametimes, span, body.size, parts);
        return true;
      });
  if (read.verdict != Verdict::kRead) return Answer(read, file);
  if (ns.empty()) {
    file.error = ErrorAt(body.source, read.lastRow, formats::kNoMangoHudFrames);
    return true;
  }
  const std::int64_t unit = formats::MangoHudUnit(micro, ns.size());
  Context context(body.source);
  for (const Piece& piece : pieces) {
    if (piece.rows == 0 || (piece.unit == unit && !piece.misfit)) continue;
    // Read again in the file's unit: its values, or the first row whose
    // values do not fit it.
    const Span& span = piece.span;
    MangoHudPart again;
    again.layout = &body.layout;
    again.unit = unit;
    again.known = true;
    const Outcome out = ScanPart(context, span.begin, span.end, body.size, true,
                                 span.end - span.begin, body.options, again);
    if (out.status == Status::kDone && again.rows == piece.rows) {
      std::copy(again.frametimes.begin(), again.frametimes.end(),
                ns.begin() + static_cast<std::ptrdiff_t>(piece.offset));
      continue;
    }
    if (out.status != Status::kDeclined || out.fault.empty()) return false;
    file.error = ErrorAt(body.source, span.line + out.lines, out.fault);
    return true;
  }
  return true;
}

// A stream over a text in memory, read where it is.
class MemoryBuffer : public std::streambuf {
public:
  explicit MemoryBuffer(const std::string& text) {
    // Only read: the get area is never written through.
    char* begin = const_cast<char*>(text.data());  // NOLINT(cppcoreguidelines-pro-type-const-cast)
    setg(begin, begin, begin + text.size());
  }

protected:
  pos_type seekoff(off_type offset, std::ios_base::seekdir from,
                   std::ios_base::openmode which) override {
    const off_type base = from == std::ios_base::beg   ? 0
                          : from == std::ios_base::cur ? gptr() - eback()
                                                       : egptr() - eback();
    if ((which & std::ios_base::in) == 0 || offset < -base || offset > egptr() - eback() - base)
      return pos_type(off_type(-1));
    setg(eback(), eback() + base + offset, egptr());
    return pos_type(base + offset);
  }
  pos_type seekpos(pos_type position, std::ios_base::openmode which) override {
    return seekoff(off_type(position), std::ios_base::beg, which);
  }
};

// The fast reader's answer, or false to leave the file to the plain one.
bool Fast(const Source& source, CaptureFile& file, const Options& options,
          std::vector<std::int64_t>& ns) {
  std::ifstream in;
  std::unique_ptr<MemoryBuffer> memory;
  std::unique_ptr<std::istream> text;
  std::uint64_t size = 0;
  if (source.memory != nullptr) {
    memory = std::make_unique<MemoryBuffer>(*source.memory);
    text = std::make_unique<std::istream>(memory.get());
    size = source.memory->size();
  } else {
    file.error = formats::OpenError(source.name, in);
    if (!file.error.empty()) return true;
    // A file without a size to seek to (a pipe, /proc) is the plain reader's.
    in.seekg(0, std::ios::end);
    const auto end = in.tellg();
    if (end < 0) return false;
    size = static_cast<std::uint64_t>(end);
    in.seekg(0);
  }
  std::istream& stream = text ? *text : in;
  stream.exceptions(std::ios::badbit);  // memory running out, or a read error
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
  if (begin > size) return false;  // the file grew, or said a size it has not
  // Parts of 512 KB for a MangoHud log, 4 MB for the rest: a log's short
  // rows give many values a byte, which wait in their part's buffer until
  // handed on, and smaller parts keep those buffers few pages and warm.
  // docs/performance.md has the sizes tried.
  Options chosen = options;
  if (chosen.blockBytes == 0)
    chosen.blockBytes = std::size_t{1} << (file.format == CaptureFormat::kMangoHud ? 19 : 22);
  const Body body{source,
                  layout,
                  begin,
                  size,
                  static_cast<std::uint64_t>(lines.Count()) + 1,
                  static_cast<std::uint64_t>(lines.Number()),
                  chosen};
  switch (file.format) {
    case CaptureFormat::kZel:
      return ZelTimes(body, file, ns);
    case CaptureFormat::kPresentMon:
      return PresentMonTimes(body, file, ns);
    case CaptureFormat::kMangoHud:
      return MangoHudTimes(body, file, ns);
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
    MemoryBuffer memory(*source.memory);
    std::istream in(&memory);
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
