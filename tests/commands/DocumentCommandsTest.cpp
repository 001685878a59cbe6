// New, the table environment and the rows' prefix and postfix, without a
// window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/DocumentCommands.h"
#include "common/ScriptedUI.h"
#include "common/TableFixture.h"
#include "document/AppModule.h"
#include "undo/UndoBuffers.h"

namespace {

void Build(TTable& t, int rows, int cols) {
  for (int c = 0; c < cols; ++c) new TColumn(t);
  for (int r = 0; r < rows; ++r) t.AddRow();
}

void SetRows(TTable& t, const std::vector<TRowPrefixPostfix>& rows) {
  for (size_t r = 0; r < rows.size(); ++r) {
    t.Rows[static_cast<int>(r)]->Prefix = rows[r].Prefix;
    t.Rows[static_cast<int>(r)]->Postfix = rows[r].Postfix;
  }
}

std::vector<TRowPrefixPostfix> Rows(const TTable& t) {
  std::vector<TRowPrefixPostfix> out;
  for (const TRow* r : t.Rows) out.push_back({r->Prefix, r->Postfix});
  return out;
}

class DocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateUndoBuffer();
    StartAppModule();
    SetDocumentUI(&UI);
  }
  void TearDown() override {
    SetDocumentUI(nullptr);
    StopAppModule();
    FreeUndoBuffer();
  }
  TScriptedUI UI;
};

}  // namespace

