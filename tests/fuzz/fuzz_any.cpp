// libFuzzer target: any file through the format detection, as the import window opens it (fuzz::anyFile).
#include "tests/fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::anyFile(data, size);
    return 0;
}
