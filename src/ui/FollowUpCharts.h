#pragma once

#include <array>
#include <map>
#include <vector>

#include <QColor>
#include <QString>
#include <QWidget>

#include "core/series/ExactSeries.h"
#include "core/series/Series.h"

class QChart;
class QChartView;
class QLineSeries;
class QScatterSeries;
class QXYSeries;

// A series to draw, under its name and colour.
struct PlottedSeries
{
    QString label;
    const SeriesFile *file = nullptr; // kept alive by the caller while plotted
    const Series *series = nullptr;
    QColor colour;
    // The series' exact points (parallel to its points, kept alive by the caller) or null: each
    // plotted quantity they give is drawn a second time in the same colour, broken.
    const std::vector<ExactPoint> *exact = nullptr;
};

// The four plots of the follow-up over the years since each series' baseline: cup migration
// (with the 0.2 mm line), head migration, wear and the cup's orientation.
class FollowUpCharts : public QWidget
{
    Q_OBJECT

public:
    enum Plot {
        CupMigration,
        HeadMigration,
        Wear,
        Orientation,
        PlotCount
    };

    explicit FollowUpCharts(QWidget *parent = nullptr);

    void plot(const std::vector<PlottedSeries> &series);
    // Rings one radiograph (a point of a plotted series) on every plot; a null series or a
    // point outside it clears the rings.
    void mark(const Series *series, int point);

    QChart *chart(Plot which) const;
    // The ringed values of a plot: the marker's points.
    QScatterSeries *marker(Plot which) const;
    // What hovering the index-th point of a drawn line shows: whose, when, what.
    QString pointText(const QXYSeries *line, int index) const;

    // The four plots as a picture or as a page of vector graphics.
    QByteArray png();
    QByteArray pdf();

private:
    struct Vertex
    {
        const PlottedSeries *owner;
        std::size_t point; // index into the owner's series' points
    };

    struct Line
    {
        Plot plot = CupMigration;
        QString quantity;
        QString unit;
        std::vector<Vertex> vertices; // parallel to the line's points
    };

    void hovered(const QXYSeries *line, const QPointF &where, bool state);

    std::array<QChartView *, PlotCount> views{};
    std::array<QScatterSeries *, PlotCount> markers{};
    std::vector<PlottedSeries> plotted;
    std::map<const QXYSeries *, Line> lines;
};
