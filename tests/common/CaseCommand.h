#pragma once
// command.txt of a golden command case (tests/commands/data/README.md): the
// one command with its argument, and the undo step it must leave -
// "caption <text>" or "no-step". Read by the command layer's golden test and
// by the window's, which run the same cases.
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

struct TCaseCommand {
  std::string Name;
  std::string Argument;
  bool ExpectStep = false;
  std::string Caption;
};

// Throws std::runtime_error on a file that cannot be read, a second command,
// or a file without a command or without what it must leave.
inline TCaseCommand ReadCaseCommand(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + file.string());
  TCaseCommand c;
  bool expectation = false;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const size_t blank = line.find(' ');
    const std::string keyword = line.substr(0, blank);
    const std::string rest = blank == std::string::npos ? std::string() : line.substr(blank + 1);
    if (keyword == "caption") {
      c.ExpectStep = true;
      c.Caption = rest;
      expectation = true;
    } else if (keyword == "no-step") {
      expectation = true;
    } else if (c.Name.empty()) {
      c.Name = keyword;
      c.Argument = rest;
    } else {
      throw std::runtime_error(file.string() + ": a second command \"" + line + "\"");
    }
  }
  if (c.Name.empty() || !expectation)
    throw std::runtime_error(file.string() + ": needs a command and \"caption <text>\" or \"no-step\"");
  return c;
}
