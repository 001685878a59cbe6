#include "document/Converter.h"

#include <fcntl.h>
#include <getopt.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "document/Recovery.h"
#include "document/DocumentFiles.h"
#include "document/HtmlTable.h"
#include "document/SpreadsheetFile.h"
#include "document/PaperTable.h"
#include "latex/LatexReader.h"
#include "latex/TabToLatex.h"
#include "latex/TypesetDocument.h"
#include "model/AtomicFile.h"
#include "model/ChunkTags.h"
#include "model/StreamIO.h"
#include "model/TableFile.h"
#include "model/Tables.h"
#include "model/TextImport.h"
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
    "       quiltor --recover\n"
    "       quiltor --render [OPTION]... IN -o OUT\n"
    "\n"
    "Without options, opens FILE in the table editor.\n"
    "\n"
    "  --latex IN            write the LaTeX code of the table in IN (.qtor, .csv,\n"
    "                        .txt, .tex, .xlsx, .ods or .html) to standard output,\n"
    "                        or to OUT with -o OUT\n"
    "  --convert IN OUT      convert IN (.qtor, .csv, .txt, .tex, .xlsx, .ods or\n"
    "                        .html) to OUT (.qtor, .csv, .txt, or .tex for the\n"
    "                        LaTeX code)\n"
    "  --render IN           typeset the table in IN with LaTeX (pdflatex) and write\n"
    "                        it, cropped, to OUT given with -o: OUT.pdf or OUT.png\n"
    "  --dpi=N               with --render to .png: dots per inch (default 300)\n"
    "  --preamble=FILE       with --render: put the text of FILE (the document's own\n"
    "                        macros, \\newcolumntype, packages) before the table\n"
    "  --timeout=SECONDS     with --render: stop LaTeX, and the drawing of a PNG,\n"
    "                        after SECONDS each (default 30)\n"
    "  -o, --output=OUT      with --latex: write to OUT instead of standard output;\n"
    "                        with --render: the .pdf or .png file to write\n"
    "  --from=TYPE           read IN as csv, txt, qtor, tex or html whatever its name;\n"
    "                        needed for IN '-' (standard input) and to read a named\n"
    "                        pipe or another file that is not a regular file\n"
    "  --table=N             read the N-th table of LaTeX or HTML input (1 for the\n"
    "                        first, the default); with --convert of other input to\n"
    "                        an existing .tex file: replace its N-th table in place,\n"
    "                        keeping every other byte of the file\n"
    "  --keep-format         with --convert to an existing .tex table: put the new\n"
    "                        cell texts into that table's formats, rules, joins\n"
    "                        and environment; rows are added or removed at the end\n"
    "  --sheet=NAME|N        read the sheet of a spreadsheet named NAME, or the N-th\n"
    "                        (default: the first that holds data)\n"
    "  --range=B2:F20        read only these cells of the sheet (default: its used\n"
    "                        range, leading empty rows and columns dropped)\n"
    "  --no-escape           keep the LaTeX special characters of spreadsheet and\n"
    "                        HTML cells as they are (by default they are escaped)\n"
    "  --delimiters=CHARS    split text input at any of CHARS instead of ','\n"
    "                        for csv and TAB for txt; empty: one cell per line\n"
    "  --merge               treat consecutive delimiters as one\n"
    "  --quoted              read text input with fields in double quotes, as\n"
    "                        spreadsheets write them: \"a,b\" is one field, \"\"\n"
    "                        inside is one quote, line breaks inside are kept\n"
    "  --escape              escape the LaTeX special characters \\ & % $ # _ { } ~ ^\n"
    "                        in the cell texts of text input\n"
    "  --style=STYLE         write the table's rules in STYLE: classic (\\hline,\n"
    "                        \\cline) or booktabs (\\toprule, \\midrule, \\bottomrule,\n"
    "                        \\cmidrule; no vertical rules); default: as IN has it\n"
    "  --align               pad the LaTeX code's cells so that the & line up\n"
    "  --allow-truncation    convert text cut short by a NUL byte (with a warning)\n"
    "                        instead of failing\n"
    "  --recover             list the documents with unsaved changes that the\n"
    "                        editor will offer to recover at its next start\n"
    "  -h, --help            show this help\n"
    "  -v, --version         show the version\n"
    "\n"
    "LaTeX input is read back into a table: its tabular (or array, longtable, ...)\n"
    "environment, column formats, rules, joined cells, row prefixes and postfixes;\n"
    "what had to be changed to fit is told as warnings on standard error.\n"
    "Spreadsheet cells are written as the spreadsheet shows them: formulas by their\n"
    "stored results, numbers in their number format, bold and italic kept, merged\n"
    "cells joined.\n"
    "Options may stand anywhere; '--' ends them. Text input in UTF-16 (with its\n"
    "byte-order mark) is read as UTF-8. A NUL byte ends text input: the converter\n"
    "then writes nothing and fails unless --allow-truncation is given. It never\n"
    "writes over its own input, and never replaces a .tex file that holds more\n"
    "than one table whole: --table names the table to replace.\n"
    "\n"
    "Exit status: 0 success, 1 a file could not be read or written or LaTeX failed,\n"
    "2 bad usage.\n";

