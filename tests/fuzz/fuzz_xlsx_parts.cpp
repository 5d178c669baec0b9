// libFuzzer target: the xlsx reader on a sound zip container holding mutated XML parts (fuzz::xlsxParts).
#include "tests/fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::xlsxParts(data, size);
    return 0;
}
