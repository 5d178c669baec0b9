#include "report/Report.h"
#include "report/ReportPresenter.h"
#include "data/AppIdentity.h"
#include "db/DbError.h"
#include "db/Numbers.h"
#include "data/OutputFile.h"

#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QPaintEngine>
#include <QPainterPath>
#include <QRawFont>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextLayout>

#include <algorithm>

namespace report {

namespace {

// Chinese text falls back to this family where the design's font has no glyphs, so the
// page never shows empty boxes for Chinese characters.
const QString CjkFallback = QStringLiteral("WenQuanYi Micro Hei");

const QRegularExpression &fieldPattern()
{
    static const QRegularExpression re(QStringLiteral("\\[([A-Za-z_][A-Za-z0-9_]*)\\.([A-Za-z_][A-Za-z0-9_]*)\\]"));
    return re;
}

// Where the design's family is not installed, its metric-compatible twin takes its place,
// so text keeps the widths the boxes were drawn for.
QStringList familiesFor(const QString &family)
{
    QStringList families{family};
    if (family.compare(QLatin1String("Arial"), Qt::CaseInsensitive) == 0)
        families << QStringLiteral("Liberation Sans");
    families << CjkFallback;
    return families;
}

QFont boxFont(const TextBox &box)
{
    QFont f(box.fontFamily);
    f.setFamilies(familiesFor(box.fontFamily));
    f.setPointSizeF(box.pointSize);
    f.setBold(box.bold);
    // Unhinted outlines: the preview and the PDF then break lines at the same places.
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

// True when the run's font has no bold face of its own, so the engine thickens its
// regular outlines (the Chinese font has none).
bool syntheticBold(const QRawFont &font)
{
    const QString family = font.familyName();
    for (const QString &style : QFontDatabase::styles(family))
        if (QFontDatabase::weight(family, style) >= QFont::DemiBold)
            return false;
    return true;
}

// Bold text drawn as thickened outlines. A picture (the print preview records every page
// into one, then shows it scaled) draws text as outlines when scaled, and outlines lose
// the thickening the engine adds for a font without a bold face: the titles would look
// regular in the preview while they print bold. The thickening is the engine's own: one
// 24th of the em in all, half on either side of the outline.
void drawEmboldened(QPainter &painter, const QTextLayout &layout, const QPointF &origin)
{
    for (const QGlyphRun &run : layout.glyphRuns()) {
        const QRawFont font = run.rawFont();
        if (!syntheticBold(font)) {
            painter.drawGlyphRun(origin, run);
            continue;
        }
        const QList<quint32> glyphs = run.glyphIndexes();
        const QList<QPointF> positions = run.positions();
        QPainterPath outline;
        for (qsizetype i = 0; i < glyphs.size(); ++i)
            outline.addPath(font.pathForGlyph(glyphs.at(i)).translated(origin + positions.at(i)));
        outline.setFillRule(Qt::WindingFill);
        painter.fillPath(outline, Qt::black);
        QPen pen(Qt::black, font.pixelSize() / 24.0);
        pen.setJoinStyle(Qt::RoundJoin);
        painter.strokePath(outline, pen);
    }
}

} // namespace

QString formatNumber(const QString &format, const QString &value)
{
    static const QRegularExpression pattern(QStringLiteral("^%([-+ 0#]*)(\\d*)(\\.\\d+)?([dfeEgG])$"));
    const auto m = pattern.match(format);
    if (!m.hasMatch())
        throw AppError(QStringLiteral("报表显示格式“%1”无效").arg(format));
    if (!Numbers::isNumber(value))
        return value;
    const double v = Numbers::toDouble(value);
    if (m.captured(4) == QLatin1String("d")) {
        const QString f = QLatin1Char('%') + m.captured(1) + m.captured(2) + QStringLiteral("lld");
        return QString::asprintf(f.toLatin1().constData(), static_cast<long long>(Numbers::roundTo(v, 0)));
    }
    return QString::asprintf(format.toLatin1().constData(), v);
}

// ---------------------------------------------------------------- Report

void Report::addDataSet(const QString &userName, const Rows *rows)
{
    m_dataSets.append(DataSet{userName, rows});
}

QPageLayout Report::pageLayout() const
{
    const QPageSize size(paperSize, QPageSize::Millimeter, name, QPageSize::ExactMatch);
    return QPageLayout(size, orientation, margins, QPageLayout::Millimeter);
}

QString Report::fieldValue(const QString &dataSet, const QString &field) const
{
    for (const DataSet &ds : m_dataSets) {
        if (ds.userName.compare(dataSet, Qt::CaseInsensitive) != 0)
            continue;
        if (!ds.rows)
            return {};
        const int c = ds.rows->columnIndex(field);
        if (c < 0)
            throw AppError(QStringLiteral("报表字段“%1.%2”不存在").arg(dataSet, field));
        const int r = ds.rows->current();
        if (r < 0 || r >= ds.rows->rowCount())
            return {}; // no current row: the field prints empty
        return ds.rows->at(r, c);
    }
    throw AppError(QStringLiteral("报表数据集“%1”不存在").arg(dataSet));
}

QString Report::expand(const TextBox &box) const
{
    QString out;
    qsizetype pos = 0;
    auto it = fieldPattern().globalMatch(box.content);
    while (it.hasNext()) {
        const auto m = it.next();
        out += box.content.mid(pos, m.capturedStart() - pos);
        QString v = fieldValue(m.captured(1), m.captured(2));
        if (!box.format.isEmpty())
            v = formatNumber(box.format, v);
        out += v;
        pos = m.capturedEnd();
    }
    out += box.content.mid(pos);
    return out;
}

PreparedReport Report::prepare() const
{
    PreparedReport page;
    page.layout = pageLayout();
    page.fileName = m_fileName;
    page.documentName = documentName;
    for (const TextBox &box : texts)
        page.texts.append(PreparedReport::Text{box, expand(box)});
    page.lines = lines;
    page.pictures = pictures;
    return page;
}

void Report::showReport(ReportPresenter &presenter)
{
    m_prepared = PreparedReport();
    m_prepared = prepare();
    presenter.present(m_prepared);
}

// ---------------------------------------------------------------- PreparedReport

const PreparedReport::Text *PreparedReport::find(const QString &boxName) const
{
    for (const Text &t : texts)
        if (t.box.name == boxName)
            return &t;
    return nullptr;
}

QString PreparedReport::text(const QString &boxName) const
{
    const Text *t = find(boxName);
    return t ? t->text : QString();
}

void PreparedReport::applyLayout(QPagedPaintDevice &device) const
{
    if (!device.setPageLayout(layout)) {
        // Some printers take the parts one by one only.
        device.setPageSize(layout.pageSize());
        device.setPageOrientation(layout.orientation());
        device.setPageMargins(layout.margins(), QPageLayout::Millimeter);
    }
}

int PreparedReport::pageCount() const
{
    int last = 0;
    for (const Text &t : texts)
        last = std::max(last, t.box.page);
    for (const Line &l : lines)
        last = std::max(last, l.page);
    for (const Picture &p : pictures)
        last = std::max(last, p.page);
    return last + 1;
}

void PreparedReport::paintAll(QPainter &painter, QPagedPaintDevice &device) const
{
    const int pages = pageCount();
    for (int p = 0; p < pages; ++p) {
        if (p > 0)
            device.newPage();
        paint(painter, p);
    }
}

void PreparedReport::paint(QPainter &painter, int page) const
{
    const QPaintDevice *device = painter.device();
    const double sx = device->logicalDpiX() / 25.4;
    const double sy = device->logicalDpiY() / 25.4;
    const auto toDevice = [&](const QRectF &mm) {
        return QRectF(mm.x() * sx, mm.y() * sy, mm.width() * sx, mm.height() * sy);
    };

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);

