#include "StartupTarget.h"

#include <QApplication>

#include <cstdlib>
#include <memory>

namespace {

std::unique_ptr<QApplication> g_app;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    g_app = std::make_unique<QApplication>(*argc, *argv);
    fuzz::startup::SetUp(RAVLEN_SAMPLES_DIR);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::startup::RunOne(data, size);
    return 0;
}
