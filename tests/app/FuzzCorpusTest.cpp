// Replays the inputs the fuzz targets found worth keeping (tests/fuzz/<target>),
// so that every ordinary test run checks them again. A broken property aborts
// with its description.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "../../fuzz/FuzzTargets.h"
#include "../model/FileTestUtil.h"

namespace {

template <class Target>
int Replay(const char* target, Target run) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(QUILTOR_TEST_DIR) + "/fuzz/" + target)) {
    SCOPED_TRACE(entry.path().string());
    const std::string data = ReadBytes(entry.path());
    run(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    ++count;
  }
  return count;
}

TEST(FuzzCorpus, TableFile) { EXPECT_GT(Replay("table_file", FuzzTargets::TableFile), 0); }

TEST(FuzzCorpus, TextImport) { EXPECT_GT(Replay("text_import", FuzzTargets::TextImport), 0); }

TEST(FuzzCorpus, LatexReader) { EXPECT_GT(Replay("latex_reader", FuzzTargets::LatexReader), 0); }

}  // namespace
