#include "document/Converter.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "latex/TabToLatex.h"
#include "model/AtomicFile.h"
#include "model/TableFile.h"
#include "model/Tables.h"

#ifndef QUILTOR_VERSION
#define QUILTOR_VERSION "unknown"
#endif

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFileError = 1;
constexpr int kExitUsage = 2;
constexpr size_t kPieceSize = 64 * 1024;

const char kUsage[] =
    "Usage: quiltor [FILE]\n"
    "       quiltor --latex FILE [-o OUT] [--delimiters CHARS] [--merge]\n"
    "       quiltor --convert IN OUT [--delimiters CHARS] [--merge]\n"
    "\n"
    "Without options, opens FILE in the table editor.\n"
    "\n"
    "  --latex FILE      write the LaTeX code of the table in FILE (.qtor, .csv\n"
    "                    or .txt) to standard output, or to OUT with -o OUT\n"
    "  --convert IN OUT  convert IN (.qtor, .csv or .txt) to OUT (.qtor, .csv,\n"
    "                    .txt, or .tex for the LaTeX code)\n"
    "  --delimiters CHARS  split text input at any of CHARS instead of ','\n"
    "                    for .csv and TAB for .txt; empty: one cell per line\n"
    "  --merge           treat consecutive delimiters as one\n"
    "  --help            show this help\n"
    "  --version         show the version\n"
    "\n"
    "Exit status: 0 success, 1 a file could not be read or written, 2 bad usage.\n";

struct TUsageError {
  std::string Message;
};

enum class TKind { Native, Csv, Tab, Latex, Unknown };

// The type a file name selects: its extension with the dot, compared exactly
// and case-sensitively, as the editor does.
TKind KindOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  const std::string ext = dot == std::string::npos || (slash != std::string::npos && dot < slash) ? "" : path.substr(dot);
  if (ext == ".csv") return TKind::Csv;
  if (ext == ".txt") return TKind::Tab;
  if (ext == ".tex") return TKind::Latex;
  if (ext == ".qtor") return TKind::Native;
  return TKind::Unknown;
}

struct TOptions {
  enum { None, Latex, Convert, Help, Version } Mode = None;
  std::string Input;
  std::string Output;  // empty: standard output (only with --latex)
  bool HasDelimiters = false;
  std::string Delimiters;
  bool Merge = false;
};

void SetMode(TOptions& o, decltype(TOptions::Mode) mode, const std::string& arg) {
  if (o.Mode != TOptions::None && o.Mode != mode) throw TUsageError{"'" + arg + "' cannot be combined with another command"};
  o.Mode = mode;
}

TOptions ParseCommandLine(int argc, char* argv[]) {
  TOptions o;
  bool hasOutputOption = false;
  std::vector<std::string> plain;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char* what) -> std::string {
      if (i + 1 >= argc) throw TUsageError{"'" + arg + "' needs " + what};
      return argv[++i];
    };
    if (arg == "--latex") {
      SetMode(o, TOptions::Latex, arg);
      o.Input = value("a file name");
    } else if (arg == "--convert") {
      SetMode(o, TOptions::Convert, arg);
      o.Input = value("an input and an output file name");
      o.Output = value("an output file name");
    } else if (arg == "-o" || arg == "--output") {
      if (hasOutputOption) throw TUsageError{"'" + arg + "' given twice"};
      hasOutputOption = true;
      o.Output = value("a file name");
    } else if (arg == "--delimiters") {
      o.HasDelimiters = true;
      o.Delimiters = value("the delimiter characters");
    } else if (arg == "--merge") {
      o.Merge = true;
    } else if (arg == "--help" || arg == "-h") {
      o.Mode = TOptions::Help;
      return o;
    } else if (arg == "--version") {
      o.Mode = TOptions::Version;
      return o;
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw TUsageError{"unknown option '" + arg + "'"};
    } else {
      plain.push_back(arg);
    }
  }
  if (o.Mode == TOptions::None) throw TUsageError{"nothing to do: give --latex or --convert"};
  if (!plain.empty()) throw TUsageError{"unexpected argument '" + plain.front() + "'"};
  if (o.Mode == TOptions::Convert && hasOutputOption) throw TUsageError{"'-o' belongs to --latex; --convert names its output"};
  if (o.Mode == TOptions::Latex && hasOutputOption && o.Output.empty()) throw TUsageError{"'-o' needs a file name"};
  if (o.Input.empty()) throw TUsageError{"the input file name is empty"};
  if (o.Mode == TOptions::Convert) {
    if (KindOf(o.Output) == TKind::Unknown)
      throw TUsageError{"cannot tell the output type of '" + o.Output + "': use .qtor, .csv, .txt or .tex"};
  }
  return o;
}

