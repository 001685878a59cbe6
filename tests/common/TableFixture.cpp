#include "common/TableFixture.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "model/Tables.h"

namespace fs = std::filesystem;

namespace {

// TeX's caret notation, so that control characters can be written in a
// fixture without making the whole value backslash-escaped LaTeX soup:
// "^^I" is a tab, "^^M" a carriage return, "^^@" NUL, "^^?" DEL.
std::string Unescape(const std::string& value, const std::string& where) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    if (value.compare(i, 2, "^^") == 0) {
      if (i + 2 >= value.size()) throw std::runtime_error(where + ": \"^^\" at the end of the line");
      const auto c = static_cast<unsigned char>(value[i + 2]);
      out += static_cast<char>(c < 64 ? c + 64 : c - 64);
      i += 2;
    } else {
      out += value[i];
    }
  }
  return out;
}

std::string Escape(const std::string& value) {
  if (value.find("^^") != std::string::npos)
    throw std::runtime_error("the fixture text cannot hold \"^^\": " + value);
  std::string out;
  for (char ch : value) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 32 || c == 127) {
      out += "^^";
      out += static_cast<char>(c < 32 ? c + 64 : c - 64);
    } else {
      out += ch;
    }
  }
  return out;
}

// Rule letters: upper case stores 255 (what the rules commands store), lower
// case 1, so a case can check that only zero and non-zero matter.
void SetRuleFlags(TCell& cell, const std::string& letters, const std::string& where) {
  for (char ch : letters) {
    const uint8_t value = (ch >= 'A' && ch <= 'Z') ? 255 : 1;
    switch (ch) {
      case 'L': case 'l': cell.RuleLeft = value; break;
      case 'T': case 't': cell.RuleTop = value; break;
      case 'R': case 'r': cell.RuleRight = value; break;
      case 'B': case 'b': cell.RuleBottom = value; break;
      default: throw std::runtime_error(where + ": unknown rule letter '" + std::string(1, ch) + "'");
    }
  }
}

void AppendRuleLetter(std::string& out, uint8_t flag, char letter) {
  if (flag == 255) out += letter;
  else if (flag) out += static_cast<char>(letter - 'A' + 'a');
}

void ParseCell(TRow& row, const std::string& rest, const std::string& where) {
  const size_t bar = rest.find('|');
  if (bar == std::string::npos) throw std::runtime_error(where + ": cell without \"|\" before its text");
  size_t textStart = bar + 1;
  if (textStart < rest.size() && rest[textStart] == ' ') ++textStart;

  TCell* cell = new TCell(row);
  std::istringstream attrs(rest.substr(0, bar));
  std::string token;
  TBlockArgs args;
  auto count = [&](const std::string& value) {
    size_t used = 0;
    int n = -1;
    try {
      n = std::stoi(value, &used);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used == 0 || used != value.size()) throw std::runtime_error(where + ": \"" + value + "\" is no number");
    return n;
  };
  while (attrs >> token) {
    const size_t eq = token.find('=');
    const std::string key = token.substr(0, eq);
    const std::string value = eq == std::string::npos ? std::string() : token.substr(eq + 1);
    if (key == "span" && !value.empty()) {
      cell->Span = count(value);
    } else if (key == "rows" && !value.empty()) {
      cell->RowSpan = count(value);
    } else if (key == "covered" && !value.empty()) {
      cell->RowsToTop = count(value);
    } else if (key == "vpos" && eq != std::string::npos) {
      args.VPos = Unescape(value, where);
    } else if (key == "struts" && eq != std::string::npos) {
      args.BigStruts = Unescape(value, where);
    } else if (key == "width" && eq != std::string::npos) {
      args.Width = Unescape(value, where);
    } else if (key == "vmove" && eq != std::string::npos) {
      args.VMove = Unescape(value, where);
    } else if (key == "align" && value.size() == 1) {
      cell->Align = value[0];
    } else if (key == "rules") {
      SetRuleFlags(*cell, value, where);
    } else if (token == "selected") {
      cell->Selected = true;
    } else {
      throw std::runtime_error(where + ": unknown cell attribute \"" + token + "\"");
    }
  }
  cell->SetBlockArgs(args);
  cell->SetText(Unescape(rest.substr(textStart), where));
}

// An attribute value cannot hold a blank, which ends the attribute.
std::string AttributeValue(const std::string& value) {
  if (value.find(' ') != std::string::npos)
    throw std::runtime_error("a cell attribute cannot hold a blank: " + value);
  return Escape(value);
}

