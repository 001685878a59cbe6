#include "document/SpreadsheetFile.h"

#include <orcus/exception.hpp>
#include <orcus/orcus_xlsx.hpp>
#include <orcus/spreadsheet/factory.hpp>
#include <orcus/spreadsheet/import_interface.hpp>
#include <orcus/spreadsheet/styles.hpp>
#include <orcus/string_pool.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <unordered_map>

#include "document/DocumentFiles.h"
#include "document/OdsReader.h"
#include "document/ZipCheck.h"
#include "model/Errors.h"
#include "model/StreamIO.h"
#include "model/TextLines.h"

namespace ss = orcus::spreadsheet;

namespace {

// ---- number formats

std::string Lower(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

// Excel's built-in formats, which a file names by number only.
std::string_view BuiltinFormat(size_t id) {
  switch (id) {
    case 1: return "0";
    case 2: return "0.00";
    case 3: return "#,##0";
    case 4: return "#,##0.00";
    case 9: return "0%";
    case 10: return "0.00%";
    case 11: return "0.00E+00";
    case 14: return "yyyy-mm-dd";
    case 15: return "d-mmm-yy";
    case 16: return "d-mmm";
    case 17: return "mmm-yy";
    case 18: return "h:mm AM/PM";
    case 19: return "h:mm:ss AM/PM";
    case 20: return "h:mm";
    case 21: return "h:mm:ss";
    case 22: return "m/d/yy h:mm";
    case 37: case 38: return "#,##0 ;(#,##0)";
    case 39: case 40: return "#,##0.00;(#,##0.00)";
    case 45: return "mm:ss";
    case 46: return "[h]:mm:ss";
    case 47: return "mm:ss.0";
    case 48: return "##0.0E+0";
    case 49: return "@";
    default: return {};
  }
}

// What the first section of a format code asks for.
struct TNumberFormat {
  enum { General, Number, Scientific, DateTime } Kind = General;
  int Decimals = 0;          // '0' after the point
  int OptionalDecimals = 0;  // '#' or '?' after the point
  int ExponentDigits = 0;
  bool Thousands = false;
  bool Percent = false;
  bool Date = false, Time = false, Seconds = false;
  std::string Prefix, Suffix;
};

TNumberFormat ParseNumberFormat(std::string_view code) {
  TNumberFormat f;
  bool digits = false, point = false, exponent = false, fraction = false, dateToken = false;
  bool monthOrMinute = false;
  std::string literal;
  auto addLiteral = [&](std::string_view s) { (digits || dateToken ? f.Suffix : f.Prefix) += s; };
  for (size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    if (c == ';') break;  // the first section: positive numbers and zero
    const char lc = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (c == '"') {
      const size_t end = code.find('"', i + 1);
      addLiteral(code.substr(i + 1, end == std::string_view::npos ? std::string_view::npos : end - i - 1));
      if (end == std::string_view::npos) break;
      i = end;
    } else if (c == '\\' && i + 1 < code.size()) {
      addLiteral(code.substr(++i, 1));
    } else if (c == '[') {
      // Colours, locales and conditions; [h] and [mm] are elapsed times.
      const size_t end = code.find(']', i);
      if (end == std::string_view::npos) break;
      const std::string inner = Lower(code.substr(i + 1, end - i - 1));
      if (!inner.empty() && inner.find_first_not_of("hms") == std::string::npos) dateToken = f.Time = true;
      i = end;
    } else if (c == '_' || c == '*') {
      ++i;  // padding to the width of the next character
    } else if (code.substr(i).size() >= 5 && Lower(code.substr(i, 5)) == "am/pm") {
      i += 4;
    } else if (code.substr(i).size() >= 7 && Lower(code.substr(i, 7)) == "general") {
      i += 6;
    } else if (c == '0' || c == '#' || c == '?') {
      if (exponent) ++f.ExponentDigits;
      else if (point) (c == '0' ? f.Decimals : f.OptionalDecimals) += 1;
      digits = true;
    } else if (c == '.' && !exponent && !dateToken) {
      point = true;
    } else if (c == ',' && digits && !point) {
      f.Thousands = true;
    } else if (c == '%') {
      f.Percent = true;
      addLiteral("%");
    } else if ((c == 'E' || c == 'e') && i + 1 < code.size() && (code[i + 1] == '+' || code[i + 1] == '-') && digits) {
      exponent = true;
      ++i;
    } else if (c == '/' && digits) {
      fraction = true;
    } else if (lc == 'y' || lc == 'd') {
      dateToken = f.Date = true;
    } else if (lc == 'h') {
      dateToken = f.Time = true;
    } else if (lc == 's') {
      dateToken = f.Time = f.Seconds = true;
    } else if (lc == 'm') {
      dateToken = monthOrMinute = true;
    } else if (c == '@') {
      return TNumberFormat{};
    } else if (!digits || !point || exponent) {
      addLiteral(code.substr(i, 1));
    }
  }
  if (monthOrMinute && !f.Time) f.Date = true;
  if (dateToken) f.Kind = TNumberFormat::DateTime;
  else if (fraction || !digits) f.Kind = TNumberFormat::General;
  else f.Kind = exponent ? TNumberFormat::Scientific : TNumberFormat::Number;
  return f;
}

// value as printf's %.*e, %.*f or %.*g would write it (std::to_chars writes
// the same digits without printf's arbitrary-precision arithmetic).
std::string Chars(double value, std::chars_format format, int precision) {
  char buf[400];
  const auto result = std::to_chars(buf, buf + sizeof buf, value, format, precision);
  return result.ec == std::errc() ? std::string(buf, result.ptr) : std::string();
}

// Days from 1970-01-01 to the civil date, and back (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, long long& y, unsigned& m, unsigned& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp + (mp < 10 ? 3 : -9);
  y += m <= 2;
}

// Spreadsheets count days from 1899-12-30 (so that 1900-03-01 is 61).
const long long kSerialEpoch = DaysFromCivil(1899, 12, 30);

std::string DateTimeText(double serial, const TNumberFormat& f) {
  // To the nearest second, as spreadsheets show it.
  const long long seconds = std::llround(serial * 86400.0);
  long long days = seconds / 86400;
  long long rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  std::string text;
  char buf[64];
  if (f.Date || !f.Time) {
    long long y;
    unsigned m, d;
    CivilFromDays(days + kSerialEpoch, y, m, d);
    snprintf(buf, sizeof buf, "%04lld-%02u-%02u", y, m, d);
    text = buf;
  }
  if (f.Time) {
    if (f.Seconds) snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", rest / 3600, rest / 60 % 60, rest % 60);
    else snprintf(buf, sizeof buf, "%02lld:%02lld", rest / 3600, rest / 60 % 60);
    if (!text.empty()) text += ' ';
    text += buf;
  }
  return text;
}

// value (not negative) in fixed point with places decimals. Spreadsheets
// hold 15 significant digits and round half away from zero (2.5 shows as 3,
// 1.005 as 1.01), where printf would round the binary value to even.
std::string FixedText(double value, int places) {
  char buf[64];
  *std::to_chars(buf, buf + sizeof buf - 1, value, std::chars_format::scientific, 14).ptr = '\0';
  std::string digits(1, buf[0]);
  digits.append(buf + 2, 14);
  int point = std::atoi(std::strchr(buf, 'e') + 1) + 1;  // digits before the decimal point
  if (point <= 0) {
    digits.insert(0, static_cast<size_t>(1 - point), '0');
    point = 1;
  }
  const size_t cut = static_cast<size_t>(point + places);
  if (digits.size() <= cut) digits.append(cut + 1 - digits.size(), '0');
  const bool up = digits[cut] >= '5';
  digits.resize(cut);
  if (up) {
    size_t i = cut;
    while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
    if (i == 0) {
      digits.insert(0, 1, '1');
      ++point;
    } else {
      ++digits[i - 1];
    }
  }
  std::string text = digits.substr(0, static_cast<size_t>(point));
  const size_t first = text.find_first_not_of('0');
  text = first == std::string::npos ? "0" : text.substr(first);
  if (places > 0) text += "." + digits.substr(static_cast<size_t>(point));
  return text;
}

std::string GroupThousands(const std::string& digits) {
  std::string out;
  const size_t n = digits.size();
  for (size_t i = 0; i < n; ++i) {
    if (i && (n - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

}  // namespace

std::string ShortestNumberText(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Inf" : "Inf";
  if (value == 0) return "0";
  // The fewest significant digits that read back as value.
  char buf[64];
  const char* begin = buf;
  const char* end = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific).ptr;
  const char* e = std::find(begin, end, 'e');
  const int digits = static_cast<int>(std::count_if(begin, e, [](char c) { return c >= '0' && c <= '9'; }));
  const int exponent = std::atoi(std::string(e + 1, end).c_str());
  // Spreadsheets show such numbers in full (921410, not 9.2141e+05).
  const double magnitude = std::fabs(value);
  if (magnitude >= 1e-5 && magnitude < 1e15) return Chars(value, std::chars_format::fixed, std::max(0, digits - 1 - exponent));
  return Chars(value, std::chars_format::general, digits);
}

namespace {

std::string FormatNumber(double value, const TNumberFormat& f) {
  if (!std::isfinite(value)) return ShortestNumberText(value);
  switch (f.Kind) {
    case TNumberFormat::General:
      return ShortestNumberText(value);
    case TNumberFormat::DateTime:
      // Far outside the years a calendar shows: the number as it is.
      if (value < -1e7 || value > 1e7) return ShortestNumberText(value);
      return DateTimeText(value, f);  // ISO whatever the separators of the code
    case TNumberFormat::Scientific: {
      const std::string m = Chars(std::fabs(value), std::chars_format::scientific, f.Decimals + f.OptionalDecimals);
      const size_t e = m.find('e');
      std::string mantissa = m.substr(0, e);
      if (f.OptionalDecimals > 0 && mantissa.find('.') != std::string::npos) {
        size_t keep = mantissa.size();
        const size_t dot = mantissa.find('.');
        while (keep > dot + 1 + static_cast<size_t>(f.Decimals) && mantissa[keep - 1] == '0') --keep;
        if (keep == dot + 1) keep = dot;
        mantissa.resize(keep);
      }
      const int exponent = std::atoi(m.c_str() + e + 1);
      char exp[32];
      // A format may ask for any number of exponent digits; a double's
      // exponent has at most three, so more than nine only pads.
      snprintf(exp, sizeof exp, "E%c%0*d", exponent < 0 ? '-' : '+', std::clamp(f.ExponentDigits, 1, 9),
               std::abs(exponent));
      return (value < 0 ? "-" : "") + f.Prefix + mantissa + exp + f.Suffix;
    }
    case TNumberFormat::Number: {
      const double shown = f.Percent ? value * 100 : value;
      std::string text = FixedText(std::fabs(shown), f.Decimals + f.OptionalDecimals);
      size_t dot = text.find('.');
      if (dot != std::string::npos) {
        size_t keep = text.size();
        while (keep > dot + 1 + static_cast<size_t>(f.Decimals) && text[keep - 1] == '0') --keep;
        if (keep == dot + 1) keep = dot;
        text.resize(keep);
      }
      dot = text.find('.');
      std::string whole = text.substr(0, dot);
      const std::string decimals = dot == std::string::npos ? std::string() : text.substr(dot);
      if (f.Thousands) whole = GroupThousands(whole);
      const bool zero = text.find_first_not_of("0.") == std::string::npos;
      return (shown < 0 && !zero ? "-" : "") + f.Prefix + whole + decimals + f.Suffix;
    }
  }
  return ShortestNumberText(value);
}

}  // namespace

std::string FormatCellNumber(double value, std::string_view formatCode) {
  return FormatNumber(value, ParseNumberFormat(formatCode));
}

// ---- reading with liborcus

namespace {

constexpr ss::row_t kSheetRows = 1048576;
constexpr ss::col_t kSheetColumns = 16384;
constexpr uint32_t kNoFormat = UINT32_MAX;

enum class TCellKind : uint8_t { Number, Text, Bool, DateTime };

struct TRawCell {
  int32_t Row;
  int32_t Column;
  uint32_t Format = kNoFormat;  // the cell format (xf) index
  TCellKind Kind;
  double Number = 0;  // Number, Bool (0 or 1), DateTime (a serial day number)
  uint32_t Text = 0;  // index into the workbook's strings
};

struct TAreaFormat {
  ss::range_t Range;
  uint32_t Format;
};

class TSheet;

}  // namespace


namespace {

class TSharedStrings : public ss::iface::import_shared_strings {
 public:
  explicit TSharedStrings(std::vector<std::string>& strings) : FStrings(strings) {}
  size_t append(std::string_view s) override {
    FStrings.emplace_back(s);
    return FStrings.size() - 1;
  }
  size_t add(std::string_view s) override {
    auto [it, added] = FIndex.try_emplace(std::string(s), FStrings.size());
    if (added) FStrings.emplace_back(s);
    return it->second;
  }
  // Rich text: the runs' fonts are not kept, the text is.
  void set_segment_font(size_t) override {}
  void set_segment_bold(bool) override {}
  void set_segment_italic(bool) override {}
  void set_segment_font_name(std::string_view) override {}
  void set_segment_font_size(double) override {}
  void set_segment_font_color(ss::color_elem_t, ss::color_elem_t, ss::color_elem_t, ss::color_elem_t) override {}
  void append_segment(std::string_view s) override { FSegments += s; }
  size_t commit_segments() override {
    const size_t index = append(FSegments);
    FSegments.clear();
    return index;
  }

 private:
  std::vector<std::string>& FStrings;
  std::unordered_map<std::string, size_t> FIndex;
  std::string FSegments;
};

class TGlobalSettings : public ss::iface::import_global_settings {
 public:
  void set_origin_date(int year, int month, int day) override {
    OriginShift = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kSerialEpoch;
  }
  void set_default_formula_grammar(ss::formula_grammar_t grammar) override { FGrammar = grammar; }
  ss::formula_grammar_t get_default_formula_grammar() const override { return FGrammar; }
  void set_character_set(orcus::character_set_t) override {}
  // Days between the file's day 0 and 1899-12-30 (1462 for the 1904 system).
  long long OriginShift = 0;

 private:
  ss::formula_grammar_t FGrammar = ss::formula_grammar_t::xlsx;
};

class TSheet : public ss::iface::import_sheet,
               private ss::iface::import_sheet_properties,
               private ss::iface::import_formula {
 public:
  TSheet(std::string name, std::vector<std::string>& strings) : Name(std::move(name)), FStrings(strings) {}

  std::string Name;
  std::vector<TRawCell> Cells;
  std::unordered_map<uint64_t, uint32_t> CellFormats;  // formats given apart from the values
  std::vector<TAreaFormat> AreaFormats;
  std::vector<ss::range_t> Merges;
  // The used range, rows and columns, empty while Top > Bottom.
  int Top = INT32_MAX, Left = INT32_MAX, Bottom = -1, Right = -1;

  uint32_t FormatAt(const TRawCell& cell) const {
    if (cell.Format != kNoFormat) return cell.Format;
    const auto it = CellFormats.find(Key(cell.Row, cell.Column));
    if (it != CellFormats.end()) return it->second;
    for (auto area = AreaFormats.rbegin(); area != AreaFormats.rend(); ++area)
      if (cell.Row >= area->Range.first.row && cell.Row <= area->Range.last.row &&
          cell.Column >= area->Range.first.column && cell.Column <= area->Range.last.column)
        return area->Format;
    return 0;
  }

  // import_sheet
  ss::iface::import_sheet_properties* get_sheet_properties() override { return this; }
  ss::iface::import_formula* get_formula() override { return this; }
  void set_auto(ss::row_t row, ss::col_t col, std::string_view s) override { AddText(row, col, s); }
  void set_string(ss::row_t row, ss::col_t col, ss::string_id_t sindex) override {
    if (sindex < FStrings.size()) Add(row, col, TCellKind::Text, 0, sindex);
  }
  void set_value(ss::row_t row, ss::col_t col, double value) override { Add(row, col, TCellKind::Number, value); }
  void set_bool(ss::row_t row, ss::col_t col, bool value) override { Add(row, col, TCellKind::Bool, value ? 1 : 0); }
  void set_date_time(ss::row_t row, ss::col_t col, int year, int month, int day, int hour, int minute,
                     double second) override {
    const double serial = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month),
                                                            static_cast<unsigned>(day)) - kSerialEpoch) +
                          (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
    Add(row, col, TCellKind::DateTime, serial);
  }
  void set_format(ss::row_t row, ss::col_t col, size_t xf) override {
    if (!Cells.empty() && Cells.back().Row == row && Cells.back().Column == col)
      Cells.back().Format = static_cast<uint32_t>(xf);
    else CellFormats[Key(row, col)] = static_cast<uint32_t>(xf);
  }
  void set_format(ss::row_t rowStart, ss::col_t colStart, ss::row_t rowEnd, ss::col_t colEnd, size_t xf) override {
    AreaFormats.push_back({{{rowStart, colStart}, {rowEnd, colEnd}}, static_cast<uint32_t>(xf)});
  }
  void fill_down_cells(ss::row_t srcRow, ss::col_t srcCol, ss::row_t rangeSize) override {
    for (auto it = Cells.rbegin(); it != Cells.rend(); ++it) {
      if (it->Row != srcRow || it->Column != srcCol) continue;
      const TRawCell source = *it;
      for (ss::row_t r = 1; r <= rangeSize; ++r) {
        TRawCell copy = source;
        copy.Row = srcRow + r;
        Push(copy);
      }
      return;
    }
  }
  ss::range_size_t get_sheet_size() const override { return {kSheetRows, kSheetColumns}; }

 private:
  static uint64_t Key(int32_t row, int32_t col) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(row)) << 32) | static_cast<uint32_t>(col);
  }

  void AddText(ss::row_t row, ss::col_t col, std::string_view s) {
    FStrings.emplace_back(s);
    Add(row, col, TCellKind::Text, 0, static_cast<uint32_t>(FStrings.size() - 1));
  }

  void Add(ss::row_t row, ss::col_t col, TCellKind kind, double number, uint32_t text = 0) {
    TRawCell cell{row, col, kNoFormat, kind, number, text};
    // A formula's cell may have been given its format before its result.
    Push(cell);
  }

  void Push(const TRawCell& cell) {
    if (cell.Row < 0 || cell.Column < 0) return;
    const bool empty = cell.Kind == TCellKind::Text && FStrings[cell.Text].empty();
    if (!empty) {
      const int top = std::min(Top, cell.Row), bottom = std::max(Bottom, cell.Row);
      const int left = std::min(Left, cell.Column), right = std::max(Right, cell.Column);
      // Refused as soon as the used range passes the limit: the cells
      // already read are at most the limit's worth.
      const long long rows = static_cast<long long>(bottom) - top + 1, cols = static_cast<long long>(right) - left + 1;
      if (rows * cols > TextLines::kMaxImportCells) throw ESheetTooLarge{Name, rows, cols};
      Top = top, Bottom = bottom, Left = left, Right = right;
    }
    Cells.push_back(cell);
  }

  // import_sheet_properties: only the merged areas matter here.
  void set_column_width(ss::col_t, double, orcus::length_unit_t) override {}
  void set_column_hidden(ss::col_t, bool) override {}
  void set_row_height(ss::row_t, double, orcus::length_unit_t) override {}
  void set_row_hidden(ss::row_t, bool) override {}
  void set_merge_cell_range(const ss::range_t& range) override { Merges.push_back(range); }

  // import_formula: the stored result stands for the formula.
  void set_position(ss::row_t row, ss::col_t col) override {
    FFormulaRow = row;
    FFormulaCol = col;
    FResultKind = -1;
  }
  void set_formula(ss::formula_grammar_t, std::string_view) override {}
  void set_shared_formula_index(size_t) override {}
  void set_result_string(std::string_view value) override {
    FResultKind = 1;
    FResultText = value;
  }
  void set_result_value(double value) override {
    FResultKind = 0;
    FResultNumber = value;
  }
  void set_result_bool(bool value) override {
    FResultKind = 2;
    FResultNumber = value ? 1 : 0;
  }
  void set_result_empty() override { FResultKind = -1; }
  void commit() override {
    if (FResultKind == 0) Add(FFormulaRow, FFormulaCol, TCellKind::Number, FResultNumber);
    else if (FResultKind == 2) Add(FFormulaRow, FFormulaCol, TCellKind::Bool, FResultNumber);
    else if (FResultKind == 1) AddText(FFormulaRow, FFormulaCol, FResultText);
    // A format given before the result belongs to the cell now made.
    if (FResultKind >= 0) {
      const auto it = CellFormats.find(Key(FFormulaRow, FFormulaCol));
      if (it != CellFormats.end()) Cells.back().Format = it->second;
    }
    FResultKind = -1;
  }

  std::vector<std::string>& FStrings;
  ss::row_t FFormulaRow = 0;
  ss::col_t FFormulaCol = 0;
  int FResultKind = -1;  // -1 none, 0 number, 1 text, 2 boolean
  double FResultNumber = 0;
  std::string FResultText;
};

