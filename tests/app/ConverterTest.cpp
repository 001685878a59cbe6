// Runs the built program as a build pipeline would and checks what it
// prints, writes and returns.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "../model/FileTestUtil.h"
#include "latex/TabToLatex.h"
#include "model/TableFile.h"
#include "model/Tables.h"

extern char** environ;

namespace {

struct TResult {
  int Status = -1;  // the exit status, or 128 + the signal that ended it
  std::string Out;
  std::string Err;
};

// How the program is started beyond its arguments.
struct TStart {
  std::string In = "/dev/null";  // standard input
  std::string OutFile;           // standard output to this file; empty: read by the test
  bool OutPipe = false;          // standard output through a pipe the test reads
  rlim_t FileSizeLimit = RLIM_INFINITY;
  std::string Cwd;  // the working folder; empty: this process's
};

class Converter : public ::testing::Test {
 protected:
  // Runs quiltor with args; stdout goes to outFile when one is given.
  TResult Run(std::vector<std::string> args, const std::string& outFile = "") {
    TStart start;
    start.OutFile = outFile;
    return Start(std::move(args), start);
  }

  // Runs quiltor as a user's shell would: SIGXFSZ at its default whatever
  // this process does with it.
  TResult Start(std::vector<std::string> args, const TStart& how) {
    args.insert(args.begin(), QUILTOR_EXE);
    const std::string out = how.OutFile.empty() ? Dir.File("stdout") : how.OutFile;
    const std::string err = Dir.File("stderr");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int pipeFds[2] = {-1, -1};
    if (how.OutPipe && ::pipe(pipeFds) != 0) return {};
    TResult r;
    const pid_t pid = ::fork();
    if (pid == 0) {
      // Only async-signal-safe calls between fork and exec.
      const int in = ::open(how.In.c_str(), O_RDONLY);
      const int o = how.OutPipe ? pipeFds[1] : ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (in < 0 || o < 0 || e < 0 || ::dup2(in, 0) < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0) ::_exit(126);
      if (how.OutPipe) ::close(pipeFds[0]);
      if (!how.Cwd.empty() && ::chdir(how.Cwd.c_str()) != 0) ::_exit(126);
      ::signal(SIGXFSZ, SIG_DFL);
      rlimit limit;
      ::getrlimit(RLIMIT_FSIZE, &limit);
      limit.rlim_cur = how.FileSizeLimit;
      ::setrlimit(RLIMIT_FSIZE, &limit);
      ::execve(QUILTOR_EXE, argv.data(), environ);
      ::_exit(127);
    }
    if (how.OutPipe) {
      ::close(pipeFds[1]);
      char buf[4096];  // smaller than the program's pieces: it must wait for the reader
      for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) != 0;)
        if (n > 0) r.Out.append(buf, static_cast<size_t>(n));
        else if (errno != EINTR) break;
      ::close(pipeFds[0]);
    }
    if (pid > 0) {
      int status = 0;
      ::waitpid(pid, &status, 0);
      r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (how.OutFile.empty() && !how.OutPipe) r.Out = ReadBytes(out);
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
      // Faults caught: --quoted or --escape not reaching the import, or
      // either applied without being asked for.
      {"quotes are text by default", "q.csv", "\"a,b\",c\n", {}, {{"\"a", "b\"", "c"}}},
      {"quoted fields", "q.csv", "\"a,b\",\"x\r\ny\"\"\"\n", {"--quoted"}, {{"a,b", "x\r\ny\""}}},
      {"quoted tab-delimited", "q.txt", "\"a\tb\"\tc\n", {"--quoted"}, {{"a\tb", "c"}}},
      {"escaped", "e.csv", "50%,x_1\n", {"--escape"}, {{"50\\%", "x\\_1"}}},
      {"quoted and escaped", "e.csv", "\"&,#\"\n", {"--escape", "--quoted"}, {{"\\&,\\#"}}},
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

// A CSV holding commas, quotes and line breaks in its cells survives a
// trip through the converter: read with --quoted, written with quotes where
// needed. Without quoting on export the file would grow columns.
TEST_F(Converter, QuotedCsvRoundTrip) {
  const std::string text = "a,\"b,c\"\r\n\"say \"\"hi\"\"\",\"l1\r\nl2\"\r\n";
  ASSERT_EQ(Run({"--convert", "--quoted", Put("in.csv", text), Dir.File("out.csv")}).Status, 0);
  EXPECT_EQ(ReadBytes(Dir.File("out.csv")), text);
  EXPECT_EQ(Run({"--quoted=yes", "--latex", Dir.File("out.csv")}).Status, 2);
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
      {{"--latex", missing}, 1, "quiltor: Cannot open file " + missing + ": No such file or directory\n"},
      {{"--latex", damaged}, 1, "quiltor: Stream read error\n"},
      {{"--convert", good, nowhere}, 1, "quiltor: Cannot create file " + nowhere + "\n"},
      {{"--latex", good, "-o", nowhere}, 1, "quiltor: Cannot create file " + nowhere + "\n"},
      {{"--merge", good}, 2, "nothing to do: give --latex or --convert"},
      {{"--bogus"}, 2, "unknown option '--bogus'"},
      {{"--latex"}, 2, "'--latex' needs a file name"},
      {{"-x", "--latex", good}, 2, "unknown option '-x'"},
      {{"--latex", good, "--merge=1"}, 2, "'--merge' takes no value"},
      {{"--latex", good, "--delimiters"}, 2, "'--delimiters' needs a value"},
      {{"--latex", good, "--from", "xls"}, 2, "'--from' takes csv, txt, qtor, tex or html, not 'xls'"},
      {{"--latex", "-"}, 2, "reading standard input ('-') needs --from csv, txt, qtor or tex"},
      {{"--latex", good, "--from=tex"}, 1, "quiltor: No LaTeX table found in " + good + "\n"},
      {{"--convert", Put("in.tex", "x"), Dir.File("out.csv")}, 1, "No LaTeX table found in "},
      {{"--latex", good, "--table=2"}, 2, "'--table' chooses among the tables of LaTeX or HTML input"},
      {{"--latex", Put("one.tex", "\\begin{tabular}{l}\nx\n\\end{tabular}\n"), "--table", "0"}, 2,
       "'--table' takes a table number from 1 on, not '0'"},
      {{"--latex", Dir.File("one.tex"), "--table", "3"}, 1, "one.tex holds 1 LaTeX table, not 3\n"},
      {{"--latex", Put("broken.tex", "\\begin{tabular}{ll}\na & {b \\\\\n\\end{tabular}\n")}, 1,
       "broken.tex: Line 2, column 5: this { is never closed\n"},
      {{"--convert", good}, 2, "needs an output file name"},
      {{"--convert"}, 2, "'--convert' needs an input and an output file name"},
      {{"--convert", good, Dir.File("out.pdf")}, 2, "cannot tell the output type"},
      {{"--convert", good, Dir.File("out.qtor"), "-o", "x"}, 2, "'-o' belongs to --latex"},
      {{"--latex", good, "--convert", good, Dir.File("x.csv")}, 2, "cannot be combined"},
      {{"--latex", good, "extra"}, 2, "unexpected argument 'extra'"},
      {{"--latex", good, "--style=tufte"}, 2, "'--style' takes classic or booktabs, not 'tufte'"},
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

// --style and --align reach the code whatever the input (text input is not
// streamed past them); a booktabs table read from a paper saves back in
// booktabs style, and --style classic takes it back.
TEST_F(Converter, StyleAndAlignment) {
  const std::string csv = Put("in.csv", "Name,Caf\xC3\xA9\nx,1\n");
  TResult r = Run({"--latex", csv, "--align", "--style", "booktabs"});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "\\begin{tabular}{ll}\nName & Caf\xC3\xA9 \\\\ \nx    & 1    \\\\ \n\\end{tabular}\n");
  const std::string paper = Put("paper.tex",
                                "\\begin{table}[t]\\centering\\caption{R}\n\\begin{tabular}{lr}\\toprule\n"
                                "a & 1 \\\\ \\bottomrule\n\\end{tabular}\n\\end{table}\n");
  ASSERT_EQ(Run({"--convert", paper, Dir.File("p.qtor")}).Status, 0);
  r = Run({"--latex", Dir.File("p.qtor")});
  EXPECT_EQ(r.Out,
            "\\begin{table}[t]\n\\centering\n\\caption{R}\n\\begin{tabular}{lr}\n\\toprule\na & 1 \\\\ \n"
            "\\bottomrule\n\\end{tabular}\n\\end{table}\n");
  r = Run({"--latex", Dir.File("p.qtor"), "--style=classic"});
  EXPECT_NE(r.Out.find("\\hline\na & 1 \\\\ \n\\hline\n"), std::string::npos) << r.Out;
}

// If .tex input were not read, the wrong table taken, or the reader's
// warnings lost, the output or the error stream would differ.
TEST_F(Converter, ReadsTheChosenLatexTable) {
  const std::string paper = Put("paper.tex",
                                "\\begin{tabular}{l}\nfirst\n\\end{tabular}\n"
                                "\\begin{tabular}{|l|r|}\\hline\nName & 1 \\\\ \\hline\nx\n\\end{tabular}\n");
  TResult r = Run({"--latex", paper, "--table=2"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out, "\\begin{tabular}{|l|r|}\n\\hline\nName & 1 \\\\ \n\\hline\nx &  \\\\ \n\\end{tabular}\n");
  EXPECT_EQ(r.Err, "quiltor: warning: " + paper +
                       ": Row 2 has fewer cells than the table has columns: the rest was filled with empty cells.\n");
  TStart start;
  start.In = paper;
  r = Start({"--convert", "-", "--from", "tex", Dir.File("first.qtor")}, start);
  ASSERT_EQ(r.Status, 0) << r.Err;
  TTable t;
  LoadTableFile(t, Dir.File("first.qtor"));
  ASSERT_EQ(t.RowCount(), 1);
  EXPECT_EQ(t.GetCell(0, 0)->Text(), "first");
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
  EXPECT_EQ(r.Err, "quiltor: Cannot write standard output: No space left on device\n");
}

// The usual conventions: options anywhere, "--opt=value", "--" before a
// name that starts with '-', the short forms. A hand-made parser that takes
// only "--convert IN OUT" in that order, or sees "-" and "--" as unknown
// options, fails here.
TEST_F(Converter, CommandLineConventions) {
  const std::string in = Put("in.csv", "a;b,c\n");
  Put("-dash.csv", "x,y\n");
  const std::string out = Dir.File("out.qtor");
  struct Case {
    std::vector<std::string> args;
    std::vector<std::vector<std::string>> texts;
  } cases[] = {
      {{"--convert", "--merge", "--delimiters", ";", in, out}, {{"a", "b,c"}}},
      {{in, "--delimiters=;,", out, "--convert"}, {{"a", "b", "c"}}},
      {{"--delimiters=", "--convert", in, out}, {{"a;b,c"}}},
      {{"--convert", "--", "-dash.csv", out}, {{"x", "y"}}},
  };
  TStart start;
  start.Cwd = Dir.Path();
  for (const Case& c : cases) {
    std::filesystem::remove(out);
    const TResult r = Start(c.args, start);
    ASSERT_EQ(r.Status, 0) << c.args[0] << ": " << r.Err;
    TTable t;
    LoadTableFile(t, out);
    std::vector<std::vector<std::string>> texts;
    for (const TRow* row : t.Rows) {
      texts.emplace_back();
      for (const TCell* cell : *row) texts.back().push_back(cell->Text());
    }
    EXPECT_EQ(texts, c.texts) << c.args[0];
  }
  TResult r = Start({"-h"}, start);
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out.rfind("Usage: quiltor", 0), 0u);
  r = Start({"-v"}, start);
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out.rfind("quiltor ", 0), 0u);
}

// Standard input and named pipes are read when their type is named; a pipe
// or a device named without it is refused at once. If the converter opened
// whatever it was given, the FIFO would block it and /dev/zero would eat
// the memory; if it read "-" as a file name, nothing would be read.
TEST_F(Converter, StandardInputAndNamedPipes) {
  const std::string csv = Put("t.csv", "a,b\r\n1,2\r\n");
  TTable t;
  t.ImportText(csv, ",", false);
  const std::string native = Dir.File("t.qtor");
  SaveTableFile(t, native);

  TStart fromCsv;
  fromCsv.In = csv;
  TResult r = Start({"--latex", "-", "--from", "csv"}, fromCsv);
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, Latex(t));
  TStart fromNative;
  fromNative.In = native;
  r = Start({"--convert", "--from=qtor", "-", Dir.File("out.txt")}, fromNative);
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(ReadBytes(Dir.File("out.txt")), "a\tb\r\n1\t2\r\n");

