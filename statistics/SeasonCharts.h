#pragma once
#include "statistics/SeasonStatistics.h"

#include <QImage>
#include <QSize>

class QChart;

// The three charts of the season statistics, drawn with Qt Charts from the figures:
// the collection rate per area, the takings per day with their running total, and the
// takings by payment method. The window shows them; the print, the admin tool and the
// tests render fresh ones at a fixed size, so what is printed never depends on the
// window's size. Each chart shows its values as a tool tip where the mouse rests.
namespace SeasonCharts {

// Collection rate by floor area per area, highest first, with the office's rate as a
// line across. Areas without houses have no rate and are left out.
QChart *rateChart(const SeasonStatistics::Figures &figures);
// The amount taken each day from the season's first day to its last day with takings,
// and the running total on the right-hand axis.
QChart *dailyChart(const SeasonStatistics::Figures &figures);
// The season's takings split by payment method.
QChart *methodChart(const SeasonStatistics::Figures &figures);

// Lays the chart out at size (logical pixels) and draws it into an image with scale
// times as many pixels in each direction (sharp on paper). Takes ownership of the chart.
QImage image(QChart *chart, const QSize &size, double scale = 1.0);

} // namespace SeasonCharts
