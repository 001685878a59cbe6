#include "document/Converter.h"

#include <fcntl.h>
#include <getopt.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "document/DocumentFiles.h"
#include "latex/LatexReader.h"
#include "latex/TabToLatex.h"
#include "model/AtomicFile.h"
#include "model/ChunkTags.h"
#include "model/StreamIO.h"
#include "model/TableFile.h"
#include "model/Tables.h"
#include "model/TextLines.h"

#ifndef QUILTOR_VERSION
#define QUILTOR_VERSION "unknown"
#endif

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFileError = 1;
constexpr int kExitUsage = 2;
constexpr size_t kPieceSize = 64 * 1024;
constexpr const char* kStandardInput = "standard input";

const char kUsage[] =
    "Usage: quiltor [FILE]\n"
    "       quiltor --latex [OPTION]... IN\n"
    "       quiltor --convert [OPTION]... IN OUT\n"
    "\n"
    "Without options, opens FILE in the table editor.\n"
    "\n"
    "  --latex IN            write the LaTeX code of the table in IN (.qtor, .csv,\n"
    "                        .txt or .tex) to standard output, or to OUT with -o OUT\n"
    "  --convert IN OUT      convert IN (.qtor, .csv, .txt or .tex) to OUT (.qtor,\n"
    "                        .csv, .txt, or .tex for the LaTeX code)\n"
    "  -o, --output=OUT      with --latex: write to OUT instead of standard output\n"
    "  --from=TYPE           read IN as csv, txt, qtor or tex whatever its name;\n"
    "                        needed for IN '-' (standard input) and to read a named\n"
    "                        pipe or another file that is not a regular file\n"
    "  --table=N             read the N-th table of LaTeX input (1 for the first,\n"
    "                        the default)\n"
    "  --delimiters=CHARS    split text input at any of CHARS instead of ','\n"
    "                        for csv and TAB for txt; empty: one cell per line\n"
    "  --merge               treat consecutive delimiters as one\n"
    "  --quoted              read text input with fields in double quotes, as\n"
    "                        spreadsheets write them: \"a,b\" is one field, \"\"\n"
    "                        inside is one quote, line breaks inside are kept\n"
    "  --escape              escape the LaTeX special characters \\ & % $ # _ { } ~ ^\n"
    "                        in the cell texts of text input\n"
    "  --allow-truncation    convert text cut short by a NUL byte (with a warning)\n"
    "                        instead of failing\n"
    "  -h, --help            show this help\n"
    "  -v, --version         show the version\n"
    "\n"
    "LaTeX input is read back into a table: its tabular (or array, longtable, ...)\n"
    "environment, column formats, rules, joined cells, row prefixes and postfixes;\n"
    "what had to be changed to fit is told as warnings on standard error.\n"
    "Options may stand anywhere; '--' ends them. Text input in UTF-16 (with its\n"
    "byte-order mark) is read as UTF-8. A NUL byte ends text input: the converter\n"
    "then writes nothing and fails unless --allow-truncation is given. It never\n"
    "writes over its own input.\n"
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
  std::string Input;   // "-": standard input
  std::string Output;  // empty: standard output (only with --latex)
  TKind From = TKind::Unknown;  // Unknown: by the input's name
  bool HasDelimiters = false;
  std::string Delimiters;
  bool Merge = false;
  bool Quoted = false;
  bool Escape = false;
  bool AllowTruncation = false;
  bool HasTable = false;
  int Table = 1;  // --table: 1-based

  bool FromStandardInput() const { return Input == "-"; }
  // How the input is read: --from, else its extension; every name the
  // converter does not know holds a native table, as in the editor.
  TKind InputKind() const {
    if (From != TKind::Unknown) return From;
    const TKind kind = KindOf(Input);
    return kind == TKind::Unknown ? TKind::Native : kind;
  }
  std::string InputName() const { return FromStandardInput() ? kStandardInput : Input; }
};

void SetMode(TOptions& o, decltype(TOptions::Mode) mode, const std::string& arg) {
  if (o.Mode != TOptions::None && o.Mode != mode) throw TUsageError{"'" + arg + "' cannot be combined with another command"};
  o.Mode = mode;
}

// Values above every short option character.
enum : int {
  kOptLatex = 256,
  kOptConvert,
  kOptDelimiters,
  kOptMerge,
  kOptFrom,
  kOptAllowTruncation,
  kOptQuoted,
  kOptEscape,
  kOptTable
};

