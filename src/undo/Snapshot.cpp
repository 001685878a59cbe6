#include "undo/Snapshot.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string_view>
#include <unordered_map>

#include "model/Tables.h"

namespace Snapshots {

namespace {

uint64_t HashBytes(const void* data, size_t size) {
  return std::hash<std::string_view>{}(std::string_view(static_cast<const char*>(data), size));
}

uint64_t Mix(uint64_t h, uint64_t v) { return h ^ (v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2)); }

uint32_t CheckedEnd(size_t size) {
  // Offsets are 32 bits to keep the records small; a row holding 4 GB of
  // text cannot be pictured.
  if (size > std::numeric_limits<uint32_t>::max()) throw std::length_error("row text too long");
  return static_cast<uint32_t>(size);
}

bool SameText(const std::string& text, const std::string& buffer, uint32_t start, uint32_t end) {
  const size_t n = end - start;
  return text.size() == n && (n == 0 || std::memcmp(text.data(), buffer.data() + start, n) == 0);
}

}  // namespace

// ---------------------------------------------------------------- TRowImage

TRowImage::TRowImage(const TRow& row) : FSelected(row.Selected), FAnySelected(row.Selected) {
  size_t bytes = row.Prefix.size() + row.Postfix.size();
  for (const TCell* c : row) bytes += c->Text().size();
  FTexts.reserve(bytes);
  FCells.reserve(static_cast<size_t>(row.Count()));
  for (const TCell* c : row) {
    FTexts += c->Text();
    TCellRecord r{};
    r.TextEnd = CheckedEnd(FTexts.size());
    r.Span = c->Span;
    r.RowSpan = c->RowSpan;
    r.RowsToTop = c->RowsToTop;
    r.Align = c->Align;
    if (c->HasBlockArgs()) {
      r.HasArgs = 1;
      FArgs.push_back(c->BlockArgs());
    }
    r.Selected = c->Selected ? 1 : 0;
    FAnySelected = FAnySelected || c->Selected;
    r.RuleLeft = c->RuleLeft;
    r.RuleTop = c->RuleTop;
    r.RuleRight = c->RuleRight;
    r.RuleBottom = c->RuleBottom;
    FCells.push_back(r);
  }
  FTexts += row.Prefix;
  FPrefixEnd = CheckedEnd(FTexts.size());
  FTexts += row.Postfix;
  CheckedEnd(FTexts.size());

  uint64_t h = HashBytes(FTexts.data(), FTexts.size());
  h = Mix(h, HashBytes(FCells.data(), FCells.size() * sizeof(TCellRecord)));
  h = Mix(h, FPrefixEnd);
  for (const TBlockArgs& a : FArgs)
    for (const std::string* part : {&a.VPos, &a.BigStruts, &a.Width, &a.VMove})
      h = Mix(h, HashBytes(part->data(), part->size()));
  FHash = Mix(h, FSelected);
}

bool TRowImage::Matches(const TRow& row) const {
  if (row.Selected != FSelected || static_cast<size_t>(row.Count()) != FCells.size()) return false;
  uint32_t start = 0;
  size_t i = 0;
  size_t args = 0;
  for (const TCell* c : row) {
    const TCellRecord& r = FCells[i++];
    if (c->Span != r.Span || c->RowSpan != r.RowSpan || c->RowsToTop != r.RowsToTop || c->Align != r.Align ||
        c->Selected != (r.Selected != 0) || c->RuleLeft != r.RuleLeft || c->RuleTop != r.RuleTop ||
        c->RuleRight != r.RuleRight || c->RuleBottom != r.RuleBottom)
      return false;
    if (c->HasBlockArgs() != (r.HasArgs != 0) || (r.HasArgs && c->BlockArgs() != FArgs[args++])) return false;
    if (!SameText(c->Text(), FTexts, start, r.TextEnd)) return false;
    start = r.TextEnd;
  }
  return SameText(row.Prefix, FTexts, start, FPrefixEnd) &&
         SameText(row.Postfix, FTexts, FPrefixEnd, static_cast<uint32_t>(FTexts.size()));
}

bool TRowImage::SameAffixes(const TRow& row) const {
  const uint32_t start = FCells.empty() ? 0 : FCells.back().TextEnd;
  return SameText(row.Prefix, FTexts, start, FPrefixEnd) &&
         SameText(row.Postfix, FTexts, FPrefixEnd, static_cast<uint32_t>(FTexts.size()));
}

