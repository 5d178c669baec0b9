#pragma once
// A small office whose season figures are worked out by hand in the tests. The unit's
// period is the initial one: 10 October to 10 April of the next year, so the 2024 season
// runs from 2024-10-10 to 2025-04-10.
//
//   东区  100 m² × 20, paid up to 2025-04-10 (the season's very end: paid)
//          80 m² × 20, paid up to 2024-04-10 (behind: 1 year × 80 × 20 = 1600)
//          50 m² × 25, paid up to 2022-12-31 (behind: 3 years × 50 × 25 = 3750)
//         999 m², deleted (left out)
//   西区  120.5 m² × 22, paid up to 2026-04-10 (paid)
//          60 m², paid-up text "abc" (neither paid nor behind)
//          70 m² × 22, paid up to 2025-04-09 (behind, 0 calendar years: owes 0)
//   空区  no houses at all
//
// Payments: 东区 2000 现金 on the season's first day and 1000 微信 on its last, 500 the day
// before it began (left out); 西区 2651 现金 and 500 微信 on 2024-12-01, 300 现金 that day
// deleted (left out), 800 the day after the season (left out).
#include "tests/support/Builders.h"
#include "tests/support/TestSupport.h"

inline void fillStatisticsFixture(TestDb &db)
{
    db.exec(QStringLiteral("INSERT INTO SArea (theName, Remark) VALUES ('东区', ''), ('西区', ''), ('空区', '')"));
    struct House {
        const char *area, *room, *floorArea, *purpose, *price, *paidUp, *owner;
        bool deleted;
    };
    const House houses[] = {
        {"东区", "1-1-101", "100", "住宅", "20", "2025-04-10", "甲", false},
        {"东区", "1-1-102", "80", "住宅", "20", "2024-04-10", "乙", false},
        {"东区", "1-1-103", "50", "商业", "25", "2022-12-31", "丙", false},
        {"东区", "1-1-104", "999", "住宅", "20", "2020-01-01", "丁", true},
        {"西区", "2-1-101", "120.5", "住宅", "22", "2026-04-10", "戊", false},
        {"西区", "2-1-102", "60", "住宅", "22", "abc", "己", false},
        {"西区", "2-1-103", "70", "住宅", "22", "2025-04-09", "庚", false},
    };
    for (const House &h : houses)
        HouseBuilder().area(QString::fromUtf8(h.area)).room(QString::fromUtf8(h.room)).floorArea(QString::fromUtf8(h.floorArea))
            .purpose(QString::fromUtf8(h.purpose)).price(QString::fromUtf8(h.price)).paidUpTo(QString::fromUtf8(h.paidUp))
            .owner(QString::fromUtf8(h.owner)).deleted(h.deleted).insert(db);
    // Payments by house ID (the order above), stored on their charging date.
    struct Charge {
        qint64 house;
        const char *number, *date, *area, *room, *amount, *method;
        bool deleted;
    };
    const Charge charges[] = {
        {1, "2410100001", "2024-10-10", "东区", "1-1-101", "2000", "现金", false},
        {1, "2504100001", "2025-04-10", "东区", "1-1-101", "1000", "微信", false},
        {2, "2410090001", "2024-10-09", "东区", "1-1-102", "500", "现金", false},
        {5, "2412010001", "2024-12-01", "西区", "2-1-101", "2651", "现金", false},
        {5, "2412010002", "2024-12-01", "西区", "2-1-101", "500", "微信", false},
        {7, "2412010003", "2024-12-01", "西区", "2-1-103", "300", "现金", true},
        {7, "2504110001", "2025-04-11", "西区", "2-1-103", "800", "现金", false},
    };
    for (const Charge &c : charges)
        ChargeRowBuilder().house(c.house).number(QString::fromUtf8(c.number)).chargingDate(QString::fromUtf8(c.date))
            .area(QString::fromUtf8(c.area)).room(QString::fromUtf8(c.room)).amount(QString::fromUtf8(c.amount))
            .method(QString::fromUtf8(c.method)).deleted(c.deleted).storedOn(QString::fromUtf8(c.date)).insert(db);
}
