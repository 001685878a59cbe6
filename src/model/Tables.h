#pragma once
// The in-memory table: columns, rows, and in each row its cells. A cell covers
// Span adjacent columns starting at its ColIndex, the sum of the spans before
// it in its row; in every row the spans add up to the number of columns.
// Positions are always computed by walking the lists, never stored.
//
// Cells joined across rows (\multirow) form a block of RowSpan rows by Span
// columns. Its top-left cell, the block's own cell, holds the text, the
// alignment and the arguments; in each row below it the block keeps a covered
// cell, so that every row still covers every column. The table is consistent
// (TableDefect says why not) when:
//  - every cell has Span >= 1 and every row's spans add up to ColCount;
//  - a cell is plain (RowSpan 1, RowsToTop 0), a block's top (RowSpan > 1,
//    RowsToTop 0) or covered (RowSpan 1, RowsToTop > 0), never both;
//  - a block of r rows at row i never crosses the table's edge (i + r <=
//    RowCount), and rows i + 1 .. i + r - 1 each hold a covered cell at the
//    block's column with the block's Span and RowsToTop 1 .. r - 1, empty
//    text and no alignment or arguments of its own;
//  - every covered cell belongs to such a block (so no two blocks overlap);
//  - a block has no rules inside it: the top cell's bottom rule, the
//    covered cells' top rules and all but the last covered cell's bottom
//    rules are off; the block's bottom rule is its last covered cell's, and
//    every covered cell's left and right rules are the top cell's.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/Errors.h"

class TTable;
class TRow;
class TColumn;
class TCell;
class TStream;
class TCanvas;

// Pixel rectangle: left and top inside, right and bottom outside.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  bool Contains(int x, int y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
  bool operator==(const TRect&) const = default;
};

// Rectangle of cells: first and last column (Left, Right) and first and last
// row (Top, Bottom), all inclusive.
struct TCellRect {
  int Left = 0;
  int Top = 0;
  int Right = -1;
  int Bottom = -1;
  bool operator==(const TCellRect&) const = default;
};

enum TSelectionMode : uint8_t { smNone = 0, smRows = 1, smColumns = 2, smCells = 3 };

// Rule bits used by operations that address several rules at once.
enum : int {
  rbTop = 1,
  rbBottom = 2,
  rbInnerHorz = 4,
  rbLeft = 8,
  rbRight = 16,
  rbInnerVert = 32,
  rbAll = 63,
  rbOuter = 27,
  rbNone = 0
};

using TArrayOfCells = std::vector<TCell*>;

// Counts every change to any table's lists of rows, columns or cells, so
// that a table can tell whether its shape is still the one it last laid
// out; a table's own changes are not told apart from another table's.
inline uint64_t gTableShapeEpoch = 0;
using TArrayOfInteger = std::vector<int>;

// Count every change of a selection flag (gSelectionEpoch), of a span
// (gCellSpanEpoch), and of a rule flag, an alignment or a block's
// arguments (gCellFormatEpoch), in any table. What is derived from them,
// such as the selection's bounds that the command states read whenever the
// event loop goes idle, is kept with the counts it was derived at and
// worked out again only when they moved.
inline uint64_t gSelectionEpoch = 0;
inline uint64_t gCellSpanEpoch = 0;
inline uint64_t gCellFormatEpoch = 0;

// A field that counts its changes in *Epoch. It reads like the plain value;
// writing the value it already holds changes nothing.
template <class T, uint64_t* Epoch>
class TCounted {
 public:
  constexpr TCounted() = default;
  constexpr explicit TCounted(T value) : FValue(value) {}
  TCounted(const TCounted&) = default;
  TCounted& operator=(const TCounted& other) { return *this = other.FValue; }
  TCounted& operator=(T value) {
    if (value != FValue) {
      FValue = value;
      ++*Epoch;
    }
    return *this;
  }
  operator T() const { return FValue; }  // NOLINT
  TCounted& operator++() { return *this = static_cast<T>(FValue + 1); }
  TCounted& operator--() { return *this = static_cast<T>(FValue - 1); }
  TCounted& operator+=(T d) { return *this = static_cast<T>(FValue + d); }
  TCounted& operator-=(T d) { return *this = static_cast<T>(FValue - d); }

