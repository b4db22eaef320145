// The about window's rain of falling characters: the drop table, one animation step and the
// cells each step touches. Free of the window: the window hands in its size and a canvas and
// draws exactly the cells the model names, straight onto its surface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillet {

// One drop: its column (fixed for its life), the row of its head, its speed (the head moves on
// the ticks that are multiples of it, 1 to 3) and its brightness (0 to 99).
struct RainDrop {
  std::int32_t col = 0;
  std::int32_t row = 0;
  std::int32_t speed = 1;
  std::int32_t brightness = 0;
};

struct RainColour {
  std::uint8_t red = 0, green = 0, blue = 0;
  friend bool operator==(const RainColour&, const RainColour&) = default;
};

// The colour of a head of this brightness: b = brightness * 255 / 100, then red b * 150 / 255,
// green b and blue b * 100 / 255 (integer divisions).
RainColour RainBrightColour(std::int32_t brightness);
// The colour of the cell behind a head: the same from b / 3.
RainColour RainDimColour(std::int32_t brightness);

// Where the cells go. Coordinates are the top-left corner of an 8 x 12 pixel cell.
class RainCanvas {
 public:
  virtual ~RainCanvas() = default;
  // Fills the cell with black.
  virtual void EraseCell(int x, int y) = 0;
  // Draws one character in the colour, opaque on black.
  virtual void DrawCharacter(int x, int y, char character, RainColour colour) = 0;
};

// The rain's random numbers; the window uses a seeded generator, tests a scripted one.
class RainRandom {
 public:
  virtual ~RainRandom() = default;
  // An integer from 0 to range - 1, each equally likely; 0 when range is 0 or less.
  virtual std::int32_t Below(std::int32_t range) = 0;
};

class RainModel {
 public:
  static constexpr int kCharWidth = 8;
  static constexpr int kCharHeight = 12;
  static constexpr int kMaxDrops = 5000;
  static constexpr int kTailRows = 40;  // the trail is erased this many rows behind the head

  // text: the characters that fall (ASCII), each equally likely at every draw.
  RainModel(std::string text, RainRandom& random);

  // Starts the rain for a window of this outer size: the tick goes back to 0, the size is kept
  // for every later Reset, and the drops are laid out afresh.
  void Start(int windowWidth, int windowHeight);
  // Lays out the drops afresh from the size kept by Start: two drops in every column, each at
  // a random row with a random speed and brightness. The tick goes on counting.
  void Reset();
  // One tick: every drop, in table order, erases its tail cell, draws its dim and head cells
  // and moves on if the tick is a multiple of its speed, restarting at row 0 (same column, new
  // speed and brightness) once it has passed row MatrixHeight() + 1. Then the tick rises by one.
  void Step(RainCanvas& canvas);

  const std::vector<RainDrop>& Drops() const { return drops_; }
  std::int64_t Tick() const { return tick_; }
  int MatrixWidth() const { return matrixWidth_; }
  int MatrixHeight() const { return matrixHeight_; }

 private:
  void FillDrops();
  void AddDrop();
  void DrawDrop(const RainDrop& drop, char character, RainCanvas& canvas) const;

  std::string text_;
  RainRandom& random_;
  std::vector<RainDrop> drops_;
  std::int64_t tick_ = 0;
  int bitmapWidth_ = 0, bitmapHeight_ = 0;
  int matrixWidth_ = 0, matrixHeight_ = 0;
};

}  // namespace quillet
