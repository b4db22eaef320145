// One step of the about window's rain over a full-HD window (1920 x 1080: 240 columns, two
// drops in each), with a canvas that draws nothing: what the model itself costs per tick,
// besides the three cells per drop that the window draws.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "windows/rain.h"

namespace quillet {
namespace {

class MtRandom final : public RainRandom {
 public:
  std::int32_t Below(std::int32_t range) override {
    return range <= 0 ? 0 : std::uniform_int_distribution<std::int32_t>(0, range - 1)(engine_);
  }

 private:
  std::mt19937 engine_{20260101};
};

// Counts the cells so the compiler keeps the calls.
class NullCanvas final : public RainCanvas {
 public:
  void EraseCell(int, int) override { ++cells; }
  void DrawCharacter(int, int, char, RainColour) override { ++cells; }
  std::int64_t cells = 0;
};

void BM_RainStepFullHd(benchmark::State& state) {
  MtRandom random;
  RainModel rain("kal", random);
  rain.Start(1920, 1080);
  NullCanvas canvas;
  for (auto _ : state) rain.Step(canvas);
  benchmark::DoNotOptimize(canvas.cells);
  state.counters["drops"] = static_cast<double>(rain.Drops().size());
  state.counters["cells/step"] =
      benchmark::Counter(static_cast<double>(canvas.cells) / static_cast<double>(state.iterations()));
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(rain.Drops().size()));
}
BENCHMARK(BM_RainStepFullHd)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quillet
