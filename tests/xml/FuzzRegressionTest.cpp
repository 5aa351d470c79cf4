// Replays every input the fuzzers once failed on, through the fuzz targets' own code.
#include "../fuzz/LoadTarget.h"
#include "../fuzz/OperationsTarget.h"
#include "../fuzz/SpliceTarget.h"
#include "../fuzz/StartupTarget.h"

#include "common/AppPaths.h"
#include "support/Seams.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

template <typename Run> void Replay(const std::string& target, Run run) {
    const char* source = std::getenv("RAVLEN_SOURCE_DIR");
    const fs::path dir = fs::path(source ? source : ".") / "tests/fuzz/regressions" / target;
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

TEST_F(FuzzRegressionTest, SplicedValueEdits) {
    fuzz::splice::SetUp();
    Replay("splice", fuzz::splice::RunOne);
}

TEST_F(FuzzRegressionTest, ConfigurationFiles) {
    const char* source = std::getenv("RAVLEN_SOURCE_DIR");
    ASSERT_NE(source, nullptr) << "RAVLEN_SOURCE_DIR not set";
    fuzz::startup::SetUp(std::string(source) + "/samples");
    Replay("startup", fuzz::startup::RunOne);
}

} // namespace
