// The keyboard on the grid and in the cell editor: typing, the undo step of
// an edit, Enter, Tab and the arrows over joined cells and at the table's
// edges, and keys that belong to other windows.
#include <QClipboard>
#include <QDialog>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <QWindow>

#include "common/gui/WindowFixture.h"
#include "forms/dialogs/ColumnFmtUnit.h"
#include "forms/mainwindow/UndoListUnit.h"
#include "model/TableEdit.h"

namespace {


class KeyboardTest : public WindowFixture {
 protected:
  // Makes cell current with the grid focused, as a click would.
  void Current(TCell* cell) {
    Table().ClearSelection();
    Table().SelectCell(cell);
    Form->SetCurrentCell(cell);
    Form->FocusGrid();
  }
  void Key(QWidget* to, Qt::Key key) {
    QTest::keyClick(to, key);
    RunUntilIdle();
  }
  void OnGrid(Qt::Key key) { Key(Form->ScrollBox, key); }
  void InEditor(Qt::Key key) { Key(Form->Editor, key); }
  // Types on the grid: the first character starts the edit, the rest go to
  // the editor, which has the focus by then.
  // Keys are sent as the platform sends them, the character in the event's
  // text (QTest only knows ASCII keys).
  void Type(const QString& text) {
    for (QChar ch : text) {
      QWidget* to = FocusState == fsEditor ? static_cast<QWidget*>(Form->Editor) : Form->ScrollBox;
      const int key = ch.toUpper().unicode();
      QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(ch));
      QApplication::sendEvent(to, &press);
      QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(ch));
      QApplication::sendEvent(to, &release);
      RunUntilIdle();
    }
  }
  bool EditorHasEverythingSelected() {
    return FocusState == fsEditor && Form->Editor->selectedText() == Form->Editor->text();
  }
};

TEST_F(KeyboardTest, TypingOnTheGridReplacesTheText) {
  Cell(1, 1)->SetText("a longer text");
  Form->RefreshGrid();
  Current(Cell(1, 1));
  const int steps = UndoCount();
  QTest::keyClicks(Form->ScrollBox, "q");
  EXPECT_EQ(FocusState, fsEditor) << "the first key moves the focus at once";
  RunUntilIdle();
  EXPECT_EQ(Cell(1, 1)->Text(), "q") << "the re-sent key replaced the whole text";
  EXPECT_EQ(Form->Editor->text(), "q");
  EXPECT_EQ(UndoCount(), steps);
  Form->FocusGrid();
  EXPECT_EQ(UndoCount(), steps + 1);
  EXPECT_EQ(UndoCaption(0), "Typing q");

  // Backspace is a character too: it empties the cell.
  OnGrid(Qt::Key_Backspace);
  EXPECT_EQ(Cell(1, 1)->Text(), "");
  EXPECT_EQ(FocusState, fsEditor);

  // Without a current cell the grid ignores typing.
  Form->SetCurrentCell(nullptr);
  Form->FocusGrid();
  QTest::keyClicks(Form->ScrollBox, "z");
  RunUntilIdle();
  EXPECT_EQ(FocusState, fsGrid);
}

TEST_F(KeyboardTest, TypingCaptions) {
  struct Case {
    const char* Name;
    QString Typed;  // typed on the grid; empty: the text is deleted
    std::string Caption;
  };
  const Case cases[] = {
      {"twelve characters", "Hello World!", "Typing Hello Worl..."},
      {"ten characters", "0123456789", "Typing 0123456789"},
      {"an emptied cell", "", "Typing"},
      // Eleven characters of two and three bytes: the cut falls after the
      // tenth character, never inside one.
      {"multi-byte text", QString::fromUtf8("\xC3\xA4\xC3\xB6\xC3\xBC\xE2\x82\xAC\xC3\x9F\xC3\xA9\xC3\xA8\xC3\xAA"
                                            "\xC3\xA5\xC3\xB8\xC3\xA6"),
       "Typing \xC3\xA4\xC3\xB6\xC3\xBC\xE2\x82\xAC\xC3\x9F\xC3\xA9\xC3\xA8\xC3\xAA\xC3\xA5\xC3\xB8..."},
  };
  for (const Case& c : cases) {
    Cell(0, 0)->SetText("start");
    Form->RefreshGrid();
    Current(Cell(0, 0));
    if (c.Typed.isEmpty()) {
      OnGrid(Qt::Key_Enter);
      InEditor(Qt::Key_Delete);
    } else {
      Type(c.Typed);
    }
    EXPECT_EQ(Cell(0, 0)->Text(), c.Typed.toStdString()) << c.Name;
    InEditor(Qt::Key_Return);
    EXPECT_EQ(UndoCaption(0), c.Caption) << c.Name;
    EXPECT_TRUE(QString::fromUtf8(UndoCaption(0).c_str()).toUtf8().toStdString() == UndoCaption(0))
        << c.Name << ": the caption is whole UTF-8";
    EXPECT_EQ(Table().CurrentCell, Cell(1, 0)) << c.Name << ": Enter went on to the cell below";
    EXPECT_EQ(FocusState, fsGrid) << c.Name;
  }
}

