#include "list/item_list.h"

#include <gtest/gtest.h>

#include "util/text.h"

namespace quillet {
namespace {

// Entries "0", "1", ... with entry k unchecked when k is in unchecked.
ItemList MakeList(int count, std::ptrdiff_t selected = -1, std::vector<int> unchecked = {}) {
  ItemList list;
  for (int k = 0; k < count; ++k) {
    list.Ekle(std::to_string(k), std::find(unchecked.begin(), unchecked.end(), k) == unchecked.end());
  }
  list.Select(selected);
  return list;
}

std::string Order(const ItemList& list) {
  std::string order;
  for (const Entry& entry : list.Entries()) order += entry.text;
  return order;
}

std::string Marks(const ItemList& list) {
  std::string marks;
  for (const Entry& entry : list.Entries()) marks += entry.checked ? 'x' : '-';
  return marks;
}

TEST(ItemListTest, EkleStoresTextsExactlyWithTheGivenMark) {
  ItemList list;
  list.Ekle("", true);
  list.Ekle("  a  ", false);
  list.Ekle("  a  ", true);
  ASSERT_EQ(list.Count(), 3u);
  EXPECT_EQ(list.At(0), (Entry{"", true}));
  EXPECT_EQ(list.At(1), (Entry{"  a  ", false}));
  EXPECT_EQ(list.At(2), (Entry{"  a  ", true}));
  EXPECT_EQ(list.Current(), -1);
}

TEST(ItemListTest, SelectOutsideTheListSelectsNothing) {
  ItemList list = MakeList(3, 1);
  list.Select(3);
  EXPECT_EQ(list.Current(), -1);
  list.Select(2);
  list.Select(-5);
  EXPECT_EQ(list.Current(), -1);
}

TEST(ItemListTest, CheckAllAndCheckNoneSetEveryMark) {
  ItemList list = MakeList(4, -1, {1, 3});
  list.CheckAll();
  EXPECT_EQ(Marks(list), "xxxx");
  list.CheckNone();
  EXPECT_EQ(Marks(list), "----");
  list.ToggleChecked(2);
  EXPECT_EQ(Marks(list), "--x-");
}

enum class Move { Up, Down, Top, Bottom };

struct MoveCase {
  const char* name;
  int count;
  std::ptrdiff_t selected;
  Move move;
  const char* order;
  std::ptrdiff_t current;
};

class MoveButtonTest : public testing::TestWithParam<MoveCase> {};

TEST_P(MoveButtonTest, MovesTheSelectedEntryAndSelectsItsNewPlace) {
  const MoveCase& c = GetParam();
  // Entry 1 unchecked, to see that marks travel with their entries.
  ItemList list = MakeList(c.count, c.selected, {1});
  const std::vector<Entry> before = list.Entries();
  switch (c.move) {
    case Move::Up: list.MoveUp(); break;
    case Move::Down: list.MoveDown(); break;
    case Move::Top: list.MoveTop(); break;
    case Move::Bottom: list.MoveBottom(); break;
  }
  EXPECT_EQ(Order(list), c.order);
  EXPECT_EQ(list.Current(), c.current);
  for (const Entry& entry : list.Entries()) EXPECT_EQ(entry.checked, entry.text != "1") << entry.text;
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, MoveButtonTest,
    testing::Values(MoveCase{"UpFromMiddle", 5, 2, Move::Up, "02134", 1},
                    MoveCase{"UpUncheckedEntry", 5, 1, Move::Up, "10234", 0},
                    MoveCase{"UpOnFirstStays", 5, 0, Move::Up, "01234", 0},
                    MoveCase{"DownFromMiddle", 5, 1, Move::Down, "02134", 2},
                    MoveCase{"DownOnLastStays", 5, 4, Move::Down, "01234", 4},
                    MoveCase{"TopShiftsTheOthersDown", 5, 3, Move::Top, "30124", 0},
                    MoveCase{"TopOnFirstStays", 5, 0, Move::Top, "01234", 0},
                    MoveCase{"BottomShiftsTheOthersUp", 5, 1, Move::Bottom, "02341", 4},
                    MoveCase{"BottomOnLastStays", 5, 4, Move::Bottom, "01234", 4},
                    MoveCase{"SingleEntryDown", 1, 0, Move::Down, "0", 0},
                    MoveCase{"UpWithoutSelection", 5, -1, Move::Up, "01234", -1},
                    MoveCase{"DownWithoutSelection", 5, -1, Move::Down, "01234", -1},
                    MoveCase{"TopWithoutSelection", 5, -1, Move::Top, "01234", -1},
                    MoveCase{"BottomWithoutSelection", 5, -1, Move::Bottom, "01234", -1},
                    MoveCase{"DownOnEmptyList", 0, -1, Move::Down, "", -1},
                    MoveCase{"BottomOnEmptyList", 0, -1, Move::Bottom, "", -1}),
    [](const testing::TestParamInfo<MoveCase>& p) { return p.param.name; });

enum class Removal { ContextMenu, ButtonOrDeleteKey };

struct RemoveCase {
  const char* name;
  int count;
  std::ptrdiff_t selected;
  Removal removal;
  const char* order;
  std::ptrdiff_t current;
};

class RemoveTest : public testing::TestWithParam<RemoveCase> {};

TEST_P(RemoveTest, RemovesTheSelectedEntry) {
  const RemoveCase& c = GetParam();
  ItemList list = MakeList(c.count, c.selected);
  if (c.removal == Removal::ContextMenu) {
    list.DeleteSelected();
  } else {
    list.RemoveSelected();
  }
  EXPECT_EQ(Order(list), c.order);
  EXPECT_EQ(list.Current(), c.current);
}

INSTANTIATE_TEST_SUITE_P(
    Removals, RemoveTest,
    testing::Values(RemoveCase{"ButtonSelectsTheFollower", 4, 1, Removal::ButtonOrDeleteKey, "023", 1},
                    RemoveCase{"ButtonOnLastSelectsNewLast", 4, 3, Removal::ButtonOrDeleteKey, "012", 2},
                    RemoveCase{"ButtonOnOnlyEntryLeavesNothing", 1, 0, Removal::ButtonOrDeleteKey, "", -1},
                    RemoveCase{"ButtonWithoutSelection", 3, -1, Removal::ButtonOrDeleteKey, "012", -1},
                    RemoveCase{"ButtonOnEmptyList", 0, -1, Removal::ButtonOrDeleteKey, "", -1},
                    RemoveCase{"ContextMenuLeavesNothingSelected", 4, 1, Removal::ContextMenu, "023", -1},
                    RemoveCase{"ContextMenuOnLast", 4, 3, Removal::ContextMenu, "012", -1},
                    RemoveCase{"ContextMenuWithoutSelection", 3, -1, Removal::ContextMenu, "012", -1}),
    [](const testing::TestParamInfo<RemoveCase>& p) { return p.param.name; });

TEST(ItemListTest, RemoveAllEmptiesTheList) {
  ItemList list = MakeList(3, 2);
  list.RemoveAll();
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(list.Current(), -1);
}

struct DropCase {
  const char* name;
  std::ptrdiff_t selected;
  std::ptrdiff_t dropIndex;
  const char* order;
  std::ptrdiff_t current;
};

class DropTest : public testing::TestWithParam<DropCase> {};

TEST_P(DropTest, PutsTheDraggedEntryInFrontOfTheEntryUnderThePointer) {
  const DropCase& c = GetParam();
  ItemList list = MakeList(5, c.selected, {1});
  list.DropSelectedAt(c.dropIndex);
  EXPECT_EQ(Order(list), c.order);
  EXPECT_EQ(list.Current(), c.current);
  // A dragged entry keeps its check mark, as with the move buttons.
  for (const Entry& entry : list.Entries()) EXPECT_EQ(entry.checked, entry.text != "1") << entry.text;
}

INSTANTIATE_TEST_SUITE_P(
    Drops, DropTest,
    testing::Values(DropCase{"DownOntoIndex3", 1, 3, "02134", 2},
                    DropCase{"BelowTheLastEntry", 1, 5, "02341", 4},
                    DropCase{"UpOntoIndex1", 3, 1, "03124", 1},
                    DropCase{"OntoTheFirst", 4, 0, "40123", 0},
                    DropCase{"OntoItself", 1, 1, "01234", 1},
                    DropCase{"OntoTheNextEntry", 1, 2, "01234", 1},
                    DropCase{"LastBelowItself", 4, 5, "01234", 4},
                    DropCase{"OutsideTheList", 1, -1, "01234", 1},
                    DropCase{"NothingSelected", -1, 3, "01234", -1}),
    [](const testing::TestParamInfo<DropCase>& p) { return p.param.name; });

TEST(CopyPasteTest, CopyEndsEveryTextWithCrLfAndIgnoresMarks) {
  ItemList list;
  EXPECT_EQ(list.CopyText(), "");
  list.Ekle("C:\\a b.txt", true);
  list.Ekle("http://x", false);
  list.Ekle("", true);
  EXPECT_EQ(list.CopyText(), "C:\\a b.txt\r\nhttp://x\r\n\r\n");
}

TEST(CopyPasteTest, PasteAppendsOneCheckedEntryPerLine) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"a\r\n\r\nb\r\n", {"a", "", "b"}},
      {"a\nb\rc", {"a", "b", "c"}},
      {"  padded  \r\n", {"  padded  "}},
      {"\r\n", {""}},
      {"", {}},
  };
  for (const auto& [text, expected] : cases) {
    ItemList list;
    list.Ekle("old", false);
    list.Paste(text);
    ASSERT_EQ(list.Count(), expected.size() + 1) << testing::PrintToString(text);
    EXPECT_EQ(list.At(0), (Entry{"old", false}));
    for (std::size_t k = 0; k < expected.size(); ++k) EXPECT_EQ(list.At(k + 1), (Entry{expected[k], true}));
  }
}

