#pragma once
// The text form of a table that golden tests read and write, described in
// tests/latex/data/README.md: one statement per line ("column l", "row",
// "cell span=2 rules=LR | text", "selected-rows 1 2", "current 0 1", ...).
// The reader refuses anything it does not understand; the writer produces
// the one canonical text of a table, so that two tables compare as text and
// a failing test shows a readable diff.
#include <filesystem>
#include <string>
#include <vector>

class TTable;

// Fills an empty table from the text of file. recentFormats receives the
// "recent" entries in order; a file with such entries needs the list.
// Throws std::runtime_error naming the file and line on anything it does not
// understand, and on a row whose spans do not add up to the column count.
void LoadTableFixture(const std::filesystem::path& file, TTable& table,
                      std::vector<std::string>* recentFormats = nullptr);

// The same from the fixture text itself, for cases written in a test.
void LoadTableFixtureText(const std::string& text, TTable& table);

// The canonical text of table. Content is what TTable::Assign copies and an
// undo step restores: environment and options, columns, rows with prefixes,
// postfixes and cells, and the selection flags. The view state (selection
// mode and current cell) and recentFormats follow when asked for.
std::string WriteTableFixture(const TTable& table, bool withViewState = true,
                              const std::vector<std::string>* recentFormats = nullptr);

std::string ReadFileBytes(const std::filesystem::path& file);

// The names of the folders in dir, sorted: one golden case each.
std::vector<std::string> CaseFolderNames(const std::filesystem::path& dir);
// A case name as a test name (letters, digits and underscores).
std::string CaseTestName(const std::string& name);
