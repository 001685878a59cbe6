#include "document/OdsReader.h"

#include <libxml/tree.h>
#include <libxml/xmlreader.h>
#include <orcus/zip_archive.hpp>
#include <orcus/zip_archive_stream.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <unordered_map>

#include "document/SpreadsheetFile.h"
#include "model/Errors.h"
#include "model/TextLines.h"

namespace {

// The largest sheet a spreadsheet program keeps; repeat counts reaching
// further (a sheet's trailing empty rows are often written as one row
// repeated to the end) are cut there.
constexpr long long kSheetRows = 1048576;
constexpr long long kSheetColumns = 16384;
// Style parent chains and text nested deeper than this are damage.
constexpr int kMaxStyleDepth = 32;
constexpr int kMaxTextDepth = 256;
constexpr long long kMaxSpaces = 1000;

const char kTableNs[] = "urn:oasis:names:tc:opendocument:xmlns:table:1.0";
const char kOfficeNs[] = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
const char kTextNs[] = "urn:oasis:names:tc:opendocument:xmlns:text:1.0";
const char kStyleNs[] = "urn:oasis:names:tc:opendocument:xmlns:style:1.0";
const char kNumberNs[] = "urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0";
const char kFoNs[] = "urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0";

const xmlChar* X(const char* s) { return reinterpret_cast<const xmlChar*>(s); }

bool InNs(const xmlNode* node, const char* ns) {
  return node->type == XML_ELEMENT_NODE && node->ns && node->ns->href && xmlStrEqual(node->ns->href, X(ns));
}

bool Is(const xmlNode* node, const char* ns, const char* local) {
  return InNs(node, ns) && xmlStrEqual(node->name, X(local));
}

std::string Prop(const xmlNode* node, const char* ns, const char* local) {
  xmlChar* value = xmlGetNsProp(node, X(local), X(ns));
  if (!value) return {};
  std::string result(reinterpret_cast<const char*>(value));
  xmlFree(value);
  return result;
}

bool HasProp(const xmlNode* node, const char* ns, const char* local) {
  return xmlHasNsProp(node, X(local), X(ns)) != nullptr;
}

std::string Content(const xmlNode* node) {
  xmlChar* value = xmlNodeGetContent(node);
  if (!value) return {};
  std::string result(reinterpret_cast<const char*>(value));
  xmlFree(value);
  return result;
}

// A count attribute (repeats, spans): its digits, 1 when absent or 0, at
// most limit.
long long Count(const std::string& text, long long limit) {
  long long n = 0;
  for (size_t i = 0; i < text.size() && text[i] >= '0' && text[i] <= '9' && n <= limit; ++i) n = n * 10 + (text[i] - '0');
  return std::clamp<long long>(n, 1, limit);
}

// A small count (decimal places): its digits, at most limit.
int SmallNumber(const std::string& text, int limit) {
  long long n = 0;
  for (size_t i = 0; i < text.size() && text[i] >= '0' && text[i] <= '9' && n <= limit; ++i) n = n * 10 + (text[i] - '0');
  return static_cast<int>(std::min<long long>(n, limit));
}

bool ParseDouble(std::string_view text, double& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

// ---- styles

// A number format of the file, turned into the spreadsheet format code that
// FormatCellNumber follows, or, for dates and times, what their text shows.
struct TDataStyle {
  enum { Number, Date, Time, Other } Kind = Number;
  std::string Code;
  bool HasTime = false, HasSeconds = false;
  // Conditions choosing another format ("value()>=0"), in order.
  struct TMap {
    std::string Op;
    double Value;
    std::string Style;
  };
  std::vector<TMap> Maps;
};

// Characters of a literal, each escaped so that no quote or digit in it
// is taken for part of the format.
void AddLiteral(std::string& code, std::string_view text, bool percent) {
  for (char c : text) {
    if (!(percent && c == '%')) code += '\\';
    code += c;
  }
}

TDataStyle ReadDataStyle(const xmlNode* node) {
  TDataStyle style;
  const std::string kind = reinterpret_cast<const char*>(node->name);
  const bool percent = kind == "percentage-style";
  if (kind == "date-style") style.Kind = TDataStyle::Date;
  else if (kind == "time-style") style.Kind = TDataStyle::Time;
  else if (kind == "boolean-style" || kind == "text-style") style.Kind = TDataStyle::Other;
  for (const xmlNode* part = node->children; part; part = part->next) {
    if (Is(part, kStyleNs, "map")) {
      std::string condition = Prop(part, kStyleNs, "condition");
      condition.erase(std::remove(condition.begin(), condition.end(), ' '), condition.end());
      if (!condition.starts_with("value()")) continue;
      condition.erase(0, 7);
      const size_t opLength = condition.find_first_not_of("<>=!");
      if (opLength == 0 || opLength == std::string::npos) continue;
      double value = 0;
      if (!ParseDouble(std::string_view(condition).substr(opLength), value)) continue;
      style.Maps.push_back({condition.substr(0, opLength), value, Prop(part, kStyleNs, "apply-style-name")});
      continue;
    }
    if (!InNs(part, kNumberNs)) continue;
    const std::string name = reinterpret_cast<const char*>(part->name);
    if (name == "hours" || name == "minutes" || name == "am-pm") {
      style.HasTime = true;
    } else if (name == "seconds") {
      style.HasTime = style.HasSeconds = true;
    } else if (name == "text" || name == "currency-symbol") {
      AddLiteral(style.Code, Content(part), percent);
    } else if (name == "number") {
      const std::string places = Prop(part, kNumberNs, "decimal-places");
      if (places.empty()) {
        // As many decimals as the number needs.
        style.Code += "General";
        continue;
      }
      const int decimals = SmallNumber(places, 30);
      const std::string least = Prop(part, kNumberNs, "min-decimal-places");
      const int required = least.empty() ? decimals : SmallNumber(least, decimals);
      style.Code += Prop(part, kNumberNs, "grouping") == "true" ? "#,##0" : "0";
      if (decimals > 0) style.Code += "." + std::string(static_cast<size_t>(required), '0') +
                                      std::string(static_cast<size_t>(decimals - required), '#');
    } else if (name == "scientific-number") {
      const int decimals = SmallNumber(Prop(part, kNumberNs, "decimal-places"), 30);
      const int digits = std::max(1, SmallNumber(Prop(part, kNumberNs, "min-exponent-digits"), 9));
      style.Code += "0" + (decimals > 0 ? "." + std::string(static_cast<size_t>(decimals), '0') : std::string()) +
                    "E+" + std::string(static_cast<size_t>(digits), '0');
    } else if (name == "fraction") {
      style.Code += "# ?/?";
    }
  }
  return style;
}

struct TCellStyle {
  std::string Parent, Data;
  int Bold = -1, Italic = -1;  // -1: as the parent says
};

TCellStyle ReadCellStyle(const xmlNode* node) {
  TCellStyle style{Prop(node, kStyleNs, "parent-style-name"), Prop(node, kStyleNs, "data-style-name")};
  for (const xmlNode* part = node->children; part; part = part->next) {
    if (!Is(part, kStyleNs, "text-properties")) continue;
    if (HasProp(part, kFoNs, "font-weight")) {
      const std::string weight = Prop(part, kFoNs, "font-weight");
      style.Bold = weight == "bold" || (weight >= "600" && weight <= "900" && weight.size() == 3);
    }
    if (HasProp(part, kFoNs, "font-style")) {
      const std::string slant = Prop(part, kFoNs, "font-style");
      style.Italic = slant == "italic" || slant == "oblique";
    }
  }
  return style;
}

struct TResolvedStyle {
  const TDataStyle* Data = nullptr;
  bool Bold = false, Italic = false;
};

class TStyles {
 public:
  // Takes in a style:style or number:*-style element.
  void Add(const xmlNode* node) {
    if (InNs(node, kNumberNs)) FData[Prop(node, kStyleNs, "name")] = ReadDataStyle(node);
    else if (Prop(node, kStyleNs, "family") == "table-cell") FCells[Prop(node, kStyleNs, "name")] = ReadCellStyle(node);
  }

  const TResolvedStyle& Resolve(const std::string& name) {
    const auto cached = FResolved.find(name);
    if (cached != FResolved.end()) return cached->second;
    TResolvedStyle resolved;
    int bold = -1, italic = -1;
    std::string data;
    std::string at = name;
    for (int depth = 0; depth < kMaxStyleDepth && !at.empty(); ++depth) {
      const auto it = FCells.find(at);
      if (it == FCells.end()) break;
      if (bold < 0) bold = it->second.Bold;
      if (italic < 0) italic = it->second.Italic;
      if (data.empty()) data = it->second.Data;
      at = it->second.Parent;
    }
    resolved.Bold = bold > 0;
    resolved.Italic = italic > 0;
    resolved.Data = DataStyle(data);
    return FResolved.emplace(name, resolved).first->second;
  }

  const TDataStyle* DataStyle(const std::string& name) const {
    const auto it = FData.find(name);
    return it == FData.end() ? nullptr : &it->second;
  }

 private:
  std::unordered_map<std::string, TCellStyle> FCells;
  std::unordered_map<std::string, TDataStyle> FData;
  std::unordered_map<std::string, TResolvedStyle> FResolved;
};

// ---- cell values as shown

bool Holds(const TDataStyle::TMap& map, double v) {
  if (map.Op == ">=") return v >= map.Value;
  if (map.Op == ">") return v > map.Value;
  if (map.Op == "<=") return v <= map.Value;
  if (map.Op == "<") return v < map.Value;
  if (map.Op == "=") return v == map.Value;
  if (map.Op == "!=" || map.Op == "<>") return v != map.Value;
  return false;
}

std::string NumberText(double value, const TDataStyle* style, const TStyles& styles) {
  if (!style) return ShortestNumberText(value);
  if (!style->Maps.empty()) {
    const TDataStyle* chosen = nullptr;
    for (const TDataStyle::TMap& map : style->Maps)
      if (Holds(map, value) && (chosen = styles.DataStyle(map.Style))) break;
    // The format that no condition chose is the one for the other numbers
    // (the negative ones, as a rule) and writes its own sign.
    if (chosen) style = chosen;
    else value = std::fabs(value);
  }
  switch (style->Kind) {
    case TDataStyle::Number: return FormatCellNumber(value, style->Code);
    case TDataStyle::Date: return FormatCellNumber(value, style->HasTime ? "yyyy-mm-dd hh:mm:ss" : "yyyy-mm-dd");
    case TDataStyle::Time: return FormatCellNumber(value, style->HasSeconds ? "hh:mm:ss" : "hh:mm");
    case TDataStyle::Other: break;
  }
  return ShortestNumberText(value);
}

bool Digits(std::string_view s, size_t at, size_t n) {
  if (at + n > s.size()) return false;
  for (size_t i = at; i < at + n; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

// office:date-value ("2024-02-29", "2024-02-29T13:45:10.5") as ISO text,
// with the time of day where the format shows one; empty when it is not a
// date.
std::string DateText(const std::string& value, const TDataStyle* style) {
  const size_t start = value.starts_with('-') ? 1 : 0;
  const size_t dash = value.find('-', start);
  if (dash == std::string::npos || dash - start < 4 || !Digits(value, start, dash - start) || value.size() < dash + 6 ||
      !Digits(value, dash + 1, 2) || value[dash + 3] != '-' || !Digits(value, dash + 4, 2))
    return {};
  const std::string date = value.substr(0, dash + 6);
  std::string time = "00:00:00";
  if (value.size() >= dash + 15 && value[dash + 6] == 'T' && Digits(value, dash + 7, 2) && value[dash + 9] == ':' &&
      Digits(value, dash + 10, 2) && value[dash + 12] == ':' && Digits(value, dash + 13, 2))
    time = value.substr(dash + 7, 8);
  if (style && !style->HasSeconds) time.resize(5);
  if (style && style->Kind == TDataStyle::Time) return time;
  const bool showTime = style ? style->HasTime : time != "00:00:00";
  return showTime ? date + ' ' + time : date;
}

// office:time-value, a duration such as "PT13H45M10S", as a fraction of a
// day; false when it is not one.
bool DurationDays(const std::string& value, double& days) {
  std::string_view rest = value;
  const bool negative = rest.starts_with('-');
  if (negative) rest.remove_prefix(1);
  if (!rest.starts_with('P')) return false;
  rest.remove_prefix(1);
  double seconds = 0;
  bool time = false, any = false;
  while (!rest.empty()) {
    if (rest.front() == 'T') {
      time = true;
      rest.remove_prefix(1);
      continue;
    }
    size_t n = 0;
    while (n < rest.size() && ((rest[n] >= '0' && rest[n] <= '9') || rest[n] == '.')) ++n;
    double amount = 0;
    if (n == 0 || n == rest.size() || !ParseDouble(rest.substr(0, n), amount)) return false;
    const char unit = rest[n];
    if (unit == 'D' && !time) seconds += amount * 86400;
    else if (unit == 'H' && time) seconds += amount * 3600;
    else if (unit == 'M' && time) seconds += amount * 60;
    else if (unit == 'S' && time) seconds += amount;
    else return false;
    any = true;
    rest.remove_prefix(n + 1);
  }
  days = (negative ? -seconds : seconds) / 86400;
  return any;
}

// The text of a cell's paragraphs, one line each, with text:s spaces and
// line breaks; notes and drawings anchored in the cell are not its text.
class TParagraphs {
 public:
  std::string Text;

  void Walk(const xmlNode* node, int depth) {
    if (depth > kMaxTextDepth) return;
    for (const xmlNode* child = node->children; child; child = child->next) {
      if (Is(child, kTextNs, "p") || Is(child, kTextNs, "h")) {
        if (FParagraphs++ > 0) Text += '\n';
        Inline(child, depth + 1);
      } else if (InNs(child, kTextNs) || InNs(child, kTableNs)) {
        Walk(child, depth + 1);  // lists and their items
      }
    }
  }

 private:
  void Inline(const xmlNode* node, int depth) {
    if (depth > kMaxTextDepth) return;
    for (const xmlNode* child = node->children; child; child = child->next) {
      if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) {
        for (const xmlChar* p = child->content; p && *p; ++p)
          Text += (*p == '\n' || *p == '\r' || *p == '\t') ? ' ' : static_cast<char>(*p);
      } else if (Is(child, kTextNs, "s")) {
        Text.append(static_cast<size_t>(Count(Prop(child, kTextNs, "c"), kMaxSpaces)), ' ');
      } else if (Is(child, kTextNs, "tab")) {
        Text += ' ';
      } else if (Is(child, kTextNs, "line-break")) {
        Text += '\n';
      } else if (InNs(child, kTextNs) && !Is(child, kTextNs, "note")) {
        Inline(child, depth + 1);  // spans, links, fields
      }
    }
  }

  int FParagraphs = 0;
};

std::string CellText(const xmlNode* cell, const TResolvedStyle& style, const TStyles& styles) {
  const std::string type = Prop(cell, kOfficeNs, "value-type");
  if (type == "float" || type == "percentage" || type == "currency") {
    double value = 0;
    if (ParseDouble(Prop(cell, kOfficeNs, "value"), value)) return NumberText(value, style.Data, styles);
  } else if (type == "date") {
    std::string text = DateText(Prop(cell, kOfficeNs, "date-value"), style.Data);
    if (!text.empty()) return text;
  } else if (type == "time") {
    double days = 0;
    if (DurationDays(Prop(cell, kOfficeNs, "time-value"), days))
      return FormatCellNumber(days, style.Data && style.Data->Kind == TDataStyle::Time && !style.Data->HasSeconds
                                        ? "hh:mm"
                                        : "hh:mm:ss");
  } else if (type == "boolean") {
    return Prop(cell, kOfficeNs, "boolean-value") == "true" ? "TRUE" : "FALSE";
  } else if (type == "string" && HasProp(cell, kOfficeNs, "string-value")) {
    return Prop(cell, kOfficeNs, "string-value");
  }
  TParagraphs paragraphs;
  paragraphs.Walk(cell, 0);
  return paragraphs.Text;
}

// ---- the document

struct TReaderFree {
  void operator()(xmlTextReader* reader) const { xmlFreeTextReader(reader); }
};
using TReaderPtr = std::unique_ptr<xmlTextReader, TReaderFree>;

TReaderPtr OpenXml(const std::vector<unsigned char>& xml) {
  // The zip reader ends what it unpacks with a NUL, which the XML parser
  // would take for content after the document.
  size_t size = xml.size();
  while (size > 0 && xml[size - 1] == 0) --size;
  TReaderPtr reader(xmlReaderForMemory(reinterpret_cast<const char*>(xml.data()), static_cast<int>(size),
                                       nullptr, nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
  if (!reader) throw std::runtime_error("unreadable XML");
  return reader;
}

class TContent {
 public:
  std::vector<TShownSheet> Sheets;
  TStyles Styles;

  // Walks one XML part of the file: the styles wherever they stand, and in
  // content.xml the sheets. Rows and styles are small, so each is expanded
  // into a tree of its own and skipped over; the document as a whole is
  // never held.
  void Read(const std::vector<unsigned char>& xml) {
    TReaderPtr holder = OpenXml(xml);
    xmlTextReader* reader = holder.get();
    int status = xmlTextReaderRead(reader);
    while (status == 1) {
      if (xmlTextReaderNodeType(reader) == XML_READER_TYPE_ELEMENT) {
        const xmlChar* ns = xmlTextReaderConstNamespaceUri(reader);
        const xmlChar* local = xmlTextReaderConstLocalName(reader);
        const bool table = ns && xmlStrEqual(ns, X(kTableNs));
        if (table && xmlStrEqual(local, X("table"))) {
          StartSheet(reader);
        } else if (table && xmlStrEqual(local, X("table-column"))) {
          AddColumns(reader);
        } else if ((table && xmlStrEqual(local, X("table-row"))) || IsStyle(ns, local)) {
          const xmlNode* node = xmlTextReaderExpand(reader);
          if (!node) throw std::runtime_error("damaged XML");
          if (table) ReadRow(node);
          else Styles.Add(node);
          status = xmlTextReaderNext(reader);
          continue;
        }
      }
      status = xmlTextReaderRead(reader);
    }
    if (status < 0) throw std::runtime_error("damaged XML");
  }

 private:
  static bool IsStyle(const xmlChar* ns, const xmlChar* local) {
    return ns && ((xmlStrEqual(ns, X(kStyleNs)) && xmlStrEqual(local, X("style"))) ||
                  (xmlStrEqual(ns, X(kNumberNs)) && xmlStrstr(local, X("-style"))));
  }

  std::string Attribute(xmlTextReader* reader, const char* name) {
    xmlChar* value = xmlTextReaderGetAttributeNs(reader, X(name), X(kTableNs));
    if (!value) return {};
    std::string result(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return result;
  }

  void StartSheet(xmlTextReader* reader) {
    Sheets.emplace_back();
    Sheets.back().Name = Attribute(reader, "name");
    FRow = 0;
    FColumnStyles.clear();
    FColumns = 0;
  }

  // Columns name the style of the cells that name none.
  void AddColumns(xmlTextReader* reader) {
    if (Sheets.empty() || FColumns >= kSheetColumns) return;
    FColumns += Count(Attribute(reader, "number-columns-repeated"), kSheetColumns - FColumns);
    FColumnStyles.push_back({FColumns, Attribute(reader, "default-cell-style-name")});
  }

  const std::string& ColumnStyle(long long column) const {
    static const std::string none;
    const auto it = std::upper_bound(FColumnStyles.begin(), FColumnStyles.end(), column,
                                     [](long long c, const auto& run) { return c < run.first; });
    return it == FColumnStyles.end() ? none : it->second;
  }

  void Push(TShownSheet& sheet, TShownCell cell) {
    const int top = std::min(sheet.Top, cell.Row), bottom = std::max(sheet.Bottom, cell.Row);
    const int left = std::min(sheet.Left, cell.Column), right = std::max(sheet.Right, cell.Column);
    const long long rows = static_cast<long long>(bottom) - top + 1, cols = static_cast<long long>(right) - left + 1;
    if (rows * cols > TextLines::kMaxImportCells) throw ESheetTooLarge{sheet.Name, rows, cols};
    sheet.Top = top, sheet.Bottom = bottom, sheet.Left = left, sheet.Right = right;
    sheet.Cells.push_back(std::move(cell));
  }

  void ReadRow(const xmlNode* row) {
    if (Sheets.empty() || FRow >= kSheetRows) return;
    TShownSheet& sheet = Sheets.back();
    const long long repeat = Count(Prop(row, kTableNs, "number-rows-repeated"), kSheetRows - FRow);
    const std::string rowStyle = Prop(row, kTableNs, "default-cell-style-name");
    const size_t firstCell = sheet.Cells.size(), firstMerge = sheet.Merges.size();
    long long column = 0;
    for (const xmlNode* cell = row->children; cell && column < kSheetColumns; cell = cell->next) {
      const bool covered = Is(cell, kTableNs, "covered-table-cell");
      if (!covered && !Is(cell, kTableNs, "table-cell")) continue;
      const long long count = Count(Prop(cell, kTableNs, "number-columns-repeated"), kSheetColumns - column);
      if (covered) {
        column += count;
        continue;
      }
      std::string styleName = Prop(cell, kTableNs, "style-name");
      if (styleName.empty()) styleName = ColumnStyle(column);
      if (styleName.empty()) styleName = rowStyle;
      if (styleName.empty()) styleName = "Default";
      const TResolvedStyle& style = Styles.Resolve(styleName);
      const std::string text = CellText(cell, style, Styles);
      const long long spanColumns = Count(Prop(cell, kTableNs, "number-columns-spanned"), kSheetColumns);
      const long long spanRows = Count(Prop(cell, kTableNs, "number-rows-spanned"), kSheetRows);
      // An empty merged area is kept only where the file names it once, so
      // that repeats cannot make more of them than the file has elements.
      const bool merge = (spanColumns > 1 || spanRows > 1) && (!text.empty() || (count == 1 && repeat == 1));
      for (long long k = 0; k < count; ++k) {
        const int r = static_cast<int>(FRow), c = static_cast<int>(column + k);
        if (!text.empty()) Push(sheet, {r, c, text, style.Bold, style.Italic});
        if (merge && sheet.Merges.size() < static_cast<size_t>(TextLines::kMaxImportCells))
          sheet.Merges.push_back({r, c, static_cast<int>(std::min(FRow + spanRows, kSheetRows) - 1),
                                  static_cast<int>(std::min(column + k + spanColumns, kSheetColumns) - 1)});
      }
      column += count;
    }
    // A repeated row with cells: its copies, each checked against the limit.
    const size_t lastCell = sheet.Cells.size(), lastMerge = sheet.Merges.size();
    for (long long k = 1; k < repeat && (lastCell > firstCell || lastMerge > firstMerge); ++k) {
      for (size_t i = firstCell; i < lastCell; ++i) {
        TShownCell copy = sheet.Cells[i];
        copy.Row += static_cast<int>(k);
        Push(sheet, std::move(copy));
      }
      for (size_t i = firstMerge; i < lastMerge && sheet.Merges.size() < static_cast<size_t>(TextLines::kMaxImportCells);
           ++i) {
        TMergedArea copy = sheet.Merges[i];
        copy.Top += static_cast<int>(k);
        copy.Bottom = static_cast<int>(std::min<long long>(copy.Bottom + k, kSheetRows - 1));
        sheet.Merges.push_back(copy);
      }
    }
    FRow += repeat;
  }

  long long FRow = 0;
  long long FColumns = 0;
  // Runs of columns: the column after the run, and the run's cell style.
  std::vector<std::pair<long long, std::string>> FColumnStyles;
};

bool HasEntry(const orcus::zip_archive& archive, std::string_view name) {
  // Asked for an entry it lacks, the archive prints a complaint: looked up first.
  for (size_t i = 0; i < archive.get_file_entry_count(); ++i)
    if (archive.get_file_entry_name(i) == name) return true;
  return false;
}

}  // namespace

std::vector<TShownSheet> ReadOdsSheets(std::string_view bytes, const std::string& name) {
  orcus::zip_archive_stream_blob stream(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  orcus::zip_archive archive(&stream);
  archive.load();
  std::vector<unsigned char> part;
  // An encrypted package lists how each part is encrypted in its manifest.
  if (HasEntry(archive, "META-INF/manifest.xml") && archive.read_file_entry("META-INF/manifest.xml", part) &&
      std::string_view(reinterpret_cast<const char*>(part.data()), part.size()).find("encryption-data") !=
          std::string_view::npos)
    throw EQuiltorError(FormatStr("Cannot open %s: the workbook is password-protected. Save it without a password, "
                                  "then open it again.",
                                  name.c_str()));
  TContent content;
  for (const char* entry : {"styles.xml", "content.xml"}) {
    const bool required = entry[0] == 'c';
    if (!HasEntry(archive, entry) || !archive.read_file_entry(entry, part)) {
      if (required) throw std::runtime_error("no content.xml");
      continue;
    }
    if (part.size() > static_cast<size_t>(INT32_MAX))
      throw EQuiltorError(FormatStr("Cannot open %s: its %s is larger than 2 GB", name.c_str(), entry));
    content.Read(part);
  }
  return std::move(content.Sheets);
}
