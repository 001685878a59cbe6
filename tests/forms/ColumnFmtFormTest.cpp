// The Column Format dialog as the user drives it: what it shows, picking a
// recent format, and what OK and Cancel hand back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <string>
#include <vector>

#include "forms/dialogs/ColumnFmtUnit.h"

namespace {

TSList Recent(const std::vector<std::string>& entries) {
  TSList list(8);
  for (const std::string& e : entries) list.Add(e);
  return list;
}

std::vector<std::string> ListTexts(const QListWidget* list) {
  std::vector<std::string> texts;
  for (int i = 0; i < list->count(); ++i) texts.push_back(list->item(i)->text().toStdString());
  return texts;
}

void Type(QWidget* w, const QString& text) {
  QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, text);
  QApplication::sendEvent(w, &key);
}

}  // namespace

// Each opening shows its own format, focused and selected so that typing
// replaces it, and exactly the recent entries it is given, in order; Cancel
// hands back nothing even after the box was edited.
TEST(ColumnFmtForm, ShowsFormatSelectedAndRecentInOrderCancelKeepsFormat) {
  TColumnFmtForm form;
  struct Case {
    std::string Format;
    std::vector<std::string> Recent;
  };
  for (const Case& c : {Case{"p{2cm}", {"r@{}", "p{20pt}", "X"}}, Case{"", {"m{1cm}"}}}) {
    SCOPED_TRACE(c.Format);
    QWidget* focused = nullptr;
    QString selected;
    std::vector<std::string> shown;
    QTimer::singleShot(0, &form, [&] {
      focused = form.focusWidget();
      selected = form.Edit1->selectedText();
      shown = ListTexts(form.ListBox1);
      QTest::keyClicks(form.Edit1, "zz");
      form.bCancel->click();
    });
    std::string format = c.Format;
    EXPECT_FALSE(form.Execute(format, Recent(c.Recent)));
    EXPECT_EQ(focused, form.Edit1);
    EXPECT_EQ(selected.toStdString(), c.Format);
    EXPECT_EQ(shown, c.Recent);
    EXPECT_EQ(format, c.Format);
  }
}

// A click on an entry puts it into the box, and OK hands back its bytes, also
// when they are no UTF-8 (a format from an old file).
TEST(ColumnFmtForm, ClickOnAnEntryCopiesItIntoTheBox) {
  TColumnFmtForm form;
  for (const std::string entry : {"p{20pt}", "p{\xE9}"}) {
    SCOPED_TRACE(entry);
    QString boxed;
    QTimer::singleShot(0, &form, [&] {
      QListWidget* list = form.ListBox1;
      QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                        list->visualItemRect(list->item(1)).center());
      boxed = form.Edit1->text();
      form.bOK->click();
    });
    std::string format = "l";
    ASSERT_TRUE(form.Execute(format, Recent({"c", entry, "r"})));
    EXPECT_EQ(boxed, QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size())));
    EXPECT_EQ(format, entry);
  }
}

// OK (here Enter in the box) hands back the text exactly as typed: no
// trimming, non-ASCII as UTF-8, an emptied box as empty, and a format whose
// bytes are no UTF-8 unchanged while the box is left alone.
TEST(ColumnFmtForm, OkReturnsTheTextExactlyAsTyped) {
  TColumnFmtForm form;
  struct Case {
    std::string Given;
    QString Typed;
    bool Erase;
    std::string Expected;
  };
  const Case cases[] = {
      {"l", QString::fromUtf8(" p{2\u20ac} "), false, " p{2\xE2\x82\xAC} "},
      {"p{\xE9}", "", false, "p{\xE9}"},
      {"c", "", true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Expected);
    QTimer::singleShot(0, &form, [&] {
      for (const QChar ch : c.Typed) Type(form.Edit1, QString(ch));
      if (c.Erase) QTest::keyClick(form.Edit1, Qt::Key_Backspace);
      QTest::keyClick(form.Edit1, Qt::Key_Return);
    });
    std::string format = c.Given;
    ASSERT_TRUE(form.Execute(format, Recent({})));
    EXPECT_EQ(format, c.Expected);
  }
}