// "B2" into a 0-based row and column; false when it is not a cell address.
bool ParseCellAddress(std::string_view text, int& row, int& col) {
  size_t i = 0;
  long long c = 0, r = 0;
  for (; i < text.size() && std::isalpha(static_cast<unsigned char>(text[i])) && c <= kSheetColumns; ++i)
    c = c * 26 + (std::toupper(static_cast<unsigned char>(text[i])) - 'A' + 1);
  const size_t letters = i;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && r <= kSheetRows; ++i) r = r * 10 + (text[i] - '0');
  if (letters == 0 || i == letters || i != text.size() || c < 1 || c > kSheetColumns || r < 1 || r > kSheetRows)
    return false;
  row = static_cast<int>(r - 1);
  col = static_cast<int>(c - 1);
  return true;
}

// Cell addresses in the file's own notation: "B2" and "$B$2" (xlsx), with
// a sheet name before a '!' or '.' (ods: "Sheet1.B2") that is ignored.
class TReferenceResolver : public ss::iface::import_reference_resolver {
 public:
  ss::src_address_t resolve_address(std::string_view address) override {
    const size_t cut = address.find_last_of("!.");
    if (cut != std::string_view::npos) address.remove_prefix(cut + 1);
    std::string plain;
    for (char c : address)
      if (c != '$') plain += c;
    int row = 0, col = 0;
    if (!ParseCellAddress(plain, row, col)) throw orcus::invalid_arg_error("invalid cell address");
    return {0, row, col};
  }
  ss::src_range_t resolve_range(std::string_view range) override {
    const size_t colon = range.find(':');
    const ss::src_address_t first = resolve_address(range.substr(0, colon));
    const ss::src_address_t last = colon == std::string_view::npos ? first : resolve_address(range.substr(colon + 1));
    return {first, last};
  }
};

