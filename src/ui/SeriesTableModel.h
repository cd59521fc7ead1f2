#pragma once

#include <optional>
#include <vector>

#include <QAbstractTableModel>

#include "core/series/ExactSeries.h"
#include "core/series/Series.h"

// One series as a table: a row per radiograph, the baseline first, a column per quantity.
// Migration and wear are shown as changes since the baseline, the cup's orientation as measured.
class SeriesTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        Date,
        Years,
        Type,
        HeadCranial,
        HeadMedial,
        CupCranial,
        CupMedial,
        CupCranialPerYear,
        Inclination,
        Anteversion,
        WearX,
        WearY,
        Wear,
        WearPerYear,
        Remark,
        ColumnCount
    };

    // The columns of the exact values, after the others, when exact values are loaded: the
    // migration as changes since the exact baseline, the orientation as evaluated.
    enum ExactColumn {
        HeadCranialExact = ColumnCount,
        HeadMedialExact,
        CupCranialExact,
        CupMedialExact,
        InclinationExact,
        AnteversionExact,
        RemarkExact,
        AllColumnCount
    };

    // Cup migration beyond this in the first years foretells loosening (mm).
    static constexpr double kCupMigrationWarning = 0.2;

    explicit SeriesTableModel(QObject *parent = nullptr);

    // Shows the series of the file (both kept alive by the caller while shown); null: nothing.
    void show(const SeriesFile *file, const Series *series);

    const Series *series() const { return shown; }

    // Shows the exact columns when `columns`, with the shown series' exact points (parallel to
    // its points, kept alive by the caller) or, for null, empty cells. show() clears the points.
    void showExact(const std::vector<ExactPoint> *points, bool columns);

    // The entry a row stands for; null outside the table.
    const ResultEntry *entryAt(int row) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The full-precision value behind a cell, for tests and tooltips; missing when the cell is
    // empty or holds text.
    std::optional<double> value(int row, Column column) const;
    std::optional<double> exactValue(int row, ExactColumn column) const;

private:
    const SeriesFile *file = nullptr;
    const Series *shown = nullptr;
    std::vector<int> evaluations; // per row: how many blocks the file holds of that radiograph
    const std::vector<ExactPoint> *exact = nullptr;
    bool exactColumns = false;

    QVariant exactData(const QModelIndex &index, int role) const;
};

// A date as the table and the plots write it: ISO, or the stored text when it is not a date.
QString radiographDateText(const ResultEntry &entry);
