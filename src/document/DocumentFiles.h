#pragma once
// File names and the reading and writing of a document file by its name. The
// format follows the extension, compared exactly and case-sensitively:
// ".csv" comma separated, ".txt" tab delimited, anything else native.
#include <string>
#include <vector>

#include "model/Tables.h"

// The extension with its dot ("" when the name has none): "a/b.tar.gz" gives ".gz".
std::string ExtractFileExt(const std::string& path);
// The name without its folder.
std::string ExtractFileName(const std::string& path);
// The folder with its trailing separator ("" for a bare name).
std::string ExtractFilePath(const std::string& path);
// The name without folder and extension: the document's title.
std::string FileTitle(const std::string& path);
// True for an existing file (not a folder).
bool FileExists(const std::string& path);

enum class TFileFormat { Native, Csv, Tab };
TFileFormat FormatOfFile(const std::string& path);

// Writes the table to path in the format its extension selects. The old file
// stays intact when the write fails.
void WriteDocumentFile(const TTable& table, const std::string& path);
// Reads a native file into table (a scratch table: on failure it may be left
// half read).
void ReadNativeFile(TTable& table, const std::string& path);
// The first maxLines + 1 lines of a text file (one more than shown, so the
// caller knows whether it cropped); false for a file without any line.
bool ReadTextPreview(const std::string& path, int maxLines, std::vector<std::string>& lines);
