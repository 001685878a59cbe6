// A spreadsheet opened from the window through the sheet dialog, and a
// table pasted from a spreadsheet or a web page as HTML.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>

#include "common/gui/WindowFixture.h"
#include "forms/dialogs/SheetChoiceUnit.h"

namespace {

class SheetsTest : public WindowFixture {
 protected:
  std::vector<std::string> Row(int r) {
    std::vector<std::string> texts;
    for (const TCell* c : *Table().Rows[r]) texts.push_back(c->Text() + (c->Span > 1 ? "<" + std::to_string(c->Span) + ">" : ""));
    return texts;
  }
};

// If the dialog listed the sheets wrongly, offered an empty sheet, ignored
// the boxes or the chosen sheet, lost the merge over rows, or gave the
// document the workbook's name (Save would overwrite it), this fails; a
// cancelled choice must leave the document as it was.
TEST_F(SheetsTest, OpenAsksForTheSheetAndHowToReadIt) {
  const std::string book = std::string(QUILTOR_TEST_DIR) + "/document/data/sheets/book.xlsx";
  const std::vector<std::string> before = Row(0);
  Script.OpenChoices.push_back(book);
  Answer<TSheetChoiceForm>([](TSheetChoiceForm& form) { form.bCancel->click(); });
  ASSERT_TRUE(Run(Form->bOpen));
  EXPECT_EQ(Row(0), before);

  QStringList shown;
  bool escapeOn = false;
  Script.OpenChoices.push_back(book);
  Answer<TSheetChoiceForm>([&](TSheetChoiceForm& form) {
    for (int i = 0; i < form.fSheets->count(); ++i) shown << form.fSheets->item(i)->text();
    escapeOn = form.cbEscape->isChecked() && form.cbEmphasis->isChecked();
    form.cbEmphasis->setChecked(false);
    form.fSheets->setCurrentRow(0);
    form.bOK->click();
  });
  ASSERT_TRUE(Run(Form->bOpen));
  EXPECT_EQ(shown, (QStringList{"Results (4 rows \u00d7 5 columns)", "Notes (1 row \u00d7 1 column)"}));
  EXPECT_TRUE(escapeOn);
  EXPECT_EQ(Row(0), (std::vector<std::string>{"Sample", "Measured<2>", "Share", "Date"}));
  EXPECT_EQ(Cell(0, 0)->RowSpan, 2);
  EXPECT_EQ(Row(3)[0], "Total \\& 100\\%");
  EXPECT_EQ(Table().FileName, "");
  EXPECT_EQ(Table().Title, "book");
}

// If Paste ignored the HTML (joins and emphasis lost), were not offered
// for a clipboard of HTML alone, or Paste as Plain Text took the HTML, this
// fails.
TEST_F(SheetsTest, PasteTakesTheHtmlTablePlainPasteTheText) {
  auto offer = [](const QString& html, const QString& text) {
    auto* mime = new QMimeData;
    mime->setHtml(html);
    if (!text.isEmpty()) mime->setText(text);
    QGuiApplication::clipboard()->setMimeData(mime);
  };
  const QString html = "<table><tr><td colspan=2><b>Head</b></td></tr><tr><td>1</td><td>2</td></tr></table>";
  Table().ClearSelection();
  Table().SelectCell(Cell(1, 1));
  Form->SetCurrentCell(Cell(1, 1));
  offer(html, "");
  ASSERT_TRUE(Run(Form->bPaste));
  EXPECT_EQ(Row(1), (std::vector<std::string>{"", "\\textbf{Head}<2>", ""}));
  EXPECT_EQ(Row(2), (std::vector<std::string>{"", "1", "2", ""}));

  offer(html, "plain\ttext");
  Table().ClearSelection();
  Table().SelectCell(Cell(3, 0));
  Form->SetCurrentCell(Cell(3, 0));
  ASSERT_TRUE(Run(Form->mnPastePlain));
  EXPECT_EQ(Row(3), (std::vector<std::string>{"plain", "text", "", ""}));
}

}  // namespace
