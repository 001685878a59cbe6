// Files dropped on the main window: a table or text file opens as File >
// Open opens it, with the same questions; anything else changes nothing.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>
#include <string>
#include <vector>

#include "common/gui/WindowFixture.h"

namespace {

class DragDropTest : public WindowFixture {
 protected:
  // Drags urls over the window and drops them there, and lets the window
  // finish what the drop started; whether the window took the drag.
  bool DropOn(const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint at(Form->width() / 2, Form->height() / 2);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Form, &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Form, &drop);
    RunUntilIdle();
    return enter.isAccepted();
  }
};

void WriteFile(const QString& path, const char* text) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(text);
}

// If the drop skipped the unsaved-changes question, the import dialog, or
// mangled a name with spaces or non-ASCII letters, the file would not open
// or would open without asking.
TEST_F(DragDropTest, DroppedTableOrTextFileOpensLikeFileOpen) {
  QTemporaryDir dir;
  const QString table = dir.filePath("Preise März.qtor");
  Cell(1, 1)->SetText("from the table");
  Script.SaveChoices = {QFile::encodeName(table).toStdString()};
  ASSERT_TRUE(SaveDocumentAs());
  const QString text = dir.filePath("cells.csv");
  WriteFile(text, "from,the csv\n");

  struct Case {
    QString Path;
    int Row, Col;
    std::string Expected, Title;
    size_t Previews;
  };
  const QString latex = dir.filePath("paper.tex");
  WriteFile(latex, "Text.\n\\begin{tabular}{ll}\nfrom & the paper \\\\\n\\end{tabular}\n");
  const std::vector<Case> cases = {{table, 1, 1, "from the table", "Preise März", 0},
                                   {text, 0, 1, "the csv", "cells", 1},
                                   {latex, 0, 1, "the paper", "paper.tex (table 1)", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Path.toStdString());
    NewTable(4, 4);
    Cell(0, 0)->SetText("unsaved");
    RecordUndo("Typing unsaved");
    Script.Questions.clear();
    Script.Previews.clear();
    Script.Answers = {TSaveAnswer::No};

    EXPECT_TRUE(DropOn({QUrl::fromLocalFile(c.Path)}));
    EXPECT_EQ(Script.Questions.size(), 1u);
    EXPECT_EQ(Script.Previews.size(), c.Previews);
    EXPECT_EQ(Cell(c.Row, c.Col)->Text(), c.Expected);
    EXPECT_EQ(Table().Title, c.Title);
  }
}

// If the window took any file (or any address) dropped on it, it would try
// to read it as a table and show an error or ask about unsaved changes.
TEST_F(DragDropTest, OtherDropsAreIgnored) {
  QTemporaryDir dir;
  const QString pdf = dir.filePath("paper.pdf");
  WriteFile(pdf, "%PDF-1.4\n");
  Cell(0, 0)->SetText("kept");
  RecordUndo("Typing kept");
  const int steps = UndoCount();

  for (const QUrl& url : {QUrl::fromLocalFile(pdf), QUrl("https://example.org/table.qtor")}) {
    SCOPED_TRACE(url.toString().toStdString());
    EXPECT_FALSE(DropOn({url}));
    EXPECT_EQ(Cell(0, 0)->Text(), "kept");
    EXPECT_EQ(UndoCount(), steps);
    EXPECT_TRUE(Script.Questions.empty());
    EXPECT_TRUE(Script.Errors.empty());
  }
}

}  // namespace
