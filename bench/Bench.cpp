#include "bench/Bench.h"

#include <QFile>
#include <QTextStream>
#include <cstdio>

namespace Bench {

double procStatusMiB(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith(key)) {
            const QByteArray kb = line.mid(key.size()).trimmed().split(' ').value(0);
            return kb.toDouble() / 1024.0;
        }
    }
    return -1;
}

QString ms(double v)
{
    if (v >= 1000)
        return QString::number(v / 1000, 'f', 2) + QStringLiteral(" s");
    if (v >= 100)
        return QString::number(v, 'f', 0) + QStringLiteral(" ms");
    if (v >= 10)
        return QString::number(v, 'f', 1) + QStringLiteral(" ms");
    return QString::number(v, 'f', 2) + QStringLiteral(" ms");
}

QString ratio(double program, double floor)
{
    if (floor <= 0)
        return QStringLiteral("—");
    return QString::number(program / floor, 'f', 2) + QStringLiteral("×");
}

void printTable(const QVector<Row> &rows, const QStringList &details)
{
    QTextStream out(stdout);
    out << "| operation at full scale | program | floor (same run) | ratio | must reach | result |\n";
    out << "|---|---|---|---|---|---|\n";
    for (const Row &r : rows) {
        QString verdict;
        switch (r.verdict) {
        case Verdict::Meets:
            verdict = QStringLiteral("meets");
            break;
        case Verdict::Misses:
            verdict = QStringLiteral("**misses**");
            break;
        case Verdict::NotMeasured:
            verdict = QStringLiteral("not measured");
            break;
        }
        out << "| " << r.operation << " | " << (r.program.isEmpty() ? QStringLiteral("—") : r.program) << " | "
            << (r.floor.isEmpty() ? QStringLiteral("—") : r.floor) << " | "
            << (r.ratio.isEmpty() ? QStringLiteral("—") : r.ratio) << " | " << r.goal << " | " << verdict << " |\n";
    }
    out << "\n";
    for (const Row &r : rows)
        if (!r.note.isEmpty())
            out << "- " << r.operation << ": " << r.note << "\n";
    for (const QString &d : details)
        out << "- " << d << "\n";
    out.flush();
}

} // namespace Bench