std::vector<int> ParseIndices(const std::string& rest, const std::string& where) {
  std::istringstream in(rest);
  std::vector<int> out;
  std::string token;
  while (in >> token) {
    size_t used = 0;
    int value = -1;
    try {
      value = std::stoi(token, &used);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used != token.size() || value < 0) throw std::runtime_error(where + ": \"" + token + "\" is no index");
    out.push_back(value);
  }
  return out;
}

const char* const kModeNames[] = {"none", "rows", "columns", "cells"};

}  // namespace

namespace {

void LoadTableFixture(std::istream& in, const std::string& name, TTable& table,
                      std::vector<std::string>* recentFormats) {
  std::string line;
  int number = 0;
  TRow* row = nullptr;
  // Selection statements name rows and cells that may come later in the
  // file; they are applied once everything is read.
  std::vector<std::pair<std::string, std::vector<int>>> deferred;
  while (std::getline(in, line)) {
    ++number;
    const std::string where = name + ":" + std::to_string(number);
    if (line.empty() || line[0] == '#') continue;
    const size_t blank = line.find(' ');
    const std::string keyword = line.substr(0, blank);
    const std::string rest = blank == std::string::npos ? std::string() : line.substr(blank + 1);
    if (keyword == "env") {
      table.Environment = Unescape(rest, where);
    } else if (keyword == "options") {
      table.EnvOptions = Unescape(rest, where);
    } else if (keyword == "style") {
      if (rest != "booktabs" && rest != "classic") throw std::runtime_error(where + ": unknown style \"" + rest + "\"");
      table.Style.Rules = rest == "booktabs" ? rsBooktabs : rsClassic;
    } else if (keyword == "placement") {
      table.Style.Float.Placement = Unescape(rest, where);
    } else if (keyword == "caption") {
      table.Style.Float.Caption = Unescape(rest, where);
    } else if (keyword == "label") {
      table.Style.Float.Label = Unescape(rest, where);
    } else if (keyword == "float-before") {
      table.Style.Float.TextBefore = Unescape(rest, where);
    } else if (keyword == "float-after") {
      table.Style.Float.TextAfter = Unescape(rest, where);
    } else if (keyword == "centering") {
      table.Style.Float.Centering = true;
    } else if (keyword == "caption-below") {
      table.Style.Float.CaptionBelow = true;
    } else if (keyword == "wide") {
      table.Style.Float.Wide = true;
    } else if (keyword == "column") {
      if (table.RowCount() > 0) throw std::runtime_error(where + ": columns come before the rows");
      (new TColumn(table))->Format = Unescape(rest, where);
    } else if (keyword == "row") {
      row = new TRow(table);
    } else if (keyword == "prefix" || keyword == "postfix" || keyword == "cell") {
      if (!row) throw std::runtime_error(where + ": \"" + keyword + "\" before the first \"row\"");
      if (keyword == "prefix") row->Prefix = Unescape(rest, where);
      else if (keyword == "postfix") row->Postfix = Unescape(rest, where);
      else ParseCell(*row, rest, where);
    } else if (keyword == "mode") {
      bool known = false;
      for (int m = 0; m < 4; ++m)
        if (rest == kModeNames[m]) {
          table.SelectionMode = static_cast<TSelectionMode>(m);
          known = true;
        }
      if (!known) throw std::runtime_error(where + ": unknown selection mode \"" + rest + "\"");
    } else if (keyword == "selected-rows" || keyword == "selected-columns" || keyword == "current") {
      deferred.emplace_back(where + " " + keyword, ParseIndices(rest, where));
    } else if (keyword == "recent") {
      if (!recentFormats) throw std::runtime_error(where + ": \"recent\" where no recent list is read");
      recentFormats->push_back(Unescape(rest, where));
    } else {
      throw std::runtime_error(where + ": unknown keyword \"" + keyword + "\"");
    }
  }
  // A slip in a fixture would otherwise pass as a deliberately damaged table.
  for (const TRow* r : table.Rows) {
    int spans = 0;
    for (const TCell* c : *r) spans += c->Span;
    if (spans != table.ColCount())
      throw std::runtime_error(name + ": row " + std::to_string(r->Index()) + " covers " +
                               std::to_string(spans) + " columns, the table has " +
                               std::to_string(table.ColCount()));
  }
  for (const auto& [what, indices] : deferred) {
    const std::string keyword = what.substr(what.rfind(' ') + 1);
    if (keyword == "current") {
      TCell* cell = indices.size() == 2 ? table.GetCell(indices[0], indices[1]) : nullptr;
      if (!cell) throw std::runtime_error(what + ": needs the row and column of a cell");
      table.CurrentCell = cell;
      continue;
    }
    const bool rows = keyword == "selected-rows";
    for (int i : indices) {
      if (i >= (rows ? table.RowCount() : table.ColCount()))
        throw std::runtime_error(what + ": no " + (rows ? "row " : "column ") + std::to_string(i));
      if (rows) table.Rows[i]->Selected = true;
      else table.Columns[i]->Selected = true;
    }
  }
}

}  // namespace

