// The native .qtor format: a table container holding the columns, the rows
// with their cells, and the table's texts. Writers put down only what differs
// from a fresh object; readers accept the chunks of a container in any order.
#include "model/TableFile.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "model/AtomicFile.h"
#include "model/ChunkTags.h"
#include "model/StreamIO.h"

using namespace ChunkTags;

namespace {

[[noreturn]] void ReadError() { throw EQuiltorError("Stream read error"); }

// A count in the file promises that many containers; each takes at least
// kMinContainerSize bytes, so a damaged count never reserves more than the
// stream could possibly hold.
int BoundedReservation(const TStream& stream, int have, uint32_t count) {
  const int64_t possible = stream.Remaining() / kMinContainerSize;
  return static_cast<int>(std::min<int64_t>(have + static_cast<int64_t>(count), have + possible));
}

// Fails exactly where ReadChunkString fails, without keeping the bytes.
void SkipChunkString(TStream& stream, uint32_t tag) {
  const uint32_t count = ReadChunkValue(stream, tag);
  if (static_cast<int64_t>(count) > stream.Remaining()) ReadError();
  stream.Seek(stream.Position() + count);
}

template <bool Build>
void TakeString(TStream& stream, uint32_t tag, std::string* text) {
  if constexpr (Build) *text = ReadChunkString(stream, tag);
  else SkipChunkString(stream, tag);
}

// A table is read twice: a checking pass that builds nothing, then, only if
// the whole file is sound, the building pass into the target. So a damaged
// file leaves the target exactly as it was, without the time and memory of
// a scratch copy. Both passes run the same walkers below and so agree on
// what a sound file is.
//
// The checking pass also enforces what the format cannot express but the
// rest of the program relies on: every row covers exactly the table's
// columns, with cells of span 1 or more.
class TSpanCheck {
 public:
  int64_t Columns = 0;
  // A cell says it is a block's top: the blocks must be checked too.
  bool Blocks = false;

  void BeginRow() {
    FCovered.push_back(0);
    FCells = 0;
  }
  void AddCell(int span) {
    ++FCells;
    if (span < 1 && FFirstBadSpan.empty())
      FFirstBadSpan =
          FormatStr("Invalid table: cell %d of row %zu spans %d columns", FCells, FCovered.size(), span);
    FCovered.back() += span;
  }
  void Raise() const {
    if (!FFirstBadSpan.empty()) throw EQuiltorError(FFirstBadSpan);
    for (size_t r = 0; r < FCovered.size(); ++r)
      if (FCovered[r] != Columns)
        throw EQuiltorError(FormatStr("Invalid table: row %zu covers %lld columns, the table has %lld", r + 1,
                                      static_cast<long long>(FCovered[r]), static_cast<long long>(Columns)));
  }