TEST_F(KeyboardTest, AnEditTypedBackToItsStartRecordsNothing) {
  Cell(0, 0)->SetText("ab");
  Current(Cell(0, 0));
  OnGrid(Qt::Key_Return);
  ASSERT_EQ(FocusState, fsEditor);
  InEditor(Qt::Key_End);
  QTest::keyClicks(Form->Editor, "c");
  EXPECT_EQ(Cell(0, 0)->Text(), "abc") << "shown while typing";
  InEditor(Qt::Key_Backspace);
  const int steps = UndoCount();
  Form->FocusGrid();
  EXPECT_EQ(UndoCount(), steps);
  EXPECT_EQ(Cell(0, 0)->Text(), "ab");
}

TEST_F(KeyboardTest, EnterOnTheGridAndInTheEditor) {
  // Nothing current: nothing happens.
  OnGrid(Qt::Key_Return);
  EXPECT_EQ(FocusState, fsGrid);
  EXPECT_EQ(Table().CurrentCell, nullptr);

  Cell(2, 1)->SetText("text");
  Current(Cell(2, 1));
  OnGrid(Qt::Key_Return);
  EXPECT_TRUE(EditorHasEverythingSelected());
  InEditor(Qt::Key_End);
  QTest::keyClicks(Form->Editor, "s");
  InEditor(Qt::Key_Return);
  EXPECT_EQ(Cell(2, 1)->Text(), "texts");
  EXPECT_EQ(Table().CurrentCell, Cell(3, 1));
  EXPECT_EQ(SelectedCells(), (std::vector<std::pair<int, int>>{{3, 1}}));
  EXPECT_EQ(FocusState, fsGrid);

  // In the last row the edit ends where it is.
  OnGrid(Qt::Key_Return);
  QTest::keyClicks(Form->Editor, "x");
  InEditor(Qt::Key_Return);
  EXPECT_EQ(Cell(3, 1)->Text(), "x");
  EXPECT_EQ(UndoCaption(0), "Typing x");
  EXPECT_EQ(Table().CurrentCell, Cell(3, 1));
  EXPECT_EQ(FocusState, fsGrid);

  // Enter below a joined cell's middle column lands on the joined cell.
  TCell* joined = JoinCells(1, 0, 3);
  Current(Cell(0, 2));
  OnGrid(Qt::Key_Return);
  InEditor(Qt::Key_Return);
  EXPECT_EQ(Table().CurrentCell, joined);
}

TEST_F(KeyboardTest, TabGoesOnAndEdits) {
  TCell* joined = JoinCells(0, 1, 2);  // columns 1 and 2 of row 0
  Cell(0, 3)->SetText("next");
  struct Case {
    const char* Name;
    TCell* From;
    TCell* To;
  };
  const Case cases[] = {
      {"past a joined cell", joined, Cell(0, 3)},
      {"the end of a row to the next row", Cell(0, 3), Cell(1, 0)},
      {"the last cell stays", Cell(3, 3), Cell(3, 3)},
  };
  for (const Case& c : cases) {
    Current(c.From);
    OnGrid(Qt::Key_Tab);
    EXPECT_EQ(Table().CurrentCell, c.To) << c.Name;
    EXPECT_TRUE(c.To->Selected) << c.Name;
    EXPECT_TRUE(EditorHasEverythingSelected()) << c.Name;
  }

  // From the editor, Tab commits the edit and edits the next cell.
  Current(Cell(2, 0));
  OnGrid(Qt::Key_Return);
  QTest::keyClicks(Form->Editor, "t");
  InEditor(Qt::Key_Tab);
  EXPECT_EQ(Cell(2, 0)->Text(), "t");
  EXPECT_EQ(UndoCaption(0), "Typing t");
  EXPECT_EQ(Table().CurrentCell, Cell(2, 1));
  EXPECT_EQ(FocusState, fsEditor);

  // Without a current cell Tab only brings the focus to the grid.
  Form->SetCurrentCell(nullptr);
  Form->FocusGrid();
  OnGrid(Qt::Key_Tab);
  EXPECT_EQ(Table().CurrentCell, nullptr);
}

