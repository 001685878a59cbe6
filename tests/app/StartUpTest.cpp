// What the program loads on start: the converter no Qt library at all, the
// editor its module, and a message rather than a crash when that module is
// missing or broken.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../model/FileTestUtil.h"

extern char** environ;

namespace {

struct TRun {
  int Status = -1;
  std::string Err;
};

class StartUp : public ::testing::Test {
 protected:
  // Runs program with args and extra environment entries, standard input
  // empty and standard output thrown away; the loader's LD_DEBUG notes go
  // to standard error with the program's own messages.
  TRun Run(const std::string& program, std::vector<std::string> args, std::vector<std::string> env = {}) {
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string err = Dir.File("stderr");
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int in = ::open("/dev/null", O_RDONLY);
      const int out = ::open("/dev/null", O_WRONLY);
      const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (in < 0 || out < 0 || e < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(e, 2) < 0) ::_exit(126);
      // A program that started the editor after all would wait for a user
      // for ever; the alarm, which outlives exec, ends it and so the test.
      ::alarm(120);
      ::execve(program.c_str(), argv.data(), envp.data());
      ::_exit(127);
    }
    TRun r;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid)
      r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.Err = ReadBytes(err);
    return r;
  }

  TTempDir Dir;
};

// If the converter linked Qt again, or opened the editor module on its way,
// the loader would name a libQt6 library here.
TEST_F(StartUp, ConverterLoadsNoQt) {
  WriteBytes(Dir.File("in.csv"), "a,b\n1,2\n");
  const struct {
    std::vector<std::string> Args;
    int Status;
  } cases[] = {
      {{"--version"}, 0},
      {{"--help"}, 0},
      {{"--latex", Dir.File("in.csv")}, 0},
      {{"--convert", Dir.File("in.csv"), Dir.File("out.qtor")}, 0},
      {{"--latex", Dir.File("missing.csv")}, 1},
      {{"--no-such-option"}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Args.front());
    const TRun r = Run(QUILTOR_EXE, c.Args, {"LD_DEBUG=libs"});
    EXPECT_EQ(r.Status, c.Status);
    EXPECT_NE(r.Err.find("libc.so"), std::string::npos) << "the loader's notes are missing:\n" << r.Err;
    EXPECT_EQ(r.Err.find("libQt"), std::string::npos) << r.Err;
  }
}

#ifdef QUILTOR_EDITOR_MODULE_DIR
// A copy of the program where no module is, or where a damaged one is: the
// editor cannot start, and the user is told why instead of the program
// crashing or failing without a word. The damaged module is put once beside
// the program and once in the installed library folder, so that both places
// are shown to be looked in.
TEST_F(StartUp, EditorModuleMissingOrBroken) {
  if (std::filesystem::path(QUILTOR_EDITOR_MODULE_DIR).is_absolute()) GTEST_SKIP() << "installs to a fixed folder";
  const std::string bin = Dir.File("bin");
  const std::string installed = (std::filesystem::path(bin) / QUILTOR_EDITOR_MODULE_DIR).lexically_normal();
  std::filesystem::create_directories(bin);
  std::filesystem::create_directories(installed);
  const std::string program = bin + "/quiltor";
  std::filesystem::copy_file(QUILTOR_EXE, program);
  WriteBytes(Dir.File("t.qtor"), "");

  TRun r = Run(program, {Dir.File("t.qtor")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("quiltor: cannot start the editor: quiltor-editor.so is in neither"), std::string::npos)
      << r.Err;

  for (const std::string& folder : {installed, bin}) {
    SCOPED_TRACE(folder);
    WriteBytes(folder + "/quiltor-editor.so", "not a shared object\n");
    r = Run(program, {Dir.File("t.qtor")});
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Err.find("quiltor: cannot start the editor: " + folder + "/quiltor-editor.so"), std::string::npos)
        << r.Err;
  }
}
#endif

}  // namespace