struct TUsageError {
  std::string Message;
};

enum class TKind { Native, Csv, Tab, Latex, Spreadsheet, Html, Unknown };

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
  if (ext == ".html" || ext == ".htm") return TKind::Html;
  if (IsSpreadsheetFile(path)) return TKind::Spreadsheet;
  return TKind::Unknown;
}

struct TOptions {
  enum { None, Latex, Convert, Render, Help, Version, Recover } Mode = None;
  int Dpi = 0;  // --render to .png; 0: not given
  std::string Preamble;  // --render: a file; empty: none
  int Timeout = 0;       // --render: seconds; 0: not given
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
  bool HasSheet = false;
  std::string Sheet;
  std::string Range;
  bool NoEscape = false;
  std::optional<TRuleStyle> Style;  // --style; none: as the input has it
  TLatexOptions Code;               // --align
  bool KeepFormat = false;

  bool FromStandardInput() const { return Input == "-"; }
  // How the input is read: --from, else its extension; every name the
  // converter does not know holds a native table, as in the editor.
  TKind InputKind() const {
    if (From != TKind::Unknown) return From;
    const TKind kind = KindOf(Input);
    return kind == TKind::Unknown ? TKind::Native : kind;
  }
  std::string InputName() const { return FromStandardInput() ? kStandardInput : Input; }
  bool ToLatexFile() const { return Mode == Convert && KindOf(Output) == TKind::Latex; }
  // --table names the output's table: the input has no tables to choose from.
  int OutputTable() const { return HasTable && InputKind() != TKind::Latex ? Table : 0; }
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
  kOptTable,
  kOptRecover,
  kOptSheet,
  kOptRange,
  kOptNoEscape,
  kOptStyle,
  kOptAlign,
  kOptKeepFormat
};
enum : int { kOptRender = 512, kOptDpi, kOptPreamble, kOptTimeout };

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
    {"recover", no_argument, nullptr, kOptRecover},
    {"render", no_argument, nullptr, kOptRender},
    {"dpi", required_argument, nullptr, kOptDpi},
    {"preamble", required_argument, nullptr, kOptPreamble},
    {"timeout", required_argument, nullptr, kOptTimeout},
    {"table", required_argument, nullptr, kOptTable},
    {"sheet", required_argument, nullptr, kOptSheet},
    {"range", required_argument, nullptr, kOptRange},
    {"no-escape", no_argument, nullptr, kOptNoEscape},
    {"style", required_argument, nullptr, kOptStyle},
    {"align", no_argument, nullptr, kOptAlign},
    {"keep-format", no_argument, nullptr, kOptKeepFormat},
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

