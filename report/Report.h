#pragma once
#include "db/Database.h"

#include <QList>
#include <QMarginsF>
#include <QPageLayout>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

class QPainter;
class QPagedPaintDevice;
class QIODevice;
class ReportPresenter;

// The small report engine of the program: a one-page design held in memory, laid out
// against named data sets, painted by one function on any QPainter (preview, printer,
// PDF). Every length of a design is in millimetres.
namespace report {

// 1 px at 96 dpi, the unit the receipt's insets and rules are given in.
inline constexpr double PxMm = 25.4 / 96.0;

// A text box. Its content mixes literal text and fields written [dataset.field]; each
// field is read at the current row of its data set.
struct TextBox {
    QString name;                // for finding it in a prepared page
    QRectF rect;                 // mm from the top-left corner of the printable area
    QString content;
    QString fontFamily = QStringLiteral("Arial");
    double pointSize = 10;
    bool bold = false;
    Qt::Alignment hAlign = Qt::AlignLeft;
    Qt::Alignment vAlign = Qt::AlignVCenter;
    double insetX = 2 * PxMm;    // left and right
    double insetY = 1 * PxMm;    // top and bottom
    bool wordWrap = true;
    bool clip = true;
    // printf-style number format for the fields ("%2.2f"); empty prints values as they are.
    QString format;
    int page = 0; // from 0; a design of one page leaves it
};

struct Line {
    QPointF from; // mm
    QPointF to;
    double width = PxMm;
    int page = 0;
};

// A picture (a chart) scaled into its box, keeping its shape, centred.
struct Picture {
    QRectF rect; // mm
    QImage image;
    int page = 0;
};

// A name under which a query's result is visible to the design ("frxDB_CNF"). The data
// set does not own the result: it reads whatever the query holds when the page is prepared.
struct DataSet {
    QString userName;
    const Rows *rows = nullptr;
};

// The resolved page: every text box with its final text. Presenters show and print this.
class PreparedReport {
public:
    struct Text {
        TextBox box;
        QString text;
    };

    QPageLayout layout;
    QString fileName;
    // What the page is, to the operator: the preview's "保存为PDF" offers it as file name.
    QString documentName = QStringLiteral("收据");
    QList<Text> texts;
    QList<Line> lines;
    QList<Picture> pictures;

    bool isEmpty() const { return texts.isEmpty() && lines.isEmpty() && pictures.isEmpty(); }
    // The pages the items are spread over (at least one).
    int pageCount() const;
    // The final text of a named box; an empty text for an unknown name.
    QString text(const QString &boxName) const;
    const Text *find(const QString &boxName) const;

    // Sets the paper, orientation and margins of the design on a printer or PDF writer.
    void applyLayout(QPagedPaintDevice &device) const;
    // Paints the page. The painter's origin is the top-left corner of the printable area
    // (a device set up by applyLayout, not in full-page mode); millimetres are turned into
    // device units by the device's resolution.
    void paint(QPainter &painter, int page = 0) const;
    // Paints every page, starting a new one on the printer or PDF writer between them.
    void paintAll(QPainter &painter, QPagedPaintDevice &device) const;
    // Writes the pages as a PDF; throws AppError when the file cannot be written.
    void writePdf(const QString &path) const;
    void writePdf(QIODevice *device) const;
};

// A report of several pages of one layout (the day close): the pages in order, each
// painted as above, in one PDF.
void writePdf(const QList<PreparedReport> &pages, QIODevice *device);
void writePdf(const QList<PreparedReport> &pages, const QString &path);

class Report {
public:
    // The design.
    QString name;
    QSizeF paperSize{210, 297}; // mm
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    QMarginsF margins{10, 10, 10, 10}; // mm
    QString documentName = QStringLiteral("收据"); // see PreparedReport::documentName
    QList<TextBox> texts;
    QList<Line> lines;
    QList<Picture> pictures;

    // The report's file-name property. A plain value: nothing is read from or written to it.
    QString fileName() const { return m_fileName; }
    void setFileName(const QString &fileName) { m_fileName = fileName; }

    // Named data sets, in order.
    void addDataSet(const QString &userName, const Rows *rows);
    const QList<DataSet> &dataSets() const { return m_dataSets; }

    QPageLayout pageLayout() const;
    // Expands one box's content against the data sets. Throws AppError for a field of a
    // data set or column the report does not have.
    QString expand(const TextBox &box) const;
    // Lays the page out against the current rows of the data sets.
    PreparedReport prepare() const;

    // The last prepared page (empty before the first prepare through showReport).
    const PreparedReport &prepared() const { return m_prepared; }
    // Prepares the page afresh, discarding what was prepared before, and hands it to the
    // presenter. Returns when the presenter is done (the preview was closed).
    void showReport(ReportPresenter &presenter);

private:
    QString fieldValue(const QString &dataSet, const QString &field) const;
    QString m_fileName;
    QList<DataSet> m_dataSets;
    PreparedReport m_prepared;
};

// Formats a number text with a printf-style format of one conversion ("%2.2f", "%d"),
// "." as decimal separator and no thousands separator. A text that is no number is
// returned as it is (an empty field stays empty).
QString formatNumber(const QString &format, const QString &value);

} // namespace report