 private:
  std::vector<int64_t> FCovered;  // per row, in file order
  int FCells = 0;
  std::string FFirstBadSpan;      // the message for the first cell with a span below 1
};

// Returns the cell's span; notes a row span in check.
template <bool Build>
int WalkCell(TStream& stream, TCell* cell, TSpanCheck* check = nullptr) {
  int span = 1;
  TBlockArgs args;
  if constexpr (Build) {
    cell->RuleLeft = cell->RuleTop = cell->RuleRight = cell->RuleBottom = 0;
    cell->SetText(std::string());
    cell->Selected = false;
    cell->Align = 0;
    cell->MakePlain();
  }
  const int64_t end = OpenChunk(stream, ctCell);
  for (uint32_t tag; (tag = PeekChunkId(stream)) != kEndMark;) {
    switch (tag) {
      case ctSpan: span = static_cast<int>(ReadChunkValue(stream, ctSpan)); break;
      case ctRules: {
        uint8_t rules[kRulesSize];
        ReadChunkData(stream, ctRules, rules, kRulesSize);
        if constexpr (Build) {
          cell->RuleLeft = rules[0];
          cell->RuleTop = rules[1];
          cell->RuleRight = rules[2];
          cell->RuleBottom = rules[3];
        }
        break;
      }
      case ctText:
        if constexpr (Build) cell->SetText(ReadChunkString(stream, ctText));
        else SkipChunkString(stream, ctText);
        break;
      case ctAlign: {
        const uint32_t align = ReadChunkValue(stream, ctAlign);
        if constexpr (Build) cell->Align = static_cast<char>(align & 0xFF);
        break;
      }
      case ctRowSpan: {
        const int rows = static_cast<int>(ReadChunkValue(stream, ctRowSpan));
        if constexpr (Build) cell->RowSpan = rows;
        else check->Blocks = true;
        break;
      }
      case ctBlockVPos: TakeString<Build>(stream, tag, &args.VPos); break;
      case ctBlockStruts: TakeString<Build>(stream, tag, &args.BigStruts); break;
      case ctBlockWidth: TakeString<Build>(stream, tag, &args.Width); break;
      case ctBlockVMove: TakeString<Build>(stream, tag, &args.VMove); break;
      default: ReadError();
    }
  }
  CloseChunk(stream, end);
  if constexpr (Build) {
    cell->Span = span;
    cell->SetBlockArgs(args);
  }
  return span;
}

// The cells each block covers in the rows below it are written as plain
// cells: they become its covered cells here. Whatever does not fit - a
// block over the table's edge, covered cells of another width or with
// content, blocks overlapping - is left for TableDefect to name.
void LinkBlocks(TTable& table) {
  for (int i = 0; i < table.RowCount(); ++i) {
    int col = 0;
    for (const TCell* c : *table.Rows[i]) {
      for (int k = 1; k < c->RowSpan && i + k < table.RowCount(); ++k) {
        TCell* d = table.GetCell(i + k, col);
        if (!d || d->ColIndex() != col || d->Span != c->Span || d->RowSpan != 1 || d->Covered()) break;
        d->RowsToTop = k;
      }
      col += c->Span;
    }
  }
}

template <bool Build>
void WalkRow(TStream& stream, TRow* row, TSpanCheck* check) {
  if constexpr (Build) {
    row->Clear();
    row->Prefix.clear();
    row->Postfix.clear();
  }
  if constexpr (!Build) check->BeginRow();
  const int64_t end = OpenChunk(stream, ctRow);
  for (uint32_t tag; (tag = PeekChunkId(stream)) != kEndMark;) {
    switch (tag) {
      case ctCellCount: {
        const uint32_t n = ReadChunkValue(stream, ctCellCount);
        if constexpr (Build) {
          row->Reserve(BoundedReservation(stream, row->Count(), n));
          for (uint32_t i = 0; i < n; ++i) WalkCell<true>(stream, new TCell(*row));
        } else {
          for (uint32_t i = 0; i < n; ++i) check->AddCell(WalkCell<false>(stream, nullptr, check));
        }
        break;
      }
      case ctPrefix: TakeString<Build>(stream, ctPrefix, Build ? &row->Prefix : nullptr); break;
      case ctPostfix: TakeString<Build>(stream, ctPostfix, Build ? &row->Postfix : nullptr); break;
      default: ReadError();
    }
  }
  CloseChunk(stream, end);
}

template <bool Build>
void WalkColumn(TStream& stream, TColumn* column) {
  if constexpr (Build) column->Format.assign(1, 'l');  // (assigning "l" trips a false g++ 12 warning)
  const int64_t end = OpenChunk(stream, ctColumn);
  for (uint32_t tag; (tag = PeekChunkId(stream)) != kEndMark;) {
    if (tag != ctColFormat) ReadError();
    TakeString<Build>(stream, ctColFormat, Build ? &column->Format : nullptr);
  }
  CloseChunk(stream, end);
}

// A flag is a value chunk holding 1; any other value is damage.
bool ReadFlag(TStream& stream, uint32_t tag) {
  if (ReadChunkValue(stream, tag) != 1) ReadError();
  return true;
}

template <bool Build>
void WalkFloat(TStream& stream, TTableFloat* f) {
  const int64_t end = OpenChunk(stream, ctFloat);
  for (uint32_t tag; (tag = PeekChunkId(stream)) != kEndMark;) {
    switch (tag) {
      case ctPlacement: TakeString<Build>(stream, tag, Build ? &f->Placement : nullptr); break;
      case ctCaption: TakeString<Build>(stream, tag, Build ? &f->Caption : nullptr); break;
      case ctLabel: TakeString<Build>(stream, tag, Build ? &f->Label : nullptr); break;
      case ctTextBefore: TakeString<Build>(stream, tag, Build ? &f->TextBefore : nullptr); break;
      case ctTextAfter: TakeString<Build>(stream, tag, Build ? &f->TextAfter : nullptr); break;
      case ctCentering: {
        const bool on = ReadFlag(stream, tag);
        if constexpr (Build) f->Centering = on;
        break;
      }
      case ctCaptionBelow: {
        const bool on = ReadFlag(stream, tag);
        if constexpr (Build) f->CaptionBelow = on;
        break;
      }
      case ctWide: {
        const bool on = ReadFlag(stream, tag);
        if constexpr (Build) f->Wide = on;
        break;
      }
      default: ReadError();
    }
  }
  CloseChunk(stream, end);
}

template <bool Build>
void WalkTable(TStream& stream, TTable* table, TSpanCheck* check) {
  if constexpr (Build) table->Clear();
  const int64_t end = OpenChunk(stream, ctTable);
  for (uint32_t tag; (tag = PeekChunkId(stream)) != kEndMark;) {
    switch (tag) {
      case ctVersion:
      {
        const uint32_t version = ReadChunkValue(stream, ctVersion);
        if (version < kFormatVersion1 || version > kFormatVersion) throw EQuiltorError("Invalid version");
        break;
      }
      case ctColCount: {
        const uint32_t n = ReadChunkValue(stream, ctColCount);
        if constexpr (Build) {
          table->Columns.Reserve(BoundedReservation(stream, table->ColCount(), n));
          for (uint32_t i = 0; i < n; ++i) (new TColumn(*table))->LoadFromStream(stream);
        } else {
          for (uint32_t i = 0; i < n; ++i) WalkColumn<false>(stream, nullptr);
          check->Columns += n;
        }
        break;
      }
      case ctRowCount: {
        const uint32_t n = ReadChunkValue(stream, ctRowCount);
        if constexpr (Build) {
          table->Rows.Reserve(BoundedReservation(stream, table->RowCount(), n));
          for (uint32_t i = 0; i < n; ++i) (new TRow(*table))->LoadFromStream(stream);
        } else {
          for (uint32_t i = 0; i < n; ++i) WalkRow<false>(stream, nullptr, check);
        }
        break;
      }
      case ctExtra1: TakeString<Build>(stream, ctExtra1, Build ? &table->Extra1 : nullptr); break;
      case ctExtra2: TakeString<Build>(stream, ctExtra2, Build ? &table->Extra2 : nullptr); break;
      case ctExtra3: TakeString<Build>(stream, ctExtra3, Build ? &table->Extra3 : nullptr); break;
      case ctEnvironment: TakeString<Build>(stream, ctEnvironment, Build ? &table->Environment : nullptr); break;
      case ctEnvOptions: TakeString<Build>(stream, ctEnvOptions, Build ? &table->EnvOptions : nullptr); break;
      case ctRuleStyle:
        if (ReadChunkValue(stream, ctRuleStyle) != rsBooktabs) ReadError();
        if constexpr (Build) table->Style.Rules = rsBooktabs;
        break;
      case ctFloat: WalkFloat<Build>(stream, Build ? &table->Style.Float : nullptr); break;
      default: throw EQuiltorError("Invalid stream read");
    }
  }
  CloseChunk(stream, end);
}

void WriteStringIfAny(TStream& stream, uint32_t tag, const std::string& text) {
  if (!text.empty()) WriteChunkString(stream, tag, text);
}

void WriteFlagIfSet(TStream& stream, uint32_t tag, bool on) {
  if (on) WriteChunkValue(stream, tag, 1);
}

void WriteFloat(TStream& stream, const TTableFloat& f) {
  const int64_t start = BeginChunk(stream, ctFloat);
  WriteStringIfAny(stream, ctPlacement, f.Placement);
  WriteFlagIfSet(stream, ctCentering, f.Centering);
  WriteStringIfAny(stream, ctCaption, f.Caption);
  WriteStringIfAny(stream, ctLabel, f.Label);
  WriteFlagIfSet(stream, ctCaptionBelow, f.CaptionBelow);
  WriteFlagIfSet(stream, ctWide, f.Wide);
  WriteStringIfAny(stream, ctTextBefore, f.TextBefore);
  WriteStringIfAny(stream, ctTextAfter, f.TextAfter);
  EndChunk(stream, ctFloat, start);
}

}  // namespace