bool TRowImage::operator==(const TRowImage& other) const {
  return FHash == other.FHash && FSelected == other.FSelected && FPrefixEnd == other.FPrefixEnd &&
         FCells.size() == other.FCells.size() && FTexts == other.FTexts && FArgs == other.FArgs &&
         (FCells.empty() || std::memcmp(FCells.data(), other.FCells.data(), FCells.size() * sizeof(TCellRecord)) == 0);
}

std::string TRowImage::CellText(int i) const {
  const uint32_t start = i > 0 ? Cell(i - 1).TextEnd : 0;
  return FTexts.substr(start, Cell(i).TextEnd - start);
}

std::string TRowImage::Prefix() const {
  const uint32_t start = FCells.empty() ? 0 : FCells.back().TextEnd;
  return FTexts.substr(start, FPrefixEnd - start);
}

std::string TRowImage::Postfix() const { return FTexts.substr(FPrefixEnd); }

void TRowImage::Restore(TTable& table) const {
  // The same steps as TRow::Assign on a new row, so that a restored row is
  // indistinguishable from a copied one.
  TRow* row = new TRow(table);
  row->Reserve(CellCount());
  row->Selected = FSelected;
  uint32_t start = 0;
  size_t args = 0;
  for (const TCellRecord& r : FCells) {
    TCell* c = new TCell(*row);
    c->SetText(std::string(FTexts.data() + start, r.TextEnd - start));
    c->RowSpan = r.RowSpan;
    c->RowsToTop = r.RowsToTop;
    if (r.HasArgs) c->SetBlockArgs(FArgs[args++]);
    c->Selected = r.Selected != 0;
    c->RuleLeft = r.RuleLeft;
    c->RuleTop = r.RuleTop;
    c->RuleRight = r.RuleRight;
    c->RuleBottom = r.RuleBottom;
    c->Span = r.Span;
    c->Align = r.Align;
    start = r.TextEnd;
  }
  row->Prefix.assign(FTexts.data() + start, FPrefixEnd - start);
  row->Postfix.assign(FTexts.data() + FPrefixEnd, FTexts.size() - FPrefixEnd);
}

bool TRowImage::SameSpans(const TRow& row) const {
  if (static_cast<size_t>(row.Count()) != FCells.size()) return false;
  size_t i = 0;
  for (const TCell* c : row) {
    const TCellRecord& r = FCells[i++];
    if (c->Span != r.Span || c->RowSpan != r.RowSpan || c->RowsToTop != r.RowsToTop) return false;
  }
  return true;
}

void TRowImage::RestoreInPlace(TRow& row) const {
  row.Selected = FSelected;
  uint32_t start = 0;
  size_t i = 0;
  size_t args = 0;
  for (TCell* c : row) {
    const TCellRecord& r = FCells[i++];
    if (!SameText(c->Text(), FTexts, start, r.TextEnd)) c->SetText(std::string(FTexts.data() + start, r.TextEnd - start));
    if (r.HasArgs) c->SetBlockArgs(FArgs[args++]);
    else if (c->HasBlockArgs()) c->SetBlockArgs(TBlockArgs());
    c->Selected = r.Selected != 0;
    c->RuleLeft = r.RuleLeft;
    c->RuleTop = r.RuleTop;
    c->RuleRight = r.RuleRight;
    c->RuleBottom = r.RuleBottom;
    c->Align = r.Align;
    start = r.TextEnd;
  }
  if (!SameAffixes(row)) {
    row.Prefix.assign(FTexts.data() + start, FPrefixEnd - start);
    row.Postfix.assign(FTexts.data() + FPrefixEnd, FTexts.size() - FPrefixEnd);
  }
}

// ---------------------------------------------------------------- columns and texts

bool TColumnsImage::Matches(const TTable& table) const {
  if (static_cast<size_t>(table.ColCount()) != Selected.size()) return false;
  uint32_t start = 0;
  for (size_t i = 0; i < Selected.size(); ++i) {
    const TColumn* c = table.Columns[static_cast<int>(i)];
    if (c->Selected != (Selected[i] != 0) || !SameText(c->Format, Formats, start, FormatEnds[i])) return false;
    start = FormatEnds[i];
  }
  return true;
}

