// libFuzzer target: the ods reader on a sound zip container holding mutated XML parts (fuzz::odsParts).
#include "tests/fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::odsParts(data, size);
    return 0;
}
