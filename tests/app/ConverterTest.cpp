// Runs the built program as a build pipeline would and checks what it
// prints, writes and returns.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "../model/FileTestUtil.h"
#include "latex/TabToLatex.h"
#include "model/TableFile.h"
#include "model/Tables.h"

extern char** environ;

namespace {

struct TResult {
  int Status = -1;
  std::string Out;
  std::string Err;
};

class Converter : public ::testing::Test {
 protected:
  // Runs quiltor with args; stdout goes to outFile when one is given.
  TResult Run(std::vector<std::string> args, const std::string& outFile = "") {
    args.insert(args.begin(), QUILTOR_EXE);
    const std::string out = outFile.empty() ? Dir.File("stdout") : outFile;
    const std::string err = Dir.File("stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    TResult r;
    if (posix_spawn(&pid, QUILTOR_EXE, &actions, nullptr, argv.data(), environ) == 0) {
      int status = 0;
      waitpid(pid, &status, 0);
      r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    if (outFile.empty()) r.Out = ReadBytes(out);
    r.Err = ReadBytes(err);
    return r;
  }

  std::string Put(const std::string& name, const std::string& bytes) {
    WriteBytes(Dir.File(name), bytes);
    return Dir.File(name);
  }

  // The LaTeX text the library makes for a table, one line feed per line.
  static std::string Latex(const TTable& t) {
    std::vector<std::string> lines;
    TableToLatex(t, lines);
    std::string s;
    for (const std::string& l : lines) s += l + "\n";
    return s;
  }

  TTempDir Dir;
};

TEST_F(Converter, LatexOfTextAndNativeFiles) {
  const std::string csv = Put("t.csv", "a,b,c\r\n1,,3\r\n");
  TTable t;
  t.ImportText(csv, ",", false);
  const std::string expected = Latex(t);
  ASSERT_NE(expected.find("\\begin{tabular}{lll}\n"), std::string::npos);
  ASSERT_NE(expected.find("a & b & c"), std::string::npos);

  TResult r = Run({"--latex", csv});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, expected);
  EXPECT_EQ(r.Err, "");

  // The same table through a native file, and written with -o.
  const std::string native = Dir.File("t.qtor");
  SaveTableFile(t, native);
  r = Run({"--latex", native, "-o", Dir.File("t.tex")});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(ReadBytes(Dir.File("t.tex")), expected);
}

TEST_F(Converter, TextInputOptions) {
  struct Case {
    const char* name;
    std::string file;
    std::string bytes;
    std::vector<std::string> options;
    std::vector<std::vector<std::string>> texts;
  } cases[] = {
      {"csv splits at commas", "a.csv", "a,b\tc\n", {}, {{"a", "b\tc"}}},
      {"txt splits at tabs", "a.txt", "a,b\tc\n", {}, {{"a,b", "c"}}},
      {"own delimiters", "a.csv", "a;b,c d\n", {"--delimiters", "; "}, {{"a", "b,c", "d"}}},
      {"merged delimiters", "a.txt", "a\t\tb\n", {"--merge"}, {{"a", "b"}}},
      {"no delimiters", "a.csv", "a,b\n", {"--delimiters", ""}, {{"a,b"}}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--convert", Put(c.file, c.bytes), Dir.File("out.qtor")};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const TResult r = Run(args);
    ASSERT_EQ(r.Status, 0) << c.name << ": " << r.Err;
    TTable t;
    LoadTableFile(t, Dir.File("out.qtor"));
    std::vector<std::vector<std::string>> texts;
    for (const TRow* row : t.Rows) {
      texts.emplace_back();
      for (const TCell* cell : *row) texts.back().push_back(cell->Text());
    }
    EXPECT_EQ(texts, c.texts) << c.name;
  }
}

TEST_F(Converter, ConvertsBetweenAllFormats) {
  const std::string text = "x,y,z\r\n1,2,3\r\n";
  ASSERT_EQ(Run({"--convert", Put("in.csv", text), Dir.File("mid.qtor")}).Status, 0);
  ASSERT_EQ(Run({"--convert", Dir.File("mid.qtor"), Dir.File("mid.txt")}).Status, 0);
  EXPECT_EQ(ReadBytes(Dir.File("mid.txt")), "x\ty\tz\r\n1\t2\t3\r\n");
  ASSERT_EQ(Run({"--convert", Dir.File("mid.txt"), Dir.File("back.csv")}).Status, 0);
  EXPECT_EQ(ReadBytes(Dir.File("back.csv")), text);
  ASSERT_EQ(Run({"--convert", Dir.File("back.csv"), Dir.File("out.tex")}).Status, 0);
  TTable t;
  LoadTableFile(t, Dir.File("mid.qtor"));
  EXPECT_EQ(ReadBytes(Dir.File("out.tex")), Latex(t));
}

TEST_F(Converter, FailuresAndUsage) {
  const std::string good = Put("good.csv", "a\n");
  const std::string damaged = Put("damaged.qtor", std::string("\x10\0\0\x01\x01\0\0\x02", 8));
  const std::string missing = Dir.File("missing.csv");
  const std::string nowhere = Dir.File("no/dir/out.qtor");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;  // a line stderr must contain
  } cases[] = {
      {{"--latex", missing}, 1, "quiltor: Cannot open file " + missing + "\n"},
      {{"--latex", damaged}, 1, "quiltor: Stream read error\n"},
      {{"--convert", good, nowhere}, 1, "quiltor: Cannot create file " + nowhere + "\n"},
      {{"--latex", good, "-o", nowhere}, 1, "quiltor: Cannot create file " + nowhere + "\n"},
      {{"--merge", good}, 2, "nothing to do: give --latex or --convert"},
      {{"--bogus"}, 2, "unknown option '--bogus'"},
      {{"--latex"}, 2, "'--latex' needs a file name"},
      {{"--convert", good}, 2, "needs an output file name"},
      {{"--convert", good, Dir.File("out.pdf")}, 2, "cannot tell the output type"},
      {{"--convert", good, Dir.File("out.qtor"), "-o", "x"}, 2, "'-o' belongs to --latex"},
      {{"--latex", good, "--convert", good, Dir.File("x.csv")}, 2, "cannot be combined"},
      {{"--latex", good, "extra"}, 2, "unexpected argument 'extra'"},
  };
  for (const Case& c : cases) {
    const TResult r = Run(c.args);
    std::string shown;
    for (const std::string& a : c.args) shown += a + " ";
    EXPECT_EQ(r.Status, c.status) << shown;
    EXPECT_NE(r.Err.find(c.err), std::string::npos) << shown << "\n" << r.Err;
    EXPECT_EQ(r.Out, "") << shown;
  }
  EXPECT_FALSE(std::filesystem::exists(Dir.File("out.pdf")));
}

TEST_F(Converter, HelpVersionAndAFullDisk) {
  TResult r = Run({"--help"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out.rfind("Usage: quiltor", 0), 0u);
  EXPECT_EQ(r.Err, "");
  r = Run({"--version"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out.rfind("quiltor ", 0), 0u);
  // Output that cannot be written is a failure, not a silent success.
  r = Run({"--latex", Put("a.csv", "a\n")}, "/dev/full");
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "quiltor: Stream write error\n");
}

}  // namespace