void ReadTable(TTable& table, const TOptions& o) {
  switch (KindOf(o.Input)) {
    case TKind::Csv: table.ImportText(o.Input, o.HasDelimiters ? o.Delimiters : ",", o.Merge); break;
    case TKind::Tab: table.ImportText(o.Input, o.HasDelimiters ? o.Delimiters : "\t", o.Merge); break;
    // Every other name holds a native table, as in the editor.
    default: LoadTableFile(table, o.Input); break;
  }
}

// Writes text to a file descriptor, all of it or "Stream write error".
void WriteAll(int fd, const char* p, size_t left) {
  while (left > 0) {
    const ssize_t w = ::write(fd, p, left);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) throw EQuiltorError("Stream write error");
    p += w;
    left -= static_cast<size_t>(w);
  }
}

// The LaTeX lines of the table, each ended by a line feed, handed to sink in
// pieces of about 64 KiB rather than as one copy of the whole text.
template <class Sink>
void EmitLatex(const TTable& table, Sink sink) {
  std::vector<std::string> lines;
  TableToLatex(table, lines);
  std::string piece;
  piece.reserve(kPieceSize + 256);
  for (std::string& line : lines) {
    piece += line;
    piece += '\n';
    std::string().swap(line);  // each line is freed once it is copied out
    if (piece.size() >= kPieceSize) {
      sink(piece);
      piece.clear();
    }
  }
  if (!piece.empty()) sink(piece);
}

void WriteLatexFile(const TTable& table, const std::string& fileName) {
  TAtomicFile file(fileName);
  EmitLatex(table, [&file](const std::string& piece) { file.Stream().Write(piece.data(), piece.size()); });
  file.Commit();
}

void WriteLatexToStandardOutput(const TTable& table) {
  EmitLatex(table, [](const std::string& piece) { WriteAll(STDOUT_FILENO, piece.data(), piece.size()); });
}

void Convert(const TTable& table, const TOptions& o) {
  if (o.Mode == TOptions::Latex) {
    if (o.Output.empty()) WriteLatexToStandardOutput(table);
    else WriteLatexFile(table, o.Output);
    return;
  }
  switch (KindOf(o.Output)) {
    case TKind::Native: SaveTableFile(table, o.Output); break;
    case TKind::Csv: table.ExportText(o.Output, ','); break;
    case TKind::Tab: table.ExportText(o.Output, '\t'); break;
    case TKind::Latex: WriteLatexFile(table, o.Output); break;
    case TKind::Unknown: break;  // refused while parsing
  }
}

void Run(const TOptions& o) {
  // The process ends right after the conversion: handing a large table's
  // cells back one by one would only add to its run time. Under the leak
  // checker the table is freed, so that real leaks stay visible.
  auto* table = new TTable;
  try {
    ReadTable(*table, o);
    Convert(*table, o);
  } catch (...) {
    delete table;
    throw;
  }
#if defined(__SANITIZE_ADDRESS__)
  delete table;
#endif
}

}  // namespace

bool IsConverterCommandLine(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i)
    if (argv[i][0] == '-') return true;
  return false;
}

int RunConverter(int argc, char* argv[]) {
  TOptions o;
  try {
    o = ParseCommandLine(argc, argv);
  } catch (const TUsageError& e) {
    if (!e.Message.empty()) std::fprintf(stderr, "quiltor: %s\n", e.Message.c_str());
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  if (o.Mode == TOptions::Help) {
    std::fputs(kUsage, stdout);
    return std::fflush(stdout) == 0 ? kExitOk : kExitFileError;
  }
  if (o.Mode == TOptions::Version) {
    std::printf("quiltor %s\n", QUILTOR_VERSION);
    return std::fflush(stdout) == 0 ? kExitOk : kExitFileError;
  }
  try {
    Run(o);
  } catch (const EQuiltorError& e) {
    std::fprintf(stderr, "quiltor: %s\n", e.what());
    return kExitFileError;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "quiltor: %s\n", "Out of memory");
    return kExitFileError;
  }
  return kExitOk;
}