 private:
  T FValue{};
};
using TSelectedFlag = TCounted<bool, &gSelectionEpoch>;
using TSpanField = TCounted<int, &gCellSpanEpoch>;
using TRuleFlag = TCounted<uint8_t, &gCellFormatEpoch>;
using TAlignField = TCounted<char, &gCellFormatEpoch>;

// The selection as the commands read it (TTable::Selection).
struct TSelection {
  TArrayOfCells Cells;      // selected cells, rows top to bottom, cells left to right
  TArrayOfInteger Columns;  // selected column indices, ascending
  TArrayOfInteger Rows;     // selected row indices, ascending
  // Whole cells around the selected cells, else the selected columns over
  // all rows, else the selected rows over all columns; Right = -1 (and all
  // four -1) when nothing is selected. Lists with gaps give the rectangle
  // over the gaps.
  TCellRect Bounds{-1, -1, -1, -1};
  // Tells this content from any other the table's selection had: a new
  // number whenever it is read anew. 0 for a selection made by hand.
  uint64_t Stamp = 0;
  bool Empty() const { return Bounds.Right < 0; }
};

// An ordered list that owns its items: removing an item frees it, and an index
// outside the list raises "List index out of bounds (%d)".
template <class T>
class TOwnedList {
 public:
  TOwnedList() = default;
  TOwnedList(const TOwnedList&) = delete;
  TOwnedList& operator=(const TOwnedList&) = delete;
  ~TOwnedList() { Clear(); }

  int Count() const { return static_cast<int>(FItems.size()); }
  T* operator[](int index) const {
    Check(index);
    return FItems[static_cast<size_t>(index)];
  }
  T* First() const { return (*this)[0]; }
  T* Last() const { return (*this)[Count() - 1]; }
  int IndexOf(const T* item) const {
    for (size_t i = 0; i < FItems.size(); ++i)
      if (FItems[i] == item) return static_cast<int>(i);
    return -1;
  }
  // Moves the item at curIndex so that it ends up at newIndex.
  void Move(int curIndex, int newIndex) {
    if (curIndex == newIndex) return;
    Check(curIndex);
    Check(newIndex);
    T* item = FItems[static_cast<size_t>(curIndex)];
    ++gTableShapeEpoch;
    FItems.erase(FItems.begin() + curIndex);
    FItems.insert(FItems.begin() + newIndex, item);
  }
  // Removes and frees the item at index.
  void Delete(int index) {
    Check(index);
    T* item = FItems[static_cast<size_t>(index)];
    ++gTableShapeEpoch;
    FItems.erase(FItems.begin() + index);
    delete item;
  }
  // Removes the item at index without freeing it; the caller takes ownership.
  T* Extract(int index) {
    Check(index);
    T* item = FItems[static_cast<size_t>(index)];
    ++gTableShapeEpoch;
    FItems.erase(FItems.begin() + index);
    return item;
  }
  // Takes ownership of item and places it at index (0..Count).
  void Insert(int index, T* item) {
    if (index < 0 || index > Count()) throw EListError(index);
    ++gTableShapeEpoch;
    FItems.insert(FItems.begin() + index, item);
  }
  void Clear() {
    std::vector<T*> items;
    ++gTableShapeEpoch;
    items.swap(FItems);
    for (T* item : items) delete item;
  }
  void Reserve(int n) { FItems.reserve(static_cast<size_t>(n)); }
  // Exchanges the items of the two lists; the items themselves stay put.
  void Swap(TOwnedList& other) noexcept {
    ++gTableShapeEpoch;
    FItems.swap(other.FItems);
  }

  auto begin() const { return FItems.begin(); }
  auto end() const { return FItems.end(); }

 protected:
  // Constructors of rows, columns and cells append themselves.
  friend class TRow;
  friend class TColumn;
  friend class TCell;
  void Append(T* item) {
    ++gTableShapeEpoch;
    FItems.push_back(item);
  }

 private:
  void Check(int index) const {
    if (index < 0 || index >= Count()) throw EListError(index);
  }
  std::vector<T*> FItems;
};

// The arguments of \multirow besides the row count and the text, kept as
// read so that a table from a paper is written back as it stood. The
// defaults write \multirow{r}{*}{text}.
struct TBlockArgs {
  std::string VPos;       // "c", "t" or "b" of \multirow[t]{r}..; empty: none
  std::string BigStruts;  // n of \multirow{r}[n]{..}; empty: none
  std::string Width = "*";  // "*", "=" or a length such as "2cm"
  std::string VMove;      // the length of \multirow{r}{w}[1ex]{text}; empty: none
  bool operator==(const TBlockArgs&) const = default;
};

