#pragma once
// One offscreen application, document and main window shared by a GUI
// benchmark program; each benchmark fills the document with the table it
// needs. QUILTOR_BENCH_WINDOW=WxH sets the window's size (a larger window
// draws more cells).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QObject>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "document/AppModule.h"
#include "forms/preview/CodeUnit.h"
#include "forms/mainwindow/MainUnit.h"
#include "undo/UndoBuffers.h"

// Notes when the grid's visible part is painted.
class TPaintWatch : public QObject {
 public:
  bool Painted = false;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) Painted = true;
    return false;
  }
};

struct TBenchEditor {
  TBenchEditor() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "bench_gui";
    static char* argv[] = {name, nullptr};
    App = std::make_unique<QApplication>(argc, argv);
    CreateUndoBuffer();
    StartAppModule();
    Form = std::make_unique<TMainForm>();
    Code = std::make_unique<TCodeForm>(Form.get());
    if (const char* size = getenv("QUILTOR_BENCH_WINDOW")) {
      int w = 0, h = 0;
      if (sscanf(size, "%dx%d", &w, &h) == 2) Form->resize(w, h);
    }
    Form->show();
    Form->activateWindow();
    QCoreApplication::processEvents();
  }
  ~TBenchEditor() {
    Code.reset();
    Form.reset();
    StopAppModule();
    FreeUndoBuffer();
  }
  std::unique_ptr<QApplication> App;
  std::unique_ptr<TMainForm> Form;
  std::unique_ptr<TCodeForm> Code;
};

inline TBenchEditor& Editor() {
  static TBenchEditor editor;
  return editor;
}

// Makes the document a rows x columns table with short texts of varying
// width (kept when it has that size already) and puts the editor at the end
// of cell (at, at)'s text, ready for keystrokes.
inline void PrepareTyping(TBenchEditor& e, int rows, int columns, int at) {
  if (CurrentTable->RowCount() != rows || CurrentTable->ColCount() != columns) {
    e.Form->SetCurrentCell(nullptr);
    // The typing so far is no change to ask about.
    MarkSaved();
    NewDocument(rows, columns);
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < columns; ++c) CurrentTable->GetCell(r, c)->SetText(std::to_string(r * c % 9973));
    // Recorded as the window's New records it, so that an undo comes back
    // to this table and not to the one before it.
    RecordUndo("Prepared");
    e.Form->RefreshGrid();
  }
  e.Form->SetCurrentCell(CurrentTable->GetCell(at, at));
  e.Form->Editor->setFocus();
  e.Form->Editor->end(false);
  QCoreApplication::processEvents();
}

// One keystroke into the editor: an "x", or a Backspace that takes it away
// again, so that the text stays short. The caller lets the view paint.
inline void SendKeystroke(QWidget* editor, bool letter) {
  const int key = letter ? Qt::Key_X : Qt::Key_Backspace;
  const QString text = letter ? QStringLiteral("x") : QStringLiteral("\b");
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QApplication::sendEvent(editor, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QApplication::sendEvent(editor, &release);
}

// Lets the event loop go idle once, as it does after every event in real
// use: posted events are delivered, then the loop is about to block, which
// runs the window's idle pass (the command states), and a timer that is
// already due ends the wait. processEvents alone never lets the loop block
// and so never counts that pass.
inline void RunUntilIdle() {
  QEventLoop loop;
  QTimer due;
  due.setSingleShot(true);
  due.setInterval(0);
  QObject::connect(&due, &QTimer::timeout, &loop, &QEventLoop::quit);
  due.start();
  loop.exec();
}

// Keystrokes for as long as the benchmark runs, a letter and a Backspace in
// turn, each let through to the repainted view; the cell's text is as it
// was and the grid has the focus again afterwards.
// With idle set, the loop goes idle after each keystroke (RunUntilIdle).
inline void TypeWhileTimed(benchmark::State& state, TBenchEditor& e, bool idle = false) {
  bool letter = true;
  for (auto _ : state) {
    SendKeystroke(e.Form->Editor, letter);
    QCoreApplication::processEvents();
    if (idle) RunUntilIdle();
    letter = !letter;
  }
  // An odd count of keys leaves an "x" behind, which the next run would type
  // after: its column could change width on every key.
  if (!letter) {
    SendKeystroke(e.Form->Editor, false);
    QCoreApplication::processEvents();
  }
  e.Form->FocusGrid();
}
