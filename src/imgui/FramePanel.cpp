#include "ZelImGui/FramePanel.h"

#include <ZelAnalysis/FrameStats.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace zel_imgui {

namespace {

constexpr double kNsPerMs = 1e6;
constexpr double kNsPerSecond = 1e9;
// Longer intervals are cut to this, so that converting any float to whole
// nanoseconds is defined; frames adding up past Summarize's limit (1e17 ns)
// then show no figures.
constexpr double kLongestSeconds = 1e8;
// Frames longer than this many times the 90th percentile are outliers:
// marked and clipped, not allowed to squash the others against the graph's
// floor. The percentile rather than the median, so that a run whose frames
// fall into two groups (half of them slow) shows both.
constexpr double kOutlierP90s = 3.0;
// The median frame reaches at most 1 / kHeadroom of the graph's height.
constexpr double kHeadroom = 1.5;
// The shortest range the graph shows, in milliseconds (10 us).
constexpr double kShortestTopMs = 0.01;

// The panel's own colours. The graph's fill is opaque, so that neither the
// scene behind a translucent window nor a style change alters it.
constexpr ImU32 kGraphFill = IM_COL32(16, 20, 28, 255);
constexpr ImU32 kGridLine = IM_COL32(70, 78, 92, 255);
constexpr ImU32 kScaleText = IM_COL32(150, 158, 172, 255);
constexpr ImU32 kTrace = IM_COL32(64, 220, 120, 255);
constexpr ImU32 kTarget = IM_COL32(255, 196, 0, 255);
constexpr ImU32 kMark = IM_COL32(255, 64, 64, 255);
constexpr ImU32 kHeadline = IM_COL32(255, 255, 255, 255);

// Text on a patch of the graph's fill, so that the trace under it does not
// garble it.
void Label(ImDrawList* list, ImVec2 at, ImU32 colour, const char* text) {
  const ImVec2 size = ImGui::CalcTextSize(text);
  if (size.x <= 0.0f) return;
  list->AddRectFilled(at, ImVec2(at.x + size.x, at.y + size.y), kGraphFill);
  list->AddText(at, colour, text);
}

// Copies `text` after what `out` holds, as much as fits.
template <std::size_t N>
void Append(char (&out)[N], const char* text) {
  const std::size_t used = std::strlen(out);
  const std::size_t room = N - 1 - used;
  const std::size_t length = std::min(std::strlen(text), room);
  std::memcpy(out + used, text, length);
  out[used + length] = '\0';
}

template <std::size_t N, typename... Texts>
void Compose(char (&out)[N], const Texts*... texts) {
  out[0] = '\0';
  (Append(out, texts), ...);
}

// A number with `decimals` digits after the point, '.' whatever the locale.
template <std::size_t N>
void Fixed(char (&out)[N], double value, int decimals) {
  const std::to_chars_result result =
      std::to_chars(out, out + N - 1, value, std::chars_format::fixed, decimals);
  *(result.ec == std::errc() ? result.ptr : out) = '\0';
}

// Milliseconds with about four significant digits: 0.412, 16.67, 100.3.
void FormatMs(FigureText& out, double ms) {
  if (!(ms >= 0.0) || !std::isfinite(ms)) {
    Compose(out, "--");
    return;
  }
  Fixed(out, ms, ms < 1.0 ? 3 : ms < 100.0 ? 2 : 1);
}

// Frames per second: 59.9, 1432.
void FormatRate(FigureText& out, double fps) {
  if (!(fps > 0.0) || !std::isfinite(fps)) {
    Compose(out, "--");
    return;
  }
  Fixed(out, fps, fps < 100.0 ? 1 : 0);
}

void FormatFigure(FigureText& out, const zel_analysis::Figure& figure, bool rate) {
  if (figure.fewFrames) {
    Compose(out, "--");
  } else if (rate) {
    FormatRate(out, figure.value);
  } else {
    FormatMs(out, figure.value);
  }
}

// The shortest of 1, 2, 2.5 and 5 times a power of ten that is >= ms, give
// or take a part in 10^4: 1.5 x a float's 16.666668 ms is a 25 ms graph.
double RoundUp(double ms) {
  ms *= 1.0 - 1e-4;
  double power = std::pow(10.0, std::floor(std::log10(ms)));
  for (;;) {
    for (const double step : {1.0, 2.0, 2.5, 5.0}) {
      if (step * power >= ms) return step * power;
    }
    power *= 10.0;
  }
}

std::int64_t IntervalNs(float seconds) {
  if (!(seconds > 0.0f)) return 0;
  return std::llround(std::min(static_cast<double>(seconds), kLongestSeconds) * kNsPerSecond);
}

}  // namespace

