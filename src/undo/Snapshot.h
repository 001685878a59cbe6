#pragma once
// An immutable picture of a table's content: exactly what TTable::Assign
// copies (columns, rows with their cells, prefixes and postfixes, the
// selection flags, the environment, its options, the extra texts and the
// table's style).
//
// Consecutive pictures of one table share what did not change. Rows are kept
// as compact row images (one text buffer and one packed record per cell) in
// blocks of a fixed number of rows; a capture compares the live table with the
// picture it follows and reuses every identical row image, block, column list
// and text set. A step that changes one cell therefore costs one row image,
// one block and the block list, not a copy of the table.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/Tables.h"

class TTable;
class TRow;

namespace Snapshots {

// One cell of a row image. The cell's text is the stretch of the row's text
// buffer that ends at TextEnd and starts where the previous cell's ends.
// No padding bytes, so that records compare and hash as plain bytes.
// A block's arguments other than the defaults are kept beside the records,
// in the order of the cells whose HasArgs is set.
struct TCellRecord {
  uint32_t TextEnd;
  int32_t Span;
  int32_t RowSpan;
  int32_t RowsToTop;
  char Align;
  uint8_t Selected;
  uint8_t RuleLeft;
  uint8_t RuleTop;
  uint8_t RuleRight;
  uint8_t RuleBottom;
  uint8_t HasArgs;
  uint8_t Unused;
};
static_assert(sizeof(TCellRecord) == 24, "cell records are packed");

// One row: the cells' texts followed by the prefix and the postfix in one
// buffer, and one record per cell.
class TRowImage {
 public:
  explicit TRowImage(const TRow& row);

  bool Matches(const TRow& row) const;
  bool operator==(const TRowImage& other) const;
  uint64_t Hash() const { return FHash; }

  int CellCount() const { return static_cast<int>(FCells.size()); }
  const TCellRecord& Cell(int i) const { return FCells[static_cast<size_t>(i)]; }
  // The block arguments of the cells whose HasArgs is set, in their order.
  const std::vector<TBlockArgs>& Args() const { return FArgs; }
  std::string CellText(int i) const;
  std::string Prefix() const;
  std::string Postfix() const;
  bool Selected() const { return FSelected; }
  // The row or one of its cells is selected.
  bool AnySelected() const { return FAnySelected; }
  // row's prefix and postfix are this image's.
  bool SameAffixes(const TRow& row) const;

  // Appends a new row holding this image's content to table.
  void Restore(TTable& table) const;
  // Gives row, whose cells have this image's spans and row spans
  // (SameSpans), this image's content without changing its lists: only the
  // texts that differ are set, so that only they are measured again.
  bool SameSpans(const TRow& row) const;
  void RestoreInPlace(TRow& row) const;

 private:
  std::string FTexts;
  std::vector<TCellRecord> FCells;
  std::vector<TBlockArgs> FArgs;
  uint32_t FPrefixEnd = 0;  // the postfix runs from here to the end
  bool FSelected = false;
  bool FAnySelected = false;
  uint64_t FHash = 0;
};

using TRowImagePtr = std::shared_ptr<const TRowImage>;

// Rows kRowsPerBlock at a time, so that a picture's own list is short even for
// a tall table: a step that changes one row replaces one block.
constexpr int kRowsPerBlock = 64;
struct TRowBlock {
  std::vector<TRowImagePtr> Rows;
};
using TRowBlockPtr = std::shared_ptr<const TRowBlock>;

struct TColumnsImage {
  std::string Formats;             // all formats, one after the other
  std::vector<uint32_t> FormatEnds;
  std::vector<uint8_t> Selected;
  bool Matches(const TTable& table) const;
};

struct TTableTexts {
  std::string Environment;
  std::string EnvOptions;
  std::string Extra1;
  std::string Extra2;
  std::string Extra3;
  TTableStyle Style;
  bool Matches(const TTable& table) const;
};

class TSnapshot;
using TSnapshotPtr = std::shared_ptr<const TSnapshot>;

class TSnapshot : public std::enable_shared_from_this<TSnapshot> {
 public:
  // Pictures table. Parts equal to those of base (the picture the table was
  // last captured in, or none) are shared with it rather than copied.
  static TSnapshotPtr Capture(const TTable& table, const TSnapshot* base);

  // Gives table this picture's content: afterwards it holds exactly what
  // table.Assign(original) would give it. Rows whose content already equals
  // the picture's row at that place are kept (objects, cached text extents)
  // instead of rebuilt; all other rows and all columns are new objects. Like
  // Assign it leaves CurrentCell alone, and the caller clears it.
  void RestoreTo(TTable& table) const;

  int RowCount() const { return FRowCount; }
  int ColCount() const { return static_cast<int>(FColumns->Selected.size()); }
  // The image of row index; pictures that share a row return the same object.
  const TRowImage& Row(int index) const;
  const TColumnsImage& Columns() const { return *FColumns; }
  const TTableTexts& Texts() const { return *FTexts; }

 private:
  TSnapshot() = default;
  bool RestoreChangedRows(TTable& table) const;
  void RestoreAllRows(TTable& table) const;
  std::vector<TRowBlockPtr> FBlocks;
  int FRowCount = 0;
  std::vector<int> FSelectedRows;  // rows whose image has a selection flag set, ascending
  std::shared_ptr<const TColumnsImage> FColumns;
  std::shared_ptr<const TTableTexts> FTexts;
};

}  // namespace Snapshots
