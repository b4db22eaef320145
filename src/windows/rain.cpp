#include "windows/rain.h"

#include <utility>

namespace quillet {
namespace {

RainColour ColourOf(std::int32_t level) {
  return RainColour{static_cast<std::uint8_t>(level * 150 / 255), static_cast<std::uint8_t>(level),
                    static_cast<std::uint8_t>(level * 100 / 255)};
}

}  // namespace

RainColour RainBrightColour(std::int32_t brightness) { return ColourOf(brightness * 255 / 100); }

RainColour RainDimColour(std::int32_t brightness) { return ColourOf(brightness * 255 / 100 / 3); }

RainModel::RainModel(std::string text, RainRandom& random) : text_(std::move(text)), random_(random) {
  drops_.reserve(kMaxDrops);
}

void RainModel::Start(int windowWidth, int windowHeight) {
  tick_ = 0;
  bitmapWidth_ = windowWidth;
  bitmapHeight_ = windowHeight;
  Reset();
}

void RainModel::Reset() {
  matrixWidth_ = bitmapWidth_ > 0 ? bitmapWidth_ / kCharWidth : 0;
  matrixHeight_ = bitmapHeight_ > 0 ? bitmapHeight_ / kCharHeight : 0;
  FillDrops();
}

void RainModel::FillDrops() {
  drops_.clear();
  // A window narrower than one cell has no column to put a drop in.
  if (matrixWidth_ <= 0) return;
  for (int i = 0; i < 2 * matrixWidth_; ++i) AddDrop();
}

void RainModel::AddDrop() {
  if (drops_.size() >= static_cast<std::size_t>(kMaxDrops)) return;
  RainDrop drop;
  drop.col = static_cast<std::int32_t>(drops_.size() % static_cast<std::size_t>(matrixWidth_));
  drop.row = random_.Below(matrixHeight_);
  drop.speed = 1 + random_.Below(3);
  drop.brightness = random_.Below(100);
  drops_.push_back(drop);
}

void RainModel::Step(RainCanvas& canvas) {
  const auto length = static_cast<std::int32_t>(text_.size());
  for (RainDrop& drop : drops_) {
    const char character = length > 0 ? text_[static_cast<std::size_t>(random_.Below(length))] : ' ';
    DrawDrop(drop, character, canvas);
    if (tick_ % drop.speed == 0) {
      ++drop.row;
      if (drop.row > matrixHeight_ + 1) {
        drop.row = 0;
        drop.speed = 1 + random_.Below(3);
        drop.brightness = random_.Below(100);
      }
    }
  }
  ++tick_;
}

void RainModel::DrawDrop(const RainDrop& drop, char character, RainCanvas& canvas) const {
  const int x = drop.col * kCharWidth;
  // The tail runs round through the rows a head passes (0 to matrixHeight + 1), so in a window
  // of fewer than 40 rows it is erased on its way round.
  int tail = drop.row - kTailRows;
  while (tail < 0) tail += matrixHeight_ + 1;
  canvas.EraseCell(x, tail * kCharHeight);
  if (drop.row > 0) canvas.DrawCharacter(x, (drop.row - 1) * kCharHeight, character, RainDimColour(drop.brightness));
  canvas.DrawCharacter(x, drop.row * kCharHeight, character, RainBrightColour(drop.brightness));
}

}  // namespace quillet