const option kLongOptions[] = {
    {"latex", no_argument, nullptr, kOptLatex},
    {"convert", no_argument, nullptr, kOptConvert},
    {"output", required_argument, nullptr, 'o'},
    {"from", required_argument, nullptr, kOptFrom},
    {"delimiters", required_argument, nullptr, kOptDelimiters},
    {"merge", no_argument, nullptr, kOptMerge},
    {"quoted", no_argument, nullptr, kOptQuoted},
    {"escape", no_argument, nullptr, kOptEscape},
    {"allow-truncation", no_argument, nullptr, kOptAllowTruncation},
    {"table", required_argument, nullptr, kOptTable},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'v'},
    {nullptr, 0, nullptr, 0},
};

// The option that getopt_long just complained about, as the user wrote it.
std::string OffendingOption(int argc, char* argv[]) {
  if (optopt > 0 && optopt < 256) return std::string("-") + static_cast<char>(optopt);
  std::string arg = optind > 0 && optind <= argc ? argv[optind - 1] : "";
  const size_t eq = arg.find('=');
  if (eq != std::string::npos) arg.resize(eq);
  return arg;
}

TOptions ParseCommandLine(int argc, char* argv[]) {
  TOptions o;
  bool hasOutputOption = false;
  std::vector<std::string> operands;
  // "-": every argument in its turn, operands as 1, so that options may
  // follow the file names whatever POSIXLY_CORRECT says; ":": a missing
  // value comes back as ':'. The messages are ours (opterr 0).
  optind = 0;
  opterr = 0;
  for (int c; (c = getopt_long(argc, argv, "-:ho:v", kLongOptions, nullptr)) != -1;) {
    switch (c) {
      case 1: operands.emplace_back(optarg); break;
      case kOptLatex: SetMode(o, TOptions::Latex, "--latex"); break;
      case kOptConvert: SetMode(o, TOptions::Convert, "--convert"); break;
      case 'o':
        if (hasOutputOption) throw TUsageError{"'-o' given twice"};
        hasOutputOption = true;
        o.Output = optarg;
        break;
      case kOptFrom: {
        const std::string type = optarg;
        if (type == "csv") o.From = TKind::Csv;
        else if (type == "txt") o.From = TKind::Tab;
        else if (type == "qtor") o.From = TKind::Native;
        else if (type == "tex") o.From = TKind::Latex;
        else throw TUsageError{"'--from' takes csv, txt, qtor or tex, not '" + type + "'"};
        break;
      }
      case kOptDelimiters:
        o.HasDelimiters = true;
        o.Delimiters = optarg;
        break;
      case kOptMerge: o.Merge = true; break;
      case kOptQuoted: o.Quoted = true; break;
      case kOptEscape: o.Escape = true; break;
      case kOptAllowTruncation: o.AllowTruncation = true; break;
      case kOptTable: {
        const std::string n = optarg;
        long long value = 0;
        bool number = !n.empty() && n.size() <= 9;
        for (const char d : n) {
          number = number && d >= '0' && d <= '9';
          if (number) value = value * 10 + (d - '0');
        }
        if (!number || value < 1) throw TUsageError{"'--table' takes a table number from 1 on, not '" + n + "'"};
        o.HasTable = true;
        o.Table = static_cast<int>(value);
        break;
      }
      case 'h': o.Mode = TOptions::Help; return o;
      case 'v': o.Mode = TOptions::Version; return o;
      case ':': throw TUsageError{"'" + OffendingOption(argc, argv) + "' needs a value"};
      default:
        // An option getopt_long knows got a value it does not take;
        // anything else is unknown.
        if (optopt >= kOptLatex) throw TUsageError{"'" + OffendingOption(argc, argv) + "' takes no value"};
        throw TUsageError{"unknown option '" + OffendingOption(argc, argv) + "'"};
    }
  }
  for (; optind < argc; ++optind) operands.emplace_back(argv[optind]);  // after "--"

  if (o.Mode == TOptions::None) throw TUsageError{"nothing to do: give --latex or --convert"};
  const size_t wanted = o.Mode == TOptions::Convert ? 2 : 1;
  if (operands.size() > wanted) throw TUsageError{"unexpected argument '" + operands[wanted] + "'"};
  if (operands.empty())
    throw TUsageError{o.Mode == TOptions::Latex ? "'--latex' needs a file name"
                                                : "'--convert' needs an input and an output file name"};
  if (operands.size() < wanted) throw TUsageError{"'--convert' needs an output file name"};
  o.Input = operands[0];
  if (o.Mode == TOptions::Convert) o.Output = operands[1];

  if (o.Mode == TOptions::Convert && hasOutputOption) throw TUsageError{"'-o' belongs to --latex; --convert names its output"};
  if (o.Mode == TOptions::Latex && hasOutputOption && o.Output.empty()) throw TUsageError{"'-o' needs a file name"};
  if (o.Input.empty()) throw TUsageError{"the input file name is empty"};
  if (o.FromStandardInput() && o.From == TKind::Unknown)
    throw TUsageError{"reading standard input ('-') needs --from csv, txt, qtor or tex"};
  if (o.HasTable && o.InputKind() != TKind::Latex)
    throw TUsageError{"'--table' chooses among the tables of LaTeX input (.tex or --from tex)"};
  if (o.Mode == TOptions::Convert && KindOf(o.Output) == TKind::Unknown)
    throw TUsageError{"cannot tell the output type of '" + o.Output + "': use .qtor, .csv, .txt or .tex"};
  return o;
}

