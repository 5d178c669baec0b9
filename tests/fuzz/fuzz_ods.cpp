// libFuzzer target: the ods reader on one input file (fuzz::ods in FuzzTargets.h).
#include "tests/fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::ods(data, size);
    return 0;
}
