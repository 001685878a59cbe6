#pragma once
// The OK and Cancel pair that closes the program's dialogs: right-aligned,
// OK the default button, Cancel rejecting the dialog. OK is left for the
// caller to connect, since some dialogs check their fields before closing.
#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

inline QHBoxLayout* MakeOkCancel(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel) {
  ok = new QPushButton("OK", dialog);
  ok->setDefault(true);
  cancel = new QPushButton("Cancel", dialog);
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  return buttons;
}