// A block of column 1 over rows 1 to 3: keys that land in it give its own
// cell, and keys that leave it go past its last row, never to a covered
// cell, so that neither Down nor Tab sticks at a block.
TEST_F(KeyboardTest, KeysStepOverBlocks) {
  NewTable(5, 4);
  TCell* block = ::JoinCells(Table(), {1, 1, 1, 3});
  Form->RefreshGrid();
  struct Case {
    const char* Name;
    TCell* From;
    Qt::Key Key;
    TCell* To;
  };
  const Case cases[] = {
      {"down out of a block", block, Qt::Key_Down, Cell(4, 1)},
      {"down into a block", Cell(0, 1), Qt::Key_Down, block},
      {"up into a block's last row", Cell(4, 1), Qt::Key_Up, block},
      {"right into a block's middle row", Cell(2, 0), Qt::Key_Right, block},
      {"left into a block's last row", Cell(3, 2), Qt::Key_Left, block},
      {"tab past a block's covered cell", Cell(2, 0), Qt::Key_Tab, Cell(2, 2)},
      {"tab out of a block", block, Qt::Key_Tab, Cell(1, 2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Current(c.From);
    OnGrid(c.Key);
    EXPECT_EQ(Table().CurrentCell, c.To);
    Form->FocusGrid();
  }
  // Enter in the editor of a block goes on below the block, and what was
  // typed is the block's text.
  Current(block);
  OnGrid(Qt::Key_Return);
  QTest::keyClicks(Form->Editor, "tall");
  InEditor(Qt::Key_Return);
  EXPECT_EQ(block->Text(), "tall");
  EXPECT_EQ(Cell(2, 1)->BlockCell(), block);
  EXPECT_EQ(Table().CurrentCell, Cell(4, 1));
}

TEST_F(KeyboardTest, ArrowsOnTheGrid) {
  TCell* joined = JoinCells(1, 1, 2);  // columns 1 and 2 of row 1
  struct Case {
    const char* Name;
    TCell* From;  // none: no current cell
    Qt::Key Key;
    TCell* To;
  };
  const Case cases[] = {
      {"right skips a joined cell's span", joined, Qt::Key_Right, Cell(1, 3)},
      {"left lands on the joined cell", Cell(1, 3), Qt::Key_Left, joined},
      {"up from a joined cell's first column", joined, Qt::Key_Up, Cell(0, 1)},
      {"down into a joined cell", Cell(0, 2), Qt::Key_Down, joined},
      {"left at column 0", Cell(2, 0), Qt::Key_Left, Cell(2, 0)},
      {"up at row 0", Cell(0, 2), Qt::Key_Up, Cell(0, 2)},
      {"right at the last column", Cell(2, 3), Qt::Key_Right, Cell(2, 3)},
      {"down at the last row", Cell(3, 1), Qt::Key_Down, Cell(3, 1)},
      {"no current cell: the top-left cell", nullptr, Qt::Key_Down, Cell(0, 0)},
  };
  for (const Case& c : cases) {
    if (c.From) {
      Current(c.From);
    } else {
      Form->SetCurrentCell(nullptr);
      Table().ClearSelection();
      Form->FocusGrid();
    }
    OnGrid(c.Key);
    EXPECT_EQ(Table().CurrentCell, c.To) << c.Name;
    EXPECT_EQ(Table().GetSelectedCells(), TArrayOfCells{c.To}) << c.Name;
    EXPECT_EQ(FocusState, fsGrid) << c.Name;
  }
  EXPECT_EQ(Table().SelectionMode, smNone) << "an arrow marks the cell without a cell selection";
}

TEST_F(KeyboardTest, ArrowsInTheEditor) {
  Cell(1, 1)->SetText("ab");
  Current(Cell(1, 1));
  OnGrid(Qt::Key_Return);
  InEditor(Qt::Key_End);
  InEditor(Qt::Key_Left);
  EXPECT_EQ(Table().CurrentCell, Cell(1, 1)) << "left and right move the caret";
  EXPECT_EQ(Form->Editor->cursorPosition(), 1);
  QTest::keyClicks(Form->Editor, "X");
  InEditor(Qt::Key_Down);
  EXPECT_EQ(Cell(1, 1)->Text(), "aXb");
  EXPECT_EQ(UndoCaption(0), "Typing aXb");
  EXPECT_EQ(Table().CurrentCell, Cell(2, 1));
  EXPECT_EQ(FocusState, fsGrid);

  // Up on the first row does nothing: the edit goes on.
  Current(Cell(0, 3));
  OnGrid(Qt::Key_Return);
  QTest::keyClicks(Form->Editor, "y");
  const int steps = UndoCount();
  InEditor(Qt::Key_Up);
  EXPECT_EQ(FocusState, fsEditor);
  EXPECT_EQ(Table().CurrentCell, Cell(0, 3));
  EXPECT_EQ(UndoCount(), steps);
  QTest::keyClicks(Form->Editor, "z");
  EXPECT_EQ(Cell(0, 3)->Text(), "yz");
}

TEST_F(KeyboardTest, DoubleClickStartsAnEdit) {
  Cell(1, 2)->SetText("twice");
  Form->RefreshGrid();
  const QPoint p = Centre(Cell(1, 2));
  QTest::mouseClick(PaintBox(), Qt::LeftButton, {}, p);
  QTest::mouseDClick(PaintBox(), Qt::LeftButton, {}, p);
  QTest::mouseRelease(PaintBox(), Qt::LeftButton, {}, p);
  EXPECT_EQ(FocusState, fsGrid) << "the edit waits for the deferred event";
  RunUntilIdle();
  EXPECT_EQ(Table().CurrentCell, Cell(1, 2));
  EXPECT_TRUE(EditorHasEverythingSelected());

  // Keys typed right after the double click may come before its deferred
  // event: the edit they started goes on, nothing typed is selected away.
  Form->FocusGrid();
  QTest::mouseClick(PaintBox(), Qt::LeftButton, {}, p);
  QTest::mouseDClick(PaintBox(), Qt::LeftButton, {}, p);
  QTest::mouseRelease(PaintBox(), Qt::LeftButton, {}, p);
  for (const char* ch : {"a", "b"}) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, ch);
    QApplication::sendEvent(QApplication::focusWidget(), &press);
  }
  RunUntilIdle();
  QTest::keyClicks(Form->Editor, "c");
  EXPECT_EQ(Cell(1, 2)->Text(), "abc");
}