  const std::string fifo = Dir.File("pipe.csv");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& other : {fifo, std::string("/dev/zero")}) {
    r = Run({"--latex", other});
    EXPECT_EQ(r.Status, 1) << other;
    EXPECT_EQ(r.Err, "quiltor: Cannot open file " + other + ": not a regular file (name its type with --from to read it)\n");
    EXPECT_EQ(r.Out, "");
  }
  // Named explicitly, the pipe is read once its writer comes.
  std::thread writer([&] {
    const int fd = ::open(fifo.c_str(), O_WRONLY);
    if (fd < 0) return;
    const std::string text = "a,b\r\n1,2\r\n";
    EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fd);
  });
  r = Run({"--from", "csv", "--latex", fifo});
  writer.join();
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, Latex(t));
}

// A NUL byte ends text input; the converter says so and fails unless told
// that a cut text is fine. UTF-16 input arrives as UTF-8. Converting in
// silence, writing the cut table anyway, or passing UTF-16 through as bytes
// fails here.
TEST_F(Converter, NulCutAndUtf16Input) {
  const std::string cut = Put("cut.csv", std::string("a,b\n\0c,d\n", 9));
  const std::string out = Dir.File("out.csv");
  TResult r = Run({"--convert", cut, out});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "quiltor: " + cut +
                       " was cut at byte 4 by a NUL byte; nothing written (--allow-truncation converts the text before it)\n");
  EXPECT_FALSE(std::filesystem::exists(out));
  r = Run({"--convert", cut, out, "--allow-truncation"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Err, "quiltor: warning: " + cut + " was cut at byte 4 by a NUL byte\n");
  EXPECT_EQ(ReadBytes(out), "a,b\r\n");

  const std::string utf16 = Put("u.txt", std::string("\xFE\xFF\x00\xE9\x00\t\x00" "b\x00\n", 10));
  r = Run({"--convert", utf16, out});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(ReadBytes(out), "\xC3\xA9,b\r\n");
}

