#include "ui/FollowUpCharts.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>

#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QGridLayout>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QPdfWriter>
#include <QPixmap>
#include <QScatterSeries>
#include <QToolTip>
#include <QValueAxis>

#include "ui/SeriesTableModel.h"

namespace {

using Value = std::function<std::optional<double>(const SeriesPoint &, const ResultEntry &)>;
using ExactValue = std::function<std::optional<double>(const ExactPoint &)>;

struct Quantity
{
    FollowUpCharts::Plot plot;
    const char *name;
    const char *unit;
    Qt::PenStyle style;
    QColor colour;
    Value value;
    ExactValue exact; // empty where the exact evaluation gives no such value
};

// Migration and wear as changes since the baseline, the orientation as measured: what the
// table shows.
const std::vector<Quantity> &quantities()
{
    using P = FollowUpCharts;
    static const std::vector<Quantity> all = {
        {P::CupMigration, "cup cranial", "mm", Qt::SolidLine, QColor(31, 119, 180),
            [](const SeriesPoint &p, const ResultEntry &) { return p.cupCranial; },
            [](const ExactPoint &x) { return x.changes.cupCranial; }},
        {P::CupMigration, "cup medial", "mm", Qt::DashLine, QColor(255, 127, 14),
            [](const SeriesPoint &p, const ResultEntry &) { return p.cupMedial; },
            [](const ExactPoint &x) { return x.changes.cupMedial; }},
        {P::HeadMigration, "head cranial", "mm", Qt::SolidLine, QColor(31, 119, 180),
            [](const SeriesPoint &p, const ResultEntry &) { return p.headCranial; },
            [](const ExactPoint &x) { return x.changes.headCranial; }},
        {P::HeadMigration, "head medial", "mm", Qt::DashLine, QColor(255, 127, 14),
            [](const SeriesPoint &p, const ResultEntry &) { return p.headMedial; },
            [](const ExactPoint &x) { return x.changes.headMedial; }},
        {P::Wear, "wear", "mm", Qt::SolidLine, QColor(44, 160, 44),
            [](const SeriesPoint &p, const ResultEntry &) { return p.wear; }, {}},
        {P::Orientation, "inclination", "°", Qt::SolidLine, QColor(31, 119, 180),
            [](const SeriesPoint &, const ResultEntry &e) { return e.inclination; },
            [](const ExactPoint &x) { return x.values.inclination; }},
        {P::Orientation, "anteversion", "°", Qt::DashLine, QColor(255, 127, 14),
            [](const SeriesPoint &, const ResultEntry &e) { return e.anteversion; },
            [](const ExactPoint &x) { return x.values.anteversion; }},
    };
    return all;
}

constexpr const char *kTitles[FollowUpCharts::PlotCount] = {
    "Cup migration since the baseline (mm)",
    "Head migration since the baseline (mm)",
    "Wear since the baseline (mm)",
    "Cup orientation (°)",
};

struct Range
{
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();

    void take(double v)
    {
        low = std::min(low, v);
        high = std::max(high, v);
    }

    bool empty() const { return low > high; }
};

// Axes that show every point with a little room, and a sensible range for an empty plot.
void setRange(QValueAxis *axis, Range range, double emptyLow, double emptyHigh)
{
    if (range.empty())
        range = {emptyLow, emptyHigh};
    double margin = (range.high - range.low) * 0.08;
    if (margin <= 0)
        margin = std::max(0.1, std::abs(range.high) * 0.1);
    axis->setRange(range.low - margin, range.high + margin);
    axis->applyNiceNumbers();
    // Values that cannot be negative (the years, the wear's length) get no negative scale.
    if (range.low >= 0 && axis->min() < 0)
        axis->setMin(0);
}

// Ticks at whole multiples of 1, 2 or 5 times a power of ten, some five to eight of them, so
// that years read as years and not as 0.8, 1.5, 2.3.
void setRoundTicks(QValueAxis *axis)
{
    const double span = axis->max() - axis->min();
    if (!(span > 0))
        return;
    const double power = std::pow(10.0, std::floor(std::log10(span / 5)));
    double step = power;
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = factor * power;
        if (span / step <= 8)
            break;
    }
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0);
    axis->setTickInterval(step);
}

} // namespace