class TFactory : public ss::iface::import_factory {
 public:
  TFactory() : FStyles(Styles, FPool), FSharedStrings(Strings) {}

  ss::iface::import_global_settings* get_global_settings() override { return &Settings; }
  ss::iface::import_shared_strings* get_shared_strings() override { return &FSharedStrings; }
  ss::iface::import_styles* get_styles() override { return &FStyles; }
  ss::iface::import_reference_resolver* get_reference_resolver(ss::formula_ref_context_t) override {
    return &FResolver;
  }
  ss::iface::import_sheet* append_sheet(ss::sheet_t, std::string_view name) override {
    Sheets.push_back(std::make_unique<TSheet>(std::string(name), Strings));
    return Sheets.back().get();
  }
  ss::iface::import_sheet* get_sheet(std::string_view name) override {
    for (auto& sheet : Sheets)
      if (sheet->Name == name) return sheet.get();
    return nullptr;
  }
  ss::iface::import_sheet* get_sheet(ss::sheet_t index) override {
    return index >= 0 && static_cast<size_t>(index) < Sheets.size() ? Sheets[static_cast<size_t>(index)].get() : nullptr;
  }
  void finalize() override {}

  ss::styles Styles;
  std::vector<std::string> Strings;
  std::vector<std::unique_ptr<TSheet>> Sheets;
  TGlobalSettings Settings;

