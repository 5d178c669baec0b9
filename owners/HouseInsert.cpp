#include "owners/HouseInsert.h"
#include "data/BoundWrite.h"
#include "db/DatabaseEngine.h"

namespace {
const QString &insertSql()
{
    static const QString s = QStringLiteral("INSERT INTO UHouse (AName, theNum, theArea, HType, thePrice, EndDate, "
                                            "theName, thePhone, Remark, theDel, theDate, UName) "
                                            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, '否', ?, ?)");
    return s;
}

QVariantList values(const House &h, const QString &date, const QString &user)
{
    return {h.area, h.room, BoundWrite::number(h.floorArea), h.purpose, BoundWrite::number(h.price), h.endDate,
            h.owner, h.phone, h.remark, date, user};
}
} // namespace

HouseInsert::HouseInsert(Database &db)
    : m_insert(db, insertSql())
{
}

HouseInsert::~HouseInsert() = default;

QString HouseInsert::text(const House &h, const QString &date, const QString &user)
{
    return BoundWrite::shown(insertSql(), values(h, date, user));
}

void HouseInsert::refuseNul(const House &h, const QString &date, const QString &user)
{
    // A number's text holding a NUL is no number and stays text: every text is looked at.
    const QChar nul(0);
    for (const QString *t : {&h.area, &h.room, &h.floorArea, &h.purpose, &h.price, &h.endDate, &h.owner, &h.phone,
                             &h.remark, &date, &user}) {
        if (t->contains(nul))
            ::refuseNul(text(h, date, user));
    }
}

QVariantList HouseInsert::boundValues(const House &h, const QString &date, const QString &user)
{
    return values(h, date, user);
}

void HouseInsert::run(const House &h, const QString &date, const QString &user)
{
    run(values(h, date, user));
}

void HouseInsert::run(const QVariantList &v)
{
    try {
        // A text holding a NUL is refused here, before the engine sees it.
        BoundWrite::bind(m_insert, insertSql(), v);
        m_insert.run();
    } catch (const DbError &e) {
        // The engine named the statement with its placeholders; support needs the values.
        throw DbError(e.message(), BoundWrite::shown(insertSql(), v), e.code(),
                      e.detail() == e.statement() ? QString() : e.detail());
    }
}
