#pragma once
// The code preview: a small tool window beside the main window showing the
// LaTeX source of the document's table. It is regenerated after every change
// while it is visible and left stale while hidden; showing it regenerates it.
#include <QWidget>
#include <string>
#include <vector>

class QLabel;
class QPlainTextEdit;

class TCodeForm : public QWidget {
  Q_OBJECT
 public:
  explicit TCodeForm(QWidget* mainWindow);
  ~TCodeForm() override;

  // Replaces the text by lines. A line takes one line of the box, and one
  // more for every line break in it (CR LF, CR, LF, U+2029). changed, when
  // given, lists the only lines that may differ from the last lines set,
  // which were as many.
  void SetLines(const std::vector<std::string>& lines, const std::vector<size_t>* changed = nullptr);
  // Memo's font (settings and the Options dialog change it).
  void SetCodeFont(const std::string& name, int size);
  std::string CodeFontName() const;
  int CodeFontSize() const;
  // The status line's "Packages: booktabs, multirow".
  void SetPackages(const std::string& packages);

  QPlainTextEdit* Memo;
  QLabel* StatusLine;

 private:
  std::vector<std::string> FShown;  // the lines Memo holds
  std::vector<int> FBlocks;         // how many blocks of Memo each takes
  int FExtraBlocks = 0;             // the blocks beyond one per line, summed over FBlocks
  // Puts lines [head, newEnd) in place of the shown lines [head, oldEnd).
  void Splice(size_t head, size_t oldEnd, size_t newEnd, const std::vector<std::string>& lines);
};

extern TCodeForm* CodeForm;
