#include "tests/support/Builders.h"
#include "charging/ChargeLogic.h"
#include "data/DataModule.h"
#include "db/Database.h"
#include "tests/support/TestSupport.h"

#include <QStringList>

RowBuilder &RowBuilder::set(const QString &column, const QString &value)
{
    for (auto &cv : m_values)
        if (cv.first == column) {
            cv.second = value;
            return *this;
        }
    m_values.append({column, value});
    return *this;
}

qint64 RowBuilder::insert(TestDb &, int count) const { return insert(dataModule().db(), count); }

qint64 RowBuilder::insert(Database &db, int count) const
{
    if (count <= 0)
        return 0;
    QStringList columns, marks;
    for (const auto &cv : m_values) {
        columns << cv.first;
        marks << QStringLiteral("?");
    }
    Transaction t(db);
    Statement s(db, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                        .arg(m_table, columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))));
    for (int n = 0; n < count; ++n) {
        for (int i = 0; i < m_values.size(); ++i)
            s.bind(i + 1, m_values.at(i).second);
        s.run();
    }
    const qint64 id = db.lastInsertId();
    t.commit();
    return id;
}

HouseBuilder::HouseBuilder() : RowBuilder(QStringLiteral("UHouse")) { deleted(false); }

ChargeRowBuilder::ChargeRowBuilder() : RowBuilder(QStringLiteral("UCharge")) { deleted(false); }

QString Payment::save() const
{
    const ChargeLogic::House h = ChargeLogic::houseAt(ChargeLogic::lookUpHouse(m_area, m_room));
    const QString years = QString::number(m_years);
    ChargeLogic::Payment p =
        ChargeLogic::paymentFor(h, years, ChargeLogic::propose(years, h.floorArea, h.unitPrice, h.paidUp));
    if (!m_amount.isEmpty())
        p.amount = m_amount;
    p.paymentMethod = m_method;
    p.remark = m_remark;
    return ChargeLogic::save(p);
}
