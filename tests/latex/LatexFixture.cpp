#include "latex/LatexFixture.h"

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

void ParseCell(TRow& row, const std::string& rest, const std::string& where) {
  const size_t bar = rest.find('|');
  if (bar == std::string::npos) throw std::runtime_error(where + ": cell without \"|\" before its text");
  size_t textStart = bar + 1;
  if (textStart < rest.size() && rest[textStart] == ' ') ++textStart;

  TCell* cell = new TCell(row);
  std::istringstream attrs(rest.substr(0, bar));
  std::string token;
  while (attrs >> token) {
    const size_t eq = token.find('=');
    const std::string key = token.substr(0, eq);
    const std::string value = eq == std::string::npos ? std::string() : token.substr(eq + 1);
    if (key == "span" && !value.empty()) {
      cell->Span = std::stoi(value);
    } else if (key == "align" && value.size() == 1) {
      cell->Align = value[0];
    } else if (key == "rules") {
      SetRuleFlags(*cell, value, where);
    } else {
      throw std::runtime_error(where + ": unknown cell attribute \"" + token + "\"");
    }
  }
  cell->SetText(Unescape(rest.substr(textStart), where));
}

}  // namespace

std::vector<std::string> GoldenCaseNames() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(fs::path(QUILTOR_TEST_DIR) / "latex" / "data"))
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

fs::path GoldenCaseDir(const std::string& name) { return fs::path(QUILTOR_TEST_DIR) / "latex" / "data" / name; }

std::string GoldenTestName(const std::string& name) {
  std::string out = name;
  for (char& ch : out)
    if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return out;
}

void LoadTableFixture(const fs::path& file, TTable& table) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + file.string());
  std::string line;
  int number = 0;
  TRow* row = nullptr;
  while (std::getline(in, line)) {
    ++number;
    const std::string where = file.string() + ":" + std::to_string(number);
    if (line.empty() || line[0] == '#') continue;
    const size_t blank = line.find(' ');
    const std::string keyword = line.substr(0, blank);
    const std::string rest = blank == std::string::npos ? std::string() : line.substr(blank + 1);
    if (keyword == "env") {
      table.Environment = Unescape(rest, where);
    } else if (keyword == "options") {
      table.EnvOptions = Unescape(rest, where);
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
    } else {
      throw std::runtime_error(where + ": unknown keyword \"" + keyword + "\"");
    }
  }
  // A slip in a fixture would otherwise pass as a deliberately damaged table.
  for (const TRow* r : table.Rows) {
    int spans = 0;
    for (const TCell* c : *r) spans += c->Span;
    if (spans != table.ColCount())
      throw std::runtime_error(file.string() + ": row " + std::to_string(r->Index()) + " covers " +
                               std::to_string(spans) + " columns, the table has " +
                               std::to_string(table.ColCount()));
  }
}

std::string ReadFileBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + file.string());
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += '\n';
  }
  return text;
}
