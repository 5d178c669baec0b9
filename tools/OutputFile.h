#pragma once
#include "db/DbError.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

// An output file the admin tool is told to write (--pdf, --out) may replace only an
// earlier file of the same kind: a slip of the path must never overwrite the database or
// anything else. magic is how such a file begins ("%PDF-", "PK\3\4").
inline void checkOutputFile(const QString &path, const QByteArray &magic, const QString &kind)
{
    const QFileInfo fi(path);
    if (!fi.exists())
        return;
    QFile f(path);
    const bool same = fi.isFile() && f.open(QIODevice::ReadOnly) && f.read(magic.size()) == magic;
    if (!same)
        throw AppError(QStringLiteral("%1 已经存在且不是%2文件，不会覆盖它，请换一个文件名")
                           .arg(QDir::toNativeSeparators(fi.absoluteFilePath()), kind));
}
