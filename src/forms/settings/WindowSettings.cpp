#include "forms/settings/WindowSettings.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSessionManager>
#include <exception>
#include <memory>

#include "document/AppModule.h"
#include "document/Settings.h"
#include "forms/preview/CodeUnit.h"
#include "forms/mainwindow/MainUnit.h"
#include "forms/mainwindow/QtDocumentUI.h"
#include "platform/QtText.h"
#include "forms/mainwindow/RecoveryController.h"
#include "forms/settings/ToolbarLooks.h"
#include "forms/preview/TypesetPanel.h"
#include "forms/settings/WindowPlacement.h"
#include "undo/UndoBuffers.h"

// ---------------------------------------------------------------- window values

void CaptureWindowSettings(const TMainForm& form, const TCodeForm* code, TAppSettings& values,
                           std::optional<bool> codeVisible) {
  CaptureDocumentSettings(values);
  values.MainWindow = OuterRect(form);
  if (code) {
    values.CodeWindow = OuterRect(*code);
    values.CodeWindowVisible = codeVisible.value_or(code->isVisible());
    values.CodeFontName = code->CodeFontName();
    values.CodeFontSize = code->CodeFontSize();
  }
  values.ToolbarStyle = ToolbarLookInForce(form);
  if (form.TypesetPanel) {
    // Closing the main window hides its docks from view but leaves them
    // shown: isHidden tells what the user chose.
    values.TypesetVisible = !form.TypesetPanel->isHidden();
    values.TypesetPreamble = form.TypesetPanel->Preamble();
  }
}

void ApplyWindowSettings(TMainForm& form, TCodeForm* code, const TAppSettings& values) {
  ApplyDocumentSettings(values);
  if (values.MainWindow) PlaceWindow(form, *values.MainWindow);
  if (code) {
    if (values.CodeWindow) PlaceWindow(*code, *values.CodeWindow);
    code->SetCodeFont(values.CodeFontName, values.CodeFontSize);
    if (values.CodeWindowVisible && !code->isVisible()) {
      // As View > Code shows it: the box cannot take the keyboard while
      // the window appears.
      code->Memo->setEnabled(false);
      code->show();
      code->Memo->setEnabled(true);
    }
  }
  ApplyToolbarLook(form, values.ToolbarStyle);
  if (form.TypesetPanel) {
    form.TypesetPanel->SetPreamble(values.TypesetPreamble);
    form.TypesetPanel->setVisible(values.TypesetVisible);
  }
  // The grid is measured again in its font; the preview is filled.
  form.RefreshGrid();
}

// ---------------------------------------------------------------- the Options dialog

std::string TMainOptionsTarget::TypesetPreamble() const {
  return FForm.TypesetPanel ? FForm.TypesetPanel->Preamble() : std::string();
}
void TMainOptionsTarget::SetTypesetPreamble(const std::string& preamble) {
  if (FForm.TypesetPanel) FForm.TypesetPanel->SetPreamble(preamble);
}
std::string TMainOptionsTarget::GridFontName() const { return CurrentTable->FontName; }
int TMainOptionsTarget::GridFontSize() const { return CurrentTable->FontSize; }
std::string TMainOptionsTarget::CodeFontName() const { return CodeForm ? CodeForm->CodeFontName() : std::string(); }
int TMainOptionsTarget::CodeFontSize() const { return CodeForm ? CodeForm->CodeFontSize() : 0; }
int TMainOptionsTarget::UndoLevels() const { return UndoBuffer->MaxLevels; }
std::string TMainOptionsTarget::ToolbarLook() const { return ToolbarLookInForce(FForm); }

void TMainOptionsTarget::SetGridFont(const std::string& name, int size) {
  CurrentTable->FontName = name;
  CurrentTable->FontSize = size;
}

void TMainOptionsTarget::SetCodeFont(const std::string& name, int size) {
  if (CodeForm) CodeForm->SetCodeFont(name, size);
}

void TMainOptionsTarget::SetUndoLevels(int levels) { UndoBuffer->MaxLevels = levels; }
void TMainOptionsTarget::SetToolbarLook(const std::string& name) { ApplyToolbarLook(FForm, name); }
void TMainOptionsTarget::RefreshGrid() { FForm.RefreshGrid(); }