uint32_t RequiredVersion(const TTableStyle& style, bool hasBlocks) {
  return style == TTableStyle() && !hasBlocks ? kFormatVersion1 : kFormatVersion;
}

void WriteBlockChunks(TStream& stream, int rowSpan, const TBlockArgs& args) {
  if (rowSpan > 1) WriteChunkValue(stream, ctRowSpan, static_cast<uint32_t>(rowSpan));
  static const TBlockArgs defaults;
  WriteStringIfAny(stream, ctBlockVPos, args.VPos);
  WriteStringIfAny(stream, ctBlockStruts, args.BigStruts);
  if (args.Width != defaults.Width) WriteChunkString(stream, ctBlockWidth, args.Width);
  WriteStringIfAny(stream, ctBlockVMove, args.VMove);
}

void WriteStyleChunks(TStream& stream, const TTableStyle& style) {
  if (style.Rules != rsClassic) WriteChunkValue(stream, ctRuleStyle, style.Rules);
  if (style.Float.Active()) WriteFloat(stream, style.Float);
}

// ---------------------------------------------------------------- TCell

void TCell::SaveToStream(TStream& stream) const {
  const int64_t start = BeginChunk(stream, ctCell);
  if (Span > 1) WriteChunkValue(stream, ctSpan, static_cast<uint32_t>(Span));
  if (RuleLeft || RuleTop || RuleRight || RuleBottom) {
    const uint8_t rules[kRulesSize] = {RuleLeft, RuleTop, RuleRight, RuleBottom};
    WriteChunkData(stream, ctRules, rules, kRulesSize);
  }
  WriteStringIfAny(stream, ctText, FText);
  if (Align != 0) WriteChunkValue(stream, ctAlign, static_cast<uint8_t>(Align));
  if (RowSpan > 1 || HasBlockArgs()) WriteBlockChunks(stream, RowSpan, BlockArgs());
  EndChunk(stream, ctCell, start);
}

