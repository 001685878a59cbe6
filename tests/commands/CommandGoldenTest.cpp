// Golden before/after cases of the table commands, one folder per case under
// tests/commands/data (layout in data/README.md). Each case runs its command
// on the table of before.txt as the window would, compares the table with
// after.txt as text and the caption with the expected one, and then undoes
// the step through a real undo history, which must give back before.txt.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "commands/CommandStates.h"
#include "commands/TableCommands.h"
#include "common/CaseCommand.h"
#include "common/TableFixture.h"
#include "document/SLists.h"
#include "model/Tables.h"
#include "undo/UndoBuffers.h"

namespace fs = std::filesystem;

namespace {

fs::path DataDir() { return fs::path(QUILTOR_TEST_DIR) / "commands" / "data"; }

constexpr int kRecentFormatsMax = 8;

int Number(const std::string& text) {
  size_t used = 0;
  const int n = std::stoi(text, &used);
  if (used != text.size()) throw std::runtime_error("not a number: " + text);
  return n;
}

// Runs the command the way the window does: Delete and Cut take the mode
// its idle pass worked out with the grid focused; the alignment paths check
// that the selection leads to them.
TCommandResult RunCommand(const TCaseCommand& c, TTable& table, TSList& recent) {
  if (c.Name == "insert") return InsertRowCol(table, Number(c.Argument));
  if (c.Name == "delete" || c.Name == "cut") {
    if (!c.Argument.empty()) throw std::runtime_error("the delete mode comes from the selection");
    const TSelection s = ReadSelection(table);
    const TDeleteMode mode = DeleteStateFor(table, fsGrid, s.Cells, s.Columns, s.Rows).Mode;
    return DeleteSelection(table, mode, c.Name == "cut");
  }
  if (c.Name == "join") return JoinOrSplit(table);
  if (c.Name == "rules") return ApplyRulePattern(table, Number(c.Argument));
  if (c.Name == "borders") return ApplyBorders(table, Number(c.Argument));
  if (c.Name == "align-cells") {
    if (AlignsColumns(table)) throw std::runtime_error("this selection aligns columns");
    if (c.Argument == "0") return AlignCells(table, 0);
    if (c.Argument.size() != 1) throw std::runtime_error("align-cells takes l, c, r or 0");
    return AlignCells(table, c.Argument[0]);
  }
  if (c.Name == "column-format") {
    if (!AlignsColumns(table)) throw std::runtime_error("this selection aligns cells");
    return SetColumnFormat(table, c.Argument, recent);
  }
  throw std::runtime_error("unknown command \"" + c.Name + "\"");
}

class CommandGolden : public testing::TestWithParam<std::string> {};

TEST_P(CommandGolden, GivesAfterAndUndoGivesBefore) {
  const fs::path dir = DataDir() / GetParam();
  const TCaseCommand command = ReadCaseCommand(dir / "command.txt");
  SCOPED_TRACE(ReadFileBytes(dir / "command.txt"));

  TTable table;
  std::vector<std::string> recentItems;
  LoadTableFixture(dir / "before.txt", table, &recentItems);
  TSList recent(kRecentFormatsMax);
  for (const std::string& f : recentItems) recent.Add(f);
  const std::string before = WriteTableFixture(table, false);

  TUndoBuffer history;
  history.AddState(table, "Initial State");

  const TCommandResult result = RunCommand(command, table, recent);
  if (result.Current == ccNone) table.CurrentCell = nullptr;
  if (result.Current == ccCell) table.CurrentCell = result.Cell;

  EXPECT_EQ(WriteTableFixture(table, true, &recent.Items()), ReadFileBytes(dir / "after.txt"));
  ASSERT_EQ(result.Changed(), command.ExpectStep);
  if (!result.Changed()) {
    // Nothing to record: the table must indeed be as it was.
    EXPECT_EQ(WriteTableFixture(table, false), before);
    return;
  }
  EXPECT_EQ(*result.Caption, command.Caption);
  history.AddState(table, *result.Caption);
  history.Undo(table, 1);
  EXPECT_EQ(WriteTableFixture(table, false), before);
}

INSTANTIATE_TEST_SUITE_P(Cases, CommandGolden, testing::ValuesIn(CaseFolderNames(DataDir())),
                         [](const auto& c) { return CaseTestName(c.param); });

}  // namespace
