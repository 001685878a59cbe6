#include "model/ColumnFormat.h"

#include <cctype>
#include <cstdlib>

namespace {

bool IsBlank(char ch) { return std::isspace(static_cast<unsigned char>(ch)) != 0; }

void SkipBlanks(const std::string& s, size_t& i) {
  while (i < s.size() && IsBlank(s[i])) ++i;
}

// The text of the braced group at i (after blanks), i moved past it; empty
// when none is there. Braces nest.
std::string Group(const std::string& s, size_t& i) {
  SkipBlanks(s, i);
  if (i >= s.size() || s[i] != '{') return {};
  int depth = 0;
  const size_t start = i + 1;
  for (; i < s.size(); ++i) {
    if (s[i] == '\\') {
      ++i;
      continue;
    }
    if (s[i] == '{') ++depth;
    else if (s[i] == '}' && --depth == 0) return s.substr(start, i++ - start);
  }
  return s.substr(start);
}

}  // namespace

float TexLengthPt(const std::string& length, float emPt) {
  const char* text = length.c_str();
  char* end = nullptr;
  const float value = std::strtof(text, &end);
  if (end == text || value <= 0) return 0;
  std::string unit(end);
  size_t i = 0;
  SkipBlanks(unit, i);
  unit = unit.substr(i);
  while (!unit.empty() && IsBlank(unit.back())) unit.pop_back();
  struct TUnit {
    const char* Name;
    float Points;
  };
  // TeX's own units: 72.27 pt to the inch.
  const TUnit units[] = {{"pt", 1.0f},          {"cm", 72.27f / 2.54f}, {"mm", 72.27f / 25.4f},
                         {"in", 72.27f},        {"bp", 72.27f / 72.0f}, {"pc", 12.0f},
                         {"em", emPt},          {"ex", emPt * 0.43f}};
  for (const TUnit& u : units)
    if (unit == u.Name) return value * u.Points;
  return 0;
}

TColumnLook ParseColumnFormat(const std::string& format, float emPt) {
  TColumnLook look;
  bool letter = false;
  size_t i = 0;
  while (i < format.size()) {
    const char ch = format[i++];
    if (IsBlank(ch)) continue;
    if (ch == '|') {
      ++(letter ? look.RulesRight : look.RulesLeft);
      continue;
    }
    // Material around or between columns, and the text put before or after
    // each cell: nothing the grid draws.
    if (ch == '>' || ch == '<' || ch == '@' || ch == '!') {
      Group(format, i);
      continue;
    }
    if (!std::isalpha(static_cast<unsigned char>(ch))) continue;
    // A second column in one format ends what belongs to the first.
    if (letter) break;
    letter = true;
    switch (ch) {
      case 'l':
      case 'c':
      case 'r': look.Align = ch; break;
      case 'S': look.Align = 'c'; break;
      case 'p':
      case 'm':
      case 'b':
        look.WidthPt = TexLengthPt(Group(format, i), emPt);
        look.Wrap = look.WidthPt > 0;
        break;
      case 'w':
      case 'W': {
        // array's fixed-width columns: an alignment, then the width.
        const std::string align = Group(format, i);
        if (align == "c" || align == "r") look.Align = align[0];
        look.WidthPt = TexLengthPt(Group(format, i), emPt);
        break;
      }
      default:
        // X and any other column type: left-aligned, its arguments passed over.
        while (true) {
          size_t j = i;
          SkipBlanks(format, j);
          if (j >= format.size() || format[j] != '{') break;
          Group(format, i);
        }
        break;
    }
  }
  return look;
}