// The value of option: a whole number from 1 to highest.
int ParseCount(const std::string& text, const char* option, int highest) {
  const std::string refusal =
      std::string("'") + option + "' takes a number from 1 to " + std::to_string(highest) + ", not '" + text + "'";
  int value = 0;
  for (const char ch : text) {
    if (ch < '0' || ch > '9' || value > highest) throw TUsageError{refusal};
    value = value * 10 + (ch - '0');
  }
  if (value < 1 || value > highest) throw TUsageError{refusal};
  return value;
}

enum class TRenderKind { Pdf, Png, Unknown };
TRenderKind RenderKindOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  const std::string ext = dot == std::string::npos || (slash != std::string::npos && dot < slash) ? "" : path.substr(dot);
  return ext == ".pdf" ? TRenderKind::Pdf : ext == ".png" ? TRenderKind::Png : TRenderKind::Unknown;
}

// --render IN -o OUT: one input, an output that is a PDF or a PNG.
void CheckRenderOptions(const TOptions& o, const std::vector<std::string>& operands, bool hasOutputOption) {
  if (operands.empty()) throw TUsageError{"'--render' needs a file name"};
  if (operands.size() > 1) throw TUsageError{"unexpected argument '" + operands[1] + "'"};
  if (!hasOutputOption || o.Output.empty()) throw TUsageError{"'--render' needs an output file: -o OUT.pdf or -o OUT.png"};
  const TRenderKind kind = RenderKindOf(o.Output);
  if (kind == TRenderKind::Unknown)
    throw TUsageError{"cannot tell the output type of '" + o.Output + "': --render writes .pdf or .png"};
  if (kind == TRenderKind::Pdf && o.Dpi != 0) throw TUsageError{"'--dpi' is for .png output"};
}