// A case-blind or prefix match would show "Tabular" as the Tabular choice and
// give back "tabular", losing the user's name.
TEST(Environment, ChoiceNameAndPreview) {
  struct Case {
    const char* Name;
    const char* Options;
    TEnvironmentKind Kind;
    const char* Begin;
  };
  const Case cases[] = {
      {"tabular", "", ekTabular, "\\begin{tabular}{cols}"},
      {"array", "[t]", ekArray, "\\begin{array}[t]{cols}"},
      {"Tabular", "", ekCustom, "\\begin{Tabular}{cols}"},
      {"arrays", "", ekCustom, "\\begin{arrays}{cols}"},
      {"", "", ekCustom, "\\begin{}{cols}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(EnvironmentKindOf(c.Name), c.Kind);
    EXPECT_EQ(EnvironmentName(c.Kind, c.Name), c.Name);
    const std::vector<std::string> preview = EnvironmentPreview(c.Name, c.Options);
    EXPECT_EQ(preview, (std::vector<std::string>{c.Begin, "...", std::string("\\end{") + c.Name + "}"}));
  }
  // The radio choice wins over whatever the custom box still holds.
  EXPECT_EQ(EnvironmentName(ekArray, "longtable"), "array");
}

// The user's OK is a step of its own even when it changed nothing.
TEST(Environment, ChangeRecordedEvenWithoutChange) {
  TTable t;
  Build(t, 1, 1);
  for (int pass = 0; pass < 2; ++pass) {
    const TCommandResult r = ChangeEnvironment(t, "array", "[t]");
    EXPECT_EQ(r.Caption, "Change Environment") << pass;
    EXPECT_EQ(t.Environment, "array");
    EXPECT_EQ(t.EnvOptions, "[t]");
  }
}

// Cancel at the save question must leave the old document whole; No builds
// the new one, recorded and counted as saved, with the clamped sizes.
TEST_F(DocumentTest, NewTableCancelledChangesNothingElseBuildsIt) {
  CurrentTable->GetCell(0, 0)->SetText("kept");
  CurrentTable->Environment = "longtable";
  RecordUndo("Typing kept");
  CurrentTable->Title = "prices";
  const std::string before = WriteTableFixture(*CurrentTable);
  const int undoCount = UndoCount();

  UI.Answers = {TSaveAnswer::Cancel};
  EXPECT_FALSE(NewTable(2, 3, "array", "[t]"));
  EXPECT_EQ(WriteTableFixture(*CurrentTable), before);
  EXPECT_EQ(CurrentTable->Title, "prices");
  EXPECT_EQ(UndoCount(), undoCount);
  EXPECT_TRUE(DocumentModified());

  UI.Answers = {TSaveAnswer::No};
  EXPECT_TRUE(NewTable(2, 3, "array", "[t]"));
  EXPECT_EQ(CurrentTable->RowCount(), 2);
  EXPECT_EQ(CurrentTable->ColCount(), 3);
  EXPECT_EQ(CurrentTable->Environment, "array");
  EXPECT_EQ(CurrentTable->EnvOptions, "[t]");
  EXPECT_EQ(CurrentTable->Title, "Untitled");
  EXPECT_EQ(UndoCaption(0), "New Table");
  EXPECT_EQ(UndoCount(), undoCount + 1);  // the old document stays undoable
  EXPECT_FALSE(DocumentModified());

  // Sizes outside 1..1000 are brought inside; an unmodified document asks nothing.
  EXPECT_TRUE(NewTable(0, 5000, "tabular", ""));
  EXPECT_EQ(CurrentTable->RowCount(), 1);
  EXPECT_EQ(CurrentTable->ColCount(), kMaxTableSize);
}

TEST(RowPrefix, CommonValuesPerField) {
  struct Case {
    const char* Name;
    std::vector<TRowPrefixPostfix> Rows;
    TCellRect Bounds;
    TRowPrefixPostfix Shown;
  };
  const std::vector<Case> cases = {
      {"equal prefixes, different postfixes", {{"p", "a"}, {"p", "b"}}, {0, 0, 0, 1}, {"p", ""}},
      {"different prefixes, equal postfixes", {{"p", "a"}, {"q", "a"}}, {0, 0, 0, 1}, {"", "a"}},
      {"case matters", {{"p", ""}, {"P", ""}}, {0, 0, 0, 1}, {"", ""}},
      {"only the rows of the bounds", {{"x", ""}, {"p", "a"}, {"p", "a"}}, {0, 1, 0, 2}, {"p", "a"}},
      {"nothing selected", {{"p", "a"}}, {0, 0, -1, -1}, {"", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TTable t;
    Build(t, static_cast<int>(c.Rows.size()), 1);
    SetRows(t, c.Rows);
    EXPECT_EQ(CommonRowPrefixPostfix(t, c.Bounds), c.Shown);
  }
}

TEST(RowPrefix, OkWritesBothFieldsToEveryRowOfTheBounds) {
  struct Case {
    const char* Name;
    std::vector<TRowPrefixPostfix> Rows;
    TRowPrefixPostfix Typed;
    bool Recorded;
    std::vector<TRowPrefixPostfix> After;
  };
  const std::vector<Case> cases = {
      // The dialog showed an empty prefix; writing both fields empties them.
      {"postfix typed over differing prefixes",
       {{"a", ""}, {"b", ""}, {"c", ""}, {"d", ""}, {"e", ""}},
       {"", "\\hline"},
       true,
       {{"a", ""}, {"", "\\hline"}, {"", "\\hline"}, {"", "\\hline"}, {"e", ""}}},
      {"OK without a change",
       {{"a", ""}, {"p", "q"}, {"p", "q"}, {"p", "q"}, {"e", ""}},
       {"p", "q"},
       false,
       {{"a", ""}, {"p", "q"}, {"p", "q"}, {"p", "q"}, {"e", ""}}},
      {"stored CR LF, the box's LF is no change",
       {{"", ""}, {"x\r\ny", ""}, {"x\r\ny", ""}, {"x\r\ny", ""}, {"", ""}},
       {"x\ny", ""},
       false,
       {{"", ""}, {"x\r\ny", ""}, {"x\r\ny", ""}, {"x\r\ny", ""}, {"", ""}}},
      {"any line break stored as CR LF",
       {{"", ""}, {"", ""}, {"", ""}, {"", ""}, {"", ""}},
       {"a\nb\rc\r\nd", "e\n"},
       true,
       {{"", ""},
        {"a\r\nb\r\nc\r\nd", "e\r\n"},
        {"a\r\nb\r\nc\r\nd", "e\r\n"},
        {"a\r\nb\r\nc\r\nd", "e\r\n"},
        {"", ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TTable t;
    Build(t, 5, 3);
    SetRows(t, c.Rows);
    // One cell in each of rows 1 to 3, in different columns.
    t.SelectCell(t.GetCell(1, 0));
    t.SelectCell(t.GetCell(2, 2));
    t.SelectCell(t.GetCell(3, 1));
    const TCommandResult r = SetRowPrefixPostfix(t, ReadSelection(t).Bounds, c.Typed);
    EXPECT_EQ(r.Changed(), c.Recorded);
    if (c.Recorded) {
      EXPECT_EQ(r.Caption, "Row prefix/postfix");
    }
    EXPECT_EQ(Rows(t), c.After);
  }
}

TEST(RowPrefix, EnabledForCellsAndRowsNotColumns) {
  TTable t;
  Build(t, 2, 2);
  EXPECT_FALSE(RowPrefixEnabled(ReadSelection(t)));
  EXPECT_FALSE(SetRowPrefixPostfix(t, ReadSelection(t).Bounds, {"x", ""}).Changed());
  t.SelectRow(1);
  EXPECT_TRUE(RowPrefixEnabled(ReadSelection(t)));
  t.ClearSelection();
  t.SelectColumn(0);
  EXPECT_FALSE(RowPrefixEnabled(ReadSelection(t)));
}
