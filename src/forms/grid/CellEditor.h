#pragma once
// The rules of the one-line cell editor: what a key typed on the grid puts
// into it, and what text may enter it.
#include <QString>
#include <QValidator>
#include <functional>

class QKeyEvent;

// Whether a key pressed on the grid types into the cell editor. Every
// character does, control characters such as Backspace included, except
// CR (Enter), TAB and DEL (the Delete key). A key with Ctrl or Meta held is
// a command key (Ctrl+C, Ctrl+Z, ...), not text, unless Alt is held too
// and it gives a printable character (AltGr on some systems).
bool TypesIntoEditor(const QKeyEvent& event);

// The text a one-line box holds after an insertion: before is its text
// before the change, after the text the change produced. What the change
// inserted (the part of after between the parts it shares with before at
// either end) has every TAB, CR and LF replaced by a blank; the rest is
// kept as it was, so that a cell loaded with such characters keeps them
// where the user did not type.
QString SingleLineText(const QString& before, const QString& after);

// Makes a line edit a one-line box, whichever way text enters it: typing,
// pasting, dropping, an input method. Before gives the box's text before
// the change at hand (the cell editor writes every change through into the
// current cell, so the cell holds it).
class TSingleLineValidator : public QValidator {
 public:
  TSingleLineValidator(std::function<QString()> before, QObject* parent);
  State validate(QString& input, int& pos) const override;

 private:
  std::function<QString()> FBefore;
};
