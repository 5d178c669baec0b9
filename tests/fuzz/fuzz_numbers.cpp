// Amount, number and date texts as an operator or a sheet can give them (fuzz::numbers).
#include "tests/fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::numbers(data, size);
    return 0;
}