// Output over the input would destroy the only copy of the data, whatever
// name leads to the same file. Each of these must fail and leave the input
// byte for byte as it was.
TEST_F(Converter, NeverWritesOverItsInput) {
  const std::string bytes = "a;b\n";
  const std::string in = Put("in.csv", bytes);
  const std::string link = Dir.File("link.csv");
  const std::string hard = Dir.File("hard.csv");
  ASSERT_EQ(::symlink("in.csv", link.c_str()), 0);
  ASSERT_EQ(::link(in.c_str(), hard.c_str()), 0);
  TStart fromInput;
  fromInput.In = in;
  struct Case {
    std::vector<std::string> args;
    TStart start;
    std::string output;
  } cases[] = {
      {{"--latex", in, "-o", in}, {}, in},
      {{"--convert", in, Dir.Path() + "/./in.csv"}, {}, Dir.Path() + "/./in.csv"},
      {{"--convert", in, link}, {}, link},
      {{"--convert", link, hard}, {}, hard},
      {{"--convert", "--from=csv", "-", in}, fromInput, in},
  };
  for (const Case& c : cases) {
    const TResult r = Start(c.args, c.start);
    EXPECT_EQ(r.Status, 1) << c.output;
    EXPECT_EQ(r.Err, "quiltor: Cannot write " + c.output + ": it is the input file; nothing written\n");
    EXPECT_EQ(ReadBytes(in), bytes) << c.output;
  }
}

