#pragma once
#include <QString>

// The using unit's name and charging period, kept in the single row of SDept.
namespace UnitSettings {

struct Period {
    int beginMonth = 10;
    int beginDay = 10;
    int endMonth = 4;
    int endDay = 10;
};

// Stores name and period. The numbers go into the statement as plain whole numbers.
void save(const QString &name, const Period &period);

} // namespace UnitSettings