class TCell {
 public:
  // Appends the new cell to row: span 1, everything else empty or false.
  explicit TCell(TRow& row);
  TCell(const TCell&) = delete;
  TCell& operator=(const TCell&) = delete;

  // Cells are many and small: they come from a slab allocator so that a
  // million-cell table needs no heap block per cell.
  static void* operator new(size_t size);
  static void operator delete(void* p) noexcept;

  TRow* Row() const { return FRow; }
  TTable* Table() const;
  int Index() const;     // position in its row
  int ColIndex() const;  // first covered column
  int RowIndex() const;  // its row's position in the table
  char EffectiveAlign() const;
  // Copies Text, Selected, the four rule flags, Span, Align, RowSpan,
  // RowsToTop and the block's arguments.
  void Assign(const TCell& source);

  // Covered by a block that starts in a row above (RowsToTop > 0).
  bool Covered() const { return RowsToTop > 0; }
  // The cell whose block covers this one: its top cell when covered, else
  // the cell itself.
  TCell* BlockCell() const;
  // The last row the cell or its block covers: RowIndex() + RowSpan - 1
  // for the block's own cell, the block's last row for a covered one.
  int LastRowIndex() const;
  // The block's \multirow arguments (the defaults when none were set).
  const TBlockArgs& BlockArgs() const;
  // Whether they differ from the defaults; costs nothing, for the walks
  // over every cell (saving, undo pictures).
  bool HasBlockArgs() const { return FBlockArgs != nullptr; }
  void SetBlockArgs(const TBlockArgs& args);
  // Drops the cell's part in a block: RowSpan 1, RowsToTop 0, no
  // arguments. For a copy of a block's cell that is to stand alone.
  void MakePlain();

  // Laid-out height: always its row's height, so it is not stored per cell.
  float Height() const;

  const std::string& Text() const { return FText; }
  // Also tells the table, so that its next Measure re-measures only what
  // changed.
  void SetText(std::string text);

  // Layout and painting.
  void Measure(TCanvas& canvas);
  void Paint(TCanvas& canvas);

  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;

 private:
  std::string FText;
  TRow* FRow;
  // Only a block's top cell with arguments other than the defaults has
  // them, so that the many plain cells pay one pointer.
  std::unique_ptr<TBlockArgs> FBlockArgs;

 public:
  TRect BoundsRect;
  float MeasuredWidth = 0;
  float MeasuredHeight = 0;
  float Width = 0;  // laid-out width: the sum of the covered columns' widths
  TSpanField Span{1};
  // Rows the cell's block covers, its own included: above 1 only for a
  // block's top cell.
  TSpanField RowSpan{1};
  // For a covered cell, how many rows up its block's top cell stands; 0
  // for every other cell.
  TSpanField RowsToTop{0};
  TAlignField Align{0};  // 0 = follow the column; else 'l', 'c' or 'r'
  TSelectedFlag Selected{false};
  // Rule flags in file order: left, top, right, bottom. Any non-zero byte is a rule.
  TRuleFlag RuleLeft{0};
  TRuleFlag RuleTop{0};
  TRuleFlag RuleRight{0};
  TRuleFlag RuleBottom{0};
  // MeasuredWidth/MeasuredHeight hold the text's extent for the current text
  // and font; cleared whenever either changes.
  bool ExtentValid = false;
};

// A row is the owning list of its cells, left to right.
class TRow : public TOwnedList<TCell> {
 public:
  // Appends the new row to table.Rows.
  explicit TRow(TTable& table);

  TTable* Table() const { return FTable; }
  int Index() const;
  // The cell covering column, or none when the column is beyond the cells.
  TCell* CellAtCol(int column) const;
  void Assign(const TRow& source);

  void Measure(TCanvas& canvas);
  void PaintMarks(TCanvas& canvas);

  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;

 private:
  friend class TCell;
  friend class TTable;
  TTable* FTable;

 public:
  std::string Prefix;
  std::string Postfix;
  TRect BoundsRect;
  float Height = 0;
  TSelectedFlag Selected{false};
  // Grows whenever the text of one of its cells is set, so that code
  // generated for the row can tell that it is out of date.
  uint64_t TextVersion = 0;

 private:
  // The table's layout stamp when its cells' rectangles were last laid
  // out; any other value means they are stale (TTable::UpdateCellRects).
  mutable uint64_t FCellRectsStamp = 0;
};

