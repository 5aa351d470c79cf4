#include "StartupTarget.h"

#include <QApplication>

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Never destroyed: libFuzzer leaves through exit(), after Qt's own statics are gone.
    new QApplication(*argc, *argv);
    fuzz::startup::SetUp(RAVLEN_SAMPLES_DIR);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::startup::RunOne(data, size);
    return 0;
}