// Keys aimed at another window are none of the grid's business.
TEST_F(KeyboardTest, OtherWindowsKeepTheirKeys) {
  Cell(1, 1)->SetText("kept");
  Current(Cell(1, 1));

  QDialog dialog(Form);
  auto* field = new QLineEdit(&dialog);
  auto* other = new QLineEdit(&dialog);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(field);
  layout->addWidget(other);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  field->setFocus();
  for (Qt::Key key : {Qt::Key_Down, Qt::Key_Right, Qt::Key_Return, Qt::Key_A, Qt::Key_Tab}) Key(field, key);
  EXPECT_EQ(Table().CurrentCell, Cell(1, 1));
  EXPECT_EQ(Cell(1, 1)->Text(), "kept");
  EXPECT_EQ(field->text(), "a") << "the dialog's own field got its key";
  EXPECT_EQ(QApplication::focusWidget(), other) << "Tab moved on in the dialog";
  dialog.close();

  Code->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Code));
  Code->Memo->setFocus();
  for (Qt::Key key : {Qt::Key_Up, Qt::Key_Left, Qt::Key_Tab, Qt::Key_B}) Key(Code->Memo, key);
  EXPECT_EQ(Table().CurrentCell, Cell(1, 1));
  EXPECT_EQ(Cell(1, 1)->Text(), "kept");
  Code->hide();
}

// Loading a cell into the editor never changes the cell, whatever its text.
TEST_F(KeyboardTest, LoadingTheEditorKeepsTheCellsBytes) {
  const std::string longText(40000, 'w');
  const std::string latin1 = "caf\xE9 \xFC";  // no UTF-8
  Cell(0, 0)->SetText(longText);
  Cell(0, 1)->SetText(latin1);
  Form->RefreshGrid();
  for (int round = 0; round < 2; ++round) {
    Current(Cell(0, 0));
    Current(Cell(0, 1));
    Current(Cell(1, 1));
  }
  EXPECT_EQ(Cell(0, 0)->Text(), longText);
  EXPECT_EQ(Cell(0, 1)->Text(), latin1);
  // Visiting the editor without typing leaves it too.
  Current(Cell(0, 1));
  OnGrid(Qt::Key_Return);
  Form->FocusGrid();
  EXPECT_EQ(Cell(0, 1)->Text(), latin1);
}