class TColumn {
 public:
  // Appends the new column (format "l") to table.Columns. Existing rows get no cells.
  explicit TColumn(TTable& table);
  TColumn(const TColumn&) = delete;
  TColumn& operator=(const TColumn&) = delete;

  TTable* Table() const { return FTable; }
  int Index() const;
  // The cell of row rowIndex covering this column, or none.
  TCell* CellAtRow(int rowIndex) const;
  // Copies Selected and Format.
  void Assign(const TColumn& source);

  void Paint(TCanvas& canvas);

  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;

 private:
  friend class TTable;
  TTable* FTable;

 public:
  std::string Format = "l";
  TRect BoundsRect;
  float Width = 0;
  TSelectedFlag Selected{false};
};

// How the horizontal rules are written: \hline and \cline, or the rules of
// the booktabs package, which has no vertical rules.
enum TRuleStyle : uint8_t { rsClassic = 0, rsBooktabs = 1 };
// The style named "classic" or "booktabs", letter case ignored; none for
// any other name.
std::optional<TRuleStyle> RuleStyleNamed(std::string_view name);

// The table float the tabular sits in. Every field empty or false means no
// float: the code is the bare environment.
struct TTableFloat {
  std::string Placement;  // the text between [ and ], "htbp"; empty: none
  bool Centering = false;
  std::string Caption;
  std::string Label;
  bool CaptionBelow = false;  // else above the tabular, as journals set it
  bool Wide = false;          // table* (both columns of a two-column page)
  // Other text the float held around the tabular when it was read from a
  // document: written back unchanged, one string per side.
  std::string TextBefore;
  std::string TextAfter;

  bool Active() const { return *this != TTableFloat(); }
  bool operator==(const TTableFloat&) const = default;
};

// The table's properties that shape its code as a whole. Everything at its
// default leaves the code, and the file, as tables have always had them.
struct TTableStyle {
  TRuleStyle Rules = rsClassic;
  TTableFloat Float;

  bool operator==(const TTableStyle&) const = default;
};

// How delimited text is split into cells on import.
struct TTextImportOptions {
  // The delimiter characters, in any order; none: one field per line.
  std::string Delimiters = ",";
  // A run of delimiters separates like one.
  bool Merge = false;
  // Fields in double quotes (TextLines::TQuotedSplitter); off, quotes are
  // ordinary characters.
  bool Quoted = false;
  // LaTeX special characters in the texts are escaped (EscapeLatexSpecials).
  bool Escape = false;
};

// Why table is not consistent (see the top of this file), naming the first
// fault found by row and column; empty when it is.
std::string TableDefect(const TTable& table);

class TTable {
 public:
  TTable() = default;
  TTable(const TTable&) = delete;
  TTable& operator=(const TTable&) = delete;
  ~TTable();

  // Frees all rows, then all columns; empties the extra texts and options,
  // resets the environment to "tabular" and the style to its defaults.
  // Callers clear CurrentCell first.
  void Clear();
  // Deep copy of the content (not the file name, title, font, grid, focus,
  // selection mode, anchors, layout or current cell).
  void Assign(const TTable& source);
  // The same content as Assign, moved instead of copied: the rows, columns
  // and cells of source become this table's, and source is left with this
  // table's former content (which it frees when it goes). Nothing is
  // allocated, so a large table is never held twice. Callers clear
  // CurrentCell of both tables first.
  void TakeContent(TTable& source);

  int ColCount() const { return Columns.Count(); }
  int RowCount() const { return Rows.Count(); }

  // Appends a row with ColCount single cells.
  TRow* AddRow();
  TCell* GetCell(int rowIndex, int colIndex) const;

  // Hit tests against the rectangles of the last layout.
  TCell* CellAt(int x, int y) const;
  TRow* RowAt(int x, int y) const;
  TColumn* ColumnAt(int x, int y) const;