 private:
  orcus::string_pool FPool;
  ss::import_styles FStyles;
  TSharedStrings FSharedStrings;
  TReferenceResolver FResolver;
};

bool EndsWithNoCase(const std::string& s, std::string_view suffix) {
  return s.size() >= suffix.size() && Lower(std::string_view(s).substr(s.size() - suffix.size())) == suffix;
}

}  // namespace

struct TWorkbook::TImpl {
  // An xlsx workbook is read through liborcus's filter into Factory, an
  // ods one by the reader of its own into Ods.
  TFactory Factory;
  std::vector<TShownSheet> Ods;
  bool IsOds = false;
  std::vector<TSheetInfo> Infos;
  // A cell format names its number format by the file's number (the
  // built-in ones have none of their own).
  std::unordered_map<size_t, std::string_view> Codes;

  void IndexFormats() {
    const ss::styles& styles = Factory.Styles;
    for (size_t i = 0; i < styles.get_number_format_count(); ++i)
      if (const ss::number_format_t* nf = styles.get_number_format(i)) Codes.emplace(nf->identifier, nf->format_string);
  }

  std::string_view FormatCode(size_t number) const {
    const auto it = Codes.find(number);
    if (it != Codes.end() && !it->second.empty()) return it->second;
    return BuiltinFormat(number);
  }

