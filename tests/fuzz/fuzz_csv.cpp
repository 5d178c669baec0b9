// libFuzzer target: the csv reader on one input file (fuzz::csv in FuzzTargets.h).
#include "tests/fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::csv(data, size);
    return 0;
}
