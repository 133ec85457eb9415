// ZelTimers ImGui panel: a render loop's frame rate, frame times and draw
// times inside the program's own Dear ImGui debug UI.
//
//   zel_imgui::FramePanel panel(240);          // kept by the host, like any widget state
//   ...
//   ImGui::Begin("Frames");
//   zel_imgui::ShowFramePanel(panel, meter, {60.0});
//   ImGui::End();
//
// The figures follow the analysis library (<ZelAnalysis/FrameStats.h>):
// Summarize over the newest frames, so p99 and the 1 % low need 100 frames
// and show as "--" with fewer.
//
// Cost. The meter hands out its histories as copies, and statistics over a
// thousand frames are not free, so the panel does not redo them on every
// draw: it refreshes (reads the histories, runs Summarize, lays out the
// graph) at most once per FramePanelOptions::refreshSeconds of ImGui time,
// and in between only draws what it made then. A refresh allocates what the
// meter's copies, Summarize and Stutters allocate; the frames in between
// allocate nothing, since every buffer of the panel is sized by its
// constructor.
#ifndef ZELIMGUI_FRAMEPANEL_H
#define ZELIMGUI_FRAMEPANEL_H

#include <ZelAnalysis/FrameRecorder.h>
#include <ZelFrameRate.h>
#include <imgui.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zel_imgui {

/// How the panel looks. The host may pass different options each frame.
struct FramePanelOptions {
  /// The rate the host aims for: a dashed line at its frame time, when that
  /// fits the graph's range. 0, negative or not finite: no line.
  double targetFps = 0.0;
  /// One line of text (rate, frame time, p99, draw time) instead of the
  /// large figures, the graph and the histogram.
  bool compact = false;
  /// A histogram of the frame times over the graph's range, under it.
  bool histogram = false;
  /// Seconds of ImGui time (ImGui::GetTime) between refreshes; 0 refreshes
  /// every frame. Negative or NaN counts as 0; infinity refreshes once.
  double refreshSeconds = 0.25;
};

/// Text buffers long enough for any figure the panel formats.
using FigureText = char[32];
using LineText = char[112];

/// What a refresh makes of the histories: the texts the panel draws and the
/// graph laid out in unit coordinates. Plain data, so that it can be checked
/// without drawing.
struct FramePanelView {
  std::size_t frames = 0;  ///< frame times shown: the newest, up to the panel's length

  // Each text is a number with no unit, or "--" when there is none (fewer
  // than two frames, or a figure that needs more frames than there are).
  FigureText fps = "--";         ///< average rate over the frames shown
  FigureText frameMs = "--";     ///< the newest frame time
  FigureText drawMs = "--";      ///< the newest draw time
  FigureText drawMeanMs = "--";  ///< mean of the draw times shown
  FigureText meanMs = "--";      ///< mean frame time
  FigureText p99Ms = "--";       ///< nearest-rank p99 (zel_analysis::kFramesForPercent frames)
  FigureText low1Fps = "--";     ///< 1 % low, the slowest 1 %'s mean rate (same frames)
  std::size_t stutters = 0;      ///< zel_analysis's stutters among the frames shown

  /// The graph's vertical range, 0 to topMs: a round value (1, 2, 2.5 or 5
  /// times a power of ten) above the ordinary frames, with the target line
  /// when it fits. Frames longer than three times the 90th percentile do not
  /// stretch it: they are clipped to the top and marked.
  float topMs = 0.0f;
  float targetMs = 0.0f;    ///< where the target line goes; 0: none
  FigureText topText = "";  ///< "25 ms": the scale's top, and "12.5" its middle line
  FigureText midText = "";
  FigureText targetText = "";   ///< "60 fps" beside the target line
  FigureText clippedText = "";  ///< "100.0 ms": the longest frame when it is clipped

  // The lines the panel draws, made of the figures above.
  LineText headline = "";       ///< "59.9 fps  16.67 ms", in large type
  LineText draw = "";           ///< "draw 0.41 ms  mean 0.38 ms"
  LineText figures = "";        ///< "mean 16.67 ms  p99 17.10 ms  1% low 58.2 fps"
  LineText footer = "";         ///< "240 frames, 2 stutters"
  LineText compact = "";        ///< the one-line form
  LineText histogramText = "";  ///< "frame times, 0 to 25 ms"

  /// The graph's points, oldest first: one per frame up to kGraphPoints
  /// frames, beyond that each the longest of an equal share of them. Its
  /// height is frame time / topMs, clipped to [0, 1].
  std::vector<float> heights;
  /// Per point: 1 if one of its frames is a stutter or clipped, else 0.
  std::vector<unsigned char> marked;
  /// Frames per bin over [0, topMs], kHistogramBins bins, the last also
  /// holding the clipped frames.
  std::vector<float> histogram;
};

/// Bins of the panel's histogram.
constexpr std::size_t kHistogramBins = 40;
/// The most points the graph draws.
constexpr std::size_t kGraphPoints = 120;

/// The panel's state: the newest frames, the figures made of them and the
/// buffers to draw them, all sized once here. One per panel on screen.
class FramePanel {
public:
  /// Shows up to `frames` frames (at least 2; fewer counts as 2).
  explicit FramePanel(std::size_t frames = 240);

  /// Reads the meter's histories (the newest `frames` swap intervals and
  /// draw times) and remakes the view.
  void Refresh(CZelFrameRate& meter, double targetFps);
  /// The same from a recording: its newest frames' intervals and draw times.
  void Refresh(const zel_analysis::FrameRecorder& recorder, double targetFps);
  /// The same from plain histories as the meter gives them: swap intervals
  /// in seconds, draw times in milliseconds, oldest first. A NaN or negative
  /// interval counts as 0, one above 1e8 s as 1e8 s.
  void Refresh(const std::vector<float>& swapSeconds, const std::vector<float>& drawMs,
               double targetFps);

  const FramePanelView& View() const { return m_View; }
  std::size_t Length() const { return m_Length; }

  /// Draws the panel as it was last refreshed into the current ImGui window.
  void Draw(const FramePanelOptions& options);
  /// True, and the next refresh is armed, when `seconds` of ImGui time have
  /// passed since the last refresh or there has been none.
  bool RefreshDue(double seconds);

private:
  void Remake(double targetFps);

  std::size_t m_Length;
  std::vector<std::int64_t> m_FrameNs;  // the frames shown, for Summarize
  double m_DrawMs = -1.0;               // newest draw time; negative: none
  double m_DrawMeanMs = -1.0;
  FramePanelView m_View;
  std::vector<ImVec2> m_Points;  // the graph's line, in screen coordinates
  double m_NextRefresh = 0.0;    // ImGui time of the next refresh
  bool m_Fresh = false;          // refreshed at least once
};

/// The one call a host makes inside its ImGui frame: refreshes from `meter`
/// when options.refreshSeconds have passed since the last refresh, then
/// draws.
void ShowFramePanel(FramePanel& panel, CZelFrameRate& meter, const FramePanelOptions& options = {});
/// The same from a recording.
void ShowFramePanel(FramePanel& panel, const zel_analysis::FrameRecorder& recorder,
                    const FramePanelOptions& options = {});

}  // namespace zel_imgui

#endif
