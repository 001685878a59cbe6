#pragma once
// The dialog of New and of Table > Environment...: the size of a new table
// and the LaTeX environment it is typeset in, with a live preview of the
// environment's opening and closing lines.
//
// Created once and reused. The size fields keep their values from one New to
// the next, so the last sizes are offered again; the environment controls
// are loaded from the table each time the dialog is shown.
#include <QDialog>
#include <string>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QWidget;

class TNewForm : public QDialog {
  Q_OBJECT
 public:
  explicit TNewForm(QWidget* parent = nullptr);

  // New: shows the dialog with the size fields under its normal caption
  // "Create New Table". On entry environment and options are the current
  // table's, which the environment controls show; after OK (true) rows and
  // cols hold the sizes (1 to 1000) and environment and options the choice.
  // After Cancel (false) nothing is written.
  bool ExecuteNew(int& rows, int& cols, std::string& environment, std::string& options);
  // Environment...: the same without the size fields, captioned "Table
  // Environment". Whatever the result, the dialog is afterwards back in its
  // New form (caption and size fields).
  bool ExecuteEnvironment(std::string& environment, std::string& options);

  // Loads the environment controls from a table's environment and options,
  // as showing the dialog does (FormShow).
  void LoadEnvironment(const std::string& environment, const std::string& options);
  // The environment name of the current choice (Tabular, Array, or the
  // custom name as typed).
  std::string GetEnvironmentName() const;
  std::string Options() const;
  // Rewrites the three preview lines from the controls.
  void UpdatePreview();

  QWidget* fSizePanel;
  QSpinBox* ColCount;
  QSpinBox* RowCount;
  QGroupBox* fEnvironmentBox;
  QRadioButton* fTabular;
  QRadioButton* fArray;
  QRadioButton* fCustom;
  QLineEdit* fCustomName;
  QLineEdit* fOptions;
  QPlainTextEdit* fPreview;
  QPushButton* bOK;
  QPushButton* bCancel;

  static constexpr const char* kNewCaption = "Create New Table";
  static constexpr const char* kEnvironmentCaption = "Table Environment";

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  bool Run(std::string& environment, std::string& options);
  void EnvironmentChoiceClick();
};
