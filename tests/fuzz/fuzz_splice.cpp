#include "SpliceTarget.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::splice::SetUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::splice::RunOne(data, size);
    return 0;
}
