#include "latex/CodePackages.h"

#include "latex/TypesetDocument.h"

std::string PackageListText(const std::vector<TPackageNeed>& packages) {
  std::string text;
  for (const TPackageNeed& p : packages) {
    if (!text.empty()) text += ", ";
    text += p.Name;
  }
  return text.empty() ? "none" : text;
}

std::string PackageCommentLine(const std::vector<TPackageNeed>& packages) {
  std::string plain;
  std::string withOptions;
  for (const TPackageNeed& p : packages) {
    if (p.Options.empty()) {
      plain += plain.empty() ? "" : ",";
      plain += p.Name;
    } else {
      withOptions += " \\usepackage[" + p.Options + "]{" + p.Name + "}";
    }
  }
  if (plain.empty() && withOptions.empty()) return {};
  std::string line = "%";
  if (!plain.empty()) line += " \\usepackage{" + plain + "}";
  return line + withOptions;
}

void DocumentCode(const TTable& table, const TCodePreferences& preferences, std::vector<std::string>& lines) {
  TableToLatex(table, lines, preferences.Latex);
  if (!preferences.PackageComment) return;
  const std::string comment = PackageCommentLine(NeededPackages(lines));
  if (!comment.empty()) lines.insert(lines.begin(), comment);
}
