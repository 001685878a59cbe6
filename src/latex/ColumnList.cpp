#include "latex/ColumnList.h"

#include <algorithm>

#include "latex/LatexScanner.h"
#include "latex/TabToLatex.h"
#include "model/Errors.h"

namespace LatexRead {

// Expands *{n}{..} (nested too, and with single-token arguments: *3c) into
// plain text; raises when the result would hold more than kMaxColumns worth
// of text. where names the text in messages.
std::string ExpandRepeats(std::string_view text, std::string_view spec, size_t at, const char* where, int depth) {
  std::string out;
  size_t p = 0;
  while (p < spec.size()) {
    const char c = spec[p];
    if (c == '{' || c == '[') {
      const size_t e = GroupEnd(spec, p);
      const size_t end = e == std::string_view::npos ? spec.size() : e;
      out.append(spec.substr(p, end - p));
      p = end;
      continue;
    }
    if (c == '\\') {
      const size_t end = std::min(ReadControl(spec, p).End, spec.size());
      out.append(spec.substr(p, end - p));
      p = end;
      continue;
    }
    if (c != '*') {
      out += c;
      ++p;
      continue;
    }
    // *{n}{columns}
    std::string_view countText, body;
    const size_t countEnd = TokenArgument(spec, p + 1, countText);
    const size_t bodyEnd =
        countEnd == std::string_view::npos ? countEnd : TokenArgument(spec, countEnd, body);
    if (bodyEnd == std::string_view::npos)
      Fail(text, at, FormatStr("*{n}{columns} in %s needs two arguments", where).c_str());
    countText = Trim(countText);
    long long n = 0;
    bool number = !countText.empty();
    for (char d : countText) {
      if (d < '0' || d > '9' || n > kMaxColumns) {
        number = false;
        break;
      }
      n = n * 10 + (d - '0');
    }
    if (!number) Fail(text, at, FormatStr("*{n}{columns} in %s needs a number of repetitions", where).c_str());
    if (n > kMaxColumns || depth > 8 || static_cast<long long>(body.size()) * n > 64 * kMaxColumns)
      Fail(text, at, FormatStr("%s gives more than %lld columns", where, kMaxColumns).c_str());
    const std::string inner = ExpandRepeats(text, body, at, where, depth + 1);
    if (static_cast<long long>(inner.size()) * n > 64 * kMaxColumns)
      Fail(text, at, FormatStr("%s gives more than %lld columns", where, kMaxColumns).c_str());
    for (long long i = 0; i < n; ++i) out += inner;
    p = bodyEnd;
  }
  return out;
}

bool EndsWithRule(std::string_view format) { return !FormatSideRules(format, false).empty(); }

// Splits a column specification. Each letter is a column, with the groups
// that follow it (p{3cm}, S[..], D{.}{.}{2}); ">{..}" goes with the column
// after it, "<{..}" with the one before. "@{..}" and "!{..}" go with the
// column they follow, except before the first column or after a "|", where
// they go with the column they precede; so does a brace group that follows
// no letter. A "|" between columns is a boundary rule; a second "|" at the
// same boundary adds nothing (the model has single rules). A "|" inside the
// text that opens a column's format (with the rule before that text, if
// any), or trailing text after the last rule, stays in the format so that
// nothing is lost; commands and a stray "*" outside braces, which LaTeX
// refuses there, are dropped.
//
// The formats written back one after the other, with the boundary rules the
// generator decides between them, split again into the same formats: what
// goes with a column never depends on a rule that might not be written.
TSpec ParseSpec(std::string_view text, std::string_view rawSpec, size_t at) {
  const std::string spec = ExpandRepeats(text, StripComments(rawSpec, false), at, "the column specification");
  // An environment has no place in a column specification; its \begin and
  // \end would count in the search for the table's end.
  if (spec.find("\\begin") != std::string::npos || spec.find("\\end") != std::string::npos)
    Fail(text, at, "the column specification holds a \\begin or \\end");
  TSpec out;
  out.Rules.push_back(false);
  std::string pending;     // goes with the next column
  bool afterRule = true;   // no column since the last "|" (or the start)
  size_t p = 0;
  auto group = [&](size_t q, bool square) {
    // One closed group right after q (blanks allowed); returns its end or q.
    size_t r = q;
    while (r < spec.size() && IsSpace(spec[r])) ++r;
    if (r < spec.size() && (spec[r] == '{' || (square && spec[r] == '['))) {
      const size_t e = GroupEnd(spec, r);
      return e == std::string_view::npos ? q : e;
    }
    return q;
  };
  while (p < spec.size()) {
    const char c = spec[p];
    if (IsSpace(c)) {
      ++p;
      continue;
    }
    if (c == '|') {
      std::string run;  // "||" and "| |" are a double rule
      for (; p < spec.size() && (spec[p] == '|' || IsSpace(spec[p])); ++p)
        if (spec[p] == '|') run += '|';
      if (!pending.empty()) {
        // Text between two rules: the first rule goes into the text with
        // the second. Left at the boundary, it might not be written back
        // (the generator decides the boundary rules from the cells), and
        // without it the text before this "|" would join the previous
        // column and this "|" become a boundary rule in turn.
        if (!out.Formats.empty() && out.Rules.back() && !EndsWithRule(out.Formats.back())) {
          pending.insert(pending.begin(), '|');
          out.Rules.back() = false;
        }
        pending += run;
      } else {
        out.Rules.back() = true;
        // A double rule is more than a cell's rule flags say: the run stays
        // in the format beside it, which writes it back in every row (the
        // generator keeps a format's own side rules, in \multicolumn cells
        // too); the flags still show the rule.
        if (run.size() > 1) (out.Formats.empty() ? pending : out.Formats.back()) += run;
      }
      afterRule = true;
      continue;
    }
    if (IsLetter(c)) {
      size_t e = p + 1;
      // l, c and r never take arguments; a brace after them belongs to
      // nothing and is kept with the column.
      for (size_t next; (next = group(e, true)) != e;) e = next;
      if (static_cast<long long>(out.Formats.size()) >= kMaxColumns)
        Fail(text, at, FormatStr("the column specification gives more than %lld columns", kMaxColumns).c_str());
      out.Formats.push_back(pending + std::string(spec.substr(p, e - p)));
      out.Rules.push_back(false);
      pending.clear();
      afterRule = false;
      p = e;
      continue;
    }
    // A command outside braces is no part of a column specification
    // (LaTeX stops at it): it is dropped, so that neither its backslash nor
    // its name can swallow what the generator writes after it. A "*" left
    // after the repetitions were expanded repeats nothing; kept, it would
    // ask for a repetition in the code written back.
    if (c == '\\') {
      p = std::min(ReadControl(spec, p).End, spec.size());
      continue;
    }
    if (c == '*') {
      ++p;
      continue;
    }
    // A group that follows no column letter (a command in front of it was
    // dropped, or it stands alone) is one token, as it is after a letter:
    // its letters are no columns and its braces stay paired. Written back
    // right after the previous column's letter it would be that column's
    // argument, so it goes with that column in the first place.
    const bool braced = (c == '{' || c == '[') && group(p, true) != p;
    const size_t e = braced ? group(p, true)
                     : c == '>' || c == '<' || c == '@' || c == '!' ? group(p + 1, false)
                                                                    : p + 1;
    const std::string_view token = std::string_view(spec).substr(p, e - p);
    const bool withPrevious = !out.Formats.empty() && pending.empty() &&
                              (c == '<' || ((braced || c == '@' || c == '!') && !afterRule));
    if (withPrevious) {
      out.Formats.back() += token;
    } else {
      pending += token;
    }
    p = e;
  }
  if (!pending.empty()) {
    // Without a single column there is nothing the text could go with.
    if (!out.Formats.empty()) {
      // Text after the last column and its rule: kept, rule and all, as the
      // end of the last format.
      if (out.Rules.back() && !EndsWithRule(out.Formats.back())) pending.insert(pending.begin(), '|');
      out.Rules.back() = false;
      out.Formats.back() += pending;
    }
  }
  return out;
}

// Whether a group of an unknown environment's \begin line reads as a column
// specification: column letters, rules and the preamble's own tokens only.
bool LooksLikeSpec(std::string_view spec) {
  bool column = false;
  for (size_t p = 0; p < spec.size();) {
    const char c = spec[p];
    if (c == '{' || c == '[') {
      const size_t e = GroupEnd(spec, p);
      if (e == std::string_view::npos) return false;
      p = e;
      continue;
    }
    if (c == '*') {
      // *{n}{columns}, or with single tokens as TeX reads them (*3{cl}, *3c):
      // its columns are those of its second argument.
      std::string_view count, body;
      const size_t countEnd = TokenArgument(spec, p + 1, count);
      const size_t bodyEnd = countEnd == std::string_view::npos ? countEnd : TokenArgument(spec, countEnd, body);
      if (bodyEnd == std::string_view::npos || !LooksLikeSpec(body)) return false;
      column = true;
      p = bodyEnd;
      continue;
    }
    if (IsLetter(c)) column = true;
    else if (!IsSpace(c) && !IsOneOf(c, "|><@!")) return false;
    ++p;
  }
  return column;
}

}  // namespace LatexRead
