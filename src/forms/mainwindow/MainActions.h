#pragma once
// The main window's commands as data. Each action is one row of one table:
// where the window keeps it, its menu caption, button text, image, hint,
// shortcut, tag and handler. The menus and toolbars only place those
// actions; UpdateCommandStates decides when each is enabled and checked.
// A new command is a new row, a place in a menu or toolbar, its handler and
// its enabling rule - the window's own file does not change.
#include <span>

class QAction;
class TMainForm;

enum TActionFlag : unsigned {
  afNone = 0,
  afCheckable = 1,
  // Its shortcut acts only while the grid has the focus; in the cell editor
  // the same keys keep their editing meaning.
  afGridKeys = 2,
  // One of the four exclusive alignment buttons.
  afAlignGroup = 4,
  // Starts disabled, before the first idle update.
  afDisabled = 8,
};

// No tag: the action's data stays empty.
constexpr int kNoTag = -1;

struct TActionSpec {
  // Where the window keeps the action; null for an item of a drop-down list,
  // which goes into an array of the window instead.
  QAction* TMainForm::*Action;
  const char* Caption;           // menu caption, with its access key
  const char* IconText;          // button text when it differs; null: none
  const char* Icon;              // image name; null: none
  const char* Hint;              // tool tip and status tip; null: none
  const char* Keys;              // shortcuts, "; " between two; "" none
  void (TMainForm::*Handler)();  // run through the command guard; null: none
  unsigned Flags;
  int Tag;
};

// A split button's face shows the entry of its list chosen last: its
// caption, image, hint and tag.
void CopyFace(QAction* face, const QAction* item);

// Every single action of the window.
std::span<const TActionSpec> MainActionTable();
// The four insertions of the Insert drop-down and Table menu (tags 0 to 3)
// and the ten rule sets of the Rules palette (tag: their rule bits).
std::span<const TActionSpec> InsertItemTable();
std::span<const TActionSpec> RuleItemTable();