FramePanel::FramePanel(std::size_t frames) : m_Length(std::max<std::size_t>(frames, 2)) {
  m_FrameNs.reserve(m_Length);
  m_View.heights.reserve(kGraphPoints);
  m_View.marked.reserve(kGraphPoints);
  m_View.histogram.assign(kHistogramBins, 0.0f);
  m_Points.reserve(kGraphPoints);
}

void FramePanel::Refresh(CZelFrameRate& meter, double targetFps) {
  Refresh(meter.GetSwapHistory(), meter.GetDrawHistory(), targetFps);
}

void FramePanel::Refresh(const std::vector<float>& swapSeconds, const std::vector<float>& drawMs,
                         double targetFps) {
  const std::size_t frames = std::min(swapSeconds.size(), m_Length);
  m_FrameNs.resize(frames);
  for (std::size_t i = 0; i < frames; ++i)
    m_FrameNs[i] = IntervalNs(swapSeconds[swapSeconds.size() - frames + i]);

  const std::size_t draws = std::min(drawMs.size(), m_Length);
  double sum = 0.0;
  for (std::size_t i = drawMs.size() - draws; i < drawMs.size(); ++i) sum += drawMs[i];
  m_DrawMs = draws > 0 ? drawMs.back() : -1.0;
  m_DrawMeanMs = draws > 0 ? sum / static_cast<double>(draws) : -1.0;
  Remake(targetFps);
}

void FramePanel::Refresh(const zel_analysis::FrameRecorder& recorder, double targetFps) {
  const std::vector<zel_analysis::Frame>& all = recorder.Frames();
  const std::size_t frames = std::min(all.size(), m_Length);
  m_FrameNs.resize(frames);
  double sum = 0.0;
  std::size_t draws = 0;
  m_DrawMs = -1.0;
  for (std::size_t i = 0; i < frames; ++i) {
    const zel_analysis::Frame& frame = all[all.size() - frames + i];
    m_FrameNs[i] = frame.intervalNs;
    if (frame.drawNs >= 0) {
      m_DrawMs = static_cast<double>(frame.drawNs) / kNsPerMs;
      sum += m_DrawMs;
      ++draws;
    }
  }
  m_DrawMeanMs = draws > 0 ? sum / static_cast<double>(draws) : -1.0;
  Remake(targetFps);
}