void TCell::LoadFromStream(TStream& stream) { WalkCell<true>(stream, this); }

// ---------------------------------------------------------------- TRow

void TRow::SaveToStream(TStream& stream) const {
  const int64_t start = BeginChunk(stream, ctRow);
  WriteChunkValue(stream, ctCellCount, static_cast<uint32_t>(Count()));
  for (const TCell* cell : *this) cell->SaveToStream(stream);
  WriteStringIfAny(stream, ctPrefix, Prefix);
  WriteStringIfAny(stream, ctPostfix, Postfix);
  EndChunk(stream, ctRow, start);
}

void TRow::LoadFromStream(TStream& stream) { WalkRow<true>(stream, this, nullptr); }

// ---------------------------------------------------------------- TColumn

void TColumn::SaveToStream(TStream& stream) const {
  const int64_t start = BeginChunk(stream, ctColumn);
  WriteChunkString(stream, ctColFormat, Format);
  EndChunk(stream, ctColumn, start);
}

void TColumn::LoadFromStream(TStream& stream) { WalkColumn<true>(stream, this); }

// ---------------------------------------------------------------- TTable

void TTable::SaveToStream(TStream& stream) const {
  const int64_t start = BeginChunk(stream, ctTable);
  bool blocks = false;
  for (const TRow* row : Rows)
    for (const TCell* cell : *row) blocks = blocks || cell->RowSpan > 1 || cell->HasBlockArgs();
  WriteChunkValue(stream, ctVersion, RequiredVersion(Style, blocks));
  WriteChunkValue(stream, ctColCount, static_cast<uint32_t>(ColCount()));
  for (const TColumn* column : Columns) column->SaveToStream(stream);
  WriteChunkValue(stream, ctRowCount, static_cast<uint32_t>(RowCount()));
  for (const TRow* row : Rows) row->SaveToStream(stream);
  WriteStringIfAny(stream, ctExtra1, Extra1);
  WriteStringIfAny(stream, ctExtra2, Extra2);
  WriteStringIfAny(stream, ctExtra3, Extra3);
  WriteStringIfAny(stream, ctEnvironment, Environment);
  WriteStringIfAny(stream, ctEnvOptions, EnvOptions);
  WriteStyleChunks(stream, Style);
  EndChunk(stream, ctTable, start);
}

