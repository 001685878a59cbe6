// The table's style from the window: Table > Rule Style, the toolbar's
// Booktabs toggle and Table > Float.... The commands themselves are in
// StyleCommands; these handlers ask and tell the user.
#include <QAction>
#include <QMessageBox>

#include "commands/StyleCommands.h"
#include "document/AppModule.h"
#include "forms/dialogs/FloatUnit.h"
#include "forms/mainwindow/MainUnit.h"

namespace {

constexpr const char* kVerticalRulesNotice =
    "Booktabs tables have no vertical rules. The grid shows this table's vertical rules greyed, and the LaTeX "
    "code leaves them out; they come back when you switch to the classic style.";

}  // namespace

void TMainForm::mnRuleStyleClick(QAction* sender) {
  const int tag = sender->data().toInt();
  if (tag != rsClassic && tag != rsBooktabs) return;
  const auto style = static_cast<TRuleStyle>(tag);
  const bool notice = !FVerticalRulesNoticeShown && LosesVerticalRules(*CurrentTable, style);
  RunTableCommand([style](TTable& t) { return SetRuleStyle(t, style); });
  if (notice) {
    FVerticalRulesNoticeShown = true;
    QMessageBox::information(this, "Rule Style", kVerticalRulesNotice);
  }
}

void TMainForm::bBooktabsClick() {
  mnRuleStyleClick(CurrentTable->Style.Rules == rsBooktabs ? mnRuleClassic : mnRuleBooktabs);
}

void TMainForm::mnFloatClick() {
  FocusGrid();
  TTableFloat tableFloat = CurrentTable->Style.Float;
  const bool ok = FloatForm->Execute(tableFloat);
  BackFromDialog();
  if (!ok) return;
  RunTableCommand([tableFloat](TTable& t) { return SetTableFloat(t, tableFloat); });
}