namespace {

std::shared_ptr<const TColumnsImage> PictureColumns(const TTable& table) {
  auto image = std::make_shared<TColumnsImage>();
  image->FormatEnds.reserve(static_cast<size_t>(table.ColCount()));
  image->Selected.reserve(static_cast<size_t>(table.ColCount()));
  for (const TColumn* c : table.Columns) {
    image->Formats += c->Format;
    image->FormatEnds.push_back(CheckedEnd(image->Formats.size()));
    image->Selected.push_back(c->Selected ? 1 : 0);
  }
  return image;
}

// Finds, for each live row, an equal row image to share: first the base
// picture's row at the position where the previous row was found (so rows
// that moved together after an insertion or deletion keep matching), then any
// equal row of the base picture by hash, then an equal row already made for
// this picture (a new table's blank rows share one image).
class TRowMatcher {
 public:
  // base: the blocks of the picture the table was last captured in, or none.
  TRowMatcher(const std::vector<TRowBlockPtr>* base, int baseRows) : FBase(base), FBaseRows(baseRows) {}

  TRowImagePtr Find(const TRow& row, int index) {
    const int j = index + FOffset;
    if (FBase && j >= 0 && j < FBaseRows) {
      const TRowImagePtr& image = BaseRow(j);
      if (image->Matches(row)) return image;
    }
    auto image = std::make_shared<const TRowImage>(row);
    if (FBase) {
      if (!FIndexed) Index();
      auto it = FBaseByHash.find(image->Hash());
      if (it != FBaseByHash.end()) {
        const TRowImagePtr& found = BaseRow(it->second);
        if (*found == *image) {
          FOffset = it->second - index;
          return found;
        }
      }
    }
    std::vector<TRowImagePtr>& same = FFresh[image->Hash()];
    for (const TRowImagePtr& p : same)
      if (*p == *image) return p;
    same.push_back(image);
    return image;
  }

 private:
  const TRowImagePtr& BaseRow(int i) const {
    return (*FBase)[static_cast<size_t>(i / kRowsPerBlock)]->Rows[static_cast<size_t>(i % kRowsPerBlock)];
  }

  // Built only when a row is not where it was: most steps never need it.
  void Index() {
    FIndexed = true;
    FBaseByHash.reserve(static_cast<size_t>(FBaseRows));
    for (int i = 0; i < FBaseRows; ++i) FBaseByHash.emplace(BaseRow(i)->Hash(), i);
  }

  const std::vector<TRowBlockPtr>* FBase;
  int FBaseRows;
  int FOffset = 0;
  bool FIndexed = false;
  std::unordered_map<uint64_t, int> FBaseByHash;
  std::unordered_map<uint64_t, std::vector<TRowImagePtr>> FFresh;
};

}  // namespace

bool TTableTexts::Matches(const TTable& table) const {
  return Environment == table.Environment && EnvOptions == table.EnvOptions && Extra1 == table.Extra1 &&
         Extra2 == table.Extra2 && Extra3 == table.Extra3 && Style == table.Style;
}

// ---------------------------------------------------------------- what changed since

namespace {

// The document's table equals a picture right after it was captured from
// it or restored into it. From then on every change of its lists, spans,
// rules or alignments moves a count (gTableShapeEpoch, gCellSpanEpoch,
// gCellFormatEpoch), a text moves its row's TextVersion, and selection
// flags can differ only in rows that the picture or the table's kept
// selection holds selected. While the counts stand still, the rows outside
// those can differ from the picture only in their prefix and postfix, which
// are compared as they are; so the next capture compares only the rows that
// may have changed.
struct TSync {
  const TTable* Table = nullptr;
  std::weak_ptr<const TSnapshot> Picture;
  uint64_t Shape = 0;
  uint64_t Spans = 0;
  uint64_t Format = 0;
  std::vector<uint64_t> TextVersions;
};
TSync gSync;

void NoteSync(const TTable& table, std::weak_ptr<const TSnapshot> picture) {
  gSync.Table = &table;
  gSync.Picture = std::move(picture);
  gSync.Shape = gTableShapeEpoch;
  gSync.Spans = gCellSpanEpoch;
  gSync.Format = gCellFormatEpoch;
  gSync.TextVersions.clear();
  gSync.TextVersions.reserve(static_cast<size_t>(table.RowCount()));
  for (const TRow* row : table.Rows) gSync.TextVersions.push_back(row->TextVersion);
}

// Marks the rows of table that may differ from picture, if table equaled
// picture when last synced; false when that is not known and every row is
// to be compared.
bool MarkChangedRows(const TTable& table, const TSnapshot& picture, const std::vector<int>& pictureSelected,
                     std::vector<char>& marks) {
  if (gSync.Table != &table || gSync.Picture.lock().get() != &picture || gSync.Shape != gTableShapeEpoch ||
      gSync.Spans != gCellSpanEpoch || gSync.Format != gCellFormatEpoch)
    return false;
  const TSelection* selection = table.KeptSelection();
  const int n = table.RowCount();
  if (!selection || n != picture.RowCount() || gSync.TextVersions.size() != static_cast<size_t>(n)) return false;
  marks.assign(static_cast<size_t>(n), 0);
  for (int i : pictureSelected) marks[static_cast<size_t>(i)] = 1;
  for (int i : selection->Rows) marks[static_cast<size_t>(i)] = 1;
  // The kept cells run row by row: one walk down the rows finds them all.
  size_t k = 0;
  int i = 0;
  for (const TRow* row : table.Rows) {
    if (row->TextVersion != gSync.TextVersions[static_cast<size_t>(i)]) marks[static_cast<size_t>(i)] = 1;
    if (k < selection->Cells.size() && selection->Cells[k]->Row() == row) {
      marks[static_cast<size_t>(i)] = 1;
      while (k < selection->Cells.size() && selection->Cells[k]->Row() == row) ++k;
    }
    ++i;
  }
  return k == selection->Cells.size();
}

}  // namespace