void TTable::LoadFromStream(TStream& stream) {
  const int64_t start = stream.Position();
  TSpanCheck check;
  WalkTable<false>(stream, nullptr, &check);
  check.Raise();
  stream.Seek(start);
  if (check.Blocks) {
    // Blocks are checked on the table they make, so it is made aside and
    // taken only when it is sound.
    TTable made;
    WalkTable<true>(stream, &made, nullptr);
    LinkBlocks(made);
    const std::string defect = TableDefect(made);
    if (!defect.empty()) throw EQuiltorError("Invalid table: " + defect);
    CurrentCell = nullptr;
    TakeContent(made);
    return;
  }
  // The old cells are about to go; a current cell would dangle.
  CurrentCell = nullptr;
  try {
    WalkTable<true>(stream, this, nullptr);
    // A file changed by someone else between the two passes could still
    // break the span rule; checking the result costs one walk over the cells.
    TSpanCheck built;
    built.Columns = ColCount();
    for (const TRow* row : Rows) {
      built.BeginRow();
      for (const TCell* cell : *row) built.AddCell(cell->Span);
    }
    built.Raise();
  } catch (...) {
    // Only a failing device, memory or a file changed meanwhile can get here
    // after the check: leave a whole (empty) table rather than a half-read one.
    Clear();
    throw;
  }
}

// ---------------------------------------------------------------- files

void LoadTableFile(TTable& table, const std::string& fileName) {
  TFileStream stream(fileName, TFileStream::fmOpenRead);
  table.LoadFromStream(stream);
}

namespace {

// The file being put together in memory. It refuses to grow beyond what the
// format can describe, so a table too large for it costs no more memory than
// the largest file would. The room for the largest file is taken at once:
// pages that are never written cost nothing, and the bytes are never copied
// to a larger block as they would be in a growing string.
class TFileImage : public TStream {
 public:
  TFileImage() : FBytes(new char[kMaxFileSize]) {}

  size_t Read(void* buffer, size_t count) override {
    if (FPos >= FSize) return 0;
    const size_t n = std::min(count, static_cast<size_t>(FSize - FPos));
    std::memcpy(buffer, FBytes.get() + FPos, n);
    FPos += static_cast<int64_t>(n);
    return n;
  }
  void Write(const void* buffer, size_t count) override {
    const int64_t end = FPos + static_cast<int64_t>(count);
    if (end > kMaxFileSize) throw EChunkOverflow();
    std::memcpy(FBytes.get() + FPos, buffer, count);
    // Seeking beyond the end and writing leaves zeros in the gap.
    if (FPos > FSize) std::memset(FBytes.get() + FSize, 0, static_cast<size_t>(FPos - FSize));
    FPos = end;
    FSize = std::max(FSize, end);
  }
  int64_t Size() const override { return FSize; }

  const char* Data() const { return FBytes.get(); }

 private:
  std::unique_ptr<char[]> FBytes;
  int64_t FSize = 0;
};

}  // namespace

void SaveTableFile(const TTable& table, const std::string& fileName) {
  // The whole file is made in memory before the disk is touched: a table the
  // format cannot hold is refused with nothing written, and a file that is
  // written in place (several hard links) is never left half old, half new.
  TFileImage image;
  try {
    table.SaveToStream(image);
  } catch (const EChunkOverflow&) {
    throw EQuiltorError(FormatStr("Cannot save %s: a Quiltor data file holds at most 16 MiB of table data; "
                                  "save the table as CSV instead",
                                  fileName.c_str()));
  }
  TAtomicFile file(fileName);
  file.Stream().Write(image.Data(), static_cast<size_t>(image.Size()));
  file.Commit();
}
