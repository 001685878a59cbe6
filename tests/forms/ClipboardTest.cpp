// Copy and Paste through the window's commands and the system clipboard:
// the text that travels, the growth and splitting of Paste, its undo step,
// and what the editor shows afterwards.
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "common/gui/WindowFixture.h"

namespace {

using Cells = std::vector<std::pair<int, int>>;

class ClipboardTest : public WindowFixture {
 protected:
  static QClipboard* Clipboard() { return QGuiApplication::clipboard(); }
  static std::string ClipboardBytes() { return Clipboard()->text().toUtf8().toStdString(); }
};

TEST_F(ClipboardTest, CopyPutsTheSelectionsText) {
  JoinCells(0, 0, 2);  // row 0: A over columns 0 and 1, then c, then d
  const std::vector<std::vector<std::string>> texts = {
      {"A", "c", "\xE2\x82\xAC"}, {"d", "e", "f", "g"}, {"h", "i", "j", "k"}, {"l", "m", "n", "o"}};
  for (size_t r = 0; r < texts.size(); ++r)
    for (size_t j = 0; j < texts[r].size(); ++j)
      (*Table().Rows[static_cast<int>(r)])[static_cast<int>(j)]->SetText(texts[r][j]);
  Form->RefreshGrid();

  struct Case {
    const char* Name;
    std::function<void()> Select;
    std::string Expected;
  };
  const Case cases[] = {
      {"a dragged block",
       [&] {
         Press(Centre(Cell(0, 0)));
         Drag(Centre(Cell(1, 2)));
         Release(Centre(Cell(1, 2)));
       },
       "A\t\tc\r\nd\te\tf"},
      {"rows 1 and 3",
       [&] {
         Table().ClearSelection();
         Table().SelectRow(1);
         Table().SelectRow(3);
       },
       "d\te\tf\tg\r\nl\tm\tn\to"},
      {"columns 1 and 3, UTF-8 as it is",
       [&] {
         Table().ClearSelection();
         Table().SelectColumn(1);
         Table().SelectColumn(3);
       },
       "\t\xE2\x82\xAC\r\ne\tg\r\ni\tk\r\nm\to"},
  };
  for (const Case& c : cases) {
    c.Select();
    ASSERT_TRUE(Run(Form->bCopy)) << c.Name;
    EXPECT_EQ(ClipboardBytes(), c.Expected) << c.Name;
  }
  EXPECT_EQ(Clipboard()->text(), QString::fromUtf8("\t\u20AC\r\ne\tg\r\ni\tk\r\nm\to"));

  // Nothing selected: the clipboard keeps what it had.
  Clipboard()->setText("before");
  Table().ClearSelection();
  Form->CopySelectionAsText();
  EXPECT_EQ(ClipboardBytes(), "before");
  // The editor has the focus: Copy waits.
  Form->SetCurrentCell(Cell(1, 1));
  Table().SelectCell(Cell(1, 1));
  Form->Editor->setFocus();
  EXPECT_FALSE(Run(Form->bCopy));
}

TEST_F(ClipboardTest, PasteGrowsTheTableAndSelectsTheBlock) {
  Table().ClearSelection();
  Table().SelectCell(Cell(3, 3));
  Form->SetCurrentCell(Cell(3, 3));
  Clipboard()->setText("1\t2\r\n3\t4\r\n5\t6\r\n");
  const int steps = UndoCount();
  ASSERT_TRUE(Run(Form->bPaste));
  EXPECT_EQ(Table().ColCount(), 5);
  EXPECT_EQ(Table().RowCount(), 6);
  EXPECT_EQ(SelectedCells(), Block(3, 3, 5, 4));
  EXPECT_EQ(Cell(5, 4)->Text(), "6");
  EXPECT_EQ(UndoCount(), steps + 1);
  EXPECT_EQ(UndoCaption(0), "Paste from clipboard");
  EXPECT_EQ(Table().CurrentCell, Cell(3, 3));
  EXPECT_EQ(Form->Editor->text(), "1") << "the editor shows the current cell's new text";
  EXPECT_GT(Cell(5, 4)->BoundsRect.Left, Cell(5, 3)->BoundsRect.Left) << "the grown table is laid out";
  // Undo takes the whole paste back.
  Form->bUndoClick();
  EXPECT_EQ(Table().ColCount(), 4);
  EXPECT_EQ(Table().RowCount(), 4);
}

// If Paste as Plain Text did not escape, or escaped into the plain Paste,
// or were offered without text on the clipboard, this fails.
TEST_F(ClipboardTest, PasteAsPlainTextEscapesOnlyThere) {
  Table().ClearSelection();
  Table().SelectCell(Cell(0, 0));
  Clipboard()->setText("50%\tx_1");
  ASSERT_TRUE(Run(Form->mnPastePlain));
  EXPECT_EQ(Cell(0, 0)->Text(), "50\\%");
  EXPECT_EQ(Cell(0, 1)->Text(), "x\\_1");
  EXPECT_EQ(UndoCaption(0), "Paste as plain text");
  ASSERT_TRUE(Run(Form->bPaste));
  EXPECT_EQ(Cell(0, 0)->Text(), "50%");
  Clipboard()->clear();
  Form->UpdateCommandStates();
  EXPECT_FALSE(Form->mnPastePlain->isEnabled());
}

TEST_F(ClipboardTest, PasteSplitsJoinedCellsAndTakesUTF8) {
  TCell* joined = JoinCells(1, 0, 3);  // columns 0 to 2 of row 1
  joined->Align = 'r';
  joined->RuleRight = 1;
  Table().ClearSelection();
  Table().SelectColumn(1);
  Clipboard()->setText(QString::fromUtf8("x\r\n\xC3\xA4"));
  ASSERT_TRUE(Run(Form->bPaste));
  // A whole column selected: the block starts at its top.
  EXPECT_EQ(Cell(0, 1)->Text(), "x");
  EXPECT_EQ(Table().Rows[1]->Count(), 4) << "the joined cell was split";
  EXPECT_EQ(Cell(1, 1)->Text(), "\xC3\xA4");
  EXPECT_EQ(Cell(1, 0), joined);
  EXPECT_EQ(joined->Align, 'r');
  EXPECT_EQ(Cell(1, 1)->Align, 0);
  EXPECT_TRUE(Cell(1, 1)->RuleLeft && Cell(1, 2)->RuleLeft && Cell(1, 2)->RuleRight);
  EXPECT_EQ(SelectedCells(), (Cells{{0, 1}, {1, 0}, {1, 1}, {1, 2}}));
}

TEST_F(ClipboardTest, PasteOfNothingMuch) {
  for (int i = 0; i < 4; ++i) Cell(i, i)->SetText("t");
  Table().ClearSelection();
  Table().SelectCell(Cell(1, 1));

  // A lone line break: one line without fields. Nothing changes but the
  // selection, which is empty, and the step is recorded all the same.
  Clipboard()->setText("\r\n");
  int steps = UndoCount();
  ASSERT_TRUE(Run(Form->bPaste));
  EXPECT_EQ(Table().RowCount(), 4);
  EXPECT_EQ(Table().ColCount(), 4);
  EXPECT_EQ(Cell(1, 1)->Text(), "t");
  EXPECT_TRUE(SelectedCells().empty());
  EXPECT_EQ(UndoCount(), steps + 1);
  EXPECT_EQ(UndoCaption(0), "Paste from clipboard");

  // Nothing selected, or an empty clipboard: no step at all.
  Clipboard()->setText("z");
  steps = UndoCount();
  Form->bPasteClick();
  Clipboard()->clear();
  Table().SelectCell(Cell(0, 0));
  Form->bPasteClick();
  EXPECT_EQ(UndoCount(), steps);
  EXPECT_EQ(Cell(0, 0)->Text(), "t");
}

}  // namespace
