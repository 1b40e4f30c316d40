// Cost of one paint of the operator window's gauge, per kind, with and
// without the percentage text.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <cstdlib>

#include "ProgressGauge.h"

namespace {

using kv37::TProgressGauge;
using kv37::TProgressGaugeKind;

void BM_PaintUtilityGauge(benchmark::State& state) {
  TProgressGauge gauge;
  gauge.setGeometry(40, 288, 361, 25);
  gauge.SetForeColor(Qt::blue);
  gauge.SetMaxValue(511);
  gauge.SetProgress(256);
  gauge.SetKind(static_cast<TProgressGaugeKind>(state.range(0)));
  gauge.SetShowText(state.range(1) != 0);
  for (auto _ : state) benchmark::DoNotOptimize(gauge.PaintToImage());
  state.SetLabel(state.range(1) ? "with text" : "no text");
}
BENCHMARK(BM_PaintUtilityGauge)
    ->ArgNames({"kind", "text"})
    ->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

// A full on-screen paint: compose, then put the image on the widget.
void BM_RepaintShownUtilityGauge(benchmark::State& state) {
  TProgressGauge gauge;
  gauge.setGeometry(40, 288, 361, 25);
  gauge.SetForeColor(Qt::blue);
  gauge.SetMaxValue(511);
  gauge.show();
  QApplication::processEvents();
  int page = 0;
  for (auto _ : state) {
    gauge.AddProgress(page++ % 2 ? 5 : -5);  // always repaints
  }
}
BENCHMARK(BM_RepaintShownUtilityGauge)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", /*overwrite=*/0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
