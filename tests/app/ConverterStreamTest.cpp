// LaTeX of text input is written while the text is read. A NUL that cuts the
// text must still stop the conversion before a single byte goes out, to
// standard output as to a file.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../model/FileTestUtil.h"

extern char** environ;

namespace {

struct TRun {
  int Status = -1;
  std::string Out, Err;
};

TRun RunQuiltor(const TTempDir& dir, std::vector<std::string> args) {
  args.insert(args.begin(), QUILTOR_EXE);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string out = dir.File("stdout"), err = dir.File("stderr");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  TRun r;
  if (posix_spawn(&pid, QUILTOR_EXE, &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  r.Out = ReadBytes(out);
  r.Err = ReadBytes(err);
  return r;
}

TEST(ConverterStream, NulCutStopsTheConversionBeforeAnythingIsWritten) {
  TTempDir dir;
  const std::string cut = dir.File("cut.csv");
  WriteBytes(cut, std::string("a,b\n\0c,d\n", 9));
  const std::string tex = dir.File("out.tex");
  const std::string refused = "quiltor: " + cut +
                              " was cut at byte 4 by a NUL byte; nothing written (--allow-truncation converts the "
                              "text before it)\n";
  const std::string code = "\\begin{tabular}{ll}\na & b \\\\ \n\\end{tabular}\n";
  const std::string warned = "quiltor: warning: " + cut + " was cut at byte 4 by a NUL byte\n";
  struct TCase {
    std::vector<std::string> args;
    int status;
    std::string out, err, file;  // file: out.tex's bytes; empty: out.tex must not exist
  } cases[] = {
      {{"--latex", cut}, 1, "", refused, ""},
      {{"--latex", cut, "-o", tex}, 1, "", refused, ""},
      {{"--convert", cut, tex}, 1, "", refused, ""},
      {{"--latex", cut, "--allow-truncation"}, 0, code, warned, ""},
      {{"--convert", cut, tex, "--allow-truncation"}, 0, "", warned, code},
  };
  for (const TCase& c : cases) {
    std::filesystem::remove(tex);
    const TRun r = RunQuiltor(dir, c.args);
    EXPECT_EQ(r.Status, c.status) << testing::PrintToString(c.args);
    EXPECT_EQ(r.Out, c.out) << testing::PrintToString(c.args);
    EXPECT_EQ(r.Err, c.err) << testing::PrintToString(c.args);
    if (c.file.empty()) EXPECT_FALSE(std::filesystem::exists(tex)) << testing::PrintToString(c.args);
    else EXPECT_EQ(ReadBytes(tex), c.file);
  }
}

}  // namespace
