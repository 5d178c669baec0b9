#include "statistics/SeasonCharts.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QGraphicsScene>
#include <QCursor>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFont>
#include <QLineSeries>
#include <QPainter>
#include <QPieSeries>
#include <QPieSlice>
#include <QToolTip>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

using namespace SeasonStatistics;

namespace SeasonCharts {

namespace {

QFont chartFont(int pointSize, bool bold = false)
{
    QFont f(QStringLiteral("WenQuanYi Micro Hei"));
    f.setPointSize(pointSize);
    f.setBold(bold);
    return f;
}

QChart *newChart(const QString &title)
{
    auto *chart = new QChart;
    chart->setTitle(title);
    chart->setTitleFont(chartFont(11, true));
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setFont(chartFont(8));
    chart->setMargins(QMargins(4, 4, 4, 4));
    return chart;
}

void hint(const QString &text)
{
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(QCursor::pos(), text);
}

qint64 msecs(const QDate &d) { return QDateTime(d, QTime(12, 0)).toMSecsSinceEpoch(); }

// A round upper bound for an axis: 1, 2 or 5 times a power of ten.
double niceCeiling(double v)
{
    if (v <= 0)
        return 1;
    const double p = std::pow(10.0, std::floor(std::log10(v)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * p >= v)
            return m * p;
    return 10 * p;
}

} // namespace

QChart *rateChart(const Figures &figures)
{
    QVector<const AreaFigures *> rated;
    for (const AreaFigures &a : figures.areas)
        if (a.areaRate() >= 0)
            rated << &a;
    std::stable_sort(rated.begin(), rated.end(),
                     [](const AreaFigures *a, const AreaFigures *b) { return a->areaRate() > b->areaRate(); });

    QChart *chart = newChart(QStringLiteral("各小区收费率（按面积）"));
    auto *set = new QBarSet(QStringLiteral("小区收费率"));
    set->setColor(QColor(70, 130, 180));
    QStringList names;
    QList<qreal> rates;
    for (const AreaFigures *a : rated) {
        rates << a->areaRate();
        names << a->area;
    }
    set->append(rates);
    auto *bars = new QBarSeries;
    bars->append(set);
    // The rate on each bar while the bars are wide enough to hold it; the tool tip always.
    set->setLabelFont(chartFont(7));
    set->setLabelColor(Qt::white);
    bars->setLabelsVisible(rated.size() <= 12);
    bars->setLabelsPosition(QAbstractBarSeries::LabelsInsideEnd);
    bars->setLabelsFormat(QStringLiteral("@value%"));
    bars->setLabelsPrecision(3);
    chart->addSeries(bars);

    const double office = figures.office.areaRate();
    auto *line = new QLineSeries;
    line->setName(QStringLiteral("全公司 %1").arg(formatRate(office)));
    QPen pen(QColor(200, 40, 40));
    pen.setWidthF(2);
    pen.setStyle(Qt::DashLine);
    line->setPen(pen);
    if (office >= 0 && !rated.isEmpty()) {
        line->append(-0.5, office);
        line->append(rated.size() - 0.5, office);
    }
    chart->addSeries(line);

    auto *x = new QBarCategoryAxis;
    x->append(names.isEmpty() ? QStringList{QStringLiteral("（无）")} : names);
    x->setLabelsFont(chartFont(8));
    if (names.size() > 20)
        x->setLabelsAngle(-90);
    else if (names.size() > 4)
        x->setLabelsAngle(-45);
    auto *y = new QValueAxis;
    y->setRange(0, 100);
    y->setLabelFormat(QStringLiteral("%d%%"));
    y->setLabelsFont(chartFont(8));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    bars->attachAxis(x);
    bars->attachAxis(y);
    line->attachAxis(x);
    line->attachAxis(y);
    chart->legend()->setAlignment(Qt::AlignBottom);

    QObject::connect(bars, &QBarSeries::hovered, chart, [names, rated](bool on, int index, QBarSet *) {
        if (!on || index < 0 || index >= rated.size()) {
            hint({});
            return;
        }
        const AreaFigures *a = rated.at(index);
        hint(QStringLiteral("%1\n面积收费率 %2\n户数收费率 %3\n已交 %4 户，欠费 %5 户")
                 .arg(names.at(index), formatRate(a->areaRate()), formatRate(a->houseRate()))
                 .arg(a->paidHouses)
                 .arg(a->behindHouses));
    });
    QObject::connect(line, &QLineSeries::hovered, chart, [office](const QPointF &, bool on) {
        hint(on ? QStringLiteral("全公司面积收费率 %1").arg(formatRate(office)) : QString());
    });
    return chart;
}

QChart *dailyChart(const Figures &figures)
{
    QChart *chart = newChart(QStringLiteral("每日收款与累计"));
    auto *daily = new QLineSeries;
    daily->setName(QStringLiteral("日收款（元）"));
    daily->setColor(QColor(70, 130, 180));
    auto *running = new QLineSeries;
    running->setName(QStringLiteral("累计（元）"));
    QPen pen(QColor(230, 120, 20));
    pen.setWidthF(2.5);
    running->setPen(pen);

    const Season &s = figures.season;
    QDate last = figures.days.isEmpty() ? s.end : figures.days.last().day;
    double total = 0, highest = 0;
    int i = 0;
    // Every day of the season up to the last day with takings: a day without any is a 0.
    for (QDate d = s.begin; d.isValid() && d <= last; d = d.addDays(1)) {
        double amount = 0;
        if (i < figures.days.size() && figures.days.at(i).day == d)
            amount = figures.days.at(i++).amount;
        total += amount;
        highest = std::max(highest, amount);
        daily->append(msecs(d), amount);
        running->append(msecs(d), total);
    }
    chart->addSeries(daily);
    chart->addSeries(running);

    auto *x = new QDateTimeAxis;
    x->setFormat(QStringLiteral("MM-dd"));
    x->setRange(QDateTime(s.begin, QTime(0, 0)), QDateTime(last.isValid() && last > s.begin ? last : s.end, QTime(23, 59)));
    x->setTickCount(7);
    x->setLabelsFont(chartFont(8));
    auto *left = new QValueAxis;
    left->setRange(0, niceCeiling(highest));
    left->setLabelFormat(QStringLiteral("%.0f"));
    left->setLabelsFont(chartFont(8));
    left->setLabelsColor(QColor(70, 130, 180));
    auto *right = new QValueAxis;
    right->setRange(0, niceCeiling(total));
    right->setLabelFormat(QStringLiteral("%.0f"));
    right->setLabelsFont(chartFont(8));
    right->setLabelsColor(QColor(230, 120, 20));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(left, Qt::AlignLeft);
    chart->addAxis(right, Qt::AlignRight);
    daily->attachAxis(x);
    daily->attachAxis(left);
    running->attachAxis(x);
    running->attachAxis(right);
    chart->legend()->setAlignment(Qt::AlignBottom);

    const auto tip = [](const QString &what) {
        return [what](const QPointF &p, bool on) {
            if (!on) {
                hint({});
                return;
            }
            const QDate d = QDateTime::fromMSecsSinceEpoch(qint64(p.x())).date();
            hint(QStringLiteral("%1 %2：%3 元").arg(d.toString(QStringLiteral("yyyy-MM-dd")), what, formatMoney(p.y())));
        };
    };
    QObject::connect(daily, &QLineSeries::hovered, chart, tip(QStringLiteral("日收款")));
    QObject::connect(running, &QLineSeries::hovered, chart, tip(QStringLiteral("累计")));
    return chart;
}

QChart *methodChart(const Figures &figures)
{
    QChart *chart = newChart(QStringLiteral("收款方式构成"));
    auto *pie = new QPieSeries;
    pie->setPieSize(0.62);
    double total = 0;
    for (const MethodTaking &m : figures.methods)
        total += m.amount;
    for (const MethodTaking &m : figures.methods) {
        const QString name = m.method.isEmpty() ? QStringLiteral("（未填）") : m.method;
        QPieSlice *slice = pie->append(name, m.amount);
        const double share = total > 0 ? 100.0 * m.amount / total : 0;
        slice->setLabel(QStringLiteral("%1 %2%").arg(name, QString::number(share, 'f', 1)));
        slice->setLabelVisible(true);
        slice->setLabelFont(chartFont(8));
        QObject::connect(slice, &QPieSlice::hovered, chart, [slice, name, m, share](bool on) {
            slice->setExploded(on);
            hint(on ? QStringLiteral("%1：%2 元，%3 笔（%4%）")
                          .arg(name, formatMoney(m.amount))
                          .arg(m.payments)
                          .arg(QString::number(share, 'f', 1))
                    : QString());
        });
    }
    chart->addSeries(pie);
    chart->legend()->setVisible(false);
    if (figures.methods.isEmpty())
        chart->setTitle(QStringLiteral("收款方式构成（本采暖季尚无收款）"));
    return chart;
}

QImage image(QChart *chart, const QSize &size, double scale)
{
    // The chart alone in a scene of its own, laid out at the size asked for, so the picture
    // never depends on a window.
    QGraphicsScene scene;
    scene.addItem(chart);
    const QRectF rect(QPointF(0, 0), QSizeF(size));
    chart->setGeometry(rect);
    QImage img(size * scale, QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(scale);
    img.fill(Qt::white);
    QPainter painter(&img);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    scene.render(&painter, rect, rect);
    painter.end();
    return img;
}

} // namespace SeasonCharts