TEST(CopyPasteTest, ClipboardTextWithUnpairedSurrogatesRoundTrips) {
  // The clipboard holds UTF-16; a lone surrogate must survive copy and paste unchanged.
  const std::wstring clipboard = {L'a', 0xD800, L'\r', L'\n', 0xDC00, L'b', 0x4E2D, L'\r', L'\n'};
  ItemList source;
  source.Paste(Narrow(clipboard));
  ASSERT_EQ(source.Count(), 2u);
  EXPECT_EQ(Widen(source.CopyText()), clipboard);

  ItemList target;
  target.Paste(Narrow(Widen(source.CopyText())));
  EXPECT_EQ(target.Entries(), source.Entries());
}

TEST(ItemListTest, EveryChangeBumpsTheRevisionAndOnlyASelectionLeavesTheEntriesRevision) {
  ItemList list = MakeList(3, 1);
  std::uint64_t last = list.Revision();
  const std::vector<std::function<void(ItemList&)>> changes = {
      [](ItemList& l) { l.Ekle("x", true); },  [](ItemList& l) { l.SetChecked(0, false); },
      [](ItemList& l) { l.CheckAll(); },       [](ItemList& l) { l.MoveDown(); },
      [](ItemList& l) { l.MoveTop(); },        [](ItemList& l) { l.DropSelectedAt(3); },
      [](ItemList& l) { l.Paste("p"); },       [](ItemList& l) { l.RemoveSelected(); },
      [](ItemList& l) { l.RemoveAll(); },
  };
  std::uint64_t lastEntries = list.EntriesRevision();
  for (const auto& change : changes) {
    change(list);
    EXPECT_GT(list.Revision(), last);
    EXPECT_GT(list.EntriesRevision(), lastEntries);
    last = list.Revision();
    lastEntries = list.EntriesRevision();
  }
  // A new selection is redrawn, but the entries are as they were.
  list.Ekle("y", true);
  lastEntries = list.EntriesRevision();
  list.Select(0);
  EXPECT_GT(list.Revision(), last);
  EXPECT_EQ(list.EntriesRevision(), lastEntries);
}

