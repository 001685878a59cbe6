#pragma once
// Plays the user for the document operations: every question and dialog
// takes the next scripted answer and records what it was shown. A question
// or a file dialog nobody scripted is a test failure (and is cancelled), so
// a command that asks where it should not is caught.
//
// Plain C++ on the document layer: the document tests use it without Qt,
// the window tests through their fixture.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "document/AppModule.h"

class TScriptedUI : public TDocumentUI {
 public:
  // Answers to the save question, in order.
  std::deque<TSaveAnswer> Answers;
  // Every save question asked, as "caption|text".
  std::vector<std::string> Questions;
  // The names the open and save dialogs choose, in order; "" cancels.
  std::deque<std::string> OpenChoices;
  std::deque<std::string> SaveChoices;
  // What each save dialog proposed: the file name and the selected type.
  std::vector<std::pair<std::string, int>> SaveProposals;
  // Answers to the other questions (the index of the button), in order, and
  // every such question asked, as its text.
  std::deque<int> AskAnswers;
  std::vector<std::string> Asked;
  // The choice of the table that Save As replaces in a LaTeX file (an
  // index, kAppendTable or -1), in order; the file names it was asked for.
  std::deque<int> TableChoices;
  std::vector<std::string> TableChoiceFiles;
  // The Text Import dialog: confirmed or not, and the choice it returns.
  // The quoted box is left as the dialog ticked it by itself unless
  // ImportQuoted says otherwise.
  bool ImportOk = true;
  std::string ImportDelimiters = ",";
  bool ImportMerge = false;
  std::optional<bool> ImportQuoted;
  bool ImportEscape = false;
  std::vector<std::vector<std::string>> Previews;
  // Whether each dialog came with the quoted box ticked (quoted fields seen).
  std::vector<bool> QuotedSuggested;
  std::vector<std::string> Warnings;
  // The latest window caption and every error box's message.
  std::string Caption;
  std::vector<std::string> Errors;
  // How often the document was replaced, and who else is told (the window,
  // which redraws).
  int Replaced = 0;
  std::function<void()> OnDocumentReplaced;

  TSaveAnswer AskSaveChanges(const std::string& caption, const std::string& text) override {
    Questions.push_back(caption + "|" + text);
    if (Answers.empty()) {
      ADD_FAILURE() << "unexpected question: " << text;
      return TSaveAnswer::Cancel;
    }
    const TSaveAnswer a = Answers.front();
    Answers.pop_front();
    return a;
  }
  bool ExecuteOpenDialog(TFileDialog& dialog) override { return Take(OpenChoices, dialog, "open"); }
  bool ExecuteSaveDialog(TFileDialog& dialog) override {
    SaveProposals.emplace_back(dialog.FileName, dialog.FilterIndex);
    return Take(SaveChoices, dialog, "save");
  }
  bool ExecuteImportDialog(const std::vector<std::string>& preview, const std::string& warning,
                           TTextImportOptions& options) override {
    Previews.push_back(preview);
    Warnings.push_back(warning);
    QuotedSuggested.push_back(options.Quoted);
    if (!ImportOk) return false;
    options.Delimiters = ImportDelimiters;
    options.Merge = ImportMerge;
    if (ImportQuoted) options.Quoted = *ImportQuoted;
    options.Escape = ImportEscape;
    return true;
  }
  int Ask(const std::string&, const std::string& text, const std::vector<std::string>& buttons) override {
    Asked.push_back(text);
    if (AskAnswers.empty()) {
      ADD_FAILURE() << "unexpected question: " << text;
      return static_cast<int>(buttons.size()) - 1;
    }
    const int a = AskAnswers.front();
    AskAnswers.pop_front();
    return a;
  }
  int ChooseTableToReplace(const std::string& fileName, const std::vector<TLatexTableSource>&) override {
    TableChoiceFiles.push_back(fileName);
    if (TableChoices.empty()) {
      ADD_FAILURE() << "unexpected choice of a table in " << fileName;
      return -1;
    }
    const int a = TableChoices.front();
    TableChoices.pop_front();
    return a;
  }
  void SetCaption(const std::string& caption) override { Caption = caption; }
  void ShowError(const std::string& message) override { Errors.push_back(message); }
  void DocumentReplaced() override {
    ++Replaced;
    if (OnDocumentReplaced) OnDocumentReplaced();
  }

 private:
  static bool Take(std::deque<std::string>& choices, TFileDialog& dialog, const char* kind) {
    if (choices.empty()) {
      ADD_FAILURE() << "unexpected " << kind << " dialog";
      return false;
    }
    const std::string choice = choices.front();
    choices.pop_front();
    if (choice.empty()) return false;
    dialog.FileName = choice;
    return true;
  }
};
