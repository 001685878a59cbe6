#pragma once
// Whole-file helpers around TTable::LoadFromStream and SaveToStream.
#include <string>

#include "model/Tables.h"

// The lowest format version that holds a table of this style, with or
// without blocks across rows: 1 for the default style and no blocks, so
// that such files stay as they always were.
uint32_t RequiredVersion(const TTableStyle& style, bool hasBlocks);
// The chunks of a cell container that describe a block across rows, each
// only when it differs from its default; they follow the alignment.
void WriteBlockChunks(TStream& stream, int rowSpan, const TBlockArgs& args);
// The style's chunks of the table container, each only when it differs from
// its default; they follow the environment options.
void WriteStyleChunks(TStream& stream, const TTableStyle& style);

// Reads a native file. A failure ("Cannot open file %s: cause", a damaged
// file) leaves table as it was.
void LoadTableFile(TTable& table, const std::string& fileName);
// Writes a native file through TAtomicFile, so that a failure leaves any
// existing file as it was. A table too large for the format (more than
// 16 MiB of file) is refused before anything is written: "Cannot save NAME:
// a Quiltor data file holds at most 16 MiB of table data; save the table as
// CSV instead".
void SaveTableFile(const TTable& table, const std::string& fileName);
