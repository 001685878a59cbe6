#pragma once
// The packages a table's code needs, as the code preview and the copied
// code name them. NeededPackages (TypesetDocument.h) decides which; the
// typeset preview loads the same ones.
#include <string>
#include <vector>

#include "latex/TabToLatex.h"
#include "latex/TypesetDocument.h"

// "booktabs, multirow"; "none" when the code needs none.
std::string PackageListText(const std::vector<TPackageNeed>& packages);

// The preamble lines the user copies into the document, as one LaTeX
// comment: "% \usepackage{booktabs,multirow}", a package with options on
// its own: "% \usepackage{booktabs} \usepackage[table]{xcolor}". Empty when
// the code needs none.
std::string PackageCommentLine(const std::vector<TPackageNeed>& packages);

// The user's choices for the code, besides the table itself.
struct TCodePreferences {
  TLatexOptions Latex;
  // The code starts with PackageCommentLine.
  bool PackageComment = false;
};

// The table's code as the user asked for it: TableToLatex with the
// preferences, the package comment line first when asked for and needed.
void DocumentCode(const TTable& table, const TCodePreferences& preferences, std::vector<std::string>& lines);

// The code preview's lines, kept from one change to the next so that
// typing in a cell writes only that cell's row again (TLatexGenerator).
class TCodePreview {
 public:
  // The lines DocumentCode gives for table.
  const std::vector<std::string>& Generate(const TTable& table, const TCodePreferences& preferences);
  // PackageListText of the last generated code.
  const std::string& Packages() const { return FPackages; }
  // The lines the last Generate changed from the call before, ascending;
  // nullptr when any may have.
  const std::vector<size_t>* Changed() const { return FKnown ? &FChanged : nullptr; }

 private:
  TLatexGenerator FGenerator;
  TKeptCodeSearch FSearch;
  std::vector<std::string> FWithComment;
  bool FCommented = false;  // the lines were FWithComment
  bool FKnown = false;
  std::vector<size_t> FChanged;
  std::string FPackages;
};