// Keys typed faster than the grid follows queue up in the window; each must
// still land in the cell it was typed for, in its order. The keys go to
// the window, which hands each to whatever has the focus when its turn
// comes, as the platform does.
TEST_F(KeyboardTest, ABurstOfTypingLandsInOrder) {
  constexpr int kCells = 100;
  NewTable(10000, 1);
  Current(Cell(0, 0));
  QWindow* window = Form->windowHandle();
  auto post = [window](int key, const QString& text) {
    QCoreApplication::postEvent(window, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, text));
    QCoreApplication::postEvent(window, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier, text));
  };
  for (int i = 0; i < kCells; ++i) {
    for (QChar ch : QString("k%1").arg(i)) post(ch.toUpper().unicode(), QString(ch));
    post(Qt::Key_Return, "\r");
  }
  QCoreApplication::sendPostedEvents();
  RunUntilIdle();
  for (int i = 0; i < kCells; ++i) ASSERT_EQ(Cell(i, 0)->Text(), "k" + std::to_string(i)) << "row " << i;
  EXPECT_EQ(Cell(kCells, 0)->Text(), "");
  EXPECT_EQ(Table().CurrentCell, Cell(kCells, 0));
  EXPECT_EQ(UndoCaption(0), "Typing k" + std::to_string(kCells - 1));
}

// On the grid the standard editing keys run the grid's commands; in the
// cell editor they are the edit box's own.
TEST_F(KeyboardTest, StandardKeysOnTheGridAndInTheEditor) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  auto chord = [&](QWidget* to, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
    QTest::keyClick(to, key, modifiers);
    RunUntilIdle();
  };
  Cell(0, 0)->SetText("a");
  Cell(0, 1)->SetText("b");
  Form->RefreshGrid();
  Current(Cell(0, 0));
  Table().SelectCell(Cell(0, 1));
  RunUntilIdle();

  chord(Form->ScrollBox, Qt::Key_C);
  EXPECT_EQ(clipboard->text(), "a\tb") << "Ctrl+C copied the selection";
  EXPECT_EQ(FocusState, fsGrid);

  clipboard->setText("x\ty");
  Current(Cell(2, 2));
  chord(Form->ScrollBox, Qt::Key_V);
  EXPECT_EQ(Cell(2, 2)->Text(), "x") << "Ctrl+V pasted the block, one field a cell";
  EXPECT_EQ(Cell(2, 3)->Text(), "y");
  EXPECT_EQ(UndoCaption(0), "Paste from clipboard");
  EXPECT_EQ(FocusState, fsGrid);

  chord(Form->ScrollBox, Qt::Key_Z);
  EXPECT_EQ(Cell(2, 2)->Text(), "") << "Ctrl+Z undid the paste";
  chord(Form->ScrollBox, Qt::Key_Y);
  EXPECT_EQ(Cell(2, 2)->Text(), "x") << "Ctrl+Y redid it";
  chord(Form->ScrollBox, Qt::Key_Z);
  chord(Form->ScrollBox, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(Cell(2, 3)->Text(), "y") << "Ctrl+Shift+Z redid it";

  chord(Form->ScrollBox, Qt::Key_A);
  EXPECT_EQ(Table().GetSelectedCells().size(), 16u) << "Ctrl+A selected every cell";

  // A command key never types: with nothing selected the commands are
  // off, and the current cell's text stays.
  Current(Cell(0, 0));
  Table().ClearSelection();
  for (Qt::Key key : {Qt::Key_X, Qt::Key_C, Qt::Key_V}) {
    chord(Form->ScrollBox, key);
    EXPECT_EQ(Cell(0, 0)->Text(), "a") << QKeySequence(key).toString().toStdString();
    EXPECT_EQ(FocusState, fsGrid);
  }

  // The menus show the keys.
  for (QAction* a : {Form->bCut, Form->bCopy, Form->bPaste, Form->mnSelectAll, Form->mnUndo, Form->mnRedo}) {
    EXPECT_TRUE(Form->mnEdit->actions().contains(a)) << a->text().toStdString();
    EXPECT_FALSE(a->shortcut().isEmpty()) << a->text().toStdString();
  }

  // In the editor: its own select-all, copy and paste, on one line.
  Current(Cell(1, 1));
  OnGrid(Qt::Key_Return);
  QTest::keyClicks(Form->Editor, "abc");
  chord(Form->Editor, Qt::Key_A);
  chord(Form->Editor, Qt::Key_C);
  EXPECT_EQ(clipboard->text(), "abc");
  clipboard->setText("1\t2\r\n3\n");
  chord(Form->Editor, Qt::Key_V);
  EXPECT_EQ(Cell(1, 1)->Text(), "1 2  3 ") << "TAB, CR and LF became blanks";
  EXPECT_EQ(Table().RowCount(), 4);
  EXPECT_EQ(FocusState, fsEditor);
  const int steps = UndoCount();
  chord(Form->Editor, Qt::Key_Z);
  EXPECT_EQ(FocusState, fsEditor) << "Ctrl+Z stays in the edit box";
  EXPECT_EQ(UndoCount(), steps) << "and undoes no table step";
}