TTypesetRenderer gTypesetRenderer = nullptr;

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
      case kOptRecover: SetMode(o, TOptions::Recover, "--recover"); break;
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
        else if (type == "html") o.From = TKind::Html;
        else throw TUsageError{"'--from' takes csv, txt, qtor, tex or html, not '" + type + "'"};
        break;
      }
      case kOptDelimiters:
        o.HasDelimiters = true;
        o.Delimiters = optarg;
        break;
      case kOptMerge: o.Merge = true; break;
      case kOptQuoted: o.Quoted = true; break;
      case kOptEscape: o.Escape = true; break;
      case kOptNoEscape: o.NoEscape = true; break;
      case kOptSheet:
        o.HasSheet = true;
        o.Sheet = optarg;
        break;
      case kOptRange: o.Range = optarg; break;
      case kOptAllowTruncation: o.AllowTruncation = true; break;
      case kOptStyle:
        o.Style = RuleStyleNamed(optarg);
        if (!o.Style) throw TUsageError{"'--style' takes classic or booktabs, not '" + std::string(optarg) + "'"};
        break;
      case kOptAlign: o.Code.AlignColumns = true; break;
      case kOptRender: SetMode(o, TOptions::Render, "--render"); break;
      case kOptKeepFormat: o.KeepFormat = true; break;
      case kOptDpi: o.Dpi = ParseCount(optarg, "--dpi", 2400); break;
      case kOptPreamble:
        if (!*optarg) throw TUsageError{"'--preamble' needs a file name"};
        o.Preamble = optarg;
        break;
      case kOptTimeout: o.Timeout = ParseCount(optarg, "--timeout", 3600); break;
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
  if (o.Mode == TOptions::Recover) {
    if (!operands.empty()) throw TUsageError{"unexpected argument '" + operands[0] + "'"};
    return o;
  }

  if (o.Mode == TOptions::None) throw TUsageError{"nothing to do: give --latex or --convert"};
  if (o.Mode == TOptions::Render) CheckRenderOptions(o, operands, hasOutputOption);
  if (o.Mode != TOptions::Render && o.Dpi != 0) throw TUsageError{"'--dpi' belongs to --render"};
  if (o.Mode != TOptions::Render && !o.Preamble.empty()) throw TUsageError{"'--preamble' belongs to --render"};
  if (o.Mode != TOptions::Render && o.Timeout != 0) throw TUsageError{"'--timeout' belongs to --render"};
  const size_t wanted = o.Mode == TOptions::Convert ? 2 : 1;
  if (operands.size() > wanted) throw TUsageError{"unexpected argument '" + operands[wanted] + "'"};
  if (operands.empty())
    throw TUsageError{o.Mode == TOptions::Latex ? "'--latex' needs a file name"
                                                : "'--convert' needs an input and an output file name"};
  if (operands.size() < wanted) throw TUsageError{"'--convert' needs an output file name"};
  o.Input = operands[0];
  if (o.Mode == TOptions::Convert) o.Output = operands[1];

  if (o.Mode == TOptions::Convert && hasOutputOption) throw TUsageError{"'-o' belongs to --latex; --convert names its output"};
  if ((o.Mode == TOptions::Latex || o.Mode == TOptions::Render) && hasOutputOption && o.Output.empty())
    throw TUsageError{"'-o' needs a file name"};
  if (o.Input.empty()) throw TUsageError{"the input file name is empty"};
  if (o.FromStandardInput() && o.From == TKind::Unknown)
    throw TUsageError{"reading standard input ('-') needs --from csv, txt, qtor or tex"};
  if (o.HasTable && o.InputKind() != TKind::Latex && o.InputKind() != TKind::Html && !o.ToLatexFile())
    throw TUsageError{"'--table' chooses among the tables of LaTeX or HTML input (.tex, .html or --from), or the "
                      "table of a .tex output that --convert replaces"};
  if (o.KeepFormat && !o.ToLatexFile()) throw TUsageError{"'--keep-format' belongs to --convert to a .tex file"};
  if ((o.HasSheet || !o.Range.empty()) && o.InputKind() != TKind::Spreadsheet)
    throw TUsageError{std::string(o.HasSheet ? "'--sheet'" : "'--range'") + " belongs to spreadsheet input (.xlsx or .ods)"};
  if (o.NoEscape && o.InputKind() != TKind::Spreadsheet && o.InputKind() != TKind::Html)
    throw TUsageError{"'--no-escape' belongs to spreadsheet and HTML input"};
  if (o.FromStandardInput() && o.InputKind() == TKind::Spreadsheet)
    throw TUsageError{"a spreadsheet cannot be read from standard input"};
  const TKind outKind = o.Mode == TOptions::Convert ? KindOf(o.Output) : TKind::Native;
  if (outKind == TKind::Unknown || outKind == TKind::Spreadsheet || outKind == TKind::Html)
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

