// The grid's questions to the table, asked of plain tables without a
// window: status text, undo captions of typing, drag frames, scrolling.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/TableCommands.h"
#include "forms/grid/GridQueries.h"
#include "model/TableEdit.h"
#include "model/Tables.h"

namespace {

void Build(TTable& t, int rows, int cols) {
  for (int c = 0; c < cols; ++c) new TColumn(t);
  for (int r = 0; r < rows; ++r) t.AddRow();
}

TEST(GridQueries, StatusText) {
  TTable t;
  Build(t, 3, 5);
  EXPECT_EQ(StatusText(t), "");
  t.CurrentCell = t.GetCell(0, 0);
  EXPECT_EQ(StatusText(t), " Col: 1   Row: 1");
  // Starts in the second column of the third row, spans three columns.
  for (int k = 1; k <= 3; ++k) t.SelectCell(t.GetCell(2, k));
  const TCommandResult joined = JoinOrSplit(t);
  ASSERT_EQ(joined.Current, ccCell);
  t.CurrentCell = joined.Cell;
  EXPECT_EQ(StatusText(t), " Col: 2-4   Row: 3");
  // A block names the rows it covers as well.
  t.CurrentCell = JoinCells(t, {0, 0, 0, 1});
  EXPECT_EQ(StatusText(t), " Col: 1   Row: 1-2");
  t.CurrentCell = JoinCells(t, {1, 1, 4, 2});
  EXPECT_EQ(StatusText(t), " Col: 2-5   Row: 2-3");
}

TEST(GridQueries, TypingCaption) {
  struct Case {
    std::string Text, Caption;
  };
  const Case cases[] = {
      {"", "Typing"},
      {"a", "Typing a"},
      {"0123456789", "Typing 0123456789"},
      {"0123456789a", "Typing 0123456789..."},
      {"0123456789ab", "Typing 0123456789..."},
      // Ten characters of two, three and four bytes are kept whole.
      {"\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4",
       "Typing \xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4"},
      {"123456789\xE2\x82\xAC!", "Typing 123456789\xE2\x82\xAC..."},
      {"12345678\xF0\x9F\x98\x80\xF0\x9F\x98\x80x", "Typing 12345678\xF0\x9F\x98\x80\xF0\x9F\x98\x80..."},
      // Damaged text: stray continuation bytes go at most four to a character.
      {std::string(12, '\x80'), "Typing " + std::string(12, '\x80')},
      {std::string(44, '\x80'), "Typing " + std::string(40, '\x80') + "..."},
  };
  for (const Case& c : cases) EXPECT_EQ(TypingCaption(c.Text), c.Caption) << c.Text;
}

// Control characters of a caption show as blanks, one each; every other
// character, multi-byte ones included, stays.
TEST(GridQueries, ShownCaption) {
  struct Case {
    std::string Caption, Shown;
  };
  const Case cases[] = {
      {"Typing a\tb", "Typing a b"},
      {"Typing \r\n\x01\x7F", "Typing     "},
      {"Typing \xC2\x85x\xC2\x9F", "Typing  x "},                    // C1 controls in UTF-8
      {"Typing \xC2\xA0\xC3\xA4\xE2\x82\xAC", "Typing \xC2\xA0\xC3\xA4\xE2\x82\xAC"},  // not controls
      {"Typing \xC2", "Typing \xC2"},                                    // a cut character
  };
  for (const Case& c : cases) EXPECT_EQ(ShownCaption(c.Caption), c.Shown) << c.Caption;
}

TEST(GridQueries, DragRectangles) {
  struct Case {
    TRect Drag, Normalized;
    bool Frame;
  };
  const Case cases[] = {
      {{10, 10, 10, 10}, {10, 10, 12, 12}, false},  // a press: both corner pixels, 2 x 2
      {{10, 10, 15, 15}, {10, 10, 16, 16}, false},  // 5 pixels away: 6 wide, no frame
      {{10, 10, 16, 10}, {10, 10, 17, 12}, true},   // 6 pixels away: 7 wide
      {{20, 30, 14, 30}, {14, 30, 21, 32}, true},   // dragged left
      {{20, 30, 20, 24}, {20, 24, 22, 31}, true},   // dragged up
      {{20, 30, 15, 25}, {15, 25, 21, 31}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NormalizeDragRect(c.Drag), c.Normalized) << c.Drag.Left << "," << c.Drag.Top;
    EXPECT_EQ(DragFrameVisible(NormalizeDragRect(c.Drag)), c.Frame) << c.Drag.Left << "," << c.Drag.Top;
  }
}

TEST(GridQueries, AutoScrollSteps) {
  struct Case {
    int Pos, Size, Minimum, Step;
  };
  const Case cases[] = {
      {510, 500, 16, 16},   {600, 500, 16, 50},  {501, 500, 16, 0},   {500, 500, 16, 0},
      {0, 500, 16, 0},      {-10, 500, 16, -16}, {-100, 500, 16, -50}, {-1, 500, 16, 0},
      {301, 300, 0, 0},     {303, 300, 0, 1},    {-3, 300, 0, -1},    {340, 300, 0, 20},
  };
  for (const Case& c : cases)
    EXPECT_EQ(AutoScrollStep(Overshoot(c.Pos, c.Size), c.Minimum), c.Step) << c.Pos << " in " << c.Size;
}

TEST(GridQueries, MarginPointers) {
  TTable t;
  t.PixelWidth = 100;
  t.PixelHeight = 60;  // margin 8: inner area x 8..91, y 8..51
  struct Case {
    int X, Y;
    TGridPointer Pointer;
  };
  const Case cases[] = {
      {50, 30, crGridDefault}, {7, 30, crRow},         {8, 30, crGridDefault}, {92, 30, crRow2},
      {50, 7, crCol},          {50, 52, crCol2},       {91, 51, crGridDefault}, {3, 3, crGridDefault},
      {95, 55, crGridDefault}, {7, 8, crRow},          {8, 7, crCol},
  };
  for (const Case& c : cases) EXPECT_EQ(PointerAt(t, c.X, c.Y), c.Pointer) << c.X << "," << c.Y;
}

TEST(GridQueries, ScrollToShow) {
  struct Case {
    int Pos, View, Lo, Hi, Expected;
  };
  const Case cases[] = {
      {0, 100, 10, 50, 0},      // already visible
      {50, 100, 10, 40, 10},    // left of the view: near edge to the border
      {0, 100, 90, 130, 30},    // beyond the right: far edge to the border
      {0, 100, 90, 250, 90},    // wider than the view: its start
      {40, 100, 40, 140, 40},   // exactly filling the view
      {200, 100, 0, 16, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ScrollToShow(c.Pos, c.View, c.Lo, c.Hi), c.Expected) << c.Pos << " " << c.Lo << "-" << c.Hi;
}

}  // namespace
