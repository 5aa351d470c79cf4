#include "XPathDiffTarget.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::xpathdiff::SetUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::xpathdiff::RunOne(data, size);
    return 0;
}
