#include "common/gui/DialogWatchdog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

namespace {

int gLimit = 15000;
QPointer<QWidget> gSeen;
QElapsedTimer gSince;

void Look() {
  QWidget* modal = QApplication::activeModalWidget();
  if (modal != gSeen) {
    gSeen = modal;
    gSince.start();
    return;
  }
  if (!modal || gSince.elapsed() < gLimit) return;
  ADD_FAILURE() << "an unexpected dialog stayed open: " << modal->metaObject()->className() << " \""
                << modal->windowTitle().toStdString() << "\"";
  gSeen = nullptr;
  if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
  else modal->close();
}

}  // namespace

void InstallDialogWatchdog() {
  auto* timer = new QTimer(QCoreApplication::instance());
  QObject::connect(timer, &QTimer::timeout, &Look);
  timer->start(500);
}

void SetDialogWatchdogLimit(int milliseconds) { gLimit = milliseconds; }