// ---------------------------------------------------------------- TSnapshot

TSnapshotPtr TSnapshot::Capture(const TTable& table, const TSnapshot* base) {
  std::shared_ptr<TSnapshot> snap(new TSnapshot());

  if (base && base->FColumns->Matches(table)) snap->FColumns = base->FColumns;
  else snap->FColumns = PictureColumns(table);

  if (base && base->FTexts->Matches(table)) {
    snap->FTexts = base->FTexts;
  } else {
    snap->FTexts = std::make_shared<const TTableTexts>(
        TTableTexts{table.Environment, table.EnvOptions, table.Extra1, table.Extra2, table.Extra3, table.Style});
  }

  const int n = table.RowCount();
  snap->FRowCount = n;
  snap->FBlocks.reserve(static_cast<size_t>((n + kRowsPerBlock - 1) / kRowsPerBlock));
  TRowMatcher matcher(base ? &base->FBlocks : nullptr, base ? base->FRowCount : 0);
  std::vector<char> marks;
  const bool marked = base && MarkChangedRows(table, *base, base->FSelectedRows, marks);
  std::vector<TRowImagePtr> rows;
  for (int i = 0; i < n; ++i) {
    if (rows.empty()) rows.reserve(static_cast<size_t>(std::min(kRowsPerBlock, n - i)));
    const TRow& row = *table.Rows[i];
    const TRowImagePtr* same = nullptr;
    if (marked && !marks[static_cast<size_t>(i)]) {
      const TRowImagePtr& image =
          base->FBlocks[static_cast<size_t>(i / kRowsPerBlock)]->Rows[static_cast<size_t>(i % kRowsPerBlock)];
      if (image->SameAffixes(row)) same = &image;
    }
    rows.push_back(same ? *same : matcher.Find(row, i));
    if (rows.back()->AnySelected()) snap->FSelectedRows.push_back(i);
    if (static_cast<int>(rows.size()) < kRowsPerBlock && i < n - 1) continue;
    // A block whose rows are all the base's rows at the same places is the
    // base's block.
    const size_t b = snap->FBlocks.size();
    if (base && b < base->FBlocks.size() && base->FBlocks[b]->Rows == rows) {
      snap->FBlocks.push_back(base->FBlocks[b]);
      rows.clear();
    } else {
      auto block = std::make_shared<TRowBlock>();
      block->Rows = std::move(rows);
      snap->FBlocks.push_back(std::move(block));
      rows = {};
    }
  }
  NoteSync(table, snap);
  return snap;
}

const TRowImage& TSnapshot::Row(int index) const {
  if (index < 0 || index >= FRowCount) throw EListError(index);
  return *FBlocks[static_cast<size_t>(index / kRowsPerBlock)]->Rows[static_cast<size_t>(index % kRowsPerBlock)];
}

