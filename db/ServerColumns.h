#pragma once
#include <QHash>
#include <QString>

// What the server engine must know of the program's tables to speak of them as the
// program does: the server folds unquoted names to lower case ("thearea"), the statements
// and the operator's messages spell them as written ("theArea", "面积"). The layer that
// describes the tables (data/Schema) hands them over once, before the first connection.
struct ServerColumns {
    // Lower-case server name -> the program's spelling, for every column of every table.
    QHash<QString, QString> spelling;
    // Lower-case name of a number column -> the operator's word for it ("thearea" -> "面积").
    QHash<QString, QString> numberLabels;

    static void set(ServerColumns columns);
    // The column as the program spells it; the name as given when it is none of them.
    static QString spelled(const QString &lower);
    // The operator's word for a number column (any letter case), empty for any other.
    static QString numberLabel(const QString &column);
};
