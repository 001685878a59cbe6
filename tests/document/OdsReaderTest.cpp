// .ods files read from their XML: layouts built with repeats, covered and
// spanned cells, number styles, and damage, each in a package made here.
#include <gtest/gtest.h>

#include "document/BlockText.h"
#include "document/SpreadsheetFile.h"
#include "document/ZipCheck.h"
#include "model/Errors.h"

namespace {

uint32_t Crc32(const std::string& data) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : data) {
    crc ^= byte;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void Put(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A zip of stored (uncompressed) entries, as an .ods package is.
std::string Zip(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string out, directory;
  for (const auto& [name, data] : entries) {
    const uint32_t offset = static_cast<uint32_t>(out.size()), crc = Crc32(data);
    const uint32_t size = static_cast<uint32_t>(data.size());
    Put(out, 0x04034b50, 4), Put(out, 20, 2), Put(out, 0, 2), Put(out, 0, 2), Put(out, 0, 4);
    Put(out, crc, 4), Put(out, size, 4), Put(out, size, 4), Put(out, static_cast<uint32_t>(name.size()), 2);
    Put(out, 0, 2);
    out += name + data;
    Put(directory, 0x02014b50, 4), Put(directory, 20, 2), Put(directory, 20, 2), Put(directory, 0, 2);
    Put(directory, 0, 2), Put(directory, 0, 4), Put(directory, crc, 4), Put(directory, size, 4);
    Put(directory, size, 4), Put(directory, static_cast<uint32_t>(name.size()), 2), Put(directory, 0, 2);
    Put(directory, 0, 2), Put(directory, 0, 2), Put(directory, 0, 2), Put(directory, 0, 4), Put(directory, offset, 4);
    directory += name;
  }
  const uint32_t start = static_cast<uint32_t>(out.size());
  out += directory;
  Put(out, 0x06054b50, 4), Put(out, 0, 2), Put(out, 0, 2), Put(out, static_cast<uint32_t>(entries.size()), 2);
  Put(out, static_cast<uint32_t>(entries.size()), 2), Put(out, static_cast<uint32_t>(directory.size()), 4);
  Put(out, start, 4), Put(out, 0, 2);
  return out;
}

const char kHead[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
    "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
    "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
    "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
    "xmlns:number=\"urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0\" "
    "xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\">";

// An .ods package whose content.xml holds styles and one sheet of rows.
std::string Ods(const std::string& styles, const std::string& rows) {
  return Zip({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
              {"content.xml", std::string(kHead) + "<office:automatic-styles>" + styles +
                                  "</office:automatic-styles><office:body><office:spreadsheet>"
                                  "<table:table table:name=\"S\">" + rows +
                                  "</table:table></office:spreadsheet></office:body></office:document-content>"}});
}

std::string Cell(const std::string& text, const std::string& attributes = "") {
  return "<table:table-cell office:value-type=\"string\" " + attributes + "><text:p>" + text + "</text:p></table:table-cell>";
}

std::string Number(const char* type, const char* value, const char* style) {
  return std::string("<table:table-cell table:style-name=\"") + style + "\" office:value-type=\"" + type + "\" " +
         (std::string(type) == "date" ? "office:date-value" : std::string(type) == "time" ? "office:time-value"
                                                                                          : "office:value") +
         "=\"" + value + "\"><text:p>shown</text:p></table:table-cell>";
}

std::string Row(const std::string& cells, const std::string& attributes = "") {
  return "<table:table-row " + attributes + ">" + cells + "</table:table-row>";
}

const std::string kTrailing =
    Row("<table:table-cell table:number-columns-repeated=\"16384\"/>", "table:number-rows-repeated=\"1048570\"");

const std::string kStyles =
    "<number:currency-style style:name=\"C0P0\"><number:currency-symbol>$</number:currency-symbol>"
    "<number:number number:decimal-places=\"2\" number:grouping=\"true\"/></number:currency-style>"
    "<number:currency-style style:name=\"C0\"><number:text>(</number:text>"
    "<number:currency-symbol>$</number:currency-symbol><number:number number:decimal-places=\"2\"/>"
    "<number:text>)</number:text><style:map style:condition=\"value()&gt;=0\" style:apply-style-name=\"C0P0\"/>"
    "</number:currency-style>"
    "<number:number-style style:name=\"E\"><number:scientific-number number:decimal-places=\"2\" "
    "number:min-exponent-digits=\"2\"/></number:number-style>"
    "<number:number-style style:name=\"G\"><number:number number:decimal-places=\"2\" "
    "number:min-decimal-places=\"0\"/><number:text> kg</number:text></number:number-style>"
    "<number:percentage-style style:name=\"P\"><number:number number:decimal-places=\"0\"/>"
    "<number:text>%</number:text></number:percentage-style>"
    "<number:time-style style:name=\"T\"><number:hours/><number:text>:</number:text><number:minutes/>"
    "</number:time-style>"
    "<number:date-style style:name=\"D\"><number:day/><number:text>/</number:text><number:month/>"
    "<number:text>/</number:text><number:year/><number:hours/><number:minutes/></number:date-style>"
    "<style:style style:name=\"cC\" style:family=\"table-cell\" style:data-style-name=\"C0\"/>"
    "<style:style style:name=\"cE\" style:family=\"table-cell\" style:data-style-name=\"E\"/>"
    "<style:style style:name=\"cG\" style:family=\"table-cell\" style:data-style-name=\"G\"/>"
    "<style:style style:name=\"cP\" style:family=\"table-cell\" style:data-style-name=\"P\"/>"
    "<style:style style:name=\"cT\" style:family=\"table-cell\" style:data-style-name=\"T\"/>"
    "<style:style style:name=\"cD\" style:family=\"table-cell\" style:data-style-name=\"D\"/>"
    "<style:style style:name=\"cB\" style:family=\"table-cell\"><style:text-properties fo:font-weight=\"700\"/>"
    "</style:style>"
    "<style:style style:name=\"cBI\" style:family=\"table-cell\" style:parent-style-name=\"cB\">"
    "<style:text-properties fo:font-style=\"italic\"/></style:style>";

// Faults caught: a covered cell or a repeated one not counted (cells
// shifted left), a span over columns or rows not joined, the
// trailing rows and columns a spreadsheet writes to the sheet's end
// allocated or counted into the used range, a repeated row with text kept
// once, empty leading rows and columns kept; a number style's decimals,
// grouping, literals, percent, exponent or negative-number format not
// followed; a date or time shown as stored; text:s spaces, line breaks or
// a note's text mishandled; a style's emphasis not inherited.
TEST(OdsReader, LaysOutCellsAsTheSpreadsheetShowsThem) {
  struct Case {
    const char* Name;
    std::string Rows;
    std::vector<std::string> Expected;
  } cases[] = {
      {"joins",
       Row("<table:table-cell/>") +
           Row("<table:table-cell table:number-columns-repeated=\"2\"/>" +
               Cell("AB", "table:number-columns-spanned=\"2\"") + "<table:covered-table-cell/>" + Cell("C")) +
           Row("<table:table-cell table:number-columns-repeated=\"2\"/>" +
               Cell("x", "table:number-columns-repeated=\"2\"") + Cell("D", "table:number-rows-spanned=\"2\"")) +
           Row("<table:table-cell table:number-columns-repeated=\"4\"/><table:covered-table-cell/>" + Cell("y")) +
           Row(Cell("r", "table:number-columns-repeated=\"2\""), "table:number-rows-repeated=\"2\"") + kTrailing,
       {" |  | AB<2> | C | ", " |  | x | x | D^2 | ", " |  |  |  |  | y", "r | r |  |  |  | ", "r | r |  |  |  | "}},
      {"numbers",
       Row(Number("currency", "1234.5", "cC") + Number("currency", "-3", "cC") + Number("float", "12345.678", "cE") +
           Number("float", "1.5", "cG") + Number("percentage", "0.125", "cP")) +
           Row(Number("time", "PT13H45M10S", "cT") + Number("date", "2024-02-29T08:05:00", "cD") +
               Number("date", "2024-03-01", "none") + "<table:table-cell office:value-type=\"boolean\" "
               "office:boolean-value=\"true\"/>" + Cell("1.50")),
       {"\\$1,234.50 | (\\$3.00) | 1.23E+04 | 1.5 kg | 13\\%", "13:45 | 2024-02-29 08:05 | 2024-03-01 | TRUE | 1.50"}},
      {"text",
       Row("<table:table-cell table:style-name=\"cBI\" office:value-type=\"string\"><text:p>a<text:s text:c=\"2\"/>b"
           "<text:line-break/>c</text:p><text:p><text:span>d</text:span></text:p>"
           "<office:annotation><text:p>note</text:p></office:annotation></table:table-cell>" +
           Cell("e", "table:style-name=\"cB\"")),
       {"\\textbf{\\textit{a  b\nc\nd}} | \\textbf{e}"}},
  };
  for (const Case& c : cases) {
    const TWorkbook book(Ods(kStyles, c.Rows), std::string(c.Name) + ".ods");
    const TCellBlock block = book.ReadSheet(0, TBlockOptions());
    EXPECT_EQ(BlockRows(block), c.Expected) << c.Name;
    EXPECT_TRUE(block.Warnings.empty()) << c.Name;
  }
}

std::string ErrorOf(const std::string& bytes, const std::string& name) {
  try {
    TWorkbook book(bytes, name);
  } catch (const EQuiltorError& e) {
    return e.what();
  }
  return "no error";
}

// Faults caught: a sheet whose used range passes the cell limit read (and
// its memory taken) instead of refused, broken XML or a package without
// its content opening as an empty or partial table, an encrypted package
// reported as merely damaged.
TEST(OdsReader, RefusesWhatCannotBeReadWithOneMessage) {
  const std::string damaged = "Cannot open d.ods: the file is damaged or is not a spreadsheet of its kind";
  struct Case {
    std::string Bytes;
    const char* Message;
  } cases[] = {
      {Ods("", Row(Cell("a")) + Row("", "table:number-rows-repeated=\"1048574\"") +
                   Row("<table:table-cell table:number-columns-repeated=\"16383\"/>" + Cell("z"))),
       "Cannot open d.ods: sheet S uses more than 1048576 rows by 16384 columns, more than the 33554432 cells a "
       "table can hold"},
      {Zip({{"content.xml", std::string(kHead) + "<office:body><table:table>"}}), damaged.c_str()},
      {Zip({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}}), damaged.c_str()},
      {Zip({{"META-INF/manifest.xml", "<manifest:encryption-data/>"}, {"content.xml", "\x8f\x03garbage"}}),
       "Cannot open d.ods: the workbook is password-protected. Save it without a password, then open it again."},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorOf(c.Bytes, "d.ods"), c.Message);
}

// Faults caught: a package whose directory declares more bytes than its
// entries can hold (gigabytes unpacked from a few, an entry reaching past
// the directory) believed, so that the zip reader allocates what it says;
// a real package or one with a comment refused.
TEST(OdsReader, ZipSizesCheckedAgainstTheBytes) {
  const std::string good = Zip({{"content.xml", std::string(200, 'x')}, {"b", "yz"}});
  const size_t entry = good.find("PK\x01\x02");
  const auto patched = [&](size_t offset, uint32_t value) {
    std::string bad = good;
    for (int i = 0; i < 4; ++i) bad[entry + offset + static_cast<size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return bad;
  };
  struct Case {
    std::string Bytes;
    bool Plausible;
  } cases[] = {
      {good, true},
      {good.substr(0, good.size() - 2) + std::string("\x05\x00", 2) + "hello", true},  // a comment
      {patched(24, 0x7FFFFFF0), false},  // unpacked size
      {patched(24, 200 * 1032 + 1000), false},
      {patched(20, 5000), false},  // packed size past the directory
      {patched(42, 3000), false},  // local header offset
      {good.substr(0, good.size() - 1), false},
      {"", false},
  };
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(ZipSizesPlausible(cases[i].Bytes), cases[i].Plausible) << i;
}

// Faults caught: a damaged package (a byte changed anywhere: in the zip's
// structure, the XML or a name) crashing the reader, reading out of bounds,
// or raising anything but the one message for the user.
TEST(OdsReader, DamagedPackagesNeverCrash) {
  const std::string good = Ods(kStyles, Row(Cell("a", "table:number-columns-spanned=\"2\"") +
                                            "<table:covered-table-cell/>" + Number("percentage", "0.5", "cP")));
  for (size_t at = 0; at < good.size(); at += 7) {
    std::string bad = good;
    bad[at] = static_cast<char>(bad[at] ^ 0x5A);
    try {
      const TWorkbook book(bad, "d.ods");
      if (!book.Sheets().empty() && book.Sheets()[0].Rows > 0) book.ReadSheet(0, TBlockOptions());
    } catch (const EQuiltorError&) {
    }
  }
}

}  // namespace
