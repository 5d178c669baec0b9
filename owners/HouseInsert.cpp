#include "owners/HouseInsert.h"
#include "data/BoundWrite.h"
#include "db/DatabaseEngine.h"
#include "db/Sql.h"

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
    QString t = QStringLiteral("INSERT INTO UHouse (AName, theNum, theArea, HType, thePrice, EndDate, theName, "
                               "thePhone, Remark, theDel, theDate, UName) VALUES (");
    for (const QString *v : {&h.area, &h.room, &h.floorArea, &h.purpose, &h.price, &h.endDate, &h.owner, &h.phone,
                             &h.remark})
        t += Sql::quote(*v) + QStringLiteral(", ");
    t += QStringLiteral("'否', ") + Sql::quote(date) + QStringLiteral(", ") + Sql::quote(user) + QStringLiteral(")");
    return t;
}

void HouseInsert::refuseNul(const House &h, const QString &date, const QString &user)
{
    for (const QString *v : {&h.area, &h.room, &h.floorArea, &h.purpose, &h.price, &h.endDate, &h.owner, &h.phone,
                             &h.remark, &date, &user}) {
        if (v->contains(QChar(0)))
            ::refuseNul(text(h, date, user));
    }
}

void HouseInsert::run(const House &h, const QString &date, const QString &user)
{
    refuseNul(h, date, user);
    try {
        BoundWrite::bind(m_insert, insertSql(), values(h, date, user));
        m_insert.run();
    } catch (const DbError &e) {
        // The engine named the statement with its placeholders; support needs the values.
        throw DbError(e.message(), text(h, date, user), e.code(), e.detail() == e.statement() ? QString() : e.detail());
    }
}
