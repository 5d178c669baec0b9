#pragma once
// Test helpers for reports: a presenter that keeps what it was shown (and can write it
// to a PDF or fail), and the words of a PDF with their boxes, read by pdftotext -bbox.
#include "db/DbError.h"
#include "report/ReportPresenter.h"

#include <QList>
#include <QProcess>
#include <QRectF>
#include <QRegularExpression>
#include <QSizeF>
#include <QString>

class CapturePresenter : public ReportPresenter {
public:
    QList<report::PreparedReport> pages;
    QString pdfPath;     // when set, every page is written there too
    QString failWith;    // when set, presenting throws this error
    void present(const report::PreparedReport &page) override
    {
        if (!failWith.isEmpty())
            throw AppError(failWith);
        pages << page;
        if (!pdfPath.isEmpty())
            page.writePdf(pdfPath);
    }
    const report::PreparedReport &last() const { return pages.last(); }
};

struct PdfWord {
    QString text;
    QRectF mm; // from the paper's top-left corner
};

struct PdfPage {
    QSizeF sizeMm;
    QList<PdfWord> words;
    bool ok = false;
    QString error;

    // Words whose text equals t.
    QList<PdfWord> find(const QString &t) const
    {
        QList<PdfWord> found;
        for (const PdfWord &w : words)
            if (w.text == t)
                found << w;
        return found;
    }
    QStringList texts() const
    {
        QStringList t;
        for (const PdfWord &w : words)
            t << w.text;
        return t;
    }
};

inline QString unescapeXml(QString s)
{
    s.replace(QLatin1String("&lt;"), QLatin1String("<"));
    s.replace(QLatin1String("&gt;"), QLatin1String(">"));
    s.replace(QLatin1String("&quot;"), QLatin1String("\""));
    s.replace(QLatin1String("&apos;"), QLatin1String("'"));
    s.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return s;
}

// The first page of a PDF as poppler reads it.
inline PdfPage readPdfWords(const QString &path)
{
    PdfPage page;
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, QStringLiteral("-")});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        page.error = QStringLiteral("pdftotext failed: ") + QString::fromUtf8(p.readAllStandardError());
        return page;
    }
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    const double mm = 25.4 / 72.0;
    static const QRegularExpression pageRe(QStringLiteral("<page width=\"([0-9.]+)\" height=\"([0-9.]+)\">"));
    const auto pm = pageRe.match(html);
    if (!pm.hasMatch()) {
        page.error = QStringLiteral("no page in pdftotext output");
        return page;
    }
    page.sizeMm = QSizeF(pm.captured(1).toDouble() * mm, pm.captured(2).toDouble() * mm);
    static const QRegularExpression wordRe(QStringLiteral(
        "<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">([^<]*)</word>"));
    const int end = html.indexOf(QLatin1String("</page>"));
    auto it = wordRe.globalMatch(html.left(end));
    while (it.hasNext()) {
        const auto m = it.next();
        const double x1 = m.captured(1).toDouble() * mm, y1 = m.captured(2).toDouble() * mm;
        const double x2 = m.captured(3).toDouble() * mm, y2 = m.captured(4).toDouble() * mm;
        page.words << PdfWord{unescapeXml(m.captured(5)), QRectF(QPointF(x1, y1), QPointF(x2, y2))};
    }
    page.ok = true;
    return page;
}

// True when the word's box lies inside the rectangle (mm), with a small tolerance for the
// font's ascent and descent reaching past a tight box.
inline bool inside(const QRectF &word, const QRectF &box, double tolerance = 0.6)
{
    return box.adjusted(-tolerance, -tolerance, tolerance, tolerance).contains(word);
}

// The names of the fonts in a PDF, with whether each is embedded ("WenQuanYiMicroHei yes").
inline QStringList pdfFonts(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdffonts"), {path});
    p.waitForFinished(30000);
    QStringList fonts;
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (int i = 2; i < lines.size(); ++i) {
        const QStringList cols = lines.at(i).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (cols.size() >= 5)
            fonts << cols.first() + QLatin1Char(' ') + cols.at(cols.size() - 5);
    }
    return fonts;
}