// ---------------------------------------------------------------- reading

// All of a pipe, a device or standard input, which can be read only once
// and from the front. Text stops at the NUL that ends it; a native table
// never needs more than its one container, so no more is taken. Either way
// an endless source such as /dev/zero ends.
std::string ReadAllOf(int fd, TKind kind) {
  std::string data;
  TextLines::TTextDecoder decoder;
  std::string scratch;
  const size_t nativeLimit = 4 + static_cast<size_t>(ChunkTags::kMaxChunkNumber);
  char piece[kPieceSize];
  for (;;) {
    // Waits for bytes or the end. A named pipe opened without waiting reads
    // as ended until its writer has come; poll waits for that writer, then
    // for its bytes, and reports the end only once it has gone again.
    pollfd ready = {fd, POLLIN, 0};
    if (::poll(&ready, 1, -1) < 0) {
      if (errno == EINTR) continue;
      throw EQuiltorError("Stream read error");
    }
    const ssize_t r = ::read(fd, piece, sizeof piece);
    if (r < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    if (r < 0) throw EQuiltorError("Stream read error");
    if (r == 0) break;
    data.append(piece, static_cast<size_t>(r));
    if (kind == TKind::Native) {
      if (data.size() >= nativeLimit) break;
    } else {
      scratch.assign(piece, static_cast<size_t>(r));
      decoder.Decode(scratch, 0, false);
      if (decoder.Ended()) break;
    }
  }
  return data;
}

// The --table-th table of LaTeX source. What the reader changed to make it
// fit goes to standard error as warnings; the conversion goes on.
void ReadLatexInput(TTable& table, TStream& stream, const TOptions& o) {
  const std::string text = ReadLatexText(stream);
  const std::string name = o.InputName();
  const std::vector<TLatexTableSource> tables = FindLatexTables(text);
  if (tables.empty()) throw EQuiltorError(FormatStr("No LaTeX table found in %s", name.c_str()));
  if (static_cast<size_t>(o.Table) > tables.size())
    throw EQuiltorError(FormatStr("%s holds %zu LaTeX table%s, not %d", name.c_str(), tables.size(),
                                  tables.size() == 1 ? "" : "s", o.Table));
  std::vector<std::string> warnings;
  try {
    warnings = ReadLatexTable(text, tables[static_cast<size_t>(o.Table) - 1], table);
  } catch (const EQuiltorError& e) {
    throw EQuiltorError(name + ": " + e.what());
  }
  for (const std::string& warning : warnings)
    std::fprintf(stderr, "quiltor: warning: %s: %s\n", name.c_str(), warning.c_str());
}

// Reads the table from stream, whatever it was opened from. Returns the
// offset of a NUL that cut text input short, or -1.
int64_t ReadTableFrom(TTable& table, TStream& stream, const TOptions& o) {
  const TKind kind = o.InputKind();
  if (kind == TKind::Latex) {
    ReadLatexInput(table, stream, o);
    return -1;
  }
  if (kind != TKind::Csv && kind != TKind::Tab) {
    table.LoadFromStream(stream);
    return -1;
  }
  TTextImportOptions text;
  text.Delimiters = o.HasDelimiters ? o.Delimiters : kind == TKind::Csv ? "," : "\t";
  text.Merge = o.Merge;
  text.Quoted = o.Quoted;
  text.Escape = o.Escape;
  return table.ImportText(stream, o.InputName(), text);
}

int64_t ReadTable(TTable& table, const TOptions& o) {
  if (o.FromStandardInput()) {
    TMemoryStream stream(ReadAllOf(STDIN_FILENO, o.InputKind()));
    return ReadTableFrom(table, stream, o);
  }
  // Opening without waiting: a FIFO would otherwise block until someone
  // writes to it. What it is decides how it is read.
  int fd = ::open(o.Input.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat st;
  if (fd >= 0 && ::fstat(fd, &st) != 0) {
    const int error = errno;
    ::close(fd);
    fd = -1;
    errno = error;
  }
  if (fd < 0) RaiseFileError("Cannot open file", o.Input, errno);
  if (S_ISREG(st.st_mode)) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    TFileStream stream(fd, TFileStream::fmOpenRead, o.Input);
    return ReadTableFrom(table, stream, o);
  }
  // A pipe or a device only when asked for by its type: /dev/zero, say,
  // named by mistake, must not be read until the memory runs out.
  if (o.From == TKind::Unknown || S_ISDIR(st.st_mode)) {
    ::close(fd);
    throw EQuiltorError(FormatStr("Cannot open file %s: not a regular file%s", o.Input.c_str(),
                                  S_ISDIR(st.st_mode) ? "" : " (name its type with --from to read it)"));
  }
  // Read through the descriptor opened here: closing it and opening again
  // would lose what a writer put into a pipe meanwhile.
  std::string data;
  try {
    data = ReadAllOf(fd, o.InputKind());
  } catch (...) {
    ::close(fd);
    throw;
  }
  ::close(fd);
  TMemoryStream stream(std::move(data));
  return ReadTableFrom(table, stream, o);
}

// The output must not replace the input: the conversion would destroy the
// only copy of the data. Compared by the file itself (device and inode), so
// that another name, a hard link or a symbolic link to the input counts.
void CheckOutputIsNotInput(const TOptions& o) {
  if (o.Output.empty()) return;
  struct stat in, out;
  const bool haveInput = o.FromStandardInput() ? ::fstat(STDIN_FILENO, &in) == 0 && S_ISREG(in.st_mode)
                                               : ::stat(o.Input.c_str(), &in) == 0;
  if (!haveInput || ::stat(o.Output.c_str(), &out) != 0) return;
  if (in.st_dev == out.st_dev && in.st_ino == out.st_ino)
    throw EQuiltorError(FormatStr("Cannot write %s: it is the input file; nothing written", o.Output.c_str()));
}

// Writes text to standard output, all of it or an error naming the cause.
void WriteAll(int fd, const char* p, size_t left) {
  while (left > 0) {
    const ssize_t w = ::write(fd, p, left);
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) RaiseFileError("Cannot write", "standard output", errno);
    if (w == 0) RaiseFileError("Cannot write", "standard output", EIO);
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

// A NUL byte ended text input early: what follows it was not read. Unless
// the user allows it, that is a failure and nothing is written.
struct TTruncated {
  int64_t At;
};

void Run(const TOptions& o) {
  CheckOutputIsNotInput(o);
  // The process ends right after the conversion: handing a large table's
  // cells back one by one would only add to its run time. Under the leak
  // checker the table is freed, so that real leaks stay visible.
  auto* table = new TTable;
  try {
    const int64_t nulAt = ReadTable(*table, o);
    if (nulAt >= 0) {
      if (!o.AllowTruncation) throw TTruncated{nulAt};
      std::fprintf(stderr, "quiltor: warning: %s was cut at byte %lld by a NUL byte\n", o.InputName().c_str(),
                   static_cast<long long>(nulAt));
    }
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
  } catch (const TTruncated& t) {
    std::fprintf(stderr,
                 "quiltor: %s was cut at byte %lld by a NUL byte; nothing written "
                 "(--allow-truncation converts the text before it)\n",
                 o.InputName().c_str(), static_cast<long long>(t.At));
    return kExitFileError;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "quiltor: %s\n", "Out of memory");
    return kExitFileError;
  }
  return kExitOk;
}
