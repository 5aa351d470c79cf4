#include "LoadTarget.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::load::SetUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::load::RunOne(data, size);
    return 0;
}
