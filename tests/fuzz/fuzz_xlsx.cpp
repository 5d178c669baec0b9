// libFuzzer target: the xlsx reader on one input file (fuzz::xlsx in FuzzTargets.h).
#include "tests/fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::xlsx(data, size);
    return 0;
}
