#include "ui/SeriesTableModel.h"

#include <cmath>
#include <map>
#include <tuple>

#include <QBrush>
#include <QColor>

namespace {

struct ColumnInfo
{
    const char *title;
    const char *tip;
    int decimals; // -1 for a text column
};

// Millimetres to a hundredth, as migration is reported; degrees to a tenth.
constexpr ColumnInfo kColumns[SeriesTableModel::ColumnCount] = {
    {"Radiograph", "date of the radiograph", -1},
    {"Years", "years since the baseline (the first radiograph)", 2},
    {"Type", "evaluation type, and the reference sphere it measures from", -1},
    {"Head cranial\nmm",
        "change of the head's distance from the Base-Line plane since the baseline", 2},
    {"Head medial\nmm", "change of the head's distance from the F-Line plane since the baseline",
        2},
    {"Cup cranial\nmm", "change of the cup's distance from the Base-Line plane since the baseline",
        2},
    {"Cup medial\nmm", "change of the cup's distance from the F-Line plane since the baseline", 2},
    {"Cup cranial\nmm/year", "cranial cup migration per year since the baseline", 2},
    {"Inclination\n°", "cup inclination as measured", 1},
    {"Anteversion\n°", "cup anteversion as measured", 1},
    {"Wear x\nmm", "change of the head's offset from the cup since the baseline, x", 2},
    {"Wear y\nmm", "change of the head's offset from the cup since the baseline, y", 2},
    {"Wear\nmm", "length of the wear vector's change since the baseline", 2},
    {"Wear\nmm/year", "wear per year since the baseline", 2},
    {"Remark", "", -1},
};

// Captions as the designed columns', marked as exact.
constexpr int kFirstExactColumn = SeriesTableModel::ColumnCount;
constexpr ColumnInfo kExactColumns[SeriesTableModel::AllColumnCount - kFirstExactColumn] = {
    {"Head cranial (exact)\nmm",
        "change of the head's distance from the plane through the focus and the Base-Line "
        "since the baseline, evaluated exactly from the landmark files",
        2},
    {"Head medial (exact)\nmm",
        "change of the head's distance from the plane through the focus and the F-Line since "
        "the baseline, evaluated exactly from the landmark files",
        2},
    {"Cup cranial (exact)\nmm",
        "change of the cup's distance from the plane through the focus and the Base-Line "
        "since the baseline, evaluated exactly from the landmark files",
        2},
    {"Cup medial (exact)\nmm",
        "change of the cup's distance from the plane through the focus and the F-Line since "
        "the baseline, evaluated exactly from the landmark files",
        2},
    {"Inclination (exact)\n°", "cup inclination evaluated exactly from the landmark file", 1},
    {"Anteversion (exact)\n°", "cup anteversion evaluated exactly from the landmark file", 1},
    {"Remark (exact)", "why exact values are missing", -1},
};

bool warnsOfLoosening(double change)
{
    return std::abs(change) > SeriesTableModel::kCupMigrationWarning;
}

} // namespace

QString radiographDateText(const ResultEntry &entry)
{
    if (!entry.radiographDate)
        return QString::fromStdString(entry.datum);
    const CalendarDate &d = *entry.radiographDate;
    return QStringLiteral("%1-%2-%3")
        .arg(d.year, 4, 10, QChar('0'))
        .arg(d.month, 2, 10, QChar('0'))
        .arg(d.day, 2, 10, QChar('0'));
}

SeriesTableModel::SeriesTableModel(QObject *parent) : QAbstractTableModel(parent) {}

void SeriesTableModel::show(const SeriesFile *seriesFile, const Series *series)
{
    beginResetModel();
    file = series ? seriesFile : nullptr;
    shown = file ? series : nullptr;
    exact = nullptr;
    evaluations.clear();
    if (shown) {
        // How often each radiograph of the series was evaluated, for the remark.
        std::map<std::string, int> count;
        for (const ResultEntry &e : file->contents.entries) {
            if (e.famname == shown->famname && e.vorname == shown->vorname && e.code == shown->code
                && e.sideLeft == shown->sideLeft)
                ++count[e.datum];
        }
        for (const SeriesPoint &p : shown->points)
            evaluations.push_back(count[file->contents.entries[p.entry].datum]);
    }
    endResetModel();
}

void SeriesTableModel::showExact(const std::vector<ExactPoint> *points, bool columns)
{
    beginResetModel();
    exact = shown && points && points->size() == shown->points.size() ? points : nullptr;
    exactColumns = columns;
    endResetModel();
}

const ResultEntry *SeriesTableModel::entryAt(int row) const
{
    if (!shown || row < 0 || static_cast<std::size_t>(row) >= shown->points.size())
        return nullptr;
    return &file->contents.entries[shown->points[static_cast<std::size_t>(row)].entry];
}

int SeriesTableModel::rowCount(const QModelIndex &parent) const
{
    return shown && !parent.isValid() ? static_cast<int>(shown->points.size()) : 0;
}

int SeriesTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : exactColumns ? int(AllColumnCount) : int(ColumnCount);
}

std::optional<double> SeriesTableModel::value(int row, Column column) const
{
    const ResultEntry *entry = entryAt(row);
    if (!entry)
        return std::nullopt;
    const SeriesPoint &p = shown->points[static_cast<std::size_t>(row)];
    switch (column) {
    case Years:
        return p.years;
    case HeadCranial:
        return p.headCranial;
    case HeadMedial:
        return p.headMedial;
    case CupCranial:
        return p.cupCranial;
    case CupMedial:
        return p.cupMedial;
    case CupCranialPerYear:
        return p.cupCranialPerYear;
    case Inclination:
        return entry->inclination;
    case Anteversion:
        return entry->anteversion;
    case WearX:
        return p.wearX;
    case WearY:
        return p.wearY;
    case Wear:
        return p.wear;
    case WearPerYear:
        return p.wearPerYear;
    default:
        return std::nullopt;
    }
}

std::optional<double> SeriesTableModel::exactValue(int row, ExactColumn column) const
{
    if (!exact || !entryAt(row))
        return std::nullopt;
    const ExactPoint &p = (*exact)[static_cast<std::size_t>(row)];
    switch (column) {
    case HeadCranialExact:
        return p.changes.headCranial;
    case HeadMedialExact:
        return p.changes.headMedial;
    case CupCranialExact:
        return p.changes.cupCranial;
    case CupMedialExact:
        return p.changes.cupMedial;
    case InclinationExact:
        return p.values.inclination;
    case AnteversionExact:
        return p.values.anteversion;
    default:
        return std::nullopt;
    }
}

QVariant SeriesTableModel::exactData(const QModelIndex &index, int role) const
{
    const auto column = static_cast<ExactColumn>(index.column());
    const ColumnInfo &info = kExactColumns[column - kFirstExactColumn];
    const std::optional<double> number = exactValue(index.row(), column);
    const bool warning = (column == CupCranialExact || column == CupMedialExact) && number
        && warnsOfLoosening(*number);
    if (role == Qt::TextAlignmentRole)
        return info.decimals >= 0 ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                  : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    if (role == Qt::BackgroundRole && warning)
        return QBrush(QColor(255, 205, 205));
    if (role != Qt::DisplayRole)
        return {};
    if (column == RemarkExact)
        return exact
            ? QString::fromStdString((*exact)[static_cast<std::size_t>(index.row())].remark)
            : QString();
    return number ? QString::number(*number, 'f', info.decimals) : QStringLiteral("–");
}

QVariant SeriesTableModel::data(const QModelIndex &index, int role) const
{
    const ResultEntry *entry = entryAt(index.row());
    if (entry && exactColumns && index.column() >= ColumnCount && index.column() < AllColumnCount)
        return exactData(index, role);
    if (!entry || index.column() < 0 || index.column() >= ColumnCount)
        return {};
    const auto column = static_cast<Column>(index.column());
    const SeriesPoint &p = shown->points[static_cast<std::size_t>(index.row())];
    const std::optional<double> number = value(index.row(), column);
    const bool warning =
        (column == CupCranial || column == CupMedial) && number && warnsOfLoosening(*number);

    if (role == Qt::TextAlignmentRole)
        return kColumns[column].decimals >= 0 ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                              : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    if (role == Qt::BackgroundRole && warning)
        return QBrush(QColor(255, 205, 205));
    if (role == Qt::ToolTipRole && warning)
        return QStringLiteral("more than %1 mm since the baseline: an early sign of loosening")
            .arg(kCupMigrationWarning);
    if (role != Qt::DisplayRole)
        return {};

    switch (column) {
    case Date:
        return radiographDateText(*entry);
    case Type:
        return QStringLiteral("%1 %2").arg(entry->typ).arg(p.headBased ? "head" : "cup");
    case Remark: {
        QStringList remarks;
        if (index.row() == 0)
            remarks << "baseline";
        if (!p.remark.empty())
            remarks << QString::fromStdString(p.remark);
        const int times = evaluations[static_cast<std::size_t>(index.row())];
        if (times > 1)
            remarks << QStringLiteral("evaluated %1 times, the last one shown").arg(times);
        return remarks.join("; ");
    }
    default:
        return number ? QString::number(*number, 'f', kColumns[column].decimals)
                      : QStringLiteral("–");
    }
}

QVariant SeriesTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && exactColumns && section >= ColumnCount
        && section < AllColumnCount) {
        const ColumnInfo &info = kExactColumns[section - kFirstExactColumn];
        if (role == Qt::DisplayRole)
            return QString::fromUtf8(info.title);
        if (role == Qt::ToolTipRole)
            return QString::fromUtf8(info.tip);
        return {};
    }
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return QString::fromUtf8(kColumns[section].title);
    if (role == Qt::ToolTipRole && *kColumns[section].tip)
        return QString::fromUtf8(kColumns[section].tip);
    return {};
}
