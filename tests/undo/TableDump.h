#pragma once
// Helpers shared by the undo tests: a text form of everything TTable::Assign
// copies, so that two tables compare in one EXPECT_EQ with a readable diff.
#include <string>

#include "model/Tables.h"

inline std::string DumpContent(const TTable& t) {
  std::string out;
  auto text = [&out](const std::string& s) {
    out += '[';
    out += s;
    out += ']';
  };
  auto number = [&out](int n) {
    out += std::to_string(n);
    out += ',';
  };
  for (const std::string* s : {&t.Environment, &t.EnvOptions, &t.Extra1, &t.Extra2, &t.Extra3}) text(*s);
  const TTableFloat& f = t.Style.Float;
  number(t.Style.Rules);
  for (const std::string* s : {&f.Placement, &f.Caption, &f.Label, &f.TextBefore, &f.TextAfter}) text(*s);
  for (const bool flag : {f.Centering, f.CaptionBelow, f.Wide}) number(flag);
  out += "\ncols";
  for (const TColumn* c : t.Columns) {
    text(c->Format);
    if (c->Selected) out += '*';
  }
  out += '\n';
  for (const TRow* r : t.Rows) {
    out += r->Selected ? '*' : ' ';
    text(r->Prefix);
    text(r->Postfix);
    for (const TCell* c : *r) {
      out += " {";
      text(c->Text());
      const TBlockArgs& a = c->BlockArgs();
      for (const std::string* s : {&a.VPos, &a.BigStruts, &a.Width, &a.VMove}) text(*s);
      for (int n : {int{c->Span}, int{c->RowSpan}, int{c->RowsToTop}, static_cast<int>(c->Align), c->Selected ? 1 : 0, static_cast<int>(c->RuleLeft),
                    static_cast<int>(c->RuleTop), static_cast<int>(c->RuleRight), static_cast<int>(c->RuleBottom)})
        number(n);
      out += '}';
    }
    out += '\n';
  }
  return out;
}

// A rows x cols table of single cells with texts "r<row>c<col>".
inline void BuildGrid(TTable& t, int rows, int cols) {
  t.CurrentCell = nullptr;
  t.Clear();
  for (int i = 0; i < cols; ++i) new TColumn(t);
  for (int r = 0; r < rows; ++r) {
    TRow* row = t.AddRow();
    for (int c = 0; c < cols; ++c) (*row)[c]->SetText("r" + std::to_string(r) + "c" + std::to_string(c));
  }
}
