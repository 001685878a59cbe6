#include "latex/LatexScanner.h"

#include <algorithm>

#include "model/Errors.h"

namespace LatexRead {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// A cell's text trimmed; a control space ("\\ ") at its end keeps its
// blank, since a bare backslash there would escape what follows it.
std::string_view TrimText(std::string_view s) {
  const std::string_view t = Trim(s);
  size_t slashes = 0;
  while (slashes < t.size() && t[t.size() - 1 - slashes] == '\\') ++slashes;
  if (slashes % 2 == 1 && t.data() + t.size() < s.data() + s.size()) return {t.data(), t.size() + 1};
  return t;
}

// ---------------------------------------------------------------- positions

TPlace PlaceOf(std::string_view text, size_t offset) {
  offset = std::min(offset, text.size());
  int line = 1;
  size_t lineStart = 0;
  for (size_t i = 0; i < offset; ++i)
    if (text[i] == '\n') {
      ++line;
      lineStart = i + 1;
    }
  return {line, static_cast<int>(offset - lineStart) + 1};
}

[[noreturn]] void Fail(std::string_view text, size_t at, const char* what) {
  const TPlace p = PlaceOf(text, at);
  throw EQuiltorError(FormatStr("Line %d, column %d: %s", p.Line, p.Column, what));
}

// ---------------------------------------------------------------- scanning

TControl ReadControl(std::string_view s, size_t p) {
  size_t q = p + 1;
  if (q >= s.size()) return {{}, q};
  if (!IsLetter(s[q])) return {s.substr(q, 1), q + 1};
  while (q < s.size() && IsLetter(s[q])) ++q;
  return {s.substr(p + 1, q - p - 1), q};
}

size_t LineEnd(std::string_view s, size_t p) {
  const size_t nl = s.find('\n', p);
  return nl == std::string_view::npos ? s.size() : nl;
}

// After a comment: past its line break and the blanks that open the next
// line, which TeX skips as well.
size_t SkipComment(std::string_view s, size_t p) {
  p = LineEnd(s, p);
  if (p < s.size()) ++p;
  while (p < s.size() && IsBlank(s[p])) ++p;
  return p;
}

// \verb<c>...<c> (or \verb*): the offset after it.
size_t SkipVerb(std::string_view s, size_t afterName) {
  size_t p = afterName;
  if (p < s.size() && s[p] == '*') ++p;
  if (p >= s.size()) return p;
  const char delimiter = s[p];
  const size_t close = s.find(delimiter, p + 1);
  // Unclosed on its line it is no \verb (LaTeX refuses it): what follows is
  // read as usual, so that it cannot hide the row's end.
  return close == std::string_view::npos || close > LineEnd(s, p + 1) ? afterName : close + 1;
}

namespace {

// Whether s ends with a control word ("\\foo"), which a letter put right
// after it would lengthen.
bool EndsWithControlWord(std::string_view s) {
  size_t i = s.size();
  while (i > 0 && IsLetter(s[i - 1])) --i;
  if (i == s.size() || i == 0 || s[i - 1] != '\\') return false;
  size_t slashes = 0;
  while (i > 0 && s[i - 1] == '\\') {
    --i;
    ++slashes;
  }
  return slashes % 2 == 1;
}

}  // namespace

// text without its comments: each runs to the end of its line and takes the
// blanks that open the next line with it, as TeX reads it; "\%" is no
// comment.
std::string StripComments(std::string_view text, bool verb) {
  std::string out;
  out.reserve(text.size());
  int depth = 0;
  for (size_t q = 0; q < text.size();) {
    if (text[q] == '{') ++depth;
    if (text[q] == '}') --depth;
    if (text[q] == '\\' && q + 1 < text.size()) {
      // A "%" inside \verb outside braces is text, as the row scanner reads
      // it too.
      const TControl control = ReadControl(text, q);
      const size_t end = verb && depth <= 0 && control.Name == "verb" ? SkipVerb(text, control.End) : control.End;
      out.append(text.substr(q, end - q));
      q = end;
    } else if (text[q] == '%') {
      q = SkipComment(text, q);
      // "\\foo%" ends the control word; joined to a letter it would not.
      if (q < text.size() && IsLetter(text[q]) && EndsWithControlWord(out)) out += ' ';
    } else {
      out += text[q++];
    }
  }
  return out;
}

// A group at s[p] ('{' or '['): the offset after its closing bracket, or npos
// when it is not closed. Braces nest inside either; a square group ends at
// the first ']' outside braces. Comments are skipped; \verb is no verbatim
// inside a group (LaTeX refuses it in an argument), as the row scanner
// agrees.
size_t GroupEnd(std::string_view s, size_t p) {
  const char open = s[p];
  int depth = 0;
  for (size_t q = p; q < s.size(); ++q) {
    const char c = s[q];
    if (c == '\\') {
      q = std::min(ReadControl(s, q).End, s.size()) - 1;
      continue;
    }
    if (c == '%') {
      q = LineEnd(s, q);
      continue;
    }
    if (c == '{') {
      ++depth;
    } else if (c == '}') {
      if (--depth == 0 && open == '{') return q + 1;
      if (depth < 0) return std::string_view::npos;
    } else if (c == ']' && open == '[' && depth == 0) {
      return q + 1;
    }
  }
  return std::string_view::npos;
}

TEnvName ReadEnvName(std::string_view s, size_t p) {
  while (p < s.size() && (IsBlank(s[p]) || s[p] == '%')) p = s[p] == '%' ? SkipComment(s, p) : p + 1;
  if (p >= s.size() || s[p] != '{') return {{}, p};
  // Environment names are letters, with digits and a few marks in
  // packages' own names ("tabular*", "my@env"); anything else is a brace
  // group after a \begin that is no environment at all.
  std::string name;
  size_t q = p + 1;
  while (q < s.size()) {
    const char c = s[q];
    if (c == '%') {
      q = SkipComment(s, q);
    } else if (IsLetter(c) || (c >= '0' && c <= '9') || IsOneOf(c, "*@:_- ")) {
      name += c;
      ++q;
    } else {
      break;
    }
  }
  if (q >= s.size() || s[q] != '}') return {{}, p};
  return {std::string(Trim(name)), q + 1};
}

// One undelimited argument at p, as TeX reads it: blanks are skipped, then a
// brace group (content without its braces), a control sequence or a single
// character ("*3{c}", "\\multicolumn2c{x}"). Returns the offset after it, or
// npos when there is none (the end, or a "}" that closes an outer group).
size_t TokenArgument(std::string_view s, size_t p, std::string_view& content) {
  while (p < s.size() && IsSpace(s[p])) ++p;
  if (p >= s.size() || s[p] == '}') return std::string_view::npos;
  size_t e;
  if (s[p] == '{') {
    e = GroupEnd(s, p);
    if (e == std::string_view::npos) return e;
    content = s.substr(p + 1, e - p - 2);
    return e;
  }
  e = s[p] == '\\' ? std::min(ReadControl(s, p).End, s.size()) : p + 1;
  content = s.substr(p, e - p);
  return e;
}

// The longtable marks. Each ends the row it closes, "\\" before it or not
// (longtable does \crcr there), and stays with that row.
bool IsRowMark(std::string_view name) {
  return name == "endhead" || name == "endfirsthead" || name == "endfoot" || name == "endlastfoot" ||
         name == "kill";
}

// What ends a row: "\\", \tabularnewline or a longtable mark.
bool IsRowEnd(std::string_view name) { return name == "\\" || name == "tabularnewline" || IsRowMark(name); }

TCellStop TCellScanner::Next() {
  bool comments = false;
  while (Q < S.size()) {
    const char c = S[Q];
    switch (c) {
      case '%':
        comments = true;
        Q = LineEnd(S, Q);
        continue;
      case '{':
        Braces.push_back(Q);
        break;
      case '}':
        if (Braces.empty()) Fail(Q, "this } closes no {");
        Braces.pop_back();
        break;
      case '$':
        if (!TrackMath) break;
        if (Q + 1 < S.size() && S[Q + 1] == '$') {
          MathOpen = MathOpen == 'D' ? 0 : MathOpen == 0 ? 'D' : MathOpen;
          ++Q;
        } else {
          MathOpen = MathOpen == '$' ? 0 : MathOpen == 0 ? '$' : MathOpen;
        }
        break;
      case '&':
        if (Braces.empty() && Environments.empty() && MathOpen == 0) {
          const size_t at = Q++;
          return {TCellStop::Separator, at, Q, S.substr(at, 1), comments};
        }
        break;
      case '\\': {
        const TControl control = ReadControl(S, Q);
        const std::string_view name = control.Name;
        // A row end in math stops the scan too: the caller decides whether
        // the math was any.
        if (IsRowEnd(name) && Braces.empty() && Environments.empty()) {
          const size_t at = Q;
          Q = control.End;
          return {TCellStop::RowEnd, at, Q, name, comments};
        }
        if (name == "begin" || name == "end") {
          const TEnvName env = ReadEnvName(S, control.End);
          if (!env.Name.empty()) {
            if (name == "begin") {
              Environments.emplace_back(env.Name, Q);
            } else {
              if (Environments.empty()) Fail(Q, "this \\end closes no \\begin");
              if (Environments.back().first != env.Name) {
                const TPlace open = PlaceOf(Text, Environments.back().second);
                Fail(Q, FormatStr("\\end{%.*s} does not match the \\begin{%.*s} at line %d, column %d",
                                  static_cast<int>(env.Name.size()), env.Name.data(),
                                  static_cast<int>(Environments.back().first.size()), Environments.back().first.data(),
                                  open.Line, open.Column)
                            .c_str());
              }
              Environments.pop_back();
            }
            Q = env.End;
            continue;
          }
        } else if (name == "verb" && Braces.empty()) {
          Q = SkipVerb(S, control.End);
          // Unclosed, the code written back would close it with what follows.
          if (Q == control.End) Fail(control.End, "this \\verb is not closed on its line");
          continue;
        } else if ((name == "(" || name == "[") && MathOpen == 0 && TrackMath) {
          MathOpen = name[0];
        } else if ((name == ")" && MathOpen == '(') || (name == "]" && MathOpen == '[')) {
          MathOpen = 0;
        }
        Q = control.End;
        continue;
      }
      default:
        break;
    }
    ++Q;
  }
  if (!Braces.empty()) Fail(Braces.back(), "this { is never closed");
  if (!Environments.empty()) {
    const std::string_view name = Environments.back().first;
    Fail(Environments.back().second,
         FormatStr("this \\begin{%.*s} has no \\end{%.*s}", static_cast<int>(name.size()), name.data(),
                   static_cast<int>(name.size()), name.data())
             .c_str());
  }
  return {TCellStop::End, Q, Q, {}, comments};
}

// The offset of the first \multicolumn in t outside braces; npos when none.
size_t FindMulticolumn(std::string_view t) {
  int depth = 0;
  for (size_t q = 0; q < t.size(); ++q) {
    const char c = t[q];
    if (c == '{') ++depth;
    else if (c == '}') --depth;
    else if (c == '\\') {
      if (depth == 0 && t.substr(q).starts_with(kMulticolumn) &&
          (q + kMulticolumn.size() >= t.size() || !IsLetter(t[q + kMulticolumn.size()])))
        return q;
      ++q;
    }
  }
  return std::string_view::npos;
}

// Whether t holds the command \verb (not \verbatim and the like).
bool HoldsVerb(std::string_view t) {
  for (size_t q = t.find('\\'); q != std::string_view::npos; q = t.find('\\', q)) {
    const TControl control = ReadControl(t, q);
    if (control.Name == "verb") return true;
    q = control.End;
  }
  return false;
}

// Whether t holds a \verb outside braces that t does not close on its line.
bool HoldsOpenVerb(std::string_view t) {
  int depth = 0;
  for (size_t q = 0; q < t.size(); ++q) {
    const char c = t[q];
    if (c == '{') {
      ++depth;
    } else if (c == '}') {
      --depth;
    } else if (c == '\\') {
      const TControl control = ReadControl(t, q);
      q = std::min(control.End, t.size()) - 1;
      if (control.Name != "verb" || depth != 0) continue;
      const size_t delimiter = control.End < t.size() && t[control.End] == '*' ? control.End + 1 : control.End;
      const size_t end = SkipVerb(t, control.End);
      if (delimiter >= t.size() || end == control.End) return true;
      q = end - 1;
    }
  }
  return false;
}

// The three arguments after the \multicolumn at t[m], as TeX reads them
// (brace groups or single tokens: "\multicolumn2c{x}"), their contents into
// args: the offset after the last, or npos when one is missing.
size_t MulticolumnArguments(std::string_view t, size_t m, std::string_view (&args)[3]) {
  size_t p = m + kMulticolumn.size();
  for (std::string_view& arg : args) {
    p = TokenArgument(t, p, arg);
    if (p == std::string_view::npos) return p;
  }
  return p;
}

namespace {

// Whether the cell text t would be read as a \multicolumn cell: one that
// opens t, or, in a row's first cell, the first outside braces when nothing
// but its arguments follows it (see TReader::ReadMulticolumn).
bool ReadsAsMulticolumn(std::string_view t) {
  t = TrimText(t);
  if (t.starts_with(kMulticolumn) && (t.size() == kMulticolumn.size() || !IsLetter(t[kMulticolumn.size()])))
    return true;
  const size_t m = FindMulticolumn(t);
  if (m == std::string_view::npos) return false;
  std::string_view args[3];
  const size_t p = MulticolumnArguments(t, m, args);
  return p != std::string_view::npos && TrimText(t.substr(p)).empty();
}

}  // namespace

// What in t, written as a cell of its own, would not stay that one plain
// cell, said as what "this \multicolumn holds": a bare "&" or row end (outside braces, math and nested environments,
// as TReader::ReadCells splits a row), or a \multicolumn that would make the
// cell; empty when nothing. Text that does not read as a cell at all counts
// too.
std::string CellBreakIn(std::string_view t) {
  for (const bool math : {true, false}) {
    TCellStop stop{TCellStop::End, 0, 0, {}, false};
    bool mathOpen = false;
    try {
      TCellScanner scan(t, t, 0, math);
      stop = scan.Next();
      mathOpen = scan.Math() != 0;
    } catch (const EQuiltorError&) {
      return "text that does not read as a cell of its own";
    }
    if (stop.Kind == TCellStop::Separator) return "a bare & in its text";
    if (mathOpen) continue;  // no math after all: scanned again without
    if (stop.Kind == TCellStop::RowEnd) return "a bare \\" + std::string(stop.Name) + " in its text";
    break;
  }
  return ReadsAsMulticolumn(t) ? "another \\multicolumn in its text" : "";
}

}  // namespace LatexRead
