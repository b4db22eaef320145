// The item list with a million entries: what every list command costs at that size.
#include <benchmark/benchmark.h>

#include <string>

#include "list/item_list.h"

namespace quillet {
namespace {

constexpr int kEntries = 1'000'000;

ItemList MakeList(int count) {
  ItemList list;
  for (int k = 0; k < count; ++k) list.Ekle("C:\\Users\\someone\\Documents\\file" + std::to_string(k) + ".txt", true);
  return list;
}

void BM_ItemListAdd(benchmark::State& state) {
  for (auto _ : state) {
    ItemList list = MakeList(static_cast<int>(state.range(0)));
    benchmark::DoNotOptimize(list.Count());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ItemListAdd)->Arg(kEntries)->Unit(benchmark::kMillisecond);

// Top then Bottom on the middle entry: two shifts of half the list each.
void BM_ItemListMoveTopBottom(benchmark::State& state) {
  ItemList list = MakeList(kEntries);
  for (auto _ : state) {
    list.Select(kEntries / 2);
    list.MoveTop();
    list.MoveBottom();
  }
}
BENCHMARK(BM_ItemListMoveTopBottom)->Unit(benchmark::kMillisecond);

void BM_ItemListMoveUpDown(benchmark::State& state) {
  ItemList list = MakeList(kEntries);
  list.Select(kEntries / 2);
  for (auto _ : state) {
    list.MoveUp();
    list.MoveDown();
  }
}
BENCHMARK(BM_ItemListMoveUpDown);

// Dragging the first entry below the last and back.
void BM_ItemListDrop(benchmark::State& state) {
  ItemList list = MakeList(kEntries);
  for (auto _ : state) {
    list.Select(0);
    list.DropSelectedAt(kEntries);
    list.DropSelectedAt(0);
  }
}
BENCHMARK(BM_ItemListDrop)->Unit(benchmark::kMillisecond);

// Removing the middle entry and adding one back keeps the size steady.
void BM_ItemListRemoveSelected(benchmark::State& state) {
  ItemList list = MakeList(kEntries);
  for (auto _ : state) {
    list.Select(kEntries / 2);
    list.RemoveSelected();
    list.Ekle("C:\\again.txt", true);
  }
}
BENCHMARK(BM_ItemListRemoveSelected)->Unit(benchmark::kMillisecond);

// The remembered-list timer compares the list's text with its snapshot every second.
void BM_ItemListCopyText(benchmark::State& state) {
  const ItemList list = MakeList(kEntries);
  for (auto _ : state) benchmark::DoNotOptimize(list.CopyText());
}
BENCHMARK(BM_ItemListCopyText)->Unit(benchmark::kMillisecond);

void BM_ItemListCompareEntries(benchmark::State& state) {
  const ItemList list = MakeList(kEntries);
  const std::vector<Entry> snapshot = list.Entries();
  for (auto _ : state) benchmark::DoNotOptimize(snapshot == list.Entries());
}
BENCHMARK(BM_ItemListCompareEntries)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quillet
