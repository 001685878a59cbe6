// Replays the inputs the fuzz targets found worth keeping (tests/fuzz/<target>),
// so that every ordinary test run checks them again. A broken property aborts
// with its description, and the input being replayed is named on the way
// out: an abort ends the process before any test output could name it.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "../../fuzz/FuzzTargets.h"
#include "../model/FileTestUtil.h"

namespace {

// The input being replayed, as a line ready for write(2), which is safe in a
// signal handler.
char gReplaying[4096];

void NameInput() {
  const ssize_t written = write(STDERR_FILENO, gReplaying, std::strlen(gReplaying));
  (void)written;
}

void NameInputAndDie(int signal) {
  NameInput();
  ::signal(signal, SIG_DFL);
  raise(signal);
}

}  // namespace

// Present when the sanitizers are linked in: they report a fault and end
// the process themselves, calling this back on the way.
extern "C" __attribute__((weak)) void __sanitizer_set_death_callback(void (*callback)());

namespace {

// The signals the replay names its input for: a broken property's abort,
// and without sanitizers (which catch them and report first) the crashes.
std::vector<int> FatalSignals() {
  if (__sanitizer_set_death_callback) return {SIGABRT};
  return {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL};
}

template <class Target>
int Replay(const char* target, Target run) {
  if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(NameInput);
  for (int s : FatalSignals()) signal(s, NameInputAndDie);
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(QUILTOR_TEST_DIR) + "/fuzz/" + target)) {
    const std::string path = entry.path().string();
    std::snprintf(gReplaying, sizeof gReplaying, "\nwhile replaying the fuzz input %s\n", path.c_str());
    SCOPED_TRACE(path);
    const std::string data = ReadBytes(entry.path());
    run(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    ++count;
  }
  gReplaying[0] = 0;
  for (int s : FatalSignals()) signal(s, SIG_DFL);
  return count;
}

// Without the name, a broken property in the nightly corpus leaves the
// reader to bisect hundreds of inputs by hand.
TEST(FuzzCorpusDeathTest, AnAbortNamesTheInput) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(Replay("table_file", [](const uint8_t*, size_t) { std::abort(); }),
               "while replaying the fuzz input .*/fuzz/table_file/");
}

TEST(FuzzCorpus, TableFile) { EXPECT_GT(Replay("table_file", FuzzTargets::TableFile), 0); }

TEST(FuzzCorpus, TextImport) { EXPECT_GT(Replay("text_import", FuzzTargets::TextImport), 0); }

TEST(FuzzCorpus, LatexReader) { EXPECT_GT(Replay("latex_reader", FuzzTargets::LatexReader), 0); }

}  // namespace
