#include "commands/StyleCommands.h"

#include <algorithm>

namespace {

// A caption holds LaTeX as typed, but a line break from a pasted text
// would reach the code as a new line inside \caption{...}; it becomes a
// blank. The placement and label are single words to LaTeX.
void OneLine(std::string& text) { std::replace_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' '); }

}  // namespace

TCommandResult SetRuleStyle(TTable& table, TRuleStyle style) {
  TCommandResult result;
  if (table.Style.Rules == style) return result;
  table.Style.Rules = style;
  result.Caption = "Rule Style";
  return result;
}

TCommandResult SetTableFloat(TTable& table, TTableFloat tableFloat) {
  for (std::string* text : {&tableFloat.Placement, &tableFloat.Caption, &tableFloat.Label}) OneLine(*text);
  TCommandResult result;
  if (table.Style.Float == tableFloat) return result;
  table.Style.Float = std::move(tableFloat);
  result.Caption = "Float";
  return result;
}

bool LosesVerticalRules(const TTable& table, TRuleStyle style) {
  return style == rsBooktabs && table.Style.Rules != rsBooktabs && table.HasVerticalRules();
}
