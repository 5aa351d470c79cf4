// Replays every input the fuzzers once failed on, through the fuzz targets' own code.
#include "../fuzz/LoadTarget.h"
#include "../fuzz/OperationsTarget.h"
#include "../fuzz/StartupTarget.h"
#include "../fuzz/XPathDiffTarget.h"

#include "common/AppPaths.h"
#include "support/Seams.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// The source tree: from CTest's environment, else the one this test was built from, so that
// the test replays every input whichever folder it is started in.
std::string SourceDir() {
    const char* source = std::getenv("RAVLEN_SOURCE_DIR");
    return source ? source : RAVLEN_SOURCE_TREE;
}

template <typename Run> void Replay(const std::string& target, Run run) {
    const fs::path dir = fs::path(SourceDir()) / "tests/fuzz/regressions" / target;
    if (!fs::is_directory(dir))
        return;
    for (const auto& entry : fs::directory_iterator(dir)) {
        SCOPED_TRACE(entry.path().string());
        const std::string bytes = ReadFileBytes(entry.path().string());
        run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
}

class FuzzRegressionTest : public testing::Test {
protected:
    void TearDown() override { OverrideExecutablePath(""); }
    ScriptedMessageBox boxes; // restores the handler the targets replace
};

TEST_F(FuzzRegressionTest, LoadInputs) {
    fuzz::load::SetUp();
    Replay("load", fuzz::load::RunOne);
}

TEST_F(FuzzRegressionTest, OperationSequences) {
    fuzz::operations::SetUp();
    Replay("operations", fuzz::operations::RunOne);
}

TEST_F(FuzzRegressionTest, FastPathAgainstLibxml2) {
    fuzz::xpathdiff::SetUp();
    Replay("xpath_diff", fuzz::xpathdiff::RunOne);
}

TEST_F(FuzzRegressionTest, ConfigurationFiles) {
    fuzz::startup::SetUp(SourceDir() + "/samples");
    Replay("startup", fuzz::startup::RunOne);
}

} // namespace
