#pragma once
// The commands that change the table's style as a whole: its rule style
// and its float. Like the table commands they return the undo caption, or
// none when nothing changed.
#include "commands/TableCommands.h"
#include "model/Tables.h"

// Table > Rule Style: "Rule Style".
TCommandResult SetRuleStyle(TTable& table, TRuleStyle style);
// Table > Float...: "Float". Texts lose the line breaks a caption, label
// or placement cannot hold (they would end the command in LaTeX).
TCommandResult SetTableFloat(TTable& table, TTableFloat tableFloat);

// Whether switching table to style should tell the user that its vertical
// rules will not show: booktabs has none, and the table has some.
bool LosesVerticalRules(const TTable& table, TRuleStyle style);
