// The about window's rain stepped tick by tick with a scripted random source: the drop table,
// the moves, the restart, the cells each step touches and their colours.
#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <vector>

#include "windows/rain.h"

namespace quillet {
namespace {

// Hands out scripted numbers in order (0 once the script is used up) and records every range
// asked for, so a test sees which draws the model makes and in which order.
class ScriptedRandom : public RainRandom {
 public:
  std::deque<std::int32_t> script;
  std::vector<std::int32_t> ranges;
  std::int32_t Below(std::int32_t range) override {
    ranges.push_back(range);
    if (script.empty()) return 0;
    const std::int32_t value = script.front();
    script.pop_front();
    EXPECT_LT(value, range) << "scripted value out of range";
    return value;
  }
};

struct Cell {
  enum Kind { kErase, kDraw } kind;
  int x, y;
  char character = 0;
  RainColour colour{};
  friend bool operator==(const Cell&, const Cell&) = default;
};

class RecordingCanvas : public RainCanvas {
 public:
  std::vector<Cell> cells;
  void EraseCell(int x, int y) override { cells.push_back({Cell::kErase, x, y}); }
  void DrawCharacter(int x, int y, char character, RainColour colour) override {
    cells.push_back({Cell::kDraw, x, y, character, colour});
  }
};

// A model with one column (a window 8 to 15 pixels wide) whose two drops are scripted.
struct OneColumn {
  ScriptedRandom random;
  RainModel model{"kal", random};
  // rows: matrixHeight; each drop: row, speed - 1, brightness.
  OneColumn(int rows, RainDrop first, RainDrop second) {
    random.script = {first.row, first.speed - 1, first.brightness, second.row, second.speed - 1, second.brightness};
    model.Start(8, rows * RainModel::kCharHeight + 5);
  }
};

// Steps the rain until the first drop's head is in `row`. A head passes the rows 0 to rows + 1
// and starts again, so it reaches any of them within one round; a model that takes two rounds
// is broken and fails here at once instead of being stepped forever.
::testing::AssertionResult WalkFirstDropTo(OneColumn& rain, int row, int rows) {
  const int limit = 2 * (rows + 2);
  for (int step = 0; step < limit; ++step) {
    if (rain.model.Drops().empty()) return ::testing::AssertionFailure() << "the model has no drops";
    if (rain.model.Drops()[0].row == row) return ::testing::AssertionSuccess();
    RecordingCanvas ignored;
    rain.model.Step(ignored);
  }
  return ::testing::AssertionFailure() << "the first drop did not reach row " << row << " in " << limit
                                       << " steps; it is in row " << rain.model.Drops()[0].row;
}

TEST(RainModel, EveryFillPutsTwoDropsInEachColumn) {
  std::mt19937 engine(7);
  struct Random : RainRandom {
    std::mt19937& engine;
    explicit Random(std::mt19937& e) : engine(e) {}
    std::int32_t Below(std::int32_t range) override {
      return range <= 0 ? 0 : std::uniform_int_distribution<std::int32_t>(0, range - 1)(engine);
    }
  } random(engine);
  for (const auto& [width, height] : std::vector<std::pair<int, int>>{{8, 12}, {462, 403}, {1920, 1080}, {15, 2000}, {19999, 50}}) {
    RainModel model("kal", random);
    model.Start(width, height);
    const int columns = width / 8;
    ASSERT_EQ(model.MatrixWidth(), columns);
    ASSERT_EQ(model.MatrixHeight(), height / 12);
    ASSERT_EQ(model.Drops().size(), 2u * columns) << width;
    std::vector<int> perColumn(columns);
    for (std::size_t i = 0; i < model.Drops().size(); ++i) {
      const RainDrop& drop = model.Drops()[i];
      EXPECT_EQ(drop.col, static_cast<int>(i % columns));
      EXPECT_GE(drop.row, 0);
      EXPECT_LT(drop.row, model.MatrixHeight());
      EXPECT_GE(drop.speed, 1);
      EXPECT_LE(drop.speed, 3);
      EXPECT_GE(drop.brightness, 0);
      EXPECT_LE(drop.brightness, 99);
      ++perColumn[drop.col];
    }
    for (int count : perColumn) EXPECT_EQ(count, 2);

    // A reset lays the drops out afresh from the size kept at the start, and the tick goes on.
    RecordingCanvas canvas;
    model.Step(canvas);
    model.Step(canvas);
    model.Reset();
    EXPECT_EQ(model.Tick(), 2);
    EXPECT_EQ(model.Drops().size(), 2u * columns);
    model.Start(width, height);
    EXPECT_EQ(model.Tick(), 0);
  }
}

TEST(RainModel, TheTableStopsAt5000Drops) {
  ScriptedRandom random;
  RainModel model("kal", random);
  model.Start(2501 * 8, 120);  // 2501 columns would want 5002 drops
  ASSERT_EQ(model.Drops().size(), 5000u);
  EXPECT_EQ(model.Drops().back().col, 4999 % 2501);
  // Every added drop asked for its row, speed and brightness; refused ones asked for nothing.
  EXPECT_EQ(random.ranges.size(), 3u * 5000);
}

TEST(RainModel, AWindowNarrowerThanACellHasNoDrops) {
  ScriptedRandom random;
  RainModel model("kal", random);
  RecordingCanvas canvas;
  for (int width : {0, 7, -20}) {
    model.Start(width, 300);
    EXPECT_TRUE(model.Drops().empty());
    model.Step(canvas);
  }
  EXPECT_TRUE(canvas.cells.empty());
}

TEST(RainModel, DrawsAtTheStartRowOnTheFirstTickThenMovesEveryDrop) {
  OneColumn rain(30, {0, 10, 3, 50}, {0, 20, 1, 99});
  ASSERT_EQ(rain.model.Drops()[0].row, 10);
  ASSERT_EQ(rain.model.Drops()[0].speed, 3);
  rain.random.script = {1, 2};  // the characters: "a" for the first drop, "l" for the second
  RecordingCanvas canvas;
  rain.model.Step(canvas);
  const std::vector<Cell> expected = {
      {Cell::kErase, 0, (10 - 40 + 31) * 12},  // the tail wraps through rows 0 to 30
      {Cell::kDraw, 0, 9 * 12, 'a', RainDimColour(50)},
      {Cell::kDraw, 0, 10 * 12, 'a', RainBrightColour(50)},
      {Cell::kErase, 0, (20 - 40 + 31) * 12},
      {Cell::kDraw, 0, 19 * 12, 'l', RainDimColour(99)},
      {Cell::kDraw, 0, 20 * 12, 'l', RainBrightColour(99)},
  };
  EXPECT_EQ(canvas.cells, expected);
  // Tick 0 is a multiple of every speed.
  EXPECT_EQ(rain.model.Drops()[0].row, 11);
  EXPECT_EQ(rain.model.Drops()[1].row, 21);
  EXPECT_EQ(rain.model.Tick(), 1);
}

TEST(RainModel, ASpeedThreeDropMovesOnMultiplesOfThreeAndRedrawsItsHeadBetween) {
  OneColumn rain(100, {0, 5, 3, 40}, {0, 50, 2, 40});
  std::vector<int> rowsDrawn, secondRows;
  for (int tick = 0; tick < 10; ++tick) {
    RecordingCanvas canvas;
    rain.model.Step(canvas);
    ASSERT_GE(canvas.cells.size(), 3u) << "tick " << tick;
    rowsDrawn.push_back(canvas.cells[2].y / 12);  // the head cell of the first drop
    secondRows.push_back(rain.model.Drops()[1].row);
  }
  EXPECT_EQ(rowsDrawn, (std::vector<int>{5, 6, 6, 6, 7, 7, 7, 8, 8, 8}));
  EXPECT_EQ(rain.model.Drops()[0].row, 9);
  EXPECT_EQ(secondRows, (std::vector<int>{51, 51, 52, 52, 53, 53, 54, 54, 55, 55}));
}

TEST(RainModel, ADropRestartsAtRowZeroInItsColumnAfterRowMatrixHeightPlusOne) {
  constexpr int kRows = 20;
  OneColumn rain(kRows, {0, 19, 1, 10}, {0, 0, 1, 10});
  RecordingCanvas canvas;
  rain.model.Step(canvas);  // 19 -> 20
  rain.model.Step(canvas);  // 20 -> 21 = matrixHeight + 1, still on
  ASSERT_EQ(rain.model.Drops()[0].row, kRows + 1);
  // The third tick: the first drop's character, its new speed and brightness, then the second
  // drop's character.
  rain.random.script = {0, 2, 77, 0};
  canvas.cells.clear();
  rain.model.Step(canvas);
  ASSERT_GE(canvas.cells.size(), 3u);
  EXPECT_EQ(canvas.cells[2], (Cell{Cell::kDraw, 0, (kRows + 1) * 12, 'k', RainBrightColour(10)}))
      << "the head is drawn in row matrixHeight + 1 before the restart";
  const RainDrop& restarted = rain.model.Drops()[0];
  EXPECT_EQ(restarted.row, 0);
  EXPECT_EQ(restarted.col, 0);
  EXPECT_EQ(restarted.speed, 3);
  EXPECT_EQ(restarted.brightness, 77);
  EXPECT_EQ(rain.random.ranges, (std::vector<std::int32_t>{20, 3, 100, 20, 3, 100, 3, 3, 3, 3, 3, 3, 100, 3}));

  // At row 0 the head has no dim cell: only the tail and the head are touched.
  canvas.cells.clear();
  rain.model.Step(canvas);
  ASSERT_EQ(canvas.cells.size(), 2u + 3u);
  EXPECT_EQ(canvas.cells[0].kind, Cell::kErase);
  EXPECT_EQ(canvas.cells[1], (Cell{Cell::kDraw, 0, 0, 'k', RainBrightColour(77)}));
}

TEST(RainModel, TheTailWrapsInAWindowOfFewerThanFortyRows) {
  // 10 rows: a head passes rows 0 to 11, so the tail of a head in row r is erased in row
  // (r - 40) raised by 11 until it is not negative.
  const struct {
    int row, tailRow;
  } cases[] = {{0, 4}, {5, 9}, {11, 4}, {7, 0}};
  for (const auto& c : cases) {
    OneColumn rain(10, {0, 0, 1, 1}, {0, 0, 1, 1});
    // Walk the first drop to its row; its cells come first in every step.
    ASSERT_TRUE(WalkFirstDropTo(rain, c.row, 10));
    RecordingCanvas canvas;
    rain.model.Step(canvas);
    ASSERT_FALSE(canvas.cells.empty()) << "head row " << c.row;
    EXPECT_EQ(canvas.cells[0], (Cell{Cell::kErase, 0, c.tailRow * 12})) << "head row " << c.row;
  }
}

TEST(RainModel, ColoursFollowTheBrightness) {
  EXPECT_EQ(RainBrightColour(0), (RainColour{0, 0, 0}));
  EXPECT_EQ(RainDimColour(0), (RainColour{0, 0, 0}));
  // b = 99 * 255 / 100 = 252: red 252 * 150 / 255 = 148, blue 252 * 100 / 255 = 98.
  EXPECT_EQ(RainBrightColour(99), (RainColour{148, 252, 98}));
  // d = 252 / 3 = 84: red 49, blue 32.
  EXPECT_EQ(RainDimColour(99), (RainColour{49, 84, 32}));
  EXPECT_EQ(RainBrightColour(50), (RainColour{74, 127, 49}));
}

TEST(RainModel, EachTickTouchesAtMostThreeCellsPerDropInsideItsColumn) {
  struct Random : RainRandom {
    std::mt19937 engine{11};
    std::int32_t Below(std::int32_t range) override {
      return range <= 0 ? 0 : std::uniform_int_distribution<std::int32_t>(0, range - 1)(engine);
    }
  } random;
  RainModel model("kal", random);
  model.Start(462, 403);
  for (int tick = 0; tick < 200; ++tick) {
    RecordingCanvas canvas;
    model.Step(canvas);
    EXPECT_LE(canvas.cells.size(), 3 * model.Drops().size());
    for (const Cell& cell : canvas.cells) {
      EXPECT_EQ(cell.x % 8, 0);
      EXPECT_LT(cell.x, model.MatrixWidth() * 8);
      EXPECT_GE(cell.y, 0);
      EXPECT_LE(cell.y, (model.MatrixHeight() + 1) * 12);
      if (cell.kind == Cell::kDraw) {
        EXPECT_NE(std::string("kal").find(cell.character), std::string::npos);
      }
    }
  }
}

}  // namespace
}  // namespace quillet