struct TextRevisionCase {
  const char* name;
  std::ptrdiff_t selected;  // in a list of five entries "0".."4"
  std::function<void(ItemList&)> change;
  bool textsMayChange;
};

class TextRevisionTest : public testing::TestWithParam<TextRevisionCase> {};

// The remembered-list timer trusts an unchanged TextRevision to mean unchanged texts: every
// change of texts or order must move it, and marks, selection and no-op moves must not (they
// would cost a full comparison of the list on the next tick).
TEST_P(TextRevisionTest, MovesExactlyWhenTextsOrOrderChange) {
  const TextRevisionCase& c = GetParam();
  ItemList list = MakeList(5, c.selected, {1});
  const std::vector<Entry> before = list.Entries();
  const std::uint64_t revision = list.Revision();
  const std::uint64_t textRevision = list.TextRevision();
  c.change(list);
  EXPECT_GT(list.Revision(), revision);
  EXPECT_EQ(list.TextRevision() != textRevision, c.textsMayChange);
  if (!c.textsMayChange) {
    ASSERT_EQ(list.Count(), before.size());
    for (std::size_t k = 0; k < before.size(); ++k) EXPECT_EQ(list.At(k).text, before[k].text);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Operations, TextRevisionTest,
    testing::Values(
        TextRevisionCase{"Ekle", -1, [](ItemList& l) { l.Ekle("x", true); }, true},
        TextRevisionCase{"EkleEmptyText", -1, [](ItemList& l) { l.Ekle("", false); }, true},
        TextRevisionCase{"Paste", -1, [](ItemList& l) { l.Paste("a\r\nb"); }, true},
        TextRevisionCase{"PasteNothing", -1, [](ItemList& l) { l.Paste(""); }, false},
        TextRevisionCase{"Append", -1, [](ItemList& l) { l.Append({Entry{"a", true}, Entry{"b", false}}); }, true},
        TextRevisionCase{"AppendNothing", -1, [](ItemList& l) { l.Append({}); }, false},
        TextRevisionCase{"ReplaceAll", 2, [](ItemList& l) { l.ReplaceAll({Entry{"a", true}}); }, true},
        TextRevisionCase{"DeleteSelected", 2, [](ItemList& l) { l.DeleteSelected(); }, true},
        TextRevisionCase{"DeleteWithoutSelection", -1, [](ItemList& l) { l.DeleteSelected(); }, false},
        TextRevisionCase{"RemoveSelected", 2, [](ItemList& l) { l.RemoveSelected(); }, true},
        TextRevisionCase{"RemoveWithoutSelection", -1, [](ItemList& l) { l.RemoveSelected(); }, false},
        TextRevisionCase{"RemoveAll", -1, [](ItemList& l) { l.RemoveAll(); }, true},
        TextRevisionCase{"MoveUp", 2, [](ItemList& l) { l.MoveUp(); }, true},
        TextRevisionCase{"MoveUpOnFirst", 0, [](ItemList& l) { l.MoveUp(); }, false},
        TextRevisionCase{"MoveDown", 2, [](ItemList& l) { l.MoveDown(); }, true},
        TextRevisionCase{"MoveDownOnLast", 4, [](ItemList& l) { l.MoveDown(); }, false},
        TextRevisionCase{"MoveTop", 2, [](ItemList& l) { l.MoveTop(); }, true},
        TextRevisionCase{"MoveTopOnFirst", 0, [](ItemList& l) { l.MoveTop(); }, false},
        TextRevisionCase{"MoveBottom", 2, [](ItemList& l) { l.MoveBottom(); }, true},
        TextRevisionCase{"MoveBottomOnLast", 4, [](ItemList& l) { l.MoveBottom(); }, false},
        TextRevisionCase{"Drop", 1, [](ItemList& l) { l.DropSelectedAt(4); }, true},
        TextRevisionCase{"DropOntoItself", 1, [](ItemList& l) { l.DropSelectedAt(2); }, false},
        TextRevisionCase{"SetChecked", -1, [](ItemList& l) { l.SetChecked(0, false); }, false},
        TextRevisionCase{"ToggleChecked", -1, [](ItemList& l) { l.ToggleChecked(1); }, false},
        TextRevisionCase{"CheckAll", -1, [](ItemList& l) { l.CheckAll(); }, false},
        TextRevisionCase{"CheckNone", -1, [](ItemList& l) { l.CheckNone(); }, false},
        TextRevisionCase{"Select", -1, [](ItemList& l) { l.Select(3); }, false}),
    [](const testing::TestParamInfo<TextRevisionCase>& p) { return p.param.name; });

TEST(ItemListTest, AppendAddsAfterTheEntriesInOrderWithTheirMarks) {
  ItemList list = MakeList(2, 1);
  list.Append({Entry{"a", false}, Entry{"", true}});
  EXPECT_EQ(list.Entries(), (std::vector<Entry>{{"0", true}, {"1", true}, {"a", false}, {"", true}}));
  EXPECT_EQ(list.Current(), 1);

  ItemList empty;
  empty.Append({Entry{"b", false}});
  EXPECT_EQ(empty.Entries(), (std::vector<Entry>{{"b", false}}));
}

TEST(ItemListTest, ReplaceAllSelectsNothing) {
  ItemList list = MakeList(3, 2);
  list.ReplaceAll({Entry{"a", false}, Entry{"b", true}});
  EXPECT_EQ(list.Entries(), (std::vector<Entry>{{"a", false}, {"b", true}}));
  EXPECT_EQ(list.Current(), -1);
  list.ReplaceAll({});
  EXPECT_EQ(list.Count(), 0u);
}

}  // namespace
}  // namespace quillet