void TMainOptionsTarget::ShowError(const std::string& message) {
  // The window's own interface puts its boxes over the main window; this
  // one belongs over the dialog. Any other interface (a scripted user) is
  // told as it is told everything else.
  TDocumentUI* ui = ::DocumentUI();
  if (ui && ui != FForm.DocumentUI()) ui->ShowError(message);
  else QMessageBox::critical(Dialog ? Dialog : &FForm, ToQ(ApplicationTitle), ToQ(message));
}

namespace {

// Keeps the dialog's target alive as long as the dialog.
class TOwnedOptionsForm : public TOptionsForm {
 public:
  TOwnedOptionsForm(std::unique_ptr<TMainOptionsTarget> target, TMainForm& form)
      : TOptionsForm(*target, &form), FTarget(std::move(target)) {
    FTarget->Dialog = this;
  }

 private:
  std::unique_ptr<TMainOptionsTarget> FTarget;
};

}  // namespace

TOptionsForm& OptionsDialog(TMainForm& form) {
  auto* dialog = form.findChild<TOptionsForm*>("OptionsForm", Qt::FindDirectChildrenOnly);
  if (!dialog) {
    dialog = new TOwnedOptionsForm(std::make_unique<TMainOptionsTarget>(form), form);
    dialog->setObjectName("OptionsForm");
  }
  return *dialog;
}

// ---------------------------------------------------------------- the data module

TAppData::TAppData(TMainForm& form, TCodeForm* code) : FForm(form), FCode(code) {
  form.installEventFilter(this);
  connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) { CommitData(&manager); });

  std::string problems;
  try {
    // Built-in values are those the owners hold now; the toolbar look has
    // none in the window yet and starts as the application's own.
    TAppSettings values;
    CaptureDocumentSettings(values);
    if (FCode) {
      values.CodeFontName = FCode->CodeFontName();
      values.CodeFontSize = FCode->CodeFontSize();
    }
    std::unique_ptr<TSettingsStore> store = CreateSettingsStore();
    const TSettingsReport report = LoadSettings(*store, values, ScreenRects());
    problems = report.Text();
    ApplyWindowSettings(FForm, FCode, values);
    // A load that stopped part way leaves the layout as built: a layout
    // read after a damaged value is not to be trusted.
    if (report.Completed) {
      const std::string layout = RestoreToolbarLayout(FForm, *store);
      if (!layout.empty()) problems += (problems.empty() ? "" : "\n\n") + layout;
    }
  } catch (const std::exception& e) {
    problems += (problems.empty() ? "" : "\n\n") + std::string(e.what());
  }
  Report(problems);
}

TAppData::~TAppData() {
  FForm.removeEventFilter(this);
  SaveSettingsOnce();
}

void TAppData::SaveSettingsOnce() {
  if (FSaved) return;
  FSaved = true;
  std::string problems;
  try {
    TAppSettings values;
    // A closed main window hid the preview on its way out; what counts is
    // whether it showed when the user closed.
    CaptureWindowSettings(FForm, FCode, values,
                          FForm.isVisible() ? std::nullopt : FCodeVisibleAtClose);
    std::unique_ptr<TSettingsStore> store = CreateSettingsStore();
    const TSettingsReport report = SaveSettings(*store, values);
    problems = report.Text();
    if (report.Completed) {
      const std::string layout = SaveToolbarLayout(FForm, *store);
      if (!layout.empty()) problems += (problems.empty() ? "" : "\n\n") + layout;
    }
  } catch (const std::exception& e) {
    problems += (problems.empty() ? "" : "\n\n") + std::string(e.what());
  }
  Report(problems);
}

void TAppData::CommitData(QSessionManager* manager) {
  // An error box may be shown only when the session allows it; the save
  // goes ahead either way.
  const bool mayAsk = !manager || manager->allowsInteraction();
  // The session may end the program without closing its window: the
  // unsaved changes go to the recovery data now rather than at the next
  // interval.
  FForm.Recovery().WriteNow(true);
  FShowErrors = mayAsk;
  SaveSettingsOnce();
  FShowErrors = true;
  if (manager && mayAsk) manager->release();
}

bool TAppData::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &FForm && event->type() == QEvent::Close && FCode) FCodeVisibleAtClose = FCode->isVisible();
  return QObject::eventFilter(watched, event);
}

void TAppData::Report(const std::string& text) {
  if (text.empty() || !FShowErrors) return;
  if (TDocumentUI* ui = ::DocumentUI()) ui->ShowError(text);
  else QMessageBox::critical(nullptr, ToQ(ApplicationTitle), ToQ(text));
}
