#include "forms/grid/CellEditor.h"

#include <QKeyEvent>
#include <algorithm>

bool TypesIntoEditor(const QKeyEvent& event) {
  const QString text = event.text();
  if (text.isEmpty() || text == QLatin1String("\r") || text == QLatin1String("\t") || text == QString(QChar(0x7F)))
    return false;
  // Ctrl (or Meta) makes a command key. With Alt as well it may be AltGr,
  // which types printable characters.
  const Qt::KeyboardModifiers modifiers = event.modifiers();
  if (!(modifiers & (Qt::ControlModifier | Qt::MetaModifier))) return true;
  const char16_t first = text.front().unicode();
  return (modifiers & Qt::AltModifier) && first >= 0x20 && first != 0x7F;
}

QString SingleLineText(const QString& before, const QString& after) {
  const qsizetype shorter = std::min(before.size(), after.size());
  qsizetype head = 0;
  while (head < shorter && before[head] == after[head]) ++head;
  qsizetype tail = 0;
  while (tail < shorter - head && before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) ++tail;
  QString text = after;
  for (qsizetype i = head; i < after.size() - tail; ++i) {
    const QChar c = text[i];
    if (c == u'\t' || c == u'\r' || c == u'\n') text[i] = u' ';
  }
  return text;
}

TSingleLineValidator::TSingleLineValidator(std::function<QString()> before, QObject* parent)
    : QValidator(parent), FBefore(std::move(before)) {}

QValidator::State TSingleLineValidator::validate(QString& input, int&) const {
  // The replacement keeps the length, so the caret stays where it is.
  input = SingleLineText(FBefore(), input);
  return Acceptable;
}
