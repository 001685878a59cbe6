#pragma once
// What a column's LaTeX format means for the grid's picture of the table:
// the alignment of its text, the vertical rules it draws, and the width of a
// paragraph column. Only as much of the format is read as the grid can
// show; anything else in it (>{...}, @{...}, a package's column type) is
// passed over.
#include <string>

struct TColumnLook {
  // 'l', 'c' or 'r': the text's alignment. Paragraph columns (p, m, b, X)
  // and unknown types are left-aligned; siunitx's S is centred.
  char Align = 'l';
  // The '|' before and after the column's letter (two for "||").
  int RulesLeft = 0;
  int RulesRight = 0;
  // The text width of p{..}, m{..}, b{..} (and w/W{..}{..}) in TeX points;
  // 0 when the column has none or it is given in units the grid cannot
  // know (\linewidth and the like).
  float WidthPt = 0;
  // Text wraps at WidthPt: paragraph columns.
  bool Wrap = false;
  // Nothing to draw beyond an alignment: the look of a plain format.
  bool Plain() const { return RulesLeft == 0 && RulesRight == 0 && WidthPt <= 0; }
};

// Reads the first column of format. An em is taken as emPt points.
TColumnLook ParseColumnFormat(const std::string& format, float emPt = 10);

// A TeX length such as "3cm", "2.5 in", "20pt", "4em" in points; 0 for
// anything else (a macro, a missing unit, a negative length).
float TexLengthPt(const std::string& length, float emPt = 10);
