#pragma once
// Tables of HTML text: what a spreadsheet or a browser puts on the clipboard
// as text/html, or an .html file given to the converter. Read with libxml2's
// HTML parser, which copes with the tag soup found in the wild.
#include <string>
#include <string_view>

#include "document/CellBlock.h"

// The number of tables in the text (nested ones counted too, in document
// order).
int CountHtmlTables(std::string_view html);

// The index-th table (0-based, as CountHtmlTables counts) as a block:
// colspan joins columns and rowspan rows; <b>, <strong>, <th> and a bold
// font-weight style (inline, or in a class rule of a <style> block, as
// Excel writes) make a cell bold, <i>, <em> and an italic font-style
// italic; <br> and the end of a <p> or <div> are line breaks; entities are decoded and white space is
// collapsed as a browser does. encoding names the text's encoding, or is
// null to let the document say (a <meta charset>). A table of more than
// TextLines::kMaxImportCells cells is refused; an index with no table raises
// "No HTML table found" (or "There is no table N").
TCellBlock ReadHtmlTable(std::string_view html, int index, const TBlockOptions& options,
                         const char* encoding = "UTF-8");

// Paste of text/html: the table of html with the most cells (a layout
// table copied along with the data is passed over) lands at (left, top) as
// PasteBlock places it, its specials escaped and its emphasis kept. False,
// and nothing changed, when the text holds no table; warnings receives what
// the block could not keep.
bool PasteHtmlTable(TTable& table, int left, int top, std::string_view html, std::vector<std::string>& warnings);