// The sheet that --sheet names (by default the first holding data), or the
// --table-th table of HTML, as a table. Warnings go to standard error.
void ReadBlockInput(TTable& table, TStream& stream, const TOptions& o) {
  const std::string name = o.InputName();
  std::string bytes;
  stream.Seek(0);
  char piece[kPieceSize];
  for (size_t n; (n = stream.Read(piece, sizeof piece)) > 0;) bytes.append(piece, n);
  TBlockOptions options;
  options.Escape = !o.NoEscape;
  TCellBlock block;
  if (o.InputKind() == TKind::Html) {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.erase(0, 3);
    try {
      // UTF-8 unless the page names its own character set.
      const bool namesCharset = bytes.find("charset") != std::string::npos || bytes.find("CHARSET") != std::string::npos;
      block = ReadHtmlTable(bytes, o.Table - 1, options, namesCharset ? nullptr : "UTF-8");
    } catch (const EQuiltorError& e) {
      throw EQuiltorError(name + ": " + e.what());
    }
  } else {
    const TWorkbook book(bytes, o.Input);
    const std::vector<TSheetInfo>& sheets = book.Sheets();
    int index = 0;
    if (o.HasSheet) {
      index = book.FindSheet(o.Sheet);
      if (index < 0) {
        std::string names;
        for (const TSheetInfo& sheet : sheets) names += (names.empty() ? "" : ", ") + sheet.Name;
        throw EQuiltorError(FormatStr("%s has no sheet %s; its sheets: %s", name.c_str(), o.Sheet.c_str(), names.c_str()));
      }
    } else {
      while (static_cast<size_t>(index) + 1 < sheets.size() && sheets[static_cast<size_t>(index)].Rows == 0) ++index;
    }
    try {
      block = book.ReadSheet(index, options, o.Range);
    } catch (const EQuiltorError& e) {
      throw EQuiltorError(name + ": " + e.what());
    }
  }
  BlockToTable(block, table);
  for (const std::string& warning : block.Warnings)
    std::fprintf(stderr, "quiltor: warning: %s: %s\n", name.c_str(), warning.c_str());
}

TTextImportOptions TextOptions(const TOptions& o) {
  TTextImportOptions text;
  text.Delimiters = o.HasDelimiters ? o.Delimiters : o.InputKind() == TKind::Csv ? "," : "\t";
  text.Merge = o.Merge;
  text.Quoted = o.Quoted;
  text.Escape = o.Escape;
  return text;
}

bool IsTextInput(const TOptions& o) { return o.InputKind() == TKind::Csv || o.InputKind() == TKind::Tab; }

// Reads the table from stream, whatever it was opened from. Returns the
// offset of a NUL that cut text input short, or -1.
int64_t ReadTableFrom(TTable& table, TStream& stream, const TOptions& o) {
  const TKind kind = o.InputKind();
  if (kind == TKind::Latex) {
    ReadLatexInput(table, stream, o);
    return -1;
  }
  if (kind == TKind::Spreadsheet || kind == TKind::Html) {
    ReadBlockInput(table, stream, o);
    return -1;
  }
  if (!IsTextInput(o)) {
    table.LoadFromStream(stream);
    return -1;
  }
  return table.ImportText(stream, o.InputName(), TextOptions(o));
}

// Calls use with a stream over the input, whatever it is: a regular file is
// read where it lies, anything else (standard input, a pipe) is read into
// memory first, since it can be read only once.
template <class Use>
void WithInput(const TOptions& o, Use use) {
  if (o.FromStandardInput()) {
    TMemoryStream stream(ReadAllOf(STDIN_FILENO, o.InputKind()));
    use(stream);
    return;
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
    use(stream);
    return;
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
  use(stream);
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

// LaTeX code to the output: write(piece, flush) appends lines to piece and
// hands it to flush, which empties it, whenever it holds about 64 KiB, and
// once at the end. The whole text is never held at once. A file is replaced
// only once all of it is written.
template <class Write>
void EmitLatex(const std::string& fileName, Write write) {
  std::string piece;
  piece.reserve(kPieceSize + 4096);
  if (fileName.empty()) {
    write(piece, [](std::string& out) {
      WriteAll(STDOUT_FILENO, out.data(), out.size());
      out.clear();
    });
    return;
  }
  TAtomicFile file(fileName);
  write(piece, [&file](std::string& out) {
    file.Stream().Write(out.data(), out.size());
    out.clear();
  });
  file.Commit();
}

void WriteLatex(const TTable& table, const TOptions& o) {
  EmitLatex(o.Output, [&](std::string& piece, const std::function<void(std::string&)>& flush) {
    TableToLatex(table, piece, flush, kPieceSize, o.Code);
  });
}

// The text of the --preamble file, which must be a regular file.
std::string ReadPreamble(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat st;
  if (fd < 0) RaiseFileError("Cannot open file", path, errno);
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw EQuiltorError(FormatStr("Cannot open file %s: not a regular file", path.c_str()));
  }
  std::string text;
  char piece[kPieceSize];
  for (;;) {
    const ssize_t r = ::read(fd, piece, sizeof piece);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      ::close(fd);
      throw EQuiltorError("Stream read error");
    }
    if (r == 0) break;
    text.append(piece, static_cast<size_t>(r));
  }
  ::close(fd);
  return text;
}