  void AddInfo(const std::string& name, int top, int left, int bottom, int right) {
    Infos.push_back(bottom < 0 ? TSheetInfo{name, 0, 0} : TSheetInfo{name, bottom - top + 1, right - left + 1});
  }
};

bool IsSpreadsheetFile(const std::string& path) {
  return EndsWithNoCase(path, ".xlsx") || EndsWithNoCase(path, ".xlsm") || EndsWithNoCase(path, ".ods") ||
         EndsWithNoCase(path, ".xls");
}

namespace {

// The file is read whole into memory once, through the program's own checks
// (a regular file, readable), and the filter parses those bytes.
std::string FileBytes(const std::string& path) {
  TFileStream file(path, TFileStream::fmOpenRead);
  std::string bytes;
  char piece[64 * 1024];
  for (size_t n; (n = file.Read(piece, sizeof piece)) > 0;) bytes.append(piece, n);
  return bytes;
}

}  // namespace

TWorkbook::TWorkbook(const std::string& path) : F(std::make_unique<TImpl>()) {
  Load(FileBytes(path), ExtractFileName(path));
}

TWorkbook::TWorkbook(std::string_view bytes, const std::string& name) : F(std::make_unique<TImpl>()) {
  Load(bytes, ExtractFileName(name));
}

void TWorkbook::Load(std::string_view bytes, const std::string& name) {
  // No reader at hand knows Excel's binary format; the user is told how to
  // get a file that can be read rather than that this one is damaged.
  if (EndsWithNoCase(name, ".xls"))
    throw EQuiltorError(FormatStr("Cannot open %s: workbooks in the old Excel format (.xls) cannot be read. Save it "
                                  "as .xlsx or .ods in a spreadsheet program, then open that.",
                                  name.c_str()));
  // An encrypted workbook is an OLE compound file, whatever its extension.
  if (bytes.starts_with("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
    throw EQuiltorError(FormatStr("Cannot open %s: the workbook is password-protected or in the old binary "
                                  "format. Save it as .xlsx or .ods without a password, then open it again.",
                                  name.c_str()));
  try {
    if (!ZipSizesPlausible(bytes)) throw std::runtime_error("implausible zip");
    if (EndsWithNoCase(name, ".ods")) {
      F->IsOds = true;
      F->Ods = ReadOdsSheets(bytes, name);
    } else {
      orcus::orcus_xlsx filter(&F->Factory);
      filter.read_stream(bytes);
    }
  } catch (const EQuiltorError&) {
    throw;
  } catch (const ESheetTooLarge& e) {
    throw EQuiltorError(FormatStr("Cannot open %s: sheet %s uses more than %lld rows by %lld columns, more than the "
                                  "%lld cells a table can hold",
                                  name.c_str(), e.Sheet.c_str(), e.Rows, e.Columns, TextLines::kMaxImportCells));
  } catch (const std::exception&) {
    throw EQuiltorError(FormatStr("Cannot open %s: the file is damaged or is not a spreadsheet of its kind",
                                  name.c_str()));
  }
  F->IndexFormats();
  for (const auto& sheet : F->Factory.Sheets) F->AddInfo(sheet->Name, sheet->Top, sheet->Left, sheet->Bottom, sheet->Right);
  for (const TShownSheet& sheet : F->Ods) F->AddInfo(sheet.Name, sheet.Top, sheet.Left, sheet.Bottom, sheet.Right);
  if (F->Infos.empty())
    throw EQuiltorError(FormatStr("Cannot open %s: the file is damaged or is not a spreadsheet of its kind",
                                  name.c_str()));
}

TWorkbook::~TWorkbook() = default;

const std::vector<TSheetInfo>& TWorkbook::Sheets() const { return F->Infos; }

int TWorkbook::FindSheet(const std::string& name) const {
  for (size_t i = 0; i < F->Infos.size(); ++i)
    if (F->Infos[i].Name == name) return static_cast<int>(i);
  char* end = nullptr;
  const long n = std::strtol(name.c_str(), &end, 10);
  if (!name.empty() && *end == '\0' && n >= 1 && static_cast<size_t>(n) <= F->Infos.size())
    return static_cast<int>(n - 1);
  return -1;
}

TCellBlock TWorkbook::ReadSheet(int index, const TBlockOptions& options, const std::string& range) const {
  const TSheetInfo& info = F->Infos.at(static_cast<size_t>(index));
  int top, left, bottom, right;
  if (F->IsOds) {
    const TShownSheet& sheet = F->Ods[static_cast<size_t>(index)];
    top = sheet.Top, left = sheet.Left, bottom = sheet.Bottom, right = sheet.Right;
  } else {
    const TSheet& sheet = *F->Factory.Sheets[static_cast<size_t>(index)];
    top = sheet.Top, left = sheet.Left, bottom = sheet.Bottom, right = sheet.Right;
  }
  if (!range.empty()) {
    const size_t colon = range.find(':');
    const std::string first = range.substr(0, colon);
    const std::string last = colon == std::string::npos ? first : range.substr(colon + 1);
    if (!ParseCellAddress(first, top, left) || !ParseCellAddress(last, bottom, right))
      throw EQuiltorError(FormatStr("Invalid range %s: give it as B2:F20", range.c_str()));
    if (top > bottom) std::swap(top, bottom);
    if (left > right) std::swap(left, right);
    if (static_cast<long double>(bottom - top + 1) * (right - left + 1) > TextLines::kMaxImportCells)
      throw EQuiltorError(FormatStr("The range %s has more than %lld cells", range.c_str(), TextLines::kMaxImportCells));
  } else if (info.Rows == 0) {
    throw EQuiltorError(FormatStr("Sheet %s is empty", info.Name.c_str()));
  }

  TBlockBuilder builder(bottom - top + 1, right - left + 1);
  const auto inside = [&](int row, int column) { return row >= top && row <= bottom && column >= left && column <= right; };
  if (F->IsOds) {
    const TShownSheet& sheet = F->Ods[static_cast<size_t>(index)];
    for (const TShownCell& cell : sheet.Cells)
      if (inside(cell.Row, cell.Column))
        builder.SetText(cell.Row - top, cell.Column - left, StyledText(cell.Text, cell.Bold, cell.Italic, options));
    for (const TMergedArea& m : sheet.Merges) builder.Merge(m.Top - top, m.Left - left, m.Bottom - top, m.Right - left);
    return builder.Finish();
  }

  const TSheet& sheet = *F->Factory.Sheets[static_cast<size_t>(index)];
  const ss::styles& styles = F->Factory.Styles;
  const long long originShift = F->Factory.Settings.OriginShift;
  // The cells of one format come in runs: its code is read once a run.
  std::string_view lastCode;
  TNumberFormat lastFormat = ParseNumberFormat(lastCode);
  const auto Parsed = [&](std::string_view code) -> const TNumberFormat& {
    if (code.data() != lastCode.data() || code.size() != lastCode.size()) {
      lastCode = code;
      lastFormat = ParseNumberFormat(code);
    }
    return lastFormat;
  };
  for (const TRawCell& cell : sheet.Cells) {
    if (!inside(cell.Row, cell.Column)) continue;
    const ss::cell_format_t* format = styles.get_cell_format(sheet.FormatAt(cell));
    const ss::font_t* font = format ? styles.get_font(format->font) : nullptr;
    std::string text;
    switch (cell.Kind) {
      case TCellKind::Text:
        text = F->Factory.Strings[cell.Text];
        break;
      case TCellKind::Bool:
        text = cell.Number != 0 ? "TRUE" : "FALSE";
        break;
      case TCellKind::Number:
      case TCellKind::DateTime: {
        const TNumberFormat& f = Parsed(format ? F->FormatCode(format->number_format) : std::string_view());
        if (cell.Kind == TCellKind::DateTime)
          text = f.Kind == TNumberFormat::DateTime ? FormatNumber(cell.Number, f) : FormatCellNumber(cell.Number, "yyyy-mm-dd");
        else
          text = FormatNumber(f.Kind == TNumberFormat::DateTime ? cell.Number + static_cast<double>(originShift) : cell.Number, f);
        break;
      }
    }
    builder.SetText(cell.Row - top, cell.Column - left,
                    StyledText(text, font && font->bold, font && font->italic, options));
  }
  for (const ss::range_t& m : sheet.Merges)
    builder.Merge(m.first.row - top, m.first.column - left, m.last.row - top, m.last.column - left);
  return builder.Finish();
}

namespace {
TSpreadsheetUI* gSpreadsheetUI = nullptr;
}  // namespace

void SetSpreadsheetUI(TSpreadsheetUI* ui) { gSpreadsheetUI = ui; }

bool ReadSpreadsheetFile(TTable& table, const std::string& path, const std::string& name) {
  const TWorkbook book(FileBytes(path), name);
  if (std::all_of(book.Sheets().begin(), book.Sheets().end(), [](const TSheetInfo& s) { return s.Rows == 0; }))
    throw EQuiltorError(FormatStr("Cannot open %s: the workbook holds no data", name.c_str()));
  TBlockOptions options;
  int index = 0;
  if (gSpreadsheetUI) index = gSpreadsheetUI->ChooseSheet(name, book.Sheets(), options);
  else if (book.Sheets().size() > 1) index = -1;
  if (index < 0 || static_cast<size_t>(index) >= book.Sheets().size()) return false;
  const TCellBlock block = book.ReadSheet(index, options);
  BlockToTable(block, table);
  if (!block.Warnings.empty() && gSpreadsheetUI) gSpreadsheetUI->ShowSheetWarnings(block.Warnings);
  return true;
}