// LaTeX longer than the 64 KiB pieces it is written in: every byte exactly
// once, to a pipe and to a file. A piece written twice or not at all, or a
// short write to the pipe not continued, shows here.
TEST_F(Converter, LongLatexWrittenOnce) {
  TTable t;
  for (int i = 0; i < 3; ++i) new TColumn(t);
  for (int r = 0; r < 4000; ++r) {
    TRow* row = new TRow(t);
    for (int i = 0; i < 3; ++i) (new TCell(*row))->SetText("row " + std::to_string(r) + " column " + std::to_string(i));
  }
  const std::string expected = Latex(t);
  ASSERT_GT(expected.size(), 3u * 64 * 1024);
  const std::string native = Dir.File("big.qtor");
  SaveTableFile(t, native);

  TStart piped;
  piped.OutPipe = true;
  TResult r = Start({"--latex", native}, piped);
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(r.Out == expected) << "through a pipe: " << r.Out.size() << " bytes for " << expected.size();
  r = Run({"--latex", native, "-o", Dir.File("big.tex")});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(ReadBytes(Dir.File("big.tex")) == expected) << "to a file";
}

// A file size limit with SIGXFSZ at its default, as users have it: the
// write fails and the converter says so. Without the signal ignored at
// start, the kernel kills the process instead (status 128 + SIGXFSZ).
TEST_F(Converter, FileSizeLimitIsAWriteError) {
  TTable t;
  new TColumn(t);
  for (int r = 0; r < 2000; ++r) (new TCell(*new TRow(t)))->SetText("a text long enough to pass the limit");
  const std::string native = Dir.File("big.qtor");
  SaveTableFile(t, native);
  TStart limited;
  limited.FileSizeLimit = 4096;
  for (const std::string& out : {Dir.File("out.csv"), Dir.File("out.tex")}) {
    const TResult r = Start({"--convert", native, out}, limited);
    EXPECT_EQ(r.Status, 1) << out << ": " << r.Err;
    EXPECT_EQ(r.Err.rfind("quiltor: ", 0), 0u) << r.Err;
    EXPECT_FALSE(std::filesystem::exists(out));
  }
}

}  // namespace