  // Inserting a column inside a joined cell or block widens it in every
  // row; beside one, the new cells are plain copies of its edge.
  void InsertColumn(int index, bool after);
  // A row inserted between two rows of a block joins it: the block grows
  // and the row gets a covered cell there. A row inserted above a block's
  // top row or below its last row stays outside it, with a plain cell as
  // wide as the block.
  void InsertRow(int index, bool after);
  void DeleteColumn(int index);
  // Deleting a row a block covers shrinks the block. When it is the
  // block's top row, the cell below becomes the top and takes the text,
  // alignment, arguments, top rule and selection; when it is its last row,
  // the block's bottom rule moves up to the new last row.
  void DeleteRow(int index);
  // A block's left and right rules are set over its whole side, even for
  // rows outside rect; top and bottom rules (inner ones too) are set only
  // where they lie on a block's outline, never inside one.
  void SetRules(const TCellRect& rect, int bits, uint8_t value);
  // Whether any cell has a left or right rule, which booktabs leaves out.
  bool HasVerticalRules() const;

  void ClearSelection();
  // Selects cell's block whole (its top and covered cells) when cell is
  // part of one.
  void SelectCell(TCell* cell);
  void SelectRow(int index);
  void SelectColumn(int index);
  void SelectRowRange(int anchor, int index);
  void SelectColumnRange(int anchor, int index);
  // Covers whole cells and blocks; marks every cell inside the result as
  // selected.
  TCellRect GetSelectionRect();
  // The selection, its cells completed to whole cells as GetSelectionRect
  // does. Read once and kept until a selection flag, a span or a list of any
  // table changes, so that the idle pass asks for it at no cost; the select
  // operations above keep it up to date themselves where that is cheap. The
  // reference holds until the next call of Selection, GetSelectionRect,
  // ClearSelection or SelectCell.
  const TSelection& Selection();
  // Reads the selection anew like Selection, for a caller that knows that no
  // row or cell flag is set outside rows (ascending indices): it looks at
  // those rows only. It changes no flag: a cell selection that does not
  // cover whole cells is left to the next Selection.
  void ReadSelectionWithin(const std::vector<int>& rows);
  // The selection as last read, while no selection flag, span or list has
  // changed since; none otherwise. Reads nothing and changes nothing.
  const TSelection* KeptSelection() const { return SelectionKept() ? &FSelection : nullptr; }
  // Whether reading the selection has marked cells that were not selected,
  // since the last call: the view shows them.
  bool TakeSelectionGrowth();
  TArrayOfCells GetSelectedCells() const;
  TArrayOfInteger GetSelectedRows() const;
  TArrayOfInteger GetSelectedColumns() const;

  // Measures every cell (re-using cached text extents) and computes the
  // column widths, row heights and the drawing's size.
  void Measure(TCanvas& canvas);
  // Lays out the rectangles and draws the table. With a clip rectangle only
  // what intersects it is drawn, and only the rows and columns are laid out
  // in full: the cells' rectangles of the rows outside the clip may be left
  // stale, so that a keystroke on a large table costs what the view shows.
  // The hit tests bring what they look at up to date themselves; any other
  // reader of a cell's BoundsRect calls UpdateCellRects first.
  void Paint(TCanvas& canvas, const TRect* clip = nullptr);
  // Lays out what Paint lays out before it draws: the rows' bands, the
  // columns' rectangles and the cells' rectangles of the rows that meet
  // clip. What the hit tests need when the drawing itself waits.
  void LayOut(const TRect* clip = nullptr);
  // Lays out the cells' rectangles that the last Paint left stale: of every
  // row, or of row only. Cheap when nothing is stale.
  void UpdateCellRects() const;
  void UpdateCellRects(const TRow& row) const;

  // Delimited text files. A UTF-16 file (byte-order mark FF FE or FE FF)
  // is read as UTF-8 and a UTF-8 byte-order mark is dropped. Returns the
  // byte offset in the file of the NUL that ended the text early, or -1.
  int64_t ImportText(const std::string& fileName, const TTextImportOptions& options);
  // The same from a stream that is read from its start (twice); name stands
  // for it in messages.
  int64_t ImportText(TStream& stream, const std::string& name, const TTextImportOptions& options);
  // Unquoted and unescaped, split at any of delimiters.
  int64_t ImportText(const std::string& fileName, const std::string& delimiters, bool mergeDelimiters);
  int64_t ImportText(TStream& stream, const std::string& name, const std::string& delimiters, bool mergeDelimiters);
  // One line per row, CR LF after each, one field per column (a joined cell
  // is followed by empty fields for the columns it covers). A field that
  // holds the delimiter, a quote, a CR or an LF is written in double quotes
  // with its quotes doubled, so that quoted import reads it back, and so is
  // a first field that starts like a byte-order mark; every other field is
  // written as it is. A table with a NUL in a text is refused before the
  // file is touched: no reading could bring the rest back.
  void ExportText(const std::string& fileName, char delimiter) const;
  // Native file format.
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;

