#pragma once
// One offscreen application, document and main window shared by a GUI
// benchmark program; each benchmark fills the document with the table it
// needs. QUILTOR_BENCH_WINDOW=WxH sets the window's size (a larger window
// draws more cells).
#include <QApplication>
#include <QEvent>
#include <QObject>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "document/AppModule.h"
#include "forms/CodeUnit.h"
#include "forms/MainUnit.h"
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