    for (const Picture &pic : pictures) {
        if (pic.page != page || pic.image.isNull())
            continue;
        const QRectF box = toDevice(pic.rect);
        const QSizeF source = pic.image.deviceIndependentSize();
        const double scale = std::min(box.width() / source.width(), box.height() / source.height());
        const QSizeF drawn = source * scale;
        painter.save();
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.drawImage(QRectF(box.left() + (box.width() - drawn.width()) / 2,
                                 box.top() + (box.height() - drawn.height()) / 2, drawn.width(), drawn.height()),
                          pic.image);
        painter.restore();
    }

    for (const Line &line : lines) {
        if (line.page != page)
            continue;
        QPen pen(Qt::black);
        pen.setWidthF(line.width * sx);
        pen.setStyle(Qt::SolidLine);
        pen.setCapStyle(Qt::SquareCap);
        painter.setPen(pen);
        painter.drawLine(QPointF(line.from.x() * sx, line.from.y() * sy), QPointF(line.to.x() * sx, line.to.y() * sy));
    }

    for (const Text &t : texts) {
        const TextBox &box = t.box;
        if (box.page != page)
            continue;
        const QRectF outer = toDevice(box.rect);
        const QRectF inner = toDevice(box.rect.adjusted(box.insetX, box.insetY, -box.insetX, -box.insetY));
        if (t.text.isEmpty() || inner.width() <= 0 || inner.height() <= 0)
            continue;

        QString text = t.text;
        text.remove(QLatin1Char('\r'));
        text.replace(QLatin1Char('\n'), QChar::LineSeparator);

        QTextLayout layout(text, boxFont(box), device);
        QTextOption option(box.hAlign);
        option.setWrapMode(box.wordWrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
        layout.setTextOption(option);
        layout.setCacheEnabled(true);
        layout.beginLayout();
        double height = 0;
        int lineCount = 0;
        for (;;) {
            QTextLine line = layout.createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(inner.width());
            line.setPosition(QPointF(0, height));
            height += line.height();
            ++lineCount;
        }
        layout.endLayout();

        double top = 0;
        if (box.vAlign & Qt::AlignVCenter)
            top = (inner.height() - height) / 2;
        else if (box.vAlign & Qt::AlignBottom)
            top = inner.height() - height;
        // Text of several lines that does not fit starts at the top, so its beginning stays
        // readable; the rest is cut off at the box's edge and nothing else moves.
        if (lineCount > 1 && height > inner.height())
            top = 0;

        painter.save();
        if (box.clip)
            painter.setClipRect(outer, Qt::IntersectClip);
        painter.setPen(Qt::black);
        const QPointF origin(inner.left(), inner.top() + top);
        if (box.bold && painter.paintEngine() && painter.paintEngine()->type() == QPaintEngine::Picture)
            drawEmboldened(painter, layout, origin);
        else
            layout.draw(&painter, origin);
        painter.restore();
    }
    painter.restore();
}

void PreparedReport::writePdf(QIODevice *out) const { report::writePdf(QList<PreparedReport>{*this}, out); }

void PreparedReport::writePdf(const QString &path) const { report::writePdf(QList<PreparedReport>{*this}, path); }

void writePdf(const QList<PreparedReport> &pages, QIODevice *out)
{
    if (pages.isEmpty())
        throw AppError(QStringLiteral("报表没有页面，无法生成 PDF 文件"));
    QPdfWriter writer(out);
    writer.setResolution(1200);
    writer.setTitle(pages.first().layout.pageSize().name());
    writer.setCreator(QString::fromUtf8(AppTitle));
    pages.first().applyLayout(writer);
    QPainter painter;
    if (!painter.begin(&writer))
        throw AppError(QStringLiteral("无法生成 PDF 文件"));
    for (int i = 0; i < pages.size(); ++i) {
        if (i > 0)
            writer.newPage();
        pages.at(i).paintAll(painter, writer);
    }
    painter.end();
}

void writePdf(const QList<PreparedReport> &pages, const QString &path)
{
    OutputFile file(path);
    writePdf(pages, &file.file());
    file.commit();
}

} // namespace report

namespace report {
namespace {
ReportPresenter *installedPresenter = nullptr;
}
ReportPresenter *presenter() { return installedPresenter; }
void setPresenter(ReportPresenter *presenter) { installedPresenter = presenter; }
} // namespace report
