#pragma once
// Golden cases of the LaTeX generator: one folder per case under
// tests/latex/data, holding table.txt (the input table, format described in
// data/README.md) and expected.tex (the generated lines, each ended by "\n").
#include <filesystem>
#include <string>
#include <vector>

// LoadTableFixture and ReadFileBytes.
#include "common/TableFixture.h"

// Names of the case folders, sorted.
std::vector<std::string> GoldenCaseNames();
std::filesystem::path GoldenCaseDir(const std::string& name);
// The case name as a test name (letters, digits and underscores).
std::string GoldenTestName(const std::string& name);

// The lines as a text file: every line followed by "\n".
std::string JoinLines(const std::vector<std::string>& lines);
