#include "document/DocumentFiles.h"

#include <sys/stat.h>

#include "model/StreamIO.h"
#include "model/TableFile.h"
#include "model/TextLines.h"

namespace {

size_t NameStart(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

// Position of the extension's dot within the name part, or npos.
size_t ExtStart(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  return dot == std::string::npos || dot < NameStart(path) ? std::string::npos : dot;
}

}  // namespace

std::string ExtractFileExt(const std::string& path) {
  const size_t dot = ExtStart(path);
  return dot == std::string::npos ? std::string() : path.substr(dot);
}

std::string ExtractFileName(const std::string& path) { return path.substr(NameStart(path)); }

std::string ExtractFilePath(const std::string& path) { return path.substr(0, NameStart(path)); }

std::string FileTitle(const std::string& path) {
  const size_t start = NameStart(path);
  const size_t dot = ExtStart(path);
  return path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
}

bool FileExists(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

TFileFormat FormatOfFile(const std::string& path) {
  const std::string ext = ExtractFileExt(path);
  if (ext == ".csv") return TFileFormat::Csv;
  if (ext == ".txt") return TFileFormat::Tab;
  return TFileFormat::Native;
}

void WriteDocumentFile(const TTable& table, const std::string& path) {
  switch (FormatOfFile(path)) {
    case TFileFormat::Csv:
      table.ExportText(path, ',');
      break;
    case TFileFormat::Tab:
      table.ExportText(path, '\t');
      break;
    case TFileFormat::Native:
      SaveTableFile(table, path);
      break;
  }
}

void ReadNativeFile(TTable& table, const std::string& path) { LoadTableFile(table, path); }

TTextPreview ReadTextPreview(const std::string& path, int maxLines, size_t maxBytes) {
  TTextPreview preview;
  const std::string data = ReadWholeFile(path);
  const std::string_view text = TextLines::UpToNul(data);
  if (text.size() < data.size()) preview.NulAt = static_cast<int64_t>(text.size());
  const std::vector<std::string_view> all = TextLines::SplitLines(text.substr(0, maxBytes));
  const size_t n = std::min(all.size(), static_cast<size_t>(maxLines));
  preview.Lines.assign(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n));
  preview.Cropped = all.size() > n || text.size() > maxBytes;
  return preview;
}