void FramePanel::Remake(double targetFps) {
  FramePanelView& view = m_View;
  const zel_analysis::FrameStats stats = zel_analysis::Summarize(m_FrameNs);
  const bool ok = stats.error.empty();
  view.frames = m_FrameNs.size();
  view.stutters = stats.stutters;
  FormatRate(view.fps, ok ? stats.averageFps : -1.0);
  FormatMs(view.frameMs, ok ? static_cast<double>(m_FrameNs.back()) / kNsPerMs : -1.0);
  FormatMs(view.meanMs, ok ? stats.meanMs : -1.0);
  FormatFigure(view.p99Ms, ok ? stats.p99Ms : zel_analysis::Figure{0.0, true}, false);
  FormatFigure(view.low1Fps, ok ? stats.low1.lowAverage : zel_analysis::Figure{0.0, true}, true);
  FormatMs(view.drawMs, m_DrawMs);
  FormatMs(view.drawMeanMs, m_DrawMeanMs);

  Compose(view.headline, view.fps, " fps  ", view.frameMs, " ms");
  Compose(view.draw, "draw ", view.drawMs, " ms  mean ", view.drawMeanMs, " ms");
  Compose(view.figures, "mean ", view.meanMs, " ms  p99 ", view.p99Ms, " ms  1% low ", view.low1Fps,
          " fps");
  if (!ok || stats.p99Ms.fewFrames) {
    FigureText needs;
    Fixed(needs, static_cast<double>(zel_analysis::kFramesForPercent), 0);
    Compose(view.figures, "mean ", view.meanMs, " ms  p99 --  1% low --  (needs ", needs,
            " frames)");
  }
  Compose(view.compact, view.fps, " fps  ", view.frameMs, " ms  p99 ", view.p99Ms, "  draw ",
          view.drawMs, " ms");
  FigureText count;
  FigureText stutters;
  Fixed(count, static_cast<double>(view.frames), 0);
  Fixed(stutters, static_cast<double>(view.stutters), 0);
  Compose(view.footer, count, view.frames == 1 ? " frame, " : " frames, ", stutters,
          view.stutters == 1 ? " stutter" : " stutters");

  // The range: above the ordinary frames with some room, and above the
  // target when the target is near them.
  view.heights.clear();
  view.marked.clear();
  std::fill(view.histogram.begin(), view.histogram.end(), 0.0f);
  if (!ok) {
    view.topMs = view.targetMs = 0.0f;
    Compose(view.topText, "");
    Compose(view.midText, "");
    Compose(view.clippedText, "");
    Compose(view.targetText, "");
    Compose(view.histogramText, "");
    return;
  }
  const double medianMs = stats.p50Ms.value;
  const double outlierMs = kOutlierP90s * stats.p90Ms.value;
  double ordinaryMs = 0.0;
  for (const std::int64_t ns : m_FrameNs) {
    const double ms = static_cast<double>(ns) / kNsPerMs;
    if (ms <= outlierMs) ordinaryMs = std::max(ordinaryMs, ms);
  }
  double needMs = std::max({ordinaryMs, kHeadroom * medianMs, kShortestTopMs});
  const double targetMs = targetFps > 0.0 && std::isfinite(targetFps) ? 1000.0 / targetFps : 0.0;
  const bool targetFits = targetMs > 0.0 && targetMs <= outlierMs;
  if (targetFits) needMs = std::max(needMs, targetMs * 1.2);
  const double topMs = RoundUp(needMs);
  view.topMs = static_cast<float>(topMs);
  view.targetMs = targetFits ? static_cast<float>(targetMs) : 0.0f;
  Compose(view.targetText, "");
  if (targetFits) {
    FormatRate(view.targetText, targetFps);
    Append(view.targetText, " fps");
  }
  std::to_chars_result end = std::to_chars(view.topText, view.topText + 24, view.topMs);
  std::memcpy(end.ptr, " ms", 4);
  end = std::to_chars(view.midText, view.midText + 24, view.topMs / 2.0f);
  *end.ptr = '\0';
  Compose(view.histogramText, "frame times, 0 to ", view.topText);

  const std::int64_t longestNs = *std::max_element(m_FrameNs.begin(), m_FrameNs.end());
  Compose(view.clippedText, "");
  if (static_cast<double>(longestNs) / kNsPerMs > topMs) {
    FormatMs(view.clippedText, static_cast<double>(longestNs) / kNsPerMs);
    Append(view.clippedText, " ms");
  }

  // Up to kGraphPoints points, each the longest of its frames, so that a
  // long history costs no more to draw than the graph has room for and no
  // spike is averaged away.
  const std::vector<std::size_t> stutterAt = zel_analysis::Stutters(m_FrameNs);
  auto nextStutter = stutterAt.begin();
  const std::size_t frames = m_FrameNs.size();
  const std::size_t points = std::min(frames, kGraphPoints);
  std::size_t point = 0;
  for (std::size_t i = 0; i < frames; ++i) {
    const double share = static_cast<double>(m_FrameNs[i]) / kNsPerMs / topMs;
    const bool stutter = nextStutter != stutterAt.end() && *nextStutter == i;
    if (stutter) ++nextStutter;
    const auto height = static_cast<float>(std::min(share, 1.0));
    const unsigned char mark = stutter || share > 1.0 ? 1 : 0;
    if (i * points / frames == point) {  // the first frame of the next point
      view.heights.push_back(height);
      view.marked.push_back(mark);
      ++point;
    } else {
      view.heights.back() = std::max(view.heights.back(), height);
      view.marked.back() |= mark;
    }
    const auto bin = static_cast<std::size_t>(std::min(share, 1.0) * kHistogramBins);
    view.histogram[std::min(bin, kHistogramBins - 1)] += 1.0f;
  }
}

bool FramePanel::RefreshDue(double seconds) {
  const double now = ImGui::GetTime();
  if (m_Fresh && now < m_NextRefresh) return false;
  m_Fresh = true;
  m_NextRefresh = now + (seconds > 0.0 ? seconds : 0.0);
  return true;
}

