// libFuzzer target: an .xls file as the program reads it, FreeXL in the helper process (fuzz::xls).
#include "tests/fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::xls(data, size);
    return 0;
}
