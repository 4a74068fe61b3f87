// What one packet costs the drawing layer on a 1920 x 1080 surface, with the DC opened, the
// objects selected and restored and the DC released inside every iteration, as the view does.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <memory>
#include <string>

#include "gdi/Gdi.h"

namespace {

gdi::Surface& Screen() {
  static gdi::Surface surface(1920, 1080);
  return surface;
}

// The trace: a fresh pen per segment, clipped to the trace area.
void Segment(benchmark::State& state, int width) {
  gdi::Surface& s = Screen();
  const gdi::Region traceArea(0, 0, 1920 - 150, 1080 - 50);
  int i = 0;
  for (auto _ : state) {
    const int x = 200 + (i * 7) % 1200, y = 200 + (i * 13) % 600;
    ++i;
    gdi::DC dc(s);
    dc.SelectClipRgn(&traceArea);
    gdi::Pen pen(width, 0x000000);
    const gdi::Pen* previous = dc.SelectObject(&pen);
    dc.MoveTo(x, y);
    dc.LineTo(x + 50, y + 20);  // 50 pixels along its major axis
    dc.SelectObject(previous);
    benchmark::DoNotOptimize(dc.DirtyRect());
  }
}

void BM_OnePixelSegment50(benchmark::State& state) {
  Segment(state, 1);
}
void BM_WideSegment50(benchmark::State& state) {
  Segment(state, 50);
}

void BM_Ellipse30(benchmark::State& state) {
  gdi::Surface& s = Screen();
  const gdi::Brush grey(0xC0C0C0);
  const gdi::Pen black(1, 0);
  for (auto _ : state) {
    gdi::DC dc(s);
    const gdi::Pen* pen = dc.SelectObject(&black);
    const gdi::Brush* brush = dc.SelectObject(&grey);
    dc.Ellipse(1000, 500, 1030, 530);
    dc.SelectObject(pen);
    dc.SelectObject(brush);
    benchmark::DoNotOptimize(dc.DirtyRect());
  }
}

void TextOut77(benchmark::State& state, const gdi::Font& font) {
  gdi::Surface& s = Screen();
  const std::string text =
      "Serial  tablet  test  program  ( Version : 1.1 )  >>>>  F1 : Mode , F3 : Clear ,";
  const std::string_view t77(text.data(), 77);
  for (auto _ : state) {
    gdi::DC dc(s);
    const gdi::Font* previous = dc.SelectObject(&font);
    dc.SetTextColor(0xFFFFFF);
    dc.SetBkColor(0x000000);
    dc.TextOut(20, 900, t77);
    dc.SelectObject(previous);
    benchmark::DoNotOptimize(dc.DirtyRect());
  }
}

void BM_TextOut77SystemFont(benchmark::State& state) {
  TextOut77(state, gdi::Font::System());
}

// The mode screens' font on a 1920-pixel screen: a 64-pixel cell, 64 pixels wide on average.
void BM_TextOut77CellFont(benchmark::State& state) {
  static const auto font = gdi::Font::Create(64, 64, "Microsoft Sans Serif");
  TextOut77(state, *font);
}

// Not per packet, but paid once per font at layout time.
void BM_CreateCellFont(benchmark::State& state) {
  for (auto _ : state) {
    auto font = gdi::Font::Create(64, 64, "Microsoft Sans Serif");
    benchmark::DoNotOptimize(font.get());
  }
  state.SetLabel("once per layout");
}

BENCHMARK(BM_OnePixelSegment50);
BENCHMARK(BM_WideSegment50);
BENCHMARK(BM_Ellipse30);
BENCHMARK(BM_TextOut77SystemFont);
BENCHMARK(BM_TextOut77CellFont);
BENCHMARK(BM_CreateCellFont)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  (void)gdi::Font::System();  // made before timing, as the view's first paint does
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