// Whatever way text comes into the cell editor, TAB, CR and LF become
// blanks where it went in, and only there.
TEST_F(KeyboardTest, TheCellEditorHoldsOneLine) {
  // A character event with several characters, as an input method sends.
  Current(Cell(0, 0));
  QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, "a\tb\nc");
  QApplication::sendEvent(Form->ScrollBox, &press);
  EXPECT_EQ(Cell(0, 0)->Text(), "a b c");
  Form->FocusGrid();

  // A text that came in with a TAB keeps it around the typing.
  Cell(1, 0)->SetText("x\ty");
  Current(Cell(1, 0));
  OnGrid(Qt::Key_Return);
  InEditor(Qt::Key_End);
  QTest::keyClicks(Form->Editor, "z");
  EXPECT_EQ(Cell(1, 0)->Text(), "x\tyz");
}

// A menu opened from the keyboard takes the keyboard from the grid; it must
// offer what the same menu opened with the mouse offers.
TEST_F(KeyboardTest, MenusOpenedWithAltOfferTheGridsCommands) {
  Cell(1, 1)->SetText("x");
  Form->RefreshGrid();
  Current(Cell(1, 1));
  QGuiApplication::clipboard()->setText("t");
  RunUntilIdle();

  QTest::keyClick(Form->ScrollBox, Qt::Key_E, Qt::AltModifier);
  RunUntilIdle();
  ASSERT_TRUE(Form->mnEdit->isVisible());
  for (QAction* a : {Form->bCut, Form->bCopy, Form->bPaste, Form->mnPastePlain, Form->mnPasteLatex})
    EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
  QTest::keyClick(Form->mnEdit, Qt::Key_Escape);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  RunUntilIdle();
  EXPECT_EQ(FocusState, fsGrid);

  QTest::keyClick(Form->ScrollBox, Qt::Key_T, Qt::AltModifier);
  RunUntilIdle();
  ASSERT_TRUE(Form->mnTable->isVisible());
  EXPECT_TRUE(Form->mnDelete->isEnabled());
  EXPECT_EQ(Form->mnDelete->text(), "Delete Cell Contents");
  QTest::keyClick(Form->mnTable, Qt::Key_Escape);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  RunUntilIdle();
  EXPECT_EQ(QApplication::focusWidget(), Form->ScrollBox);
  EXPECT_EQ(FocusState, fsGrid);
}

TEST_F(KeyboardTest, HomeEndAndThePageKeys) {
  NewTable(60, 4);
  Current(Cell(2, 1));
  struct Step {
    Qt::Key Key;
    Qt::KeyboardModifiers Mods;
    int Row, Col;  // the current cell afterwards
  };
  const Step steps[] = {
      {Qt::Key_End, Qt::NoModifier, 2, 3},    {Qt::Key_Home, Qt::NoModifier, 2, 0},
      {Qt::Key_End, Qt::ControlModifier, 59, 3}, {Qt::Key_Home, Qt::ControlModifier, 0, 0},
  };
  for (const Step& s : steps) {
    QTest::keyClick(Form->ScrollBox, s.Key, s.Mods);
    RunUntilIdle();
    EXPECT_EQ(Table().CurrentCell, Cell(s.Row, s.Col)) << QKeySequence(s.Key | s.Mods).toString().toStdString();
    EXPECT_EQ(SelectedCells(), (std::vector<std::pair<int, int>>{{s.Row, s.Col}}));
  }
  // A page is what the view shows; the new cell is in view.
  OnGrid(Qt::Key_PageDown);
  const int row = Table().CurrentCell->RowIndex();
  EXPECT_GT(row, 5);
  Table().UpdateCellRects();
  EXPECT_LE(Table().CurrentCell->BoundsRect.Bottom, Form->VisibleRect().Bottom);
  OnGrid(Qt::Key_PageUp);
  EXPECT_EQ(Table().CurrentCell, Cell(0, 0));

  // With Shift the keys select from the current cell, which stays.
  QTest::keyClick(Form->ScrollBox, Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);
  RunUntilIdle();
  EXPECT_EQ(Table().GetSelectedCells().size(), 240u);
  EXPECT_EQ(Table().CurrentCell, Cell(0, 0));
  EXPECT_EQ(Form->bDelete->statusTip(), "Delete Cell Contents");
}