FollowUpCharts::FollowUpCharts(QWidget *parent) : QWidget(parent)
{
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(2);
    for (int i = 0; i < PlotCount; ++i) {
        auto *chart = new QChart;
        chart->setTitle(kTitles[i]);
        chart->legend()->setAlignment(Qt::AlignBottom);
        // A line's own pen in the legend, so that solid and dashed lines can be told apart.
        chart->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
        // With the exact lines beside the designed ones the names no longer fit a narrow plot.
        chart->legend()->setShowToolTips(true);
        chart->setMargins(QMargins(4, 4, 4, 4));
        auto *view = new QChartView(chart, this);
        view->setRenderHint(QPainter::Antialiasing);
        view->setObjectName(QStringLiteral("plot%1").arg(i));
        views[static_cast<std::size_t>(i)] = view;
        grid->addWidget(view, i / 2, i % 2);
    }
    plot({});
}

QChart *FollowUpCharts::chart(Plot which) const
{
    return views[static_cast<std::size_t>(which)]->chart();
}

QScatterSeries *FollowUpCharts::marker(Plot which) const
{
    return markers[static_cast<std::size_t>(which)];
}

void FollowUpCharts::plot(const std::vector<PlottedSeries> &series)
{
    plotted = series;
    lines.clear();
    std::array<Range, PlotCount> values;
    Range years;

    for (int i = 0; i < PlotCount; ++i) {
        QChart *c = chart(static_cast<Plot>(i));
        c->removeAllSeries(); // deletes them
        for (QAbstractAxis *axis : c->axes())
            c->removeAxis(axis);
        c->addAxis(new QValueAxis, Qt::AlignBottom);
        c->addAxis(new QValueAxis, Qt::AlignLeft);
    }

    // One line of the owner's: the points of its radiographs that have the value, named and drawn
    // in the pen.
    const auto addLine = [&](const PlottedSeries &owner, const Quantity &q, const QString &name,
                             const QPen &pen, const auto &valueAt) {
        auto *line = new QLineSeries;
        line->setName(plotted.size() > 1 ? owner.label + " – " + name : name);
        line->setPen(pen);
        line->setPointsVisible(true);
        Line &info = lines[line];
        info.plot = q.plot;
        info.quantity = name;
        info.unit = q.unit;
        QList<QPointF> points;
        for (std::size_t k = 0; k < owner.series->points.size(); ++k) {
            const SeriesPoint &p = owner.series->points[k];
            const std::optional<double> v = valueAt(k);
            if (!p.years || !v)
                continue;
            points.append({*p.years, *v});
            info.vertices.push_back({&owner, k});
            years.take(*p.years);
            values[q.plot].take(*v);
        }
        line->replace(points);
        QChart *c = chart(q.plot);
        c->addSeries(line);
        line->attachAxis(c->axes(Qt::Horizontal).first());
        line->attachAxis(c->axes(Qt::Vertical).first());
        connect(line, &QLineSeries::hovered, this,
            [this, line](const QPointF &where, bool state) { hovered(line, where, state); });
    };

    for (const PlottedSeries &owner : plotted) {
        // One series alone gets a colour per quantity; several get one colour each.
        for (const Quantity &q : quantities()) {
            const QColor colour = plotted.size() > 1 ? owner.colour : q.colour;
            addLine(owner, q, q.name, QPen(colour, 2, q.style), [&](std::size_t k) {
                const SeriesPoint &p = owner.series->points[k];
                return q.value(p, owner.file->contents.entries[p.entry]);
            });
        }
        if (!owner.exact || owner.exact->size() != owner.series->points.size())
            continue;
        // Each quantity the exact evaluation gives as a line of its own, where it has values: the
        // designed line's colour, broken in a pattern of its own (a dashed exact line would look
        // like the designed medial or anteversion line of the same colour).
        for (const Quantity &q : quantities()) {
            if (!q.exact)
                continue;
            const auto exactAt = [&](std::size_t k) { return q.exact((*owner.exact)[k]); };
            bool any = false;
            for (std::size_t k = 0; k < owner.exact->size(); ++k)
                any = any || exactAt(k).has_value();
            if (!any)
                continue;
            const QColor colour = plotted.size() > 1 ? owner.colour : q.colour;
            const QPen pen(colour, 2, q.style == Qt::SolidLine ? Qt::DotLine : Qt::DashDotDotLine);
            addLine(owner, q, QString(q.name) + " (exact)", pen, exactAt);
        }
    }

    const Range shownYears =
        years.empty() ? Range{0, 1} : Range{std::min(0.0, years.low), years.high};
    for (int i = 0; i < PlotCount; ++i) {
        QChart *c = chart(static_cast<Plot>(i));
        auto *x = static_cast<QValueAxis *>(c->axes(Qt::Horizontal).first());
        auto *y = static_cast<QValueAxis *>(c->axes(Qt::Vertical).first());
        x->setTitleText("years since the baseline");
        x->setLabelFormat("%.4g");
        y->setLabelFormat("%.4g");
        Range r = values[static_cast<std::size_t>(i)];
        if (i == CupMigration) {
            // The warning line is drawn across the whole time and always in view.
            auto *warning = new QLineSeries;
            warning->setName(QStringLiteral("%1 mm").arg(SeriesTableModel::kCupMigrationWarning));
            warning->setPen(QPen(QColor(200, 0, 0), 1.5, Qt::DotLine));
            warning->append(std::min(0.0, shownYears.low), SeriesTableModel::kCupMigrationWarning);
            warning->append(std::max(1.0, shownYears.high), SeriesTableModel::kCupMigrationWarning);
            c->addSeries(warning);
            warning->attachAxis(x);
            warning->attachAxis(y);
            r.take(SeriesTableModel::kCupMigrationWarning);
            r.take(0);
        }
        setRange(x, shownYears, 0, 1);
        setRange(y, r, i == Orientation ? 0 : -0.5, i == Orientation ? 60 : 0.5);
        setRoundTicks(x);
        setRoundTicks(y);

        auto *ring = new QScatterSeries;
        ring->setName("selected");
        ring->setMarkerSize(14);
        ring->setBrush(Qt::NoBrush);
        ring->setPen(QPen(Qt::black, 2));
        c->addSeries(ring);
        ring->attachAxis(x);
        ring->attachAxis(y);
        for (QLegendMarker *m : c->legend()->markers(ring))
            m->setVisible(false);
        // The ring lies over the point it marks and takes the mouse: it tells the point's text.
        connect(ring, &QScatterSeries::hovered, this, [this, i](const QPointF &where, bool state) {
            for (const auto &[line, info] : lines) {
                if (info.plot == i && line->points().contains(where)) {
                    hovered(line, where, state);
                    return;
                }
            }
        });
        markers[static_cast<std::size_t>(i)] = ring;
    }
}