// If the converter replaced a paper whole, or moved a byte outside the
// table, a build that regenerates a paper's table would ruin the paper.
TEST_F(Converter, ReplacesATableOfAPaperInPlace) {
  const std::string head = "\\documentclass{article}\r\n\\begin{document}\r\n";
  const std::string first = "\\begin{tabular}{l}\r\nfirst\\\\\r\n\\end{tabular}";
  const std::string middle = "\r\nText between.\r\n\\begin{table}\\centering\r\n";
  const std::string second =
      "\\begin{tabular}{|l|r|}\r\n\\hline\r\nName & Price\\\\\r\n\\hline\r\nold & 1\\\\\r\n\\hline\r\n\\end{tabular}";
  const std::string tail = "\r\n\\caption{Prices}\\end{table}\r\n\\end{document}\r\n";
  const std::string paper = Put("paper.tex", head + first + middle + second + tail);
  const std::string csv = Put("prices.csv", "Item,Cost\r\napple,2\r\npear,3\r\n");

  // Without --table a paper is refused, and nothing is written.
  TResult r = Run({"--convert", csv, paper});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("name the table to replace with --table N"), std::string::npos) << r.Err;
  EXPECT_EQ(ReadBytes(paper), head + first + middle + second + tail);

  r = Run({"--convert", csv, paper, "--table", "2"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(ReadBytes(paper), head + first + middle +
                                  "\\begin{tabular}{ll}\r\nItem & Cost \\\\\r\napple & 2 \\\\\r\npear & 3 \\\\\r\n"
                                  "\\end{tabular}" +
                                  tail);

  // --keep-format: the texts go into the table's own look; the extra row
  // copies the last one's, and the closing rule stays at the end.
  Put("paper.tex", head + first + middle + second + tail);
  const std::string two = Put("two.csv", "Name,Price\r\napple,2\r\npear,3\r\n");
  r = Run({"--convert", two, paper, "--table=2", "--keep-format"});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(ReadBytes(paper), head + first + middle +
                                  "\\begin{tabular}{|l|r|}\r\n\\hline\r\nName & Price \\\\\r\n\\hline\r\napple & 2 \\\\\r\n"
                                  "pear & 3 \\\\\r\n\\hline\r\n\\end{tabular}" +
                                  tail);

  // A file that is one table alone is the table's own: replaced in place.
  const std::string lone = Put("lone.tex", "\n" + first + "\n");
  r = Run({"--convert", two, lone});
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(ReadBytes(lone),
            "\n\\begin{tabular}{ll}\r\nName & Price \\\\\r\napple & 2 \\\\\r\npear & 3 \\\\\r\n\\end{tabular}\n");

  // Usage: a table beyond the paper's, --keep-format without a .tex output.
  r = Run({"--convert", csv, paper, "--table", "3"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "quiltor: " + paper + " holds 2 LaTeX tables, not 3; nothing written\n");
  r = Run({"--convert", csv, Dir.File("x.qtor"), "--keep-format"});
  EXPECT_EQ(r.Status, 2);
}