void LoadTableFixture(const fs::path& file, TTable& table, std::vector<std::string>* recentFormats) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + file.string());
  LoadTableFixture(in, file.string(), table, recentFormats);
}

void LoadTableFixtureText(const std::string& text, TTable& table) {
  std::istringstream in(text);
  LoadTableFixture(in, "fixture text", table, nullptr);
}

std::string WriteTableFixture(const TTable& table, bool withViewState, const std::vector<std::string>* recentFormats) {
  std::string out;
  if (table.Environment != "tabular") out += "env " + Escape(table.Environment) + "\n";
  if (!table.EnvOptions.empty()) out += "options " + Escape(table.EnvOptions) + "\n";
  if (table.Style.Rules == rsBooktabs) out += "style booktabs\n";
  const TTableFloat& fl = table.Style.Float;
  auto text = [&](const char* keyword, const std::string& value) {
    if (!value.empty()) out += std::string(keyword) + " " + Escape(value) + "\n";
  };
  text("placement", fl.Placement);
  if (fl.Centering) out += "centering\n";
  text("caption", fl.Caption);
  text("label", fl.Label);
  if (fl.CaptionBelow) out += "caption-below\n";
  if (fl.Wide) out += "wide\n";
  text("float-before", fl.TextBefore);
  text("float-after", fl.TextAfter);
  for (const TColumn* c : table.Columns) out += "column " + Escape(c->Format) + "\n";
  for (const TRow* row : table.Rows) {
    out += "\nrow\n";
    if (!row->Prefix.empty()) out += "prefix " + Escape(row->Prefix) + "\n";
    if (!row->Postfix.empty()) out += "postfix " + Escape(row->Postfix) + "\n";
    for (const TCell* c : *row) {
      out += "cell";
      if (c->Span != 1) out += " span=" + std::to_string(c->Span);
      if (c->RowSpan != 1) out += " rows=" + std::to_string(c->RowSpan);
      if (c->RowsToTop != 0) out += " covered=" + std::to_string(c->RowsToTop);
      if (c->Align) out += std::string(" align=") + char{c->Align};
      const TBlockArgs& args = c->BlockArgs();
      const TBlockArgs defaults;
      if (args.VPos != defaults.VPos) out += " vpos=" + AttributeValue(args.VPos);
      if (args.BigStruts != defaults.BigStruts) out += " struts=" + AttributeValue(args.BigStruts);
      if (args.Width != defaults.Width) out += " width=" + AttributeValue(args.Width);
      if (args.VMove != defaults.VMove) out += " vmove=" + AttributeValue(args.VMove);
      std::string rules;
      AppendRuleLetter(rules, c->RuleLeft, 'L');
      AppendRuleLetter(rules, c->RuleTop, 'T');
      AppendRuleLetter(rules, c->RuleRight, 'R');
      AppendRuleLetter(rules, c->RuleBottom, 'B');
      if (!rules.empty()) out += " rules=" + rules;
      if (c->Selected) out += " selected";
      out += " |";
      if (!c->Text().empty()) out += " " + Escape(c->Text());
      out += "\n";
    }
  }
  auto writeIndices = [&](const char* keyword, const TArrayOfInteger& indices) {
    if (indices.empty()) return;
    out += keyword;
    for (int i : indices) out += " " + std::to_string(i);
    out += "\n";
  };
  const TArrayOfInteger columns = table.GetSelectedColumns();
  const TArrayOfInteger rows = table.GetSelectedRows();
  const bool viewState = withViewState && (table.SelectionMode != smNone || table.CurrentCell);
  if (!columns.empty() || !rows.empty() || viewState) out += "\n";
  writeIndices("selected-columns", columns);
  writeIndices("selected-rows", rows);
  if (withViewState) {
    if (table.SelectionMode > smCells) throw std::runtime_error("unknown selection mode");
    if (table.SelectionMode != smNone) out += std::string("mode ") + kModeNames[table.SelectionMode] + "\n";
    if (const TCell* c = table.CurrentCell)
      out += "current " + std::to_string(c->RowIndex()) + " " + std::to_string(c->ColIndex()) + "\n";
  }
  if (recentFormats) {
    if (!recentFormats->empty()) out += "\n";
    for (const std::string& f : *recentFormats) out += "recent " + Escape(f) + "\n";
  }
  return out;
}

std::string ReadFileBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + file.string());
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::vector<std::string> CaseFolderNames(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string CaseTestName(const std::string& name) {
  std::string out = name;
  for (char& ch : out)
    if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return out;
}
