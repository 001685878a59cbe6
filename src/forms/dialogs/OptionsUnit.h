#pragma once
// The "Options" dialog (View > Options...): the grid's font, the code
// preview's font, the depth of the undo history and the toolbar look. It
// reads the values in force each time it is shown and applies them itself
// through TOptionsTarget on Apply or OK; it keeps nothing of its own.
//
// A size that is not a whole number is refused with "Font size should be a
// valid integer number": the offending box gets the focus and nothing at all
// is applied. A refused OK keeps the dialog open, so that the user can put
// the size right instead of typing everything again.
#include <QDialog>
#include <QWidget>
#include <string>

#include "document/AppModule.h"
#include "document/Recovery.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;

// What the dialog reads and changes: the main window implements it.
class TOptionsTarget {
 public:
  virtual ~TOptionsTarget() = default;
  virtual std::string GridFontName() const = 0;
  virtual int GridFontSize() const = 0;
  virtual std::string CodeFontName() const = 0;
  virtual int CodeFontSize() const = 0;
  virtual int UndoLevels() const = 0;
  // The name of the toolbar look in force.
  virtual std::string ToolbarLook() const = 0;

  // Apply calls these in this order, each once, and only after both sizes
  // were found to be whole numbers.
  virtual void SetGridFont(const std::string& name, int size) = 0;
  virtual void SetCodeFont(const std::string& name, int size) = 0;
  virtual void SetUndoLevels(int levels) = 0;
  // Seconds; 0 is off. The document layer's setting unless overridden.
  virtual int RecoveryInterval() const { return ::RecoveryInterval; }
  virtual void SetRecoveryInterval(int seconds) { ::RecoveryInterval = seconds; }
  // Only when the chosen look differs from ToolbarLook().
  virtual void SetToolbarLook(const std::string& name) = 0;
  // Lays out and draws the grid again and regenerates the code preview.
  virtual void RefreshGrid() = 0;

  // An error box over the dialog; the dialog goes on.
  virtual void ShowError(const std::string& message) = 0;

  // The typeset preview's preamble: the user's own macros. A target without
  // a typeset preview keeps none; Apply sets it before RefreshGrid, only
  // when it changed.
  virtual std::string TypesetPreamble() const { return {}; }
  virtual void SetTypesetPreamble(const std::string&) {}

  // The Code page: the document layer's settings unless overridden. Apply
  // sets them before RefreshGrid.
  virtual TRuleStyle NewTableRuleStyle() const { return ::NewTableRules; }
  virtual void SetNewTableRuleStyle(TRuleStyle style) { ::NewTableRules = style; }
  virtual TCodePreferences CodeSettings() const { return ::CodePreferences; }
  virtual void SetCodeSettings(const TCodePreferences& preferences) { ::CodePreferences = preferences; }
};

// A one-line text box with a list of choices below it (indented by 8
// pixels). The text box holds the value; the list only helps to fill it:
// typing scrolls the list to the first entry that starts with the text and
// highlights an entry only when it equals the whole text (letter case
// ignored either way); Up and Down move the highlight and copy the entry
// into the box, all of it selected; a click on an entry does the same and
// focuses the box. Any text is accepted.
class TEditList : public QWidget {
  Q_OBJECT
 public:
  explicit TEditList(QWidget* parent = nullptr);

  void SetItems(const QStringList& items);
  QString Text() const;
  void SetText(const QString& text);
  // The highlighted row of the list, -1 for none.
  int Highlighted() const;

  QLineEdit* Edit;
  QListWidget* List;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Follows the typed text in the list.
  void EditChange(const QString& text);
  // Up (-1) or Down (+1) in the text box.
  void MoveHighlight(int step);
  void Highlight(int row);
  void TakeEntry(int row);
};

class TOptionsForm : public QDialog {
  Q_OBJECT
 public:
  explicit TOptionsForm(TOptionsTarget& target, QWidget* parent = nullptr);

  // Fills the controls with the values in force (runs each time the dialog
  // is shown).
  void FormShow();
  // The Editor page's defaults into the controls; nothing is applied.
  void bDefaultsClick();
  // The Misc. page's defaults into the controls; nothing is applied.
  void bDefaults2Click();
  // Applies the controls' values. Raises "Font size should be a valid
  // integer number" with the focus on the offending box, having applied
  // nothing, when a size is not a whole number.
  void bApplyClick();
  // Apply, then close with OK; a refused Apply shows its message and keeps
  // the dialog open.
  void bOKClick();

  QTabWidget* PageControl;
  TEditList* fEdFont;
  TEditList* fEdSize;
  TEditList* fCodeFont;
  TEditList* fCodeSize;
  QPushButton* Button1;
  QSpinBox* fUndoLevels;
  QSpinBox* fRecoveryInterval;
  QComboBox* Appearance;
  QPushButton* Button2;
  QPlainTextEdit* fTypesetPreamble;  // the Typeset page
  QComboBox* fNewRuleStyle;          // the Code page
  QCheckBox* fAlignCode;
  QCheckBox* fPackageComment;
  QPushButton* bApply;
  QPushButton* bOk;
  QPushButton* bCancel;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // Runs a button's handler, showing what it raises.
  bool Guarded(void (TOptionsForm::*handler)());

  TOptionsTarget& FTarget;
};