// A keyboard selection is a selection like the mouse's: rows selected with
// Shift+Space are deleted as rows.
TEST_F(KeyboardTest, ShiftArrowsThenDeleteRows) {
  Cell(0, 0)->SetText("keep");
  Cell(3, 0)->SetText("keep too");
  Current(Cell(1, 2));
  QTest::keyClick(Form->ScrollBox, Qt::Key_Down, Qt::ShiftModifier);
  QTest::keyClick(Form->ScrollBox, Qt::Key_Left, Qt::ShiftModifier);
  RunUntilIdle();
  EXPECT_EQ(SelectedCells(), Block(1, 1, 2, 2));
  EXPECT_EQ(Table().CurrentCell, Cell(1, 2));
  QTest::keyClick(Form->ScrollBox, Qt::Key_Space, Qt::ShiftModifier);
  RunUntilIdle();
  EXPECT_EQ(Table().GetSelectedRows(), (TArrayOfInteger{1, 2}));
  EXPECT_EQ(Table().CurrentCell, nullptr) << "whole rows, as a click in the margin selects them";
  EXPECT_EQ(Form->bDelete->statusTip(), "Delete Rows");
  OnGrid(Qt::Key_Delete);
  EXPECT_EQ(Table().RowCount(), 2);
  EXPECT_EQ(Cell(1, 0)->Text(), "keep too");
  EXPECT_EQ(UndoCaption(0), "Delete rows");

  // Ctrl+Space: columns, and Shift+Right grows them.
  Current(Cell(0, 1));
  QTest::keyClick(Form->ScrollBox, Qt::Key_Space, Qt::ControlModifier);
  QTest::keyClick(Form->ScrollBox, Qt::Key_Right, Qt::ShiftModifier);
  RunUntilIdle();
  EXPECT_EQ(Table().GetSelectedColumns(), (TArrayOfInteger{1, 2}));
  EXPECT_EQ(Cell(0, 1)->Text(), "") << "no blank was typed";
  EXPECT_EQ(Form->bDelete->statusTip(), "Delete Columns");
}