// While table still equals the picture it was last synced with, and has
// this picture's rows and columns with the same spans, only the rows that
// differ between the two pictures, or that may have changed since, are
// given this picture's content, in place: no list changes, so the layout
// and the generated code are redone for those rows only. False, with the
// table untouched, when that cannot be done.
bool TSnapshot::RestoreChangedRows(TTable& table) const {
  const std::shared_ptr<const TSnapshot> from = gSync.Picture.lock();
  if (!from || from->FRowCount != FRowCount || table.ColCount() != ColCount()) return false;
  std::vector<char> marks;
  if (!MarkChangedRows(table, *from, from->FSelectedRows, marks)) return false;
  for (int i : FSelectedRows) marks[static_cast<size_t>(i)] = 1;
  for (size_t b = 0; b < FBlocks.size(); ++b) {
    if (FBlocks[b] == from->FBlocks[b]) continue;
    const std::vector<TRowImagePtr>& mine = FBlocks[b]->Rows;
    const std::vector<TRowImagePtr>& theirs = from->FBlocks[b]->Rows;
    for (size_t k = 0; k < mine.size(); ++k)
      if (mine[k] != theirs[k]) marks[b * kRowsPerBlock + k] = 1;
  }
  for (int i = 0; i < FRowCount; ++i)
    if (marks[static_cast<size_t>(i)] && !Row(i).SameSpans(*table.Rows[i])) return false;

  // Nothing can fail from here on.
  uint32_t start = 0;
  for (size_t i = 0; i < FColumns->Selected.size(); ++i) {
    TColumn* c = table.Columns[static_cast<int>(i)];
    c->Selected = FColumns->Selected[i] != 0;
    if (!SameText(c->Format, FColumns->Formats, start, FColumns->FormatEnds[i]))
      c->Format.assign(FColumns->Formats.data() + start, FColumns->FormatEnds[i] - start);
    start = FColumns->FormatEnds[i];
  }
  int i = 0;
  for (TRow* row : table.Rows) {
    const TRowImage& image = Row(i);
    if (marks[static_cast<size_t>(i)]) {
      image.RestoreInPlace(*row);
    } else if (!image.SameAffixes(*row)) {
      row->Prefix = image.Prefix();
      row->Postfix = image.Postfix();
    }
    ++i;
  }
  // Only the rows this picture holds selected can hold a flag now.
  table.ReadSelectionWithin(FSelectedRows);
  return true;
}

void TSnapshot::RestoreTo(TTable& table) const {
  if (!RestoreChangedRows(table)) RestoreAllRows(table);
  table.Extra1 = FTexts->Extra1;
  table.Extra2 = FTexts->Extra2;
  table.Extra3 = FTexts->Extra3;
  table.Environment = FTexts->Environment;
  table.EnvOptions = FTexts->EnvOptions;
  table.Style = FTexts->Style;
  NoteSync(table, weak_from_this());
}

void TSnapshot::RestoreAllRows(TTable& table) const {
  // Columns are few: rebuilt as Assign does.
  table.Columns.Clear();
  table.Columns.Reserve(ColCount());
  uint32_t start = 0;
  for (size_t i = 0; i < FColumns->Selected.size(); ++i) {
    TColumn* c = new TColumn(table);
    c->Selected = FColumns->Selected[i] != 0;
    c->Format.assign(FColumns->Formats.data() + start, FColumns->FormatEnds[i] - start);
    start = FColumns->FormatEnds[i];
  }

  // Rows: a live row whose content is already what this state holds at that
  // place is kept, with its cells and their cached text extents (still right
  // for their unchanged texts); every other row is built anew from its image
  // and the rest are freed. An undo of a step that changed one cell thus
  // rebuilds one row instead of the table. Live rows can only have shifted
  // towards the difference in row counts (rows inserted or deleted since), so
  // the search never looks the other way, and not at all when the counts agree.
  const int liveCount = table.RowCount();
  std::vector<std::unique_ptr<TRow>> live(static_cast<size_t>(liveCount));
  for (int k = liveCount - 1; k >= 0; --k) live[static_cast<size_t>(k)].reset(table.Rows.Extract(k));
  table.Rows.Reserve(FRowCount);
  const int slack = liveCount - FRowCount;
  const int step = slack > 0 ? 1 : -1;
  const int maxTries = std::min(std::abs(slack), 4);
  int offset = 0;
  int i = 0;
  for (const TRowBlockPtr& block : FBlocks) {
    for (const TRowImagePtr& image : block->Rows) {
      TRow* kept = nullptr;
      for (int t = 0; t <= maxTries && !kept; ++t) {
        const int shifted = offset + t * step;
        if (t > 0 && std::abs(shifted) > std::abs(slack)) break;
        const int j = i + shifted;
        if (j < 0 || j >= liveCount) continue;
        std::unique_ptr<TRow>& candidate = live[static_cast<size_t>(j)];
        if (candidate && image->Matches(*candidate)) {
          kept = candidate.release();
          offset = shifted;
        }
      }
      if (kept) table.Rows.Insert(table.RowCount(), kept);
      else image->Restore(table);
      ++i;
    }
  }
}

}  // namespace Snapshots