// The table typeset by LaTeX into the PDF or PNG file the user named. A
// LaTeX failure is told as the editor's preview tells it: the first error,
// with the row and cell it comes from.
void Render(const TTable& table, const TOptions& o) {
  if (!gTypesetRenderer) throw EQuiltorError("Cannot render: this build has no typesetting (it needs the editor module)");
  std::vector<std::string> lines;
  TableToLatex(table, lines);
  const TTypesetDocument document = BuildTypesetDocument(lines, o.Preamble.empty() ? "" : ReadPreamble(o.Preamble));
  std::string log, message;
  const int dpi = o.Dpi ? o.Dpi : 300;
  // Generous: a table of siunitx columns takes seconds on a busy machine.
  const int timeout = o.Timeout ? o.Timeout : 30;
  if (gTypesetRenderer(document.Text, o.Output, dpi, timeout, log, message) == 0) return;
  if (message.empty()) message = "LaTeX failed: " + DescribeLatexFailure(document, table, log);
  throw EQuiltorError(message);
}

// --convert to a .tex file that exists: the table goes in place of one of
// its tables (the one --table names, or its only one), every other byte of
// the file kept. With --keep-format the new texts go into that table's own
// structure. False when the output does not exist (or is empty), so that it
// is written whole.
bool ConvertIntoLatexFile(TTable& table, const TOptions& o) {
  if (!o.OutputTable() && !o.KeepFormat && !FileExists(o.Output)) return false;
  if (!FileExists(o.Output)) {
    throw EQuiltorError(FormatStr("Cannot replace a table of %s: the file does not exist%s", o.Output.c_str(),
                                  o.OutputTable() ? "" : " (--keep-format keeps the look of an existing table)"));
  }
  const std::string bytes = ReadPaperFile(o.Output);
  const std::vector<TLatexTableSource> tables = FindPaperTables(bytes);
  size_t index = 0;
  if (o.OutputTable()) {
    if (static_cast<size_t>(o.OutputTable()) > tables.size())
      throw EQuiltorError(FormatStr("%s holds %zu LaTeX table%s, not %d; nothing written", o.Output.c_str(),
                                    tables.size(), tables.size() == 1 ? "" : "s", o.OutputTable()));
    index = static_cast<size_t>(o.OutputTable()) - 1;
  } else if (!IsLoneTable(bytes)) {
    if (!o.KeepFormat && bytes.find_first_not_of(" \t\r\n") == std::string::npos) return false;
    if (tables.empty())
      throw EQuiltorError(FormatStr("Cannot write %s: it holds LaTeX source without a table, which the conversion "
                                    "would replace whole; nothing written",
                                    o.Output.c_str()));
    throw EQuiltorError(FormatStr("Cannot write %s: it holds more than one table alone (%zu LaTeX table%s and "
                                  "other text); name the table to replace with --table N; nothing written",
                                  o.Output.c_str(), tables.size(), tables.size() == 1 ? "" : "s"));
  }
  const TLatexTableSource& target = tables[index];
  if (TableSourceEnd(bytes, target) == std::string::npos)
    throw EQuiltorError(FormatStr("Cannot replace table %zu of %s: it has no \\end; nothing written", index + 1,
                                  o.Output.c_str()));
  TTable merged;
  const TTable* written = &table;
  if (o.KeepFormat) {
    try {
      ReadLatexTable(bytes, target, merged);
    } catch (const EQuiltorError& e) {
      throw EQuiltorError(o.Output + ": " + e.what());
    }
    MergeCellTexts(merged, table);
    written = &merged;
  }
  // Kept in its look, the table keeps the paper's own float text; a table
  // with a float of its own replaces the float around the old one.
  const bool withFloat = !o.KeepFormat && written->Style.Float.Active();
  const TPaperSpan span = PaperTableSpan(bytes, target, withFloat);
  const std::string code = TableCode(*written, CodeLayoutOf(bytes, span.Begin, span.End), withFloat);
  WritePaperFile(o.Output, SpliceTable(bytes, span.Begin, span.End, code));
  return true;
}

