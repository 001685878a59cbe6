#include "document/HtmlTable.h"

#include <libxml/HTMLparser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "model/Errors.h"
#include "model/TextLines.h"

namespace {

struct TDocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using TDocPtr = std::unique_ptr<xmlDoc, TDocFree>;

// The HTML limits on spans; anything larger is a damaged or hostile page.
constexpr int kMaxColSpan = 1000;
constexpr int kMaxRowSpan = 65534;
// Elements nested deeper than this are not looked into.
constexpr int kMaxDepth = 512;

TDocPtr ParseHtml(std::string_view html, const char* encoding) {
  if (html.size() > static_cast<size_t>(INT32_MAX)) throw EQuiltorError("The HTML text is too large");
  xmlDoc* doc = htmlReadMemory(html.data(), static_cast<int>(html.size()), nullptr, encoding,
                               HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
  if (!doc) throw EQuiltorError("The HTML text cannot be read");
  return TDocPtr(doc);
}

bool Is(const xmlNode* node, const char* name) {
  return node->type == XML_ELEMENT_NODE && xmlStrcasecmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

std::string Attribute(const xmlNode* node, const char* name) {
  xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
  if (!value) return {};
  std::string result(reinterpret_cast<const char*>(value));
  xmlFree(value);
  return result;
}

// A span attribute: its leading digits, 1 when there are none or they say 0.
int SpanAttribute(const xmlNode* node, const char* name, int limit) {
  const std::string text = Attribute(node, name);
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  long long n = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && n <= limit; ++i) n = n * 10 + (text[i] - '0');
  return static_cast<int>(std::clamp<long long>(n, 1, limit));
}

std::string Lower(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// The emphasis CSS declarations ("name: value; ...") set: -1 where they
// say nothing.
struct TEmphasis {
  int Bold = -1, Italic = -1;
};

TEmphasis ReadDeclarations(std::string_view text) {
  TEmphasis emphasis;
  const std::string lower = Lower(text);
  std::string_view rest = lower;
  while (!rest.empty()) {
    const size_t semi = rest.find(';');
    const std::string_view decl = rest.substr(0, semi);
    rest = semi == std::string_view::npos ? std::string_view() : rest.substr(semi + 1);
    const size_t colon = decl.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view name = Trim(decl.substr(0, colon));
    std::string_view value = Trim(decl.substr(colon + 1));
    if (value.ends_with("!important")) value = Trim(value.substr(0, value.size() - 10));
    if (name == "font-weight")
      emphasis.Bold = value == "bold" || value == "bolder" || value == "600" || value == "700" || value == "800" ||
                      value == "900";
    else if (name == "font-style") emphasis.Italic = value == "italic" || value == "oblique";
  }
  return emphasis;
}

void Apply(const TEmphasis& emphasis, bool& bold, bool& italic) {
  if (emphasis.Bold >= 0) bold = emphasis.Bold > 0;
  if (emphasis.Italic >= 0) italic = emphasis.Italic > 0;
}

// Emphasis by class name (lower case), from the rules of the document's
// <style> blocks whose selector is a class (".xl65", "td.xl65"): Excel marks
// its bold and italic cells so on the clipboard. Other selectors are not
// followed; a later rule overrides an earlier one, as in CSS.
using TClassStyles = std::unordered_map<std::string, TEmphasis>;

void ReadClassRules(std::string_view sheet, TClassStyles& classes) {
  // Comments go, and so do the markers that hide a style sheet from old
  // browsers.
  std::string css;
  for (size_t i = 0; i < sheet.size();) {
    if (sheet.substr(i, 2) == "/*") {
      const size_t end = sheet.find("*/", i + 2);
      i = end == std::string_view::npos ? sheet.size() : end + 2;
    } else if (sheet.substr(i, 4) == "<!--") {
      i += 4;
    } else if (sheet.substr(i, 3) == "-->") {
      i += 3;
    } else {
      css += sheet[i++];
      continue;
    }
    css += ' ';
  }
  size_t i = 0;
  while (i < css.size()) {
    const size_t open = css.find('{', i);
    if (open == std::string::npos) break;
    std::string_view prelude = std::string_view(css).substr(i, open - i);
    const size_t semi = prelude.rfind(';');  // an at-rule without a block ends there
    if (semi != std::string_view::npos) prelude.remove_prefix(semi + 1);
    prelude = Trim(prelude);
    if (prelude.starts_with('@')) {
      // An at-rule's block (@page, @media) skipped whole, nested rules too.
      int depth = 0;
      for (i = open; i < css.size(); ++i) {
        if (css[i] == '{') ++depth;
        else if (css[i] == '}' && --depth == 0) break;
      }
      ++i;
      continue;
    }
    const size_t close = std::min(css.find('}', open), css.size());
    const TEmphasis emphasis = ReadDeclarations(std::string_view(css).substr(open + 1, close - open - 1));
    i = close + 1;
    if (emphasis.Bold < 0 && emphasis.Italic < 0) continue;
    while (!prelude.empty()) {
      const size_t comma = prelude.find(',');
      const std::string_view selector = Trim(prelude.substr(0, comma));
      prelude = comma == std::string_view::npos ? std::string_view() : prelude.substr(comma + 1);
      const size_t dot = selector.find('.');
      if (dot == std::string_view::npos || dot + 1 == selector.size()) continue;
      const std::string_view tag = selector.substr(0, dot), name = selector.substr(dot + 1);
      const auto plain = [](std::string_view s, const char* allowed) {
        return std::all_of(s.begin(), s.end(), [&](char c) {
          return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || std::strchr(allowed, c);
        });
      };
      if (!plain(tag, "") || !plain(name, "-_")) continue;
      TEmphasis& slot = classes[Lower(name)];
      if (emphasis.Bold >= 0) slot.Bold = emphasis.Bold;
      if (emphasis.Italic >= 0) slot.Italic = emphasis.Italic;
    }
  }
}

void FindStyleSheets(const xmlNode* node, TClassStyles& classes, int depth) {
  if (depth > kMaxDepth) return;
  for (const xmlNode* child = node->children; child; child = child->next) {
    if (child->type != XML_ELEMENT_NODE) continue;
    if (Is(child, "style")) {
      xmlChar* css = xmlNodeGetContent(child);
      if (css) ReadClassRules(reinterpret_cast<const char*>(css), classes);
      xmlFree(css);
    } else {
      FindStyleSheets(child, classes, depth + 1);
    }
  }
}

// The emphasis of an element: its classes' first, then its own style
// attribute, which overrides them.
void ReadStyle(const xmlNode* node, const TClassStyles& classes, bool& bold, bool& italic) {
  if (!classes.empty()) {
    const std::string names = Lower(Attribute(node, "class"));
    for (size_t start = 0; start < names.size();) {
      const size_t end = std::min(names.find_first_of(" \t\n\r\f", start), names.size());
      const auto it = end > start ? classes.find(names.substr(start, end - start)) : classes.end();
      if (it != classes.end()) Apply(it->second, bold, italic);
      start = end + 1;
    }
  }
  Apply(ReadDeclarations(Attribute(node, "style")), bold, italic);
}

// Collects the text of one cell as runs of equal emphasis, white space
// collapsed as a browser renders it.
class TCellText {
 public:
  TCellText(const TBlockOptions& options, const TClassStyles& classes) : FOptions(options), FClasses(classes) {}

  void Walk(const xmlNode* node, bool bold, bool italic, int depth) {
    if (depth > kMaxDepth) return;
    for (const xmlNode* child = node->children; child; child = child->next) {
      if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) {
        AddText(reinterpret_cast<const char*>(child->content), bold, italic);
      } else if (child->type == XML_ELEMENT_NODE) {
        if (Is(child, "br")) {
          Break();
          continue;
        }
        if (Is(child, "script") || Is(child, "style")) continue;
        bool b = bold || Is(child, "b") || Is(child, "strong");
        bool i = italic || Is(child, "i") || Is(child, "em");
        ReadStyle(child, FClasses, b, i);
        const bool block = Is(child, "p") || Is(child, "div") || Is(child, "li") || Is(child, "tr");
        if (block) Break();
        Walk(child, b, i, depth + 1);
        if (block) Break();
      }
    }
  }

  std::string Finish() {
    Flush();
    while (!FText.empty() && FText.back() == '\n') FText.pop_back();
    return FText;
  }

 private:
  void AddText(const char* text, bool bold, bool italic) {
    if (!text) return;
    for (const char* p = text; *p; ++p) {
      const bool space = *p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f';
      if (space) {
        FPendingSpace = true;
        continue;
      }
      if (bold != FBold || italic != FItalic) {
        Flush();
        FBold = bold;
        FItalic = italic;
      }
      // A space between words stays in the run before it, so that it sits
      // outside a \textbf that starts after it.
      if (FPendingSpace && (!FRun.empty() || (!FText.empty() && FText.back() != '\n'))) {
        if (FRun.empty()) FText += ' ';
        else FRun += ' ';
      }
      FPendingSpace = false;
      FRun += *p;
    }
  }

  void Break() {
    Flush();
    if (!FText.empty() && FText.back() != '\n') FText += '\n';
    FPendingSpace = false;
  }

  void Flush() {
    if (!FRun.empty()) FText += StyledText(FRun, FBold, FItalic, FOptions);
    FRun.clear();
  }

  const TBlockOptions& FOptions;
  const TClassStyles& FClasses;
  std::string FText;
  std::string FRun;
  bool FBold = false;
  bool FItalic = false;
  bool FPendingSpace = false;
};

void FindTables(xmlNode* node, std::vector<xmlNode*>& tables, int depth) {
  if (depth > kMaxDepth) return;
  for (xmlNode* child = node->children; child; child = child->next) {
    if (child->type != XML_ELEMENT_NODE) continue;
    if (Is(child, "table")) tables.push_back(child);
    FindTables(child, tables, depth + 1);
  }
}

std::vector<xmlNode*> Tables(xmlDoc* doc) {
  std::vector<xmlNode*> tables;
  if (xmlNode* root = xmlDocGetRootElement(doc)) {
    if (Is(root, "table")) tables.push_back(root);
    FindTables(root, tables, 0);
  }
  return tables;
}

// The rows of a table, its own only: those of its head, bodies and foot,
// not those of tables nested in its cells.
std::vector<const xmlNode*> RowsOf(const xmlNode* table) {
  std::vector<const xmlNode*> rows;
  for (const xmlNode* child = table->children; child; child = child->next) {
    if (Is(child, "tr")) rows.push_back(child);
    else if (Is(child, "thead") || Is(child, "tbody") || Is(child, "tfoot"))
      for (const xmlNode* row = child->children; row; row = row->next)
        if (Is(row, "tr")) rows.push_back(row);
  }
  return rows;
}

struct TPlaced {
  const xmlNode* Cell;
  int Row, Column, Rows, Columns;
};

}  // namespace

int CountHtmlTables(std::string_view html) {
  TDocPtr doc = ParseHtml(html, "UTF-8");
  return static_cast<int>(Tables(doc.get()).size());
}

namespace {

TCellBlock BlockOfTable(xmlDoc* doc, const xmlNode* table, const TBlockOptions& options) {
  TClassStyles classes;
  if (const xmlNode* root = xmlDocGetRootElement(doc)) FindStyleSheets(root, classes, 0);
  // The places of the cells, as the HTML table model lays them out: a cell
  // goes to the first column of its row that no cell above still covers.
  const std::vector<const xmlNode*> rows = RowsOf(table);
  std::vector<TPlaced> placed;
  std::vector<int> coveredUntil;  // per column: the first row no longer covered from above
  int width = 0;
  const int height = static_cast<int>(rows.size());
  for (int r = 0; r < height; ++r) {
    int c = 0;
    for (const xmlNode* cell = rows[static_cast<size_t>(r)]->children; cell; cell = cell->next) {
      if (!Is(cell, "td") && !Is(cell, "th")) continue;
      while (c < static_cast<int>(coveredUntil.size()) && coveredUntil[static_cast<size_t>(c)] > r) ++c;
      const int cols = SpanAttribute(cell, "colspan", kMaxColSpan);
      const int spanRows = std::min(SpanAttribute(cell, "rowspan", kMaxRowSpan), height - r);
      if (static_cast<long long>(c) + cols > TextLines::kMaxImportCells)
        throw EQuiltorError("The HTML table is too large");
      if (coveredUntil.size() < static_cast<size_t>(c + cols)) coveredUntil.resize(static_cast<size_t>(c + cols), 0);
      for (int k = c; k < c + cols; ++k) coveredUntil[static_cast<size_t>(k)] = r + spanRows;
      placed.push_back({cell, r, c, spanRows, cols});
      c += cols;
      width = std::max(width, c);
    }
  }
  if (height == 0 || width == 0) throw EQuiltorError("The HTML table has no cells");
  if (static_cast<long double>(height) * width > TextLines::kMaxImportCells)
    throw EQuiltorError(FormatStr("The HTML table of %d rows and %d columns has more than %lld cells", height, width,
                                  TextLines::kMaxImportCells));

  TBlockBuilder builder(height, width);
  for (const TPlaced& p : placed) {
    bool bold = Is(p.Cell, "th");
    bool italic = false;
    ReadStyle(p.Cell, classes, bold, italic);
    TCellText text(options, classes);
    text.Walk(p.Cell, bold, italic, 0);
    builder.SetText(p.Row, p.Column, text.Finish());
    builder.Merge(p.Row, p.Column, p.Row + p.Rows - 1, p.Column + p.Columns - 1);
  }
  return builder.Finish();
}

}  // namespace

TCellBlock ReadHtmlTable(std::string_view html, int index, const TBlockOptions& options, const char* encoding) {
  TDocPtr doc = ParseHtml(html, encoding);
  const std::vector<xmlNode*> tables = Tables(doc.get());
  if (tables.empty()) throw EQuiltorError("No HTML table found");
  if (index < 0 || static_cast<size_t>(index) >= tables.size())
    throw EQuiltorError(FormatStr("There is no table %d: the text holds %zu", index + 1, tables.size()));
  return BlockOfTable(doc.get(), tables[static_cast<size_t>(index)], options);
}

bool PasteHtmlTable(TTable& table, int left, int top, std::string_view html, std::vector<std::string>& warnings) {
  TDocPtr doc = ParseHtml(html, "UTF-8");
  const std::vector<xmlNode*> tables = Tables(doc.get());
  if (tables.empty()) return false;
  // A selection copied from a web page may take a layout table along: the
  // table with the most cells is the data.
  const xmlNode* best = nullptr;
  size_t most = 0;
  for (const xmlNode* t : tables) {
    size_t cells = 0;
    for (const xmlNode* row : RowsOf(t))
      for (const xmlNode* cell = row->children; cell; cell = cell->next) cells += Is(cell, "td") || Is(cell, "th");
    if (!best || cells > most) {
      best = t;
      most = cells;
    }
  }
  TCellBlock block = BlockOfTable(doc.get(), best, TBlockOptions());
  PasteBlock(table, left, top, block);
  warnings = std::move(block.Warnings);
  return true;
}
