// libFuzzer target: FreeXL in this process (fuzz::xlsFreexl); its findings are FreeXL faults that the program contains.
#include "tests/fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::xlsFreexl(data, size);
    return 0;
}