void FramePanel::Draw(const FramePanelOptions& options) {
  const FramePanelView& view = m_View;
  if (options.compact) {
    ImGui::TextUnformatted(view.compact);
    return;
  }
  ImFont* font = ImGui::GetFont();
  const float line = ImGui::GetFontSize();
  ImDrawList* list = ImGui::GetWindowDrawList();

  // The headline, twice the window's text size.
  const ImVec2 at = ImGui::GetCursorScreenPos();
  const ImVec2 headlineSize = font->CalcTextSizeA(2.0f * line, 1e6f, 0.0f, view.headline);
  list->AddText(font, 2.0f * line, at, kHeadline, view.headline);
  ImGui::Dummy(headlineSize);
  ImGui::TextUnformatted(view.draw);
  ImGui::TextUnformatted(view.figures);

  // The graph, its scale in a column on the left: the top, middle and
  // bottom lines' frame times.
  const float inset = 0.25f * line;
  const float width = 24.0f * line;
  const float height = 6.0f * line;
  const ImVec2 corner = ImGui::GetCursorScreenPos();
  ImGui::Dummy(ImVec2(width, height));
  const float gutter = ImGui::CalcTextSize(view.topText).x + 2.0f * inset;
  const ImVec2 low(corner.x + gutter, corner.y);
  const ImVec2 high(corner.x + width, corner.y + height);
  const float mid = low.y + 0.5f * height;
  list->AddRectFilled(low, high, kGraphFill);
  list->AddLine(ImVec2(low.x, mid), ImVec2(high.x, mid), kGridLine);
  list->AddLine(low, ImVec2(high.x, low.y), kGridLine);
  const auto scale = [&](const char* text, float atY) {
    const ImVec2 size = ImGui::CalcTextSize(text);
    const float y = std::min(std::max(atY - 0.5f * size.y, low.y), high.y - size.y);
    list->AddText(ImVec2(low.x - inset - size.x, y), kScaleText, text);
  };
  scale(view.topText, low.y);
  scale(view.midText, mid);
  scale("0", high.y);

  const std::size_t count = view.heights.size();
  if (count > 0 && view.topMs > 0.0f) {
    const float step = count > 1 ? (high.x - low.x) / static_cast<float>(count - 1) : 0.0f;
    const auto y = [&](float share) { return high.y - share * (height - 1.0f); };
    if (view.targetMs > 0.0f) {
      // Dashed, under the trace: frames on target cover it.
      const float ty = y(view.targetMs / view.topMs);
      const auto dashes = static_cast<int>(std::ceil((high.x - low.x) / (2.0f * line)));
      for (int dash = 0; dash < dashes; ++dash) {
        const float x = low.x + 2.0f * line * static_cast<float>(dash);
        list->AddLine(ImVec2(x, ty), ImVec2(std::min(x + line, high.x), ty), kTarget, 2.0f);
      }
    }
    m_Points.clear();
    for (std::size_t i = 0; i < count; ++i)
      m_Points.emplace_back(low.x + step * static_cast<float>(i), y(view.heights[i]));
    // A whole number of pixels thick: ImGui then draws it from the font
    // atlas's baked lines, a quarter of the vertices of any other width.
    list->AddPolyline(m_Points.data(), static_cast<int>(count), kTrace, ImDrawFlags_None,
                      std::max(1.0f, std::round(line / 8.0f)));
    for (std::size_t i = 0; i < count; ++i) {
      if (view.marked[i] == 0) continue;
      // A small triangle pointing at the point from above, or from below
      // near the top edge, inside the graph: three vertices where a circle
      // takes a dozen, which counts when a noisy run marks many points.
      const ImVec2 p = m_Points[i];
      const float r = 0.35f * line;
      const float baseY = p.y - 2.0f * r >= low.y ? p.y - 2.0f * r : p.y + 2.0f * r;
      list->AddTriangleFilled(ImVec2(p.x - r, baseY), ImVec2(p.x + r, baseY), p, kMark);
    }
    // The target's label over the trace, at the left end, where the clipped
    // frame's is not.
    if (view.targetMs > 0.0f) {
      const float above = y(view.targetMs / view.topMs) - line - inset;
      Label(list, ImVec2(low.x + inset, std::max(above, low.y + inset)), kTarget, view.targetText);
    }
  }
  // The longest clipped frame's time beside the top edge, right-aligned.
  const ImVec2 clipped = ImGui::CalcTextSize(view.clippedText);
  Label(list, ImVec2(high.x - clipped.x - inset, low.y + inset), kMark, view.clippedText);
  ImGui::TextUnformatted(view.footer);
  if (options.histogram) {
    ImGui::PushStyleColor(ImGuiCol_FrameBg, kGraphFill);
    ImGui::PlotHistogram("##frame-times", view.histogram.data(),
                         static_cast<int>(view.histogram.size()), 0, view.histogramText, 0.0f,
                         FLT_MAX, ImVec2(width, 3.0f * line));
    ImGui::PopStyleColor();
  }
}

void ShowFramePanel(FramePanel& panel, CZelFrameRate& meter, const FramePanelOptions& options) {
  if (panel.RefreshDue(options.refreshSeconds)) panel.Refresh(meter, options.targetFps);
  panel.Draw(options);
}

void ShowFramePanel(FramePanel& panel, const zel_analysis::FrameRecorder& recorder,
                    const FramePanelOptions& options) {
  if (panel.RefreshDue(options.refreshSeconds)) panel.Refresh(recorder, options.targetFps);
  panel.Draw(options);
}

}  // namespace zel_imgui