void FollowUpCharts::mark(const Series *series, int point)
{
    std::array<QList<QPointF>, PlotCount> rings;
    for (const auto &[line, info] : lines) {
        for (std::size_t k = 0; k < info.vertices.size(); ++k) {
            const Vertex &v = info.vertices[k];
            if (v.owner->series == series && static_cast<int>(v.point) == point)
                rings[info.plot].append(line->at(static_cast<int>(k)));
        }
    }
    for (std::size_t i = 0; i < PlotCount; ++i)
        markers[i]->replace(rings[i]);
}

QString FollowUpCharts::pointText(const QXYSeries *line, int index) const
{
    const auto found = lines.find(line);
    if (found == lines.end() || index < 0
        || static_cast<std::size_t>(index) >= found->second.vertices.size())
        return {};
    const Line &info = found->second;
    const Vertex &v = info.vertices[static_cast<std::size_t>(index)];
    const SeriesPoint &p = v.owner->series->points[v.point];
    const ResultEntry &e = v.owner->file->contents.entries[p.entry];
    const QPointF at = line->at(index);
    return QStringLiteral("%1\n%2, %3 years\n%4: %5 %6")
        .arg(v.owner->label, radiographDateText(e), QString::number(at.x(), 'f', 2), info.quantity,
            QString::number(at.y(), 'f', info.unit == "mm" ? 2 : 1), info.unit);
}

void FollowUpCharts::hovered(const QXYSeries *line, const QPointF &where, bool state)
{
    const auto found = lines.find(line);
    if (found == lines.end())
        return;
    QChart *c = chart(found->second.plot);
    QString text;
    if (state) {
        // The signal comes for the line between points too: the nearest point is meant.
        int nearest = -1;
        double best = std::numeric_limits<double>::infinity();
        for (int i = 0; i < line->count(); ++i) {
            const double d = std::abs(line->at(i).x() - where.x());
            if (d < best) {
                best = d;
                nearest = i;
            }
        }
        text = pointText(line, nearest);
    }
    // The chart's own tooltip as well: when the mouse rests, the view asks the items under it
    // for theirs and would otherwise hide the text again.
    c->setToolTip(text);
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(QCursor::pos(), text, views[found->second.plot]);
}

QByteArray FollowUpCharts::png()
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    grab().save(&buffer, "PNG");
    return bytes;
}

QByteArray FollowUpCharts::pdf()
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setPageOrientation(QPageLayout::Landscape);
        writer.setTitle("Follow-up");
        QPainter painter(&writer);
        // The plots as they are on the screen, scaled to the page as vector graphics.
        const double scale = std::min(writer.width() / static_cast<double>(width()),
            writer.height() / static_cast<double>(height()));
        painter.scale(scale, scale);
        render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    }
    return bytes;
}
