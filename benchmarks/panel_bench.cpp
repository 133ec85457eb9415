// The ImGui frame panel's cost per frame, beside a headless ImGui frame
// without it (NewFrame, one window, Render: no back end, no window) and
// beside what a panel redoing its statistics every frame would pay. Each
// iteration is one metered frame at 60 fps of ImGui time, with the meter
// and the panel the same length. Counts heap allocations per frame too.
#include <ZelAnalysis/FrameStats.h>
#include <ZelImGui/FramePanel.h>
#include <ZelTimers.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>

#include "../tests/allocation_counter.h"

namespace {

// A headless ImGui context with the default font built, at 60 fps.
class Context {
public:
  Context() {
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.DisplaySize = ImVec2(1280.0f, 720.0f);
    io.DeltaTime = 1.0f / 60.0f;
    io.IniFilename = nullptr;
    unsigned char* pixels = nullptr;
    int width = 0;
    int height = 0;
    io.Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
  }
  ~Context() { ImGui::DestroyContext(); }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;
};

void Notices(CZelFrameRate& meter) {
  meter.FrameDrawStartNotice();
  meter.FrameDrawEndNotice();
  meter.SwapCallNotice();
}

// One frame: the meter's notices and an ImGui frame with one window, whose
// contents `body` draws.
template <typename Body>
void Run(benchmark::State& state, Body body) {
  const Context context;
  const int length = static_cast<int>(state.range(0));
  CZelFrameRate meter(length);
  zel_imgui::FramePanel panel(static_cast<std::size_t>(length));
  const auto frame = [&] {
    Notices(meter);
    ImGui::NewFrame();
    ImGui::Begin("Frames");
    body(meter, panel);
    ImGui::End();
    ImGui::Render();
  };
  for (int i = 0; i < 4 * length + 120; ++i) frame();  // full histories, warm buffers
  panel.Refresh(meter, 60.0);                          // for the panel that draws only
  const long long before = allocations;
  for (auto _ : state) frame();
  state.counters["allocs/frame"] = benchmark::Counter(static_cast<double>(allocations - before),
                                                      benchmark::Counter::kAvgIterations);
}

void BM_ImGuiFrame(benchmark::State& state) {
  Run(state, [](CZelFrameRate&, zel_imgui::FramePanel&) { ImGui::TextUnformatted("frames"); });
}

// The panel as a host uses it: refreshed four times a second.
void BM_Panel(benchmark::State& state) {
  Run(state, [](CZelFrameRate& meter, zel_imgui::FramePanel& panel) {
    zel_imgui::ShowFramePanel(panel, meter, {60.0});
  });
}

// The panel refreshed every frame: a new view from the meter each time.
void BM_PanelEveryFrame(benchmark::State& state) {
  Run(state, [](CZelFrameRate& meter, zel_imgui::FramePanel& panel) {
    zel_imgui::FramePanelOptions options{60.0};
    options.refreshSeconds = 0.0;
    zel_imgui::ShowFramePanel(panel, meter, options);
  });
}

// The panel's drawing alone: refreshed once, before the timed frames.
void BM_PanelDrawOnly(benchmark::State& state) {
  Run(state, [](CZelFrameRate& meter, zel_imgui::FramePanel& panel) {
    zel_imgui::FramePanelOptions options{60.0};
    options.refreshSeconds = 1e9;
    zel_imgui::ShowFramePanel(panel, meter, options);
  });
}

// What a panel that summarised on every draw would pay before drawing
// anything: the swap history, in nanoseconds, through Summarize.
void BM_SummarizeEveryFrame(benchmark::State& state) {
  Run(state, [](CZelFrameRate& meter, zel_imgui::FramePanel&) {
    const std::vector<float> swaps = meter.GetSwapHistory();
    std::vector<std::int64_t> ns(swaps.size());
    for (std::size_t i = 0; i < swaps.size(); ++i)
      ns[i] = std::llround(static_cast<double>(swaps[i]) * 1e9);
    benchmark::DoNotOptimize(zel_analysis::Summarize(ns));
    ImGui::TextUnformatted("frames");
  });
}

// One refresh alone: the meter's copies, Summarize and the graph's layout.
void BM_Refresh(benchmark::State& state) {
  const int length = static_cast<int>(state.range(0));
  CZelFrameRate meter(length);
  for (int i = 0; i < 4 * length; ++i) Notices(meter);
  zel_imgui::FramePanel panel(static_cast<std::size_t>(length));
  for (auto _ : state) panel.Refresh(meter, 60.0);
}

BENCHMARK(BM_Refresh)->Arg(60)->Arg(1000);
BENCHMARK(BM_ImGuiFrame)->Arg(60)->Arg(1000);
BENCHMARK(BM_Panel)->Arg(60)->Arg(1000);
BENCHMARK(BM_PanelDrawOnly)->Arg(60)->Arg(1000);
BENCHMARK(BM_PanelEveryFrame)->Arg(60)->Arg(1000);
BENCHMARK(BM_SummarizeEveryFrame)->Arg(60)->Arg(1000);

}  // namespace

BENCHMARK_MAIN();