// The commands of the toolbars are in the menus as the same actions, and
// their keys reach them.
TEST_F(KeyboardTest, ToolbarCommandsFromMenusAndKeys) {
  auto inMenu = [](QMenu* menu, QAction* a) { return menu->actions().contains(a); };
  EXPECT_TRUE(inMenu(Form->mnTable, Form->bJoin));
  EXPECT_TRUE(inMenu(Form->mnTable, Form->mnBorders));
  EXPECT_TRUE(inMenu(Form->mnTable, Form->mnColumnFormat));
  for (QAction* a : Form->RuleItems) EXPECT_TRUE(inMenu(Form->mnRules, a));
  for (QAction* a : {Form->bAlignLeft, Form->bAlignCenter, Form->bAlignRight})
    EXPECT_TRUE(inMenu(Form->mnAlignment, a));
  EXPECT_TRUE(inMenu(Form->mnEdit, Form->mnUndoList));
  EXPECT_TRUE(inMenu(Form->mnEdit, Form->mnRedoList));

  // Ctrl+J joins, and again splits.
  Cell(0, 0)->SetText("a");
  Current(Cell(0, 0));
  QTest::keyClick(Form->ScrollBox, Qt::Key_Right, Qt::ShiftModifier);
  RunUntilIdle();
  QTest::keyClick(Form->ScrollBox, Qt::Key_J, Qt::ControlModifier);
  RunUntilIdle();
  EXPECT_EQ(Cell(0, 0)->Span, 2);
  EXPECT_EQ(UndoCaption(0), "Join");
  QTest::keyClick(Form->ScrollBox, Qt::Key_J, Qt::ControlModifier);
  RunUntilIdle();
  EXPECT_EQ(Cell(0, 0)->Span, 1);

  // The alignment keys, with the check marks the menu shows.
  QTest::keyClick(Form->ScrollBox, Qt::Key_R, Qt::ControlModifier);
  RunUntilIdle();
  EXPECT_EQ(Cell(0, 0)->Align, 'r');
  EXPECT_TRUE(Form->bAlignRight->isChecked()) << "checked in the Alignment menu";
  EXPECT_FALSE(Form->bAlignLeft->isChecked());

  // The Rules menu marks what the selection has; choosing from it rules.
  Form->RuleItems[2]->trigger();  // top
  RunUntilIdle();
  EXPECT_NE(Cell(0, 0)->RuleTop, 0);
  // Opening the menu marks the patterns the selection has.
  Form->RuleItems[7]->setChecked(true);
  emit Form->mnRules->aboutToShow();
  EXPECT_TRUE(Form->RuleItems[2]->isChecked());
  EXPECT_FALSE(Form->RuleItems[7]->isChecked());

  // Column Format... opens the format box with the recent formats.
  RecentFormats->AddToTop("p{2cm}");
  Current(Cell(0, 1));
  QTest::keyClick(Form->ScrollBox, Qt::Key_Space, Qt::ControlModifier);
  RunUntilIdle();
  QStringList listed;
  Answer<TColumnFmtForm>([&listed](TColumnFmtForm& f) {
    for (int i = 0; i < f.ListBox1->count(); ++i) listed << f.ListBox1->item(i)->text();
    f.Edit1->setText("r|");
    QTest::keyClick(&f, Qt::Key_Return);
  });
  ASSERT_TRUE(Run(Form->mnColumnFormat));
  EXPECT_EQ(listed, QStringList{"p{2cm}"});
  EXPECT_EQ(Table().Columns[1]->Format, "r|");
  EXPECT_EQ((*RecentFormats)[0], "r|");

  // Undo List... opens the list at the keyboard; Down and Enter take two
  // steps back.
  const int steps = UndoCount();
  ASSERT_TRUE(Run(Form->mnUndoList));
  RunUntilIdle();
  ASSERT_TRUE(Form->UndoList->isVisible());
  QTest::keyClick(Form->UndoList, Qt::Key_Down);
  QTest::keyClick(Form->UndoList, Qt::Key_Return);
  RunUntilIdle();
  EXPECT_EQ(UndoCount(), steps - 2);
  EXPECT_EQ(Table().Columns[1]->Format, "l");
}

// What the clipboard holds is asked once after each change it announces;
// Ctrl+V asks again, so that a change it did not announce (an owner that
// sends no notice) is pasted all the same.
TEST_F(KeyboardTest, CtrlVSeesAClipboardChangedWithoutNotice) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  Current(Cell(1, 1));
  RunUntilIdle();
  ASSERT_FALSE(Form->bPaste->isEnabled());
  {
    const QSignalBlocker quiet(clipboard);
    clipboard->setText("pasted");
  }
  RunUntilIdle();
  QTest::keyClick(Form->ScrollBox, Qt::Key_V, Qt::ControlModifier);
  RunUntilIdle();
  EXPECT_EQ(Cell(1, 1)->Text(), "pasted");
}

// The table-level pastes work from the cell editor: the edit ends first,
// as one step of its own.
TEST_F(KeyboardTest, TablePastesFromTheCellEditor) {
  Current(Cell(0, 0));
  OnGrid(Qt::Key_Return);
  QTest::keyClicks(Form->Editor, "typed");
  RunUntilIdle();
  QGuiApplication::clipboard()->setText("\\begin{tabular}{lr}\r\na & b \\\\\r\n\\end{tabular}\r\n");
  RunUntilIdle();
  QTest::keyClick(Form->Editor, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
  RunUntilIdle();
  EXPECT_EQ(Table().RowCount(), 1);
  EXPECT_EQ(Cell(0, 1)->Text(), "b");
  EXPECT_EQ(UndoCaption(1), "Typing typed");

  // Paste as Plain Text, with its special characters escaped.
  Current(Cell(0, 0));
  OnGrid(Qt::Key_Return);
  QGuiApplication::clipboard()->setText("50%");
  RunUntilIdle();
  QTest::keyClick(Form->Editor, Qt::Key_V, Qt::ControlModifier | Qt::AltModifier);
  RunUntilIdle();
  EXPECT_EQ(Cell(0, 0)->Text(), "50\\%");
  EXPECT_EQ(FocusState, fsGrid);
}

}  // namespace
