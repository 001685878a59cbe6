// `quiltor --recover`: what the next start would offer, printed without
// touching the recovery folder.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "../model/FileTestUtil.h"
#include "document/Recovery.h"
#include "model/Tables.h"
#include "undo/Snapshot.h"

namespace {

TEST(RecoverListing, ListsOfferedAndDamagedEntriesAndMovesNothing) {
  TTempDir dir;
  const std::string folder = dir.File("quiltor/recovery");
  TTable t;
  new TColumn(t);
  t.AddRow();
  for (const char* name : {"/home/a/prices.qtor", "", "/home/a/broken.qtor"}) {
    TRecoveryWriter writer(folder);
    writer.Submit(Snapshots::TSnapshot::Capture(t, nullptr), TRecoveryInfo{name, "t", 0, 0});
    writer.Flush();
    if (std::string(name).find("broken") != std::string::npos) WriteBytes(writer.DataPath(), "garbage");
  }
  const size_t files = dir.Names().size() + std::distance(std::filesystem::directory_iterator(folder), {});

  const std::string out = dir.File("stdout");
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setenv("XDG_STATE_HOME", dir.Path().c_str(), 1);
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(fd, 1);
    ::execl(QUILTOR_EXE, QUILTOR_EXE, "--recover", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const std::string text = ReadBytes(out);
  EXPECT_NE(text.find("  /home/a/prices.qtor\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  Untitled\n"), std::string::npos) << text;
  EXPECT_NE(text.find("The recovery data of /home/a/broken.qtor"), std::string::npos) << text;
  EXPECT_EQ(text.find("moved"), std::string::npos) << text;
  EXPECT_EQ(dir.Names().size() + std::distance(std::filesystem::directory_iterator(folder), {}), files + 1)
      << "only the output file is new";
}

}  // namespace
