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

const std::vector<std::string>& TCodePreview::Generate(const TTable& table, const TCodePreferences& preferences) {
  const std::vector<std::string>& lines = FGenerator.Generate(table, preferences.Latex);
  const std::vector<size_t>* changed = FGenerator.AllChanged() ? nullptr : &FGenerator.Changed();
  FSearch.Update(lines, changed);
  const std::vector<TPackageNeed> packages = NeededPackages(FSearch);
  FPackages = PackageListText(packages);
  const std::string comment = preferences.PackageComment ? PackageCommentLine(packages) : std::string();
  const bool wasCommented = FCommented;
  FCommented = !comment.empty();
  FKnown = changed && FCommented == wasCommented;
  if (!FCommented) {
    if (FKnown) FChanged = *changed;
    return lines;
  }
  FChanged.clear();
  if (FKnown && FWithComment.size() == lines.size() + 1) {
    // The code's lines one further down, after the comment.
    if (FWithComment.front() != comment) {
      FWithComment.front() = comment;
      FChanged.push_back(0);
    }
    for (const size_t i : *changed) {
      FWithComment[i + 1] = lines[i];
      FChanged.push_back(i + 1);
    }
    return FWithComment;
  }
  FKnown = false;
  FWithComment.clear();
  FWithComment.reserve(lines.size() + 1);
  FWithComment.push_back(comment);
  FWithComment.insert(FWithComment.end(), lines.begin(), lines.end());
  return FWithComment;
}