  TOwnedList<TColumn> Columns;
  TOwnedList<TRow> Rows;

  int AnchorCol = -1;
  int AnchorRow = -1;
  std::string Extra1;
  std::string Extra2;
  std::string Extra3;
  int CellPadding = 4;
  std::string FontName = "Times New Roman";
  int FontSize = 11;
  std::string Environment = "tabular";
  std::string EnvOptions;
  TTableStyle Style;
  std::string FileName;
  std::string Title;
  bool HasFocus = false;
  TCell* CurrentCell = nullptr;
  bool ShowGrid = true;
  int Margin = 8;
  int PixelWidth = 0;
  int PixelHeight = 0;
  float ContentWidth = 0;
  float ContentHeight = 0;
  TSelectionMode SelectionMode = smNone;
  // Font the cells' cached extents were measured with.
  std::string ExtentFontName;
  int ExtentFontSize = 0;

  // Notes that the text of cell, one of this table's, changed.
  void NoteTextChange(TCell* cell);

 private:
  void MeasureAll(TCanvas& canvas);
  void MeasureChanged(TCanvas& canvas);
  void MeasureSimpleColumns(TCanvas& canvas, const std::vector<int>& cols);
  void MeasureJoinedColumns(TCanvas& canvas, const std::vector<int>& cols);

  // FSelection is the selection while FSelectionShape, FSelectionEpoch and
  // FSelectionSpans are the current counts.
  bool SelectionKept() const;
  void KeepSelection();
  void ReadSelectionAnew(const std::vector<int>* within = nullptr);
  TSelection FSelection;
  uint64_t FSelectionShape = 0;
  uint64_t FSelectionEpoch = 0;
  uint64_t FSelectionSpans = 0;
  bool FSelectionValid = false;
  bool FSelectionGrown = false;

  // What the last Measure laid out: the shape epoch it saw, whether every
  // row then held one cell per column (no joined cells), padding and font.
  // Texts changed since then are noted in FChanged, up to a limit beyond
  // which everything is measured again (FChangedOverflow).
  bool FLayoutValid = false;
  bool FLayoutSimple = false;
  uint64_t FLayoutEpoch = 0;
  int FLayoutPadding = 0;
  std::string FLayoutFontName;
  int FLayoutFontSize = 0;
  // The column formats the last Measure saw, as a hash: a paragraph
  // column's width changes the layout.
  uint64_t FLayoutFormatsKey = 0;
  // The span count the last Measure saw: a block made or split in place
  // reshapes the rows without touching a list.
  uint64_t FLayoutSpans = 0;
  // The blocks the last Measure found, as their first and last row, so
  // that a block's own cell is laid out again when its last row moves.
  std::vector<std::pair<int, int>> FBlockRows;
  std::vector<TCell*> FChanged;
  bool FChangedOverflow = false;
  // Where the last Measure found cells joined across columns in an
  // otherwise plain table (FLayoutJoinable): the width each column's single
  // cells need before the joined cells share out their excess, the joined
  // cells in the order they share it out, and per row its joined cells'
  // columns and spans, left to right, to find the cell at a column without
  // walking the row. Empty for a simple layout.
  struct TJoinedCell {
    int Span;
    int Col;
    const TCell* Cell;
  };
  bool FLayoutJoinable = false;
  std::vector<float> FSingleWidths;
  std::vector<TJoinedCell> FJoined;
  std::vector<std::vector<std::pair<int, int>>> FRowJoined;
  // The index in row r of the cell covering column col; start, if given,
  // receives that cell's first column.
  int IndexAtColumn(int r, int col, int* start = nullptr) const;
  void ShareOutJoined(std::vector<float>& widths) const;

  // The cells' rectangles are laid out lazily. A row's are current when it
  // carries FCellRectsStamp, which changes with anything they derive from
  // but the row's own band: the cells' widths (Measure), the lists (the
  // shape epoch) and the margin. A row whose band moved is marked stale by
  // Paint.
  void NewCellRectsStamp();
  // index: row's position in the table, or -1 to look it up when needed.
  void UpdateCellRects(const TRow& row, int index) const;
  uint64_t FCellRectsStamp = 0;
  uint64_t FCellRectsEpoch = 0;
  int FCellRectsMargin = 0;
  // The bottom edge of the last row's band.
  int FBandsBottom = 0;
};
