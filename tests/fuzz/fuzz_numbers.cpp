// Amount, number and date texts as an operator or a sheet can give them.
#include "data/Dates.h"
#include "data/DbError.h"
#include "data/NumToChar.h"
#include "data/Numbers.h"

#include <cmath>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    (void)Dates::tryParse(text);
    try {
        const double v = Numbers::toDouble(text);
        (void)Numbers::plain(v);
        (void)Numbers::roundTo(v, 2);
        (void)Numbers::roundTo(v, 0);
        const double a = std::fabs(v);
        if (a < 1e13)
            (void)NumToChar(a);
    } catch (const AppError &) {
    }
    try {
        (void)Numbers::toInt(text);
    } catch (const AppError &) {
    }
    if (size >= sizeof(double)) {
        double raw;
        std::memcpy(&raw, data, sizeof raw);
        (void)Numbers::plain(raw);
        if (std::isfinite(raw) && std::fabs(raw) < 1e13)
            (void)NumToChar(std::fabs(raw));
    }
    return 0;
}
