#include "ZelAnalysis/FrameSummary.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "sha256.h"

namespace zel_analysis {

namespace {

constexpr int kTableScale = kSummaryMaxScale;
constexpr int kPerOctave = 1 << kTableScale;
constexpr std::uint64_t kCountLimit = std::uint64_t{1} << 63;

// floor(2^(j / 128) * 2^63): bucket j of an octave at scale 7 starts above
// it, in a frame time shifted left until its top bit is bit 63. Each
// 2^(j / 128) is irrational for j > 0, so a shifted time is never equal to
// its true boundary and comparing with the floor is exact.
constexpr std::uint64_t kBoundary[kPerOctave] = {
    0x8000000000000000u, 0x80b1ed4fd999ab6cu, 0x8164d1f3bc030773u, 0x8218af4373fc25ebu,
    0x82cd8698ac2ba1d7u, 0x8383594eefb6ee36u, 0x843a28c3acde4046u, 0x84f1f656379c1a29u,
    0x85aac367cc487b14u, 0x8664915b923fba03u, 0x871f61969e8d1010u, 0x87db357ff698d791u,
    0x88980e8092da8527u, 0x8955ee03618e5fdcu, 0x8a14d575496efd9au, 0x8ad4c6452c728924u,
    0x8b95c1e3ea8bd6e6u, 0x8c57c9c4646f4dddu, 0x8d1adf5b7e5ba9e5u, 0x8ddf042022e69cd5u,
    0x8ea4398b45cd53c0u, 0x8f6a8117e6c8e5c4u, 0x9031dc431466b1dcu, 0x90fa4c8beee4b12au,
    0x91c3d373ab11c336u, 0x928e727d9531f9acu, 0x935a2b2f13e6e92bu, 0x9426ff0fab1c04b6u,
    0x94f4efa8fef70961u, 0x95c3fe86d6cc7feeu, 0x96942d3720185a00u, 0x97657d49f17ab08eu,
    0x9837f0518db8a96fu, 0x990b87e266c189a9u, 0x99e0459320b7fa64u, 0x9ab62afc94ff864au,
    0x9b8d39b9d54e5538u, 0x9c6573682ec32c2du, 0x9d3ed9a72cffb750u, 0x9e196e189d472420u,
    0x9ef5326091a111adu, 0x9fd228256400dd05u, 0xa0b0510fb9714fc2u, 0xa18faeca8544b6e3u,
    0xa27043030c496818u, 0xa3520f68e802bb92u, 0xa43515ae09e6809eu, 0xa5195786be9ef339u,
    0xa5fed6a9b15138eau, 0xa6e594cfeee86b1du, 0xa7cd93b4e9653569u, 0xa8b6d5167b320e08u,
    0xa9a15ab4ea7c0ef8u, 0xaa8d2652ec907629u, 0xab7a39b5a93ed337u, 0xac6896a4be3fe929u,
    0xad583eea42a14ac6u, 0xae493452ca35b80eu, 0xaf3b78ad690a4374u, 0xb02f0dcbb6e04583u,
    0xb123f581d2ac258fu, 0xb21a31a66618fe3bu, 0xb311c412a9112489u, 0xb40aaea2654b9840u,
    0xb504f333f9de6484u, 0xb60093a85ed5f76bu, 0xb6fd91e328d17791u, 0xb7fbefca8ca41e7cu,
    0xb8fbaf4762fb9ee9u, 0xb9fcd2452c0b9deau, 0xbaff5ab2133e45fbu, 0xbc034a7ef2e9fb0cu,
    0xbd08a39f580c36beu, 0xbe0f6809860993e2u, 0xbf1799b67a731082u, 0xc0213aa1f0d08db0u,
    0xc12c4cca66709456u, 0xc238d2311e3d6672u, 0xc346ccda24976407u, 0xc4563ecc5334cb32u,
    0xc5672a115506daddu, 0xc67990b5aa245f79u, 0xc78d74c8abb9b15cu, 0xc8a2d85c8ffe2c45u,
    0xc9b9bd866e2f27a2u, 0xcad2265e4290774du, 0xcbec14fef2727c5cu, 0xcd078b86503dcdd1u,
    0xce248c151f8480e3u, 0xcf4318cf191918c1u, 0xd06333daef2b2594u, 0xd184df6251699ac6u,
    0xd2a81d91f12ae45au, 0xd3ccf099859ac379u, 0xd4f35aabcfedfa1fu, 0xd61b5dfe9f9bce06u,
    0xd744fccad69d6af4u, 0xd870394c6db32c84u, 0xd99d15c278afd7b5u, 0xdacb946f2ac9cc71u,
    0xdbfbb797daf23755u, 0xdd2d818508324c20u, 0xde60f4825e0e9123u, 0xdf9612deb8f04420u,
    0xe0ccdeec2a94e111u, 0xe2055afffe83d368u, 0xe33f8972be8a5a51u, 0xe47b6ca0373da88du,
    0xe5b906e77c8348a8u, 0xe6f85aaaee1fce22u, 0xe8396a503c4bdc68u, 0xe97c38406c4f8c56u,
    0xeac0c6e7dd24392eu, 0xec0718b64c1cbddcu, 0xed4f301ed9942b84u, 0xee990f980da3025bu,
    0xefe4b99bdcdaf5cbu, 0xf13230a7ad094509u, 0xf281773c59ffb139u, 0xf3d28fde3a641a5au,
    0xf5257d152486cc2cu, 0xf67a416c733f846du, 0xf7d0df730ad13bb8u, 0xf92959bb5dd4ba74u,
    0xfa83b2db722a033au, 0xfbdfed6ce5f09c48u, 0xfd3e0c0cf486c174u, 0xfe9e115c7b8f884bu,
};

// 2^(j / 128), correctly rounded.
constexpr double kBoundaryValue[kPerOctave] = {
    0x1.0000000000000p+0, 0x1.0163da9fb3335p+0, 0x1.02c9a3e778061p+0, 0x1.04315e86e7f85p+0,
    0x1.059b0d3158574p+0, 0x1.0706b29ddf6dep+0, 0x1.0874518759bc8p+0, 0x1.09e3ecac6f383p+0,
    0x1.0b5586cf9890fp+0, 0x1.0cc922b7247f7p+0, 0x1.0e3ec32d3d1a2p+0, 0x1.0fb66affed31bp+0,
    0x1.11301d0125b51p+0, 0x1.12abdc06c31ccp+0, 0x1.1429aaea92de0p+0, 0x1.15a98c8a58e51p+0,
    0x1.172b83c7d517bp+0, 0x1.18af9388c8deap+0, 0x1.1a35beb6fcb75p+0, 0x1.1bbe084045cd4p+0,
    0x1.1d4873168b9aap+0, 0x1.1ed5022fcd91dp+0, 0x1.2063b88628cd6p+0, 0x1.21f49917ddc96p+0,
    0x1.2387a6e756238p+0, 0x1.251ce4fb2a63fp+0, 0x1.26b4565e27cddp+0, 0x1.284dfe1f56381p+0,
    0x1.29e9df51fdee1p+0, 0x1.2b87fd0dad990p+0, 0x1.2d285a6e4030bp+0, 0x1.2ecafa93e2f56p+0,
    0x1.306fe0a31b715p+0, 0x1.32170fc4cd831p+0, 0x1.33c08b26416ffp+0, 0x1.356c55f929ff1p+0,
    0x1.371a7373aa9cbp+0, 0x1.38cae6d05d866p+0, 0x1.3a7db34e59ff7p+0, 0x1.3c32dc313a8e5p+0,
    0x1.3dea64c123422p+0, 0x1.3fa4504ac801cp+0, 0x1.4160a21f72e2ap+0, 0x1.431f5d950a897p+0,
    0x1.44e086061892dp+0, 0x1.46a41ed1d0057p+0, 0x1.486a2b5c13cd0p+0, 0x1.4a32af0d7d3dep+0,
    0x1.4bfdad5362a27p+0, 0x1.4dcb299fddd0dp+0, 0x1.4f9b2769d2ca7p+0, 0x1.516daa2cf6642p+0,
    0x1.5342b569d4f82p+0, 0x1.551a4ca5d920fp+0, 0x1.56f4736b527dap+0, 0x1.58d12d497c7fdp+0,
    0x1.5ab07dd485429p+0, 0x1.5c9268a5946b7p+0, 0x1.5e76f15ad2148p+0, 0x1.605e1b976dc09p+0,
    0x1.6247eb03a5585p+0, 0x1.6434634ccc320p+0, 0x1.6623882552225p+0, 0x1.68155d44ca973p+0,
    0x1.6a09e667f3bcdp+0, 0x1.6c012750bdabfp+0, 0x1.6dfb23c651a2fp+0, 0x1.6ff7df9519484p+0,
    0x1.71f75e8ec5f74p+0, 0x1.73f9a48a58174p+0, 0x1.75feb564267c9p+0, 0x1.780694fde5d3fp+0,
    0x1.7a11473eb0187p+0, 0x1.7c1ed0130c132p+0, 0x1.7e2f336cf4e62p+0, 0x1.80427543e1a12p+0,
    0x1.82589994cce13p+0, 0x1.8471a4623c7adp+0, 0x1.868d99b4492edp+0, 0x1.88ac7d98a6699p+0,
    0x1.8ace5422aa0dbp+0, 0x1.8cf3216b5448cp+0, 0x1.8f1ae99157736p+0, 0x1.9145b0b91ffc6p+0,
    0x1.93737b0cdc5e5p+0, 0x1.95a44cbc8520fp+0, 0x1.97d829fde4e50p+0, 0x1.9a0f170ca07bap+0,
    0x1.9c49182a3f090p+0, 0x1.9e86319e32323p+0, 0x1.a0c667b5de565p+0, 0x1.a309bec4a2d33p+0,
    0x1.a5503b23e255dp+0, 0x1.a799e1330b358p+0, 0x1.a9e6b5579fdbfp+0, 0x1.ac36bbfd3f37ap+0,
    0x1.ae89f995ad3adp+0, 0x1.b0e07298db666p+0, 0x1.b33a2b84f15fbp+0, 0x1.b59728de5593ap+0,
    0x1.b7f76f2fb5e47p+0, 0x1.ba5b030a1064ap+0, 0x1.bcc1e904bc1d2p+0, 0x1.bf2c25bd71e09p+0,
    0x1.c199bdd85529cp+0, 0x1.c40ab5fffd07ap+0, 0x1.c67f12e57d14bp+0, 0x1.c8f6d9406e7b5p+0,
    0x1.cb720dcef9069p+0, 0x1.cdf0b555dc3fap+0, 0x1.d072d4a07897cp+0, 0x1.d2f87080d89f2p+0,
    0x1.d5818dcfba487p+0, 0x1.d80e316c98398p+0, 0x1.da9e603db3285p+0, 0x1.dd321f301b460p+0,
    0x1.dfc97337b9b5fp+0, 0x1.e264614f5a129p+0, 0x1.e502ee78b3ff6p+0, 0x1.e7a51fbc74c83p+0,
    0x1.ea4afa2a490dap+0, 0x1.ecf482d8e67f1p+0, 0x1.efa1bee615a27p+0, 0x1.f252b376bba97p+0,
    0x1.f50765b6e4540p+0, 0x1.f7bfdad9cbe14p+0, 0x1.fa7c1819e90d8p+0, 0x1.fd3c22b8f71f1p+0,
};

// Boundaries are at least 0.54 % of the octave apart, more than the 1/256
// of a cell here, so a cell holds at most one: kFirstAbove[k] counts the
// boundaries below cell k, and one comparison settles the rest.
struct CellTable {
  std::uint8_t below[256] = {};
};

constexpr CellTable MakeCells() {
  CellTable cells;
  int j = 1;
  for (int k = 0; k < 256; ++k) {
    const std::uint64_t start = (std::uint64_t{1} << 63) + (std::uint64_t(k) << 55);
    while (j < kPerOctave && kBoundary[j] < start) ++j;
    cells.below[k] = static_cast<std::uint8_t>(j - 1);
  }
  return cells;
}
constexpr CellTable kCells = MakeCells();

int HighestBit(std::uint64_t v) {
#if defined(__GNUC__) || defined(__clang__)
  return 63 - __builtin_clzll(v);
#else
  int bit = 0;
  while (v >>= 1) ++bit;
  return bit;
#endif
}

// floor(i / 2^shift), for negative i too.
std::int64_t FloorShift(std::int64_t i, int shift) {
  return i >= 0 ? i >> shift : -((-i - 1) >> shift) - 1;
}

std::int32_t MaxIndex(int scale) { return BucketIndex(kMaxTotalNs, scale); }

bool AddChecked(std::uint64_t& into, std::uint64_t add) {
  if (add >= kCountLimit - into) return false;
  into += add;
  return true;
}

bool AddChecked(std::int64_t& into, std::int64_t add) {
  if (add > std::numeric_limits<std::int64_t>::max() - into) return false;
  into += add;
  return true;
}

// Trims the empty buckets at both ends of dense counts from index `first`.
void SetBuckets(FrameSummary& summary, const std::vector<std::uint64_t>& dense,
                std::int64_t first) {
  std::size_t begin = 0;
  std::size_t end = dense.size();
  while (begin < end && dense[begin] == 0) ++begin;
  while (end > begin && dense[end - 1] == 0) --end;
  summary.offset = static_cast<std::int32_t>(first + static_cast<std::int64_t>(begin));
  summary.counts.assign(dense.begin() + static_cast<std::ptrdiff_t>(begin),
                        dense.begin() + static_cast<std::ptrdiff_t>(end));
  if (summary.counts.empty()) summary.offset = 0;
}

constexpr double kNsPerMs = 1e6;
constexpr double kNsPerSecond = 1e9;

double Rate(std::uint64_t frames, std::uint64_t ns) {
  if (ns == 0) return std::numeric_limits<double>::infinity();
  return kNsPerSecond * static_cast<double>(frames) / static_cast<double>(ns);
}

}  // namespace

std::int32_t BucketIndex(std::int64_t frameNs, int scale) {
  const auto v = static_cast<std::uint64_t>(frameNs);
  const int octave = HighestBit(v);
  const std::uint64_t mantissa = v << (63 - octave);
  std::int64_t index = std::int64_t{octave} * kPerOctave - 1;  // a power of two ends its bucket
  if (mantissa != std::uint64_t{1} << 63) {
    int below = kCells.below[(mantissa >> 55) & 0xFF];
    if (below + 1 < kPerOctave && kBoundary[below + 1] < mantissa) ++below;
    index += below + 1;
  }
  return static_cast<std::int32_t>(FloorShift(index, kTableScale - scale));
}

double BucketLowerNs(std::int32_t index, int scale) {
  const std::int64_t fine = std::int64_t{index} * (std::int64_t{1} << (kTableScale - scale));
  const std::int64_t octave = FloorShift(fine, kTableScale);
  return std::ldexp(kBoundaryValue[fine - octave * kPerOctave], static_cast<int>(octave));
}

std::int64_t BucketMidNs(std::int32_t index, int scale) {
  const double rounded =
      std::floor((BucketLowerNs(index, scale) + BucketLowerNs(index + 1, scale)) / 2 + 0.5);
  // The coarsest scales' top buckets reach far past 2^63 (to 2^1024).
  if (!(rounded < 0x1p63)) return std::numeric_limits<std::int64_t>::max();
  return static_cast<std::int64_t>(rounded);
}

SummaryBuilder::SummaryBuilder(int scale)
    : scale_(std::clamp(scale, kSummaryMinScale, kSummaryMaxScale)),
      dense_(static_cast<std::size_t>(MaxIndex(scale_)) + 2, 0) {
  totals_.scale = scale_;
}

bool SummaryBuilder::Add(std::int64_t frameNs) {
  FrameSummary& t = totals_;
  if (frameNs < 0 || frameNs > kMaxTotalNs - t.totalNs || t.frames + 1 >= kCountLimit) return false;
  if (t.frames > 0) {
    // The same rule as Summarize's, over the same window of earlier frames.
    const auto count = static_cast<std::int64_t>(std::min<std::uint64_t>(t.frames, kStutterWindow));
    if (2 * count * frameNs > 5 * windowNs_) {
      ++t.stutters;
      t.stutterNs += frameNs;
    }
    t.jitterNs += frameNs > previousNs_ ? frameNs - previousNs_ : previousNs_ - frameNs;
    t.minNs = std::min(t.minNs, frameNs);
    t.maxNs = std::max(t.maxNs, frameNs);
  } else {
    t.minNs = t.maxNs = frameNs;
  }
  // window_[slot_] holds the frame kStutterWindow before this one, once
  // there is one.
  windowNs_ += frameNs - window_[slot_];
  window_[slot_] = frameNs;
  slot_ = slot_ + 1 == kStutterWindow ? 0 : slot_ + 1;
  previousNs_ = frameNs;

  ++t.frames;
  t.totalNs += frameNs;
  if (frameNs == 0) {
    ++t.zeroCount;
  } else {
    ++dense_[static_cast<std::size_t>(std::int64_t{BucketIndex(frameNs, scale_)} + 1)];
  }
  for (std::size_t i = 0; i < kSlowFrameNs.size(); ++i) t.over[i] += frameNs > kSlowFrameNs[i];
  return true;
}

FrameSummary SummaryBuilder::Summary() const {
  FrameSummary summary = totals_;
  summary.sessions = summary.frames > 0 ? 1 : 0;
  SetBuckets(summary, dense_, -1);
  return summary;
}

FrameSummary SummaryOf(const std::vector<std::int64_t>& frameNs, std::string& error) {
  std::int64_t totalNs = 0;
  error = CheckFrameTimes(frameNs, totalNs);
  if (!error.empty()) return {};
  SummaryBuilder builder;
  for (const std::int64_t ns : frameNs) builder.Add(ns);
  return builder.Summary();
}

std::string CheckSummary(const FrameSummary& s) {
  if (s.scale < kSummaryMinScale || s.scale > kSummaryMaxScale)
    return "scale " + std::to_string(s.scale) + " is outside -10 to 7";
  if (s.frames >= kCountLimit) return "the frame count is 2^63 or more";
  std::uint64_t frames = s.zeroCount;
  for (const std::uint64_t count : s.counts)
    if (!AddChecked(frames, count)) return "the bucket counts add up to 2^63 or more";
  if (frames != s.frames)
    return "the buckets hold " + std::to_string(frames) + " frames, the count says " +
           std::to_string(s.frames);
  if (!s.counts.empty()) {
    const std::int64_t last =
        std::int64_t{s.offset} + static_cast<std::int64_t>(s.counts.size()) - 1;
    if (s.offset < -1 || last > MaxIndex(s.scale))
      return "buckets " + std::to_string(s.offset) + " to " + std::to_string(last) +
             " reach outside -1 to " + std::to_string(MaxIndex(s.scale)) + " at scale " +
             std::to_string(s.scale);
    if (s.counts.front() == 0 || s.counts.back() == 0) return "an empty bucket at an end";
  }
  if (s.totalNs < 0 || s.minNs < 0 || s.minNs > s.maxNs || s.maxNs > s.totalNs || s.stutterNs < 0 ||
      s.stutterNs > s.totalNs || s.jitterNs < 0 || s.jitterNs / 2 > s.totalNs)
    return "times out of order: min, max, stutter time and jitter must lie within the total";
  if (s.frames == 0) {
    if (s.totalNs != 0 || s.maxNs != 0 || s.sessions != 0 || s.stutters != 0)
      return "times without frames";
    return {};
  }
  if (s.sessions == 0 || s.sessions > s.frames) return "sessions must be 1 to the frame count";
  const std::int32_t lowest = s.zeroCount > 0 ? -2 : s.offset;
  const auto bucketOf = [&](std::int64_t ns) { return ns == 0 ? -2 : BucketIndex(ns, s.scale); };
  const std::int32_t highest =
      s.counts.empty() ? -2 : s.offset + static_cast<std::int32_t>(s.counts.size()) - 1;
  if (bucketOf(s.minNs) != lowest || bucketOf(s.maxNs) != highest)
    return "min and max lie outside the lowest and highest buckets";
  for (const std::uint64_t over : s.over)
    if (over > s.frames) return "more slow frames than frames";
  if (s.stutters > s.frames) return "more stutters than frames";
  return {};
}

bool Coarsen(FrameSummary& s, int scale) {
  if (scale > s.scale || scale < kSummaryMinScale) return false;
  const int shift = s.scale - scale;
  s.scale = scale;
  if (shift == 0 || s.counts.empty()) return true;
  const std::int64_t first = FloorShift(s.offset, shift);
  const std::int64_t last =
      FloorShift(std::int64_t{s.offset} + static_cast<std::int64_t>(s.counts.size()) - 1, shift);
  std::vector<std::uint64_t> coarse(static_cast<std::size_t>(last - first + 1), 0);
  for (std::size_t k = 0; k < s.counts.size(); ++k)
    coarse[static_cast<std::size_t>(FloorShift(s.offset + static_cast<std::int64_t>(k), shift) -
                                    first)] += s.counts[k];
  s.offset = static_cast<std::int32_t>(first);
  s.counts = std::move(coarse);
  return true;
}

bool Merge(FrameSummary& into, const FrameSummary& from) {
  if (!CheckSummary(into).empty() || !CheckSummary(from).empty()) return false;
  if (from.frames == 0) return true;
  FrameSummary a = into;
  FrameSummary b = from;
  const int scale = std::min(a.scale, b.scale);
  Coarsen(a, scale);
  Coarsen(b, scale);
  if (a.frames == 0) {
    b.sessions += a.sessions;
    into = std::move(b);
    return true;
  }
  bool ok = AddChecked(a.sessions, b.sessions) && AddChecked(a.frames, b.frames) &&
            AddChecked(a.totalNs, b.totalNs) && AddChecked(a.zeroCount, b.zeroCount) &&
            AddChecked(a.stutters, b.stutters) && AddChecked(a.stutterNs, b.stutterNs) &&
            AddChecked(a.jitterNs, b.jitterNs);
  for (std::size_t i = 0; i < a.over.size(); ++i) ok = ok && AddChecked(a.over[i], b.over[i]);
  if (!ok) return false;
  a.minNs = std::min(a.minNs, b.minNs);
  a.maxNs = std::max(a.maxNs, b.maxNs);
  if (!b.counts.empty()) {
    const std::int64_t first = a.counts.empty() ? b.offset : std::min(a.offset, b.offset);
    const std::int64_t last =
        std::max(a.counts.empty() ? std::int64_t{b.offset}
                                  : a.offset + static_cast<std::int64_t>(a.counts.size()),
                 b.offset + static_cast<std::int64_t>(b.counts.size())) -
        1;
    std::vector<std::uint64_t> dense(static_cast<std::size_t>(last - first + 1), 0);
    for (const FrameSummary* part : {&a, &b})
      for (std::size_t k = 0; k < part->counts.size(); ++k)
        dense[static_cast<std::size_t>(part->offset - first) + k] += part->counts[k];
    SetBuckets(a, dense, first);
  }
  into = std::move(a);
  return true;
}

std::string SessionKey(const FrameSummary& s) {
  std::string text = "zel-summary 1\nscale " + std::to_string(s.scale) + "\nframes " +
                     std::to_string(s.frames) + "\ntotal " + std::to_string(s.totalNs) + "\nmin " +
                     std::to_string(s.minNs) + "\nmax " + std::to_string(s.maxNs) + "\nzero " +
                     std::to_string(s.zeroCount) + "\nover";
  for (const std::uint64_t over : s.over) text += ' ' + std::to_string(over);
  text += "\nstutters " + std::to_string(s.stutters) + ' ' + std::to_string(s.stutterNs) +
          "\njitter " + std::to_string(s.jitterNs) + "\nbuckets " + std::to_string(s.offset);
  for (const std::uint64_t count : s.counts) text += ' ' + std::to_string(count);
  return Sha256Hex(text + '\n');
}

FleetStats FleetStatsOf(const FrameSummary& s) {
  FleetStats stats;
  stats.error = CheckSummary(s);
  if (stats.error.empty() && s.frames < 2) stats.error = "fewer than two frames";
  if (stats.error.empty() && s.totalNs == 0) stats.error = "the frame times add up to 0 ns";
  // Ranks compare den * cum with num * frames, den and num up to 1000.
  if (stats.error.empty() && s.frames > kCountLimit / 1000)
    stats.error = "more than 2^63 / 1000 frames";
  if (!stats.error.empty()) return stats;

  const std::uint64_t n = s.frames;
  stats.sessions = s.sessions;
  stats.frames = n;
  stats.totalNs = s.totalNs;
  stats.averageFps = Rate(n, static_cast<std::uint64_t>(s.totalNs));
  stats.meanMs = static_cast<double>(s.totalNs) / (kNsPerMs * static_cast<double>(n));

  // The buckets in ascending order, the zero-length frames first, each with
  // its estimate kept within the exact min and max.
  struct Bucket {
    std::uint64_t count;
    std::int64_t estimateNs;
  };
  std::vector<Bucket> buckets;
  buckets.reserve(s.counts.size() + 1);
  if (s.zeroCount > 0) buckets.push_back({s.zeroCount, 0});
  for (std::size_t k = 0; k < s.counts.size(); ++k) {
    if (s.counts[k] == 0) continue;
    const std::int64_t mid = BucketMidNs(s.offset + static_cast<std::int32_t>(k), s.scale);
    buckets.push_back({s.counts[k], std::clamp(mid, s.minNs, s.maxNs)});
  }

  const auto percentile = [&](std::uint64_t num, std::uint64_t den) {
    std::uint64_t cum = 0;
    for (const Bucket& b : buckets) {
      cum += b.count;
      if (den * cum >= num * n) return b.estimateNs;
    }
    return buckets.back().estimateNs;
  };
  const auto ms = [](std::int64_t ns) { return static_cast<double>(ns) / kNsPerMs; };
  const std::int64_t p99 = percentile(99, 100);
  const std::int64_t p999 = percentile(999, 1000);
  stats.p50Ms = {ms(percentile(50, 100)), n < 2};
  stats.p90Ms = {ms(percentile(90, 100)), n < kFramesForP90};
  stats.p95Ms = {ms(percentile(95, 100)), n < kFramesForP95};
  stats.p99Ms = {ms(p99), n < kFramesForPercent};
  stats.p999Ms = {ms(p999), n < kFramesForPermille};

  // The mean of the slowest `k` frames' estimates, as a rate.
  const auto lowAverage = [&](std::uint64_t k) {
    std::uint64_t taken = 0;
    std::uint64_t sumNs = 0;
    for (auto b = buckets.rbegin(); b != buckets.rend() && taken < k; ++b) {
      const std::uint64_t take = std::min(b->count, k - taken);
      const auto estimate = static_cast<std::uint64_t>(b->estimateNs);
      // Only a very coarse scale, whose estimates are far above the frames,
      // can take the sum past 64 bits.
      if (estimate > 0 && take > (UINT64_MAX - sumNs) / estimate)
        return std::numeric_limits<double>::quiet_NaN();
      taken += take;
      sumNs += take * estimate;
    }
    return Rate(k, sumNs);
  };
  const bool fewPercent = n < kFramesForPercent;
  const bool fewPermille = n < kFramesForPermille;
  stats.low1Percentile = {Rate(1, static_cast<std::uint64_t>(p99)), fewPercent};
  stats.low1LowAverage = {lowAverage((n + 99) / 100), fewPercent};
  stats.low01Percentile = {Rate(1, static_cast<std::uint64_t>(p999)), fewPermille};
  stats.low01LowAverage = {lowAverage((n + 999) / 1000), fewPermille};

  for (std::size_t i = 0; i < s.over.size(); ++i)
    stats.overPercent[i] = static_cast<double>(100 * s.over[i]) / static_cast<double>(n);
  stats.stutters = s.stutters;
  stats.stutterShare = static_cast<double>(s.stutterNs) / static_cast<double>(s.totalNs);
  stats.jitterMeanMs = n > s.sessions ? static_cast<double>(s.jitterNs) /
                                            (kNsPerMs * static_cast<double>(n - s.sessions))
                                      : std::numeric_limits<double>::quiet_NaN();
  stats.scale = s.scale;
  stats.errorBound = (BucketLowerNs(1, s.scale) - 1) / 2;
  return stats;
}

std::vector<NamedFigure> Figures(const FleetStats& s) {
  if (!s.error.empty()) return {};
  return {
      {"frames", "frames", static_cast<double>(s.frames), false},
      {"duration_s", "duration (s)", static_cast<double>(s.totalNs) / kNsPerSecond, false},
      {"average_fps", "average (fps)", s.averageFps, false},
      {"mean_ms", "mean frame time (ms)", s.meanMs, false},
      {"p50_ms", "p50 (ms)", s.p50Ms.value, s.p50Ms.fewFrames},
      {"p90_ms", "p90 (ms)", s.p90Ms.value, s.p90Ms.fewFrames},
      {"p95_ms", "p95 (ms)", s.p95Ms.value, s.p95Ms.fewFrames},
      {"p99_ms", "p99 (ms)", s.p99Ms.value, s.p99Ms.fewFrames},
      {"p99_9_ms", "p99.9 (ms)", s.p999Ms.value, s.p999Ms.fewFrames},
      {"low_1_percentile_fps", "1% low, percentile (fps)", s.low1Percentile.value,
       s.low1Percentile.fewFrames},
      {"low_1_low_average_fps", "1% low, low average (fps)", s.low1LowAverage.value,
       s.low1LowAverage.fewFrames},
      {"low_0_1_percentile_fps", "0.1% low, percentile (fps)", s.low01Percentile.value,
       s.low01Percentile.fewFrames},
      {"low_0_1_low_average_fps", "0.1% low, low average (fps)", s.low01LowAverage.value,
       s.low01LowAverage.fewFrames},
      {"stutters", "stutters", static_cast<double>(s.stutters), false},
      {"stutter_time_percent", "stutter time (%)", 100.0 * s.stutterShare, false},
      {"jitter_mean_ms", "jitter mean (ms)", s.jitterMeanMs, false},
      {"sessions", "sessions", static_cast<double>(s.sessions), false},
      {"over_16_7ms_percent", "frames over 16.7 ms (%)", s.overPercent[0], false},
      {"over_33_3ms_percent", "frames over 33.3 ms (%)", s.overPercent[1], false},
      {"over_700ms_percent", "frames over 700 ms (%)", s.overPercent[2], false},
      {"scale", "histogram scale", static_cast<double>(s.scale), false},
      {"error_bound", "error bound of p50 to lows (relative)", s.errorBound, false},
  };
}

}  // namespace zel_analysis