void Convert(TTable& table, const TOptions& o) {
  if (o.Mode == TOptions::Render) {
    Render(table, o);
    return;
  }
  if (o.Mode == TOptions::Latex) {
    WriteLatex(table, o);
    return;
  }
  switch (KindOf(o.Output)) {
    case TKind::Native: SaveTableFile(table, o.Output); break;
    case TKind::Csv: table.ExportText(o.Output, ','); break;
    case TKind::Tab: table.ExportText(o.Output, '\t'); break;
    case TKind::Latex:
      if (!ConvertIntoLatexFile(table, o)) WriteLatex(table, o);
      break;
    case TKind::Spreadsheet:
    case TKind::Html:
    case TKind::Unknown: break;  // refused while parsing
  }
}

// A NUL byte ended text input early: what follows it was not read. Unless
// the user allows it, that is a failure and nothing is written.
struct TTruncated {
  int64_t At;
};

// A NUL at nulAt (or -1) cut text input short: a failure, or with
// --allow-truncation a warning, before anything is written.
void CheckCut(int64_t nulAt, const TOptions& o) {
  if (nulAt < 0) return;
  if (!o.AllowTruncation) throw TTruncated{nulAt};
  std::fprintf(stderr, "quiltor: warning: %s was cut at byte %lld by a NUL byte\n", o.InputName().c_str(),
               static_cast<long long>(nulAt));
}

// LaTeX of text input is written as the text is read: its table has nothing
// but the texts, so building it first would only cost time and memory.
bool StreamsTextToLatex(const TOptions& o) {
  // An existing .tex output may be a paper: its table is replaced in place.
  const bool latex = o.Mode == TOptions::Latex || (o.ToLatexFile() && !FileExists(o.Output) && !o.KeepFormat);
  // The streamed code knows no style and no alignment.
  return latex && IsTextInput(o) && !o.Style && !o.Code.AlignColumns;
}

void StreamTextToLatex(TStream& stream, const TOptions& o) {
  const TTextImportOptions text = TextOptions(o);
  const TTextShape shape = MeasureText(stream, o.InputName(), text);
  CheckCut(shape.NulAt, o);
  EmitLatex(o.Output, [&](std::string& piece, const std::function<void(std::string&)>& flush) {
    TextToLatex(stream, shape, text, piece, flush, kPieceSize);
  });
}

void Run(const TOptions& o) {
  CheckOutputIsNotInput(o);
  if (StreamsTextToLatex(o)) {
    WithInput(o, [&o](TStream& stream) { StreamTextToLatex(stream, o); });
    return;
  }
  // The process ends right after the conversion: handing a large table's
  // cells back one by one would only add to its run time. Under the leak
  // checker the table is freed, so that real leaks stay visible.
  auto* table = new TTable;
  try {
    WithInput(o, [&](TStream& stream) { CheckCut(ReadTableFrom(*table, stream, o), o); });
    if (o.Style) table->Style.Rules = *o.Style;
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

void SetTypesetRenderer(TTypesetRenderer renderer) { gTypesetRenderer = renderer; }

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
  if (o.Mode == TOptions::Recover) {
    // Only looks: nothing is moved, removed or claimed.
    std::fputs(RecoveryListing(ScanRecoveryFolder(DefaultRecoveryFolder(), false)).c_str(), stdout);
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
