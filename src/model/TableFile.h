#pragma once
// Whole-file helpers around TTable::LoadFromStream and SaveToStream.
#include <string>

#include "model/Tables.h"

// Reads a native file. A failure ("Cannot open file %s", a damaged file)
// leaves table as it was.
void LoadTableFile(TTable& table, const std::string& fileName);
// Writes a native file through a temporary file, so that a failure (for
// example "Invalid chunk" for a table too large for the format) leaves any
// existing file as it was.
void SaveTableFile(const TTable& table, const std::string& fileName);
