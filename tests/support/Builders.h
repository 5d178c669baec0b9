#pragma once
#include <QDate>
#include <QList>
#include <QPair>
#include <QString>

class Database;
class TestDb;

// Rows for a test's fixture, written through a prepared statement with bound values so
// that the same builder works on the file and on the server. Only the columns a test
// sets are written; the others stay null, as a hand-made row would leave them.
class RowBuilder {
public:
    // Any column by its stored name, for a value the named setters do not cover.
    RowBuilder &set(const QString &column, const QString &value);
    // Writes the row (count times) on the shared connection or the one given; the ID of
    // the last row written.
    qint64 insert(TestDb &db, int count = 1) const;
    qint64 insert(Database &db, int count = 1) const;

protected:
    explicit RowBuilder(QString table) : m_table(std::move(table)) {}

private:
    QString m_table;
    QList<QPair<QString, QString>> m_values;
};

// A house (UHouse), live unless deleted() says otherwise:
// HouseBuilder().area("阳光小区").room("5-101").owner("欧阳").price(25).paidUpTo("2024-10-10").insert(db)
class HouseBuilder : public RowBuilder {
public:
    HouseBuilder();
    HouseBuilder &area(const QString &name) { return col(QStringLiteral("AName"), name); }
    HouseBuilder &room(const QString &number) { return col(QStringLiteral("theNum"), number); }
    HouseBuilder &floorArea(const QString &m2) { return col(QStringLiteral("theArea"), m2); }
    HouseBuilder &floorArea(double m2) { return floorArea(QString::number(m2, 'g', 15)); }
    HouseBuilder &purpose(const QString &type) { return col(QStringLiteral("HType"), type); }
    HouseBuilder &price(const QString &yuan) { return col(QStringLiteral("thePrice"), yuan); }
    HouseBuilder &price(double yuan) { return price(QString::number(yuan, 'g', 15)); }
    HouseBuilder &paidUpTo(const QString &date) { return col(QStringLiteral("EndDate"), date); }
    HouseBuilder &paidUpTo(const QDate &date) { return paidUpTo(date.toString(Qt::ISODate)); }
    HouseBuilder &owner(const QString &name) { return col(QStringLiteral("theName"), name); }
    HouseBuilder &phone(const QString &number) { return col(QStringLiteral("thePhone"), number); }
    HouseBuilder &remark(const QString &text) { return col(QStringLiteral("Remark"), text); }
    HouseBuilder &deleted(bool yes = true) { return col(QStringLiteral("theDel"), yes ? QStringLiteral("是") : QStringLiteral("否")); }
    // When and by whom the house was entered.
    HouseBuilder &entered(const QString &date, const QString &by)
    {
        col(QStringLiteral("theDate"), date);
        return col(QStringLiteral("UName"), by);
    }

    HouseBuilder &set(const QString &column, const QString &value)
    {
        RowBuilder::set(column, value);
        return *this;
    }

private:
    HouseBuilder &col(const QString &c, const QString &v) { return set(c, v); }
};

// A stored payment row (UCharge) as it was written some time ago: for a test that needs a
// hand-made past (counts, odd values, rows of another day). A payment that a test takes
// now goes through Payment below instead. Live unless deleted() says otherwise.
class ChargeRowBuilder : public RowBuilder {
public:
    ChargeRowBuilder();
    ChargeRowBuilder &house(qint64 id) { return col(QStringLiteral("HID"), QString::number(id)); }
    ChargeRowBuilder &number(const QString &receipt) { return col(QStringLiteral("theNum"), receipt); }
    // The charging date (myDate) and the day it was stored (theDate).
    ChargeRowBuilder &chargingDate(const QString &date) { return col(QStringLiteral("myDate"), date); }
    ChargeRowBuilder &storedOn(const QString &date) { return col(QStringLiteral("theDate"), date); }
    ChargeRowBuilder &area(const QString &name) { return col(QStringLiteral("AName"), name); }
    ChargeRowBuilder &room(const QString &number) { return col(QStringLiteral("HNum"), number); }
    ChargeRowBuilder &floorArea(const QString &m2) { return col(QStringLiteral("HArea"), m2); }
    ChargeRowBuilder &price(const QString &yuan) { return col(QStringLiteral("HPrice"), yuan); }
    ChargeRowBuilder &owner(const QString &name) { return col(QStringLiteral("HName"), name); }
    ChargeRowBuilder &years(const QString &n) { return col(QStringLiteral("theCount"), n); }
    ChargeRowBuilder &period(const QString &start, const QString &end)
    {
        col(QStringLiteral("QSDate"), start);
        return col(QStringLiteral("JZDate"), end);
    }
    ChargeRowBuilder &amount(const QString &yuan) { return col(QStringLiteral("theMoney"), yuan); }
    ChargeRowBuilder &inWords(const QString &capitals) { return col(QStringLiteral("theDX"), capitals); }
    ChargeRowBuilder &method(const QString &name) { return col(QStringLiteral("MType"), name); }
    ChargeRowBuilder &payee(const QString &name) { return col(QStringLiteral("theSKR"), name); }
    ChargeRowBuilder &remark(const QString &text) { return col(QStringLiteral("Remark"), text); }
    ChargeRowBuilder &deleted(bool yes = true) { return col(QStringLiteral("theDel"), yes ? QStringLiteral("是") : QStringLiteral("否")); }
    ChargeRowBuilder &enteredBy(const QString &name) { return col(QStringLiteral("UName"), name); }

    ChargeRowBuilder &set(const QString &column, const QString &value)
    {
        RowBuilder::set(column, value);
        return *this;
    }

private:
    ChargeRowBuilder &col(const QString &c, const QString &v) { return set(c, v); }
};

// A payment taken as charge entry takes it: the house looked up by area and room, the
// proposal for the years, stored by the charge logic under the login's charging date and
// operator. The amount is the proposal's unless one is given.
class Payment {
public:
    Payment(const QString &area, const QString &room) : m_area(area), m_room(room) {}
    Payment &years(int n)
    {
        m_years = n;
        return *this;
    }
    Payment &method(const QString &name)
    {
        m_method = name;
        return *this;
    }
    Payment &amount(const QString &yuan)
    {
        m_amount = yuan;
        return *this;
    }
    Payment &remark(const QString &text)
    {
        m_remark = text;
        return *this;
    }
    // Stores the payment; its receipt number. Throws as the charge logic's save does.
    QString save() const;

private:
    QString m_area, m_room;
    int m_years = 1;
    QString m_method = QStringLiteral("现金");
    QString m_amount;
    QString m_remark;
};
