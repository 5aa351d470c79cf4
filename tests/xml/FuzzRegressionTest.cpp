// Replays every input the fuzzers once failed on, through the fuzz targets' own code.
#include "../fuzz/LoadTarget.h"
#include "../fuzz/OperationsTarget.h"
#include "../fuzz/SpliceTarget.h"
#include "../fuzz/StartupTarget.h"
#include "../fuzz/XPathDiffTarget.h"

#include "common/AppPaths.h"
#include "support/Seams.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// The source tree, compiled in; RAVLEN_SOURCE_DIR in the environment takes its place.
fs::path SourceDir() {
    const char* source = std::getenv("RAVLEN_SOURCE_DIR");
    return source && *source ? fs::path(source) : fs::path(RAVLEN_SOURCE_DIR);
}

template <typename Run> void Replay(const std::string& folder, Run run) {
    const fs::path dir = SourceDir() / "tests/fuzz" / folder;
    ASSERT_TRUE(fs::is_directory(dir)) << dir << " is missing";
    size_t replayed = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        SCOPED_TRACE(entry.path().string());
        const std::string bytes = ReadFileBytes(entry.path().string());
        run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        ++replayed;
    }
    EXPECT_GT(replayed, 0u) << dir << " is empty";
}

class FuzzRegressionTest : public testing::Test {
protected:
    void TearDown() override { OverrideExecutablePath(""); }
    ScriptedMessageBox boxes; // restores the handler the targets replace
};

TEST_F(FuzzRegressionTest, LoadInputs) {
    fuzz::load::SetUp();
    Replay("regressions/load", fuzz::load::RunOne);
}

TEST_F(FuzzRegressionTest, OperationSequences) {
    fuzz::operations::SetUp();
    Replay("regressions/operations", fuzz::operations::RunOne);
}

TEST_F(FuzzRegressionTest, FastPathAgainstLibxml2) {
    fuzz::xpathdiff::SetUp();
    Replay("regressions/xpath_diff", fuzz::xpathdiff::RunOne);
}

TEST_F(FuzzRegressionTest, SplicedValueEdits) {
    fuzz::splice::SetUp();
    Replay("regressions/splice", fuzz::splice::RunOne);
}

// No configuration has failed the fuzzer yet; the hand-made hostile ones stand in.
TEST_F(FuzzRegressionTest, ConfigurationFiles) {
    fuzz::startup::SetUp((SourceDir() / "samples").string());
    Replay("seeds/startup", fuzz::startup::RunOne);
}

} // namespace
