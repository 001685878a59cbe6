#pragma once
// Compiling generated LaTeX code with the real pdflatex, for the tests that
// check that what the program writes is accepted by LaTeX.
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// The full path of pdflatex on PATH; empty when there is none.
inline std::string PdfLatexPath() {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (dir.empty()) continue;
    const std::filesystem::path candidate = std::filesystem::path(dir) / "pdflatex";
    if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return {};
}

// Generated table code inside the smallest document that can hold it; array
// is a math environment, booktabs rules and \multirow need their packages.
inline std::string LatexDocument(const std::string& code) {
  const bool math = code.rfind("\\begin{array}", 0) == 0;
  std::string doc = "\\documentclass{article}\n";
  for (const char* rule : {"\\toprule", "\\midrule", "\\bottomrule", "\\cmidrule"})
    if (code.find(rule) != std::string::npos) {
      doc += "\\usepackage{booktabs}\n";
      break;
    }
  // Blocks over rows.
  if (code.find("\\multirow") != std::string::npos) doc += "\\usepackage{multirow}\n";
  doc += "\\begin{document}\n";
  doc += math ? "\\[\n" + code + "\\]\n" : code;
  doc += "\\end{document}\n";
  return doc;
}

// pdflatex's verdict on a complete document: empty when it compiled to a
// PDF, else LaTeX's error lines ("! ..." and the context after them), or
// why pdflatex could not be run at all.
inline std::string PdfLatexErrors(const std::string& document) {
  namespace fs = std::filesystem;
  const std::string pdflatex = PdfLatexPath();
  if (pdflatex.empty())
    return "pdflatex is not on PATH; install texlive-latex-base and texlive-latex-recommended (tools/ensure-deps does)";
  std::string dirTemplate = (fs::temp_directory_path() / "quiltor-latex-XXXXXX").string();
  if (!mkdtemp(dirTemplate.data())) return "cannot create a temporary folder";
  const fs::path dir = dirTemplate;
  {
    std::ofstream out(dir / "case.tex", std::ios::binary);
    out << document;
    if (!out.good()) return "cannot write " + (dir / "case.tex").string();
  }
  auto quote = [](const std::string& s) {
    std::string out = "'";
    for (char ch : s) out += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return out + "'";
  };
  const std::string command = "cd " + quote(dir.string()) + " && " + quote(pdflatex) +
                              " -interaction=nonstopmode -halt-on-error -no-shell-escape case.tex"
                              " </dev/null >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  const bool ok = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0 && fs::exists(dir / "case.pdf") &&
                  fs::file_size(dir / "case.pdf") > 0;
  std::string errors;
  if (!ok) {
    std::ifstream log(dir / "case.log");
    std::string line;
    int context = 0;
    while (std::getline(log, line)) {
      if (line.rfind("!", 0) == 0) context = 4;
      if (context > 0) {
        errors += line + "\n";
        --context;
      }
    }
    if (errors.empty()) errors = "pdflatex failed, with no error lines in its log\n";
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return errors;
}
