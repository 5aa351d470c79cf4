#include "OperationsTarget.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::operations::SetUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::operations::RunOne(data, size);
    return 0;
}
