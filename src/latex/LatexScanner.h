#pragma once
// The scanner under the LaTeX reader: it reads text the way TeX does, as
// far as finding tables and splitting their rows needs it. Control
// sequences, comments, \verb, brace and bracket groups, environment names,
// undelimited arguments, and a row's cells split at "&" and the row's end
// outside braces, math and nested environments (TCellScanner).
//
// Every offset it returns lies within the text it was given (or is npos
// where that is said), and it never reads past the text's end. It raises
// EQuiltorError, naming line and column, only where a row cannot be read as
// LaTeX at all: an unbalanced brace or environment, an unclosed \verb. It
// knows nothing of column lists, rules or the model.
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace LatexRead {

// The model has no practical use for more; a damaged \multicolumn or
// *{n}{..} must not make the reader build millions of cells.
constexpr long long kMaxColumns = 1000;

inline bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }
// c is one of the characters of set (never the terminating NUL).
inline bool IsOneOf(char c, const char* set) { return c != '\0' && std::strchr(set, c) != nullptr; }
inline bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

// Line and column of an offset, counted only when a message needs them.
struct TPlace {
  int Line;
  int Column;
};

// Control sequence at s[p] ('\'): its name (letters, or the one symbol after
// the backslash) and the offset after it.
struct TControl {
  std::string_view Name;
  size_t End;
};

// The name in "{name}" after \begin or \end, starting at p; empty when there
// is none. Blanks and comments may stand before the brace, and comments
// inside it, as TeX reads them: "\begin{tab%\nular}" is a tabular. The cell
// texts lose their comments; read any other way, a name split by one would
// be no environment here and a whole one in the text written back.
struct TEnvName {
  std::string Name;
  size_t End;
};

std::string_view Trim(std::string_view s);
// Trimmed, but a control space ("\\ ") at the end keeps its blank.
std::string_view TrimText(std::string_view s);

TPlace PlaceOf(std::string_view text, size_t offset);
// Raises EQuiltorError "Line l, column c: what" for the offset at in text.
[[noreturn]] void Fail(std::string_view text, size_t at, const char* what);

TControl ReadControl(std::string_view s, size_t p);
size_t LineEnd(std::string_view s, size_t p);
size_t SkipComment(std::string_view s, size_t p);
size_t SkipVerb(std::string_view s, size_t afterName);
std::string StripComments(std::string_view text, bool verb);
size_t GroupEnd(std::string_view s, size_t p);
TEnvName ReadEnvName(std::string_view s, size_t p);
size_t TokenArgument(std::string_view s, size_t p, std::string_view& content);

bool IsRowMark(std::string_view name);
bool IsRowEnd(std::string_view name);

// Where a scan of a row's cells stopped: at an "&" or the row's end ("\\",
// \tabularnewline) outside braces, math and nested environments, or at the
// end of the text.
struct TCellStop {
  enum TKind { Separator, RowEnd, End } Kind;
  size_t At;             // the "&", the row end's backslash, or the text's end
  size_t After;          // the offset after it
  std::string_view Name; // what stopped it: "&", "\\", "tabularnewline", a longtable mark or empty
  bool Comments;         // a comment stood between the previous stop and this one
};

// Scans cells the way LaTeX would split them: an "&" or a row end inside
// braces, math or a nested environment is the cell's own, and a \verb
// outside braces is skipped. Math is tracked only when asked: a row that
// ends with its math open is no math at all, and is scanned again without.
// Raises at an unbalanced brace or environment and at an unclosed \verb;
// text names the places (s is a prefix of it).
class TCellScanner {
 public:
  TCellScanner(std::string_view s, std::string_view text, size_t p, bool trackMath)
      : S(s), Text(text), Q(p), TrackMath(trackMath) {}

  TCellStop Next();
  // Math opened and not closed so far ('$', 'D' for $$, '(' or '['; 0 when none).
  char Math() const { return MathOpen; }

 private:
  [[noreturn]] void Fail(size_t at, const char* what) const { LatexRead::Fail(Text, at, what); }

  std::string_view S;
  std::string_view Text;
  size_t Q;
  bool TrackMath;
  std::vector<size_t> Braces;
  std::vector<std::pair<std::string, size_t>> Environments;
  char MathOpen = 0;
};

inline constexpr std::string_view kMulticolumn = "\\multicolumn";

// What a cell's text holds, as the \multicolumn and \multirow reading asks it.
size_t FindMulticolumn(std::string_view t);
bool HoldsVerb(std::string_view t);
bool HoldsOpenVerb(std::string_view t);
size_t MulticolumnArguments(std::string_view t, size_t m, std::string_view (&args)[3]);
std::string CellBreakIn(std::string_view t);

}  // namespace LatexRead
