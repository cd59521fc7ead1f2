#include "ui/FollowUpWindow.h"

#include <algorithm>
#include <iterator>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPointer>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/model/COxel.h"
#include "core/model/Messages.h"
#include "core/records/SafeFile.h"
#include "core/series/SeriesCsv.h"
#include "ui/EventGuard.h"
#include "ui/FollowUpCharts.h"
#include "ui/MeasurementFiles.h"
#include "ui/SeriesTableModel.h"

namespace {

constexpr const char *kErrorTitle = "Oxel Error";
constexpr int kSeriesRole = Qt::UserRole;

// Distinct colours for the series drawn together, in the order they were checked.
const QColor kPalette[] = {QColor(31, 119, 180), QColor(255, 127, 14), QColor(44, 160, 44),
    QColor(214, 39, 40), QColor(148, 103, 189), QColor(140, 86, 75), QColor(227, 119, 194),
    QColor(127, 127, 127), QColor(188, 189, 34), QColor(23, 190, 207)};

QString seriesLabel(const Series &s)
{
    QString name = QString::fromStdString(s.famname);
    if (!s.vorname.empty())
        name += ", " + QString::fromStdString(s.vorname);
    if (!s.code.empty())
        name += " (" + QString::fromStdString(s.code) + ")";
    return name + (s.sideLeft ? " left" : " right");
}

void tellFailure(const QString &what, const std::string &reason)
{
    showMessage(what.toStdString() + ": " + reason, kErrorTitle, MessageIcon::Critical);
}

} // namespace

FollowUpWindow::FollowUpWindow(const FollowUpEnvironment &given, QWidget *parent)
    : QMainWindow(parent), environment(given)
{
    setWindowTitle("Follow-up");
    setObjectName("FollowUpWindow");

    tree = new QTreeWidget;
    tree->setObjectName("seriesList");
    tree->setHeaderLabels({"Result file / patient", "Radiographs"});
    tree->header()->setStretchLastSection(false);
    tree->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    tree->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    tree->setToolTip("The selected series is shown in the table; checked series are plotted "
                     "together.");
    problems = new QListWidget;
    problems->setObjectName("problems");
    auto *left = new QWidget;
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(tree, 3);
    leftLayout->addWidget(new QLabel("Problems"));
    leftLayout->addWidget(problems, 1);

    model = new SeriesTableModel(this);
    table = new QTableView;
    table->setObjectName("seriesTable");
    table->setModel(model);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    plots = new FollowUpCharts;

    auto *right = new QSplitter(Qt::Vertical);
    right->addWidget(table);
    right->addWidget(plots);
    right->setStretchFactor(0, 1);
    right->setStretchFactor(1, 3);
    auto *split = new QSplitter(Qt::Horizontal);
    split->addWidget(left);
    split->addWidget(right);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 4);
    split->setSizes({300, 980});
    setCentralWidget(split);

    status = new QLabel;
    status->setObjectName("status");
    statusBar()->addWidget(status, 1);

    connect(tree, &QTreeWidget::currentItemChanged, this,
        [this] { EventGuard::run([this] { seriesChosen(); }); });
    connect(tree, &QTreeWidget::itemChanged, this, [this] {
        if (!refreshing)
            EventGuard::run([this] { plotChecked(); });
    });
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        [this] { EventGuard::run([this] { rowChosen(); }); });

    createMenus();
    resize(1280, 860);
    updateStatus();
}

FollowUpWindow::~FollowUpWindow()
{
    // The table and the plots point into the files, which go first otherwise.
    model->show(nullptr, nullptr);
    plots->plot({});
}

FollowUpWindow &FollowUpWindow::instance()
{
    static QPointer<FollowUpWindow> window;
    if (!window) {
        window = new FollowUpWindow;
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    return *window;
}

void FollowUpWindow::createMenus()
{
    const auto add = [this](QMenu *menu, const char *name, const QString &caption,
                         const QKeySequence &key, const std::function<void()> &handler) {
        QAction *item = menu->addAction(caption);
        item->setObjectName(name);
        item->setShortcut(key);
        connect(item, &QAction::triggered, this, [handler] { EventGuard::run(handler); });
        return item;
    };
    QMenu *file = menuBar()->addMenu("&File");
    add(file, "f_Open", "&Open Result Files ...", QKeySequence::Open, [this] {
        const QStringList paths = environment.chooseResultFiles
            ? environment.chooseResultFiles(this)
            : QFileDialog::getOpenFileNames(
                this, "Open Result Files", {}, "Result Files (*.dat);;All Files (*)");
        for (const QString &path : paths)
            openFile(path);
    });
    add(file, "f_Close", "Close Result &File", {}, [this] {
        const SeriesFile *chosen = nullptr;
        seriesOf(tree->currentItem(), &chosen);
        if (QTreeWidgetItem *item = tree->currentItem(); item && !chosen && !item->parent())
            chosen = &*std::next(files.begin(), tree->indexOfTopLevelItem(item));
        if (!chosen)
            return;
        model->show(nullptr, nullptr);
        plots->plot({});
        files.remove_if([chosen](const SeriesFile &f) { return &f == chosen; });
        refreshList();
    });
    add(file, "f_Exact", "Exact Values from &Landmark Files ...", {}, [this] {
        // The pictures usually lie with the study's result file: start there, or where the
        // last folder was read.
        QString start = landmarkFolder;
        if (start.isEmpty() && !files.empty())
            start = QFileInfo(QString::fromStdString(files.front().path)).absolutePath();
        const QString folder = environment.chooseLandmarkFolder
            ? environment.chooseLandmarkFolder(this)
            : QFileDialog::getExistingDirectory(this, "Exact Values from Landmark Files", start);
        if (!folder.isEmpty())
            readLandmarkFolder(folder);
    });
    file->addSeparator();
    add(file, "f_Csv", "Export &CSV ...", {}, [this] {
        const QString path = environment.chooseSaveFile
            ? environment.chooseSaveFile(this, "Export CSV", "CSV (*.csv)")
            : QFileDialog::getSaveFileName(this, "Export CSV", {}, "CSV (*.csv)");
        if (!path.isEmpty())
            exportCsv(path);
    });
    add(file, "f_Plots", "Save &Plots ...", QKeySequence::Save, [this] {
        const QString filters = "PNG Picture (*.png);;PDF Document (*.pdf)";
        const QString path = environment.chooseSaveFile
            ? environment.chooseSaveFile(this, "Save Plots", filters)
            : QFileDialog::getSaveFileName(this, "Save Plots", {}, filters);
        if (!path.isEmpty())
            savePlots(path);
    });
    file->addSeparator();
    add(file, "f_CloseWindow", "&Close", QKeySequence::Close, [this] { close(); });
}

bool FollowUpWindow::openFile(const QString &path)
{
    SeriesFile read;
    std::string error;
    if (!SeriesBuilder::load(path.toStdString(), read, error)) {
        tellFailure("could not read " + path, error);
        return false;
    }
    const QString absolute = QFileInfo(path).absoluteFilePath();
    auto same = std::find_if(files.begin(), files.end(), [&](const SeriesFile &f) {
        return QFileInfo(QString::fromStdString(f.path)).absoluteFilePath() == absolute;
    });
    model->show(nullptr, nullptr);
    plots->plot({});
    if (same != files.end())
        *same = std::move(read);
    else
        files.push_back(std::move(read));
    refreshList();
    // The first series of a new file is what the operator wants to see when nothing was shown.
    if (!tree->currentItem() || !seriesOf(tree->currentItem())) {
        const int index = static_cast<int>(
            std::distance(files.begin(), same != files.end() ? same : std::prev(files.end())));
        if (QTreeWidgetItem *fileItem = tree->topLevelItem(index); fileItem->childCount() > 0) {
            fileItem->child(0)->setCheckState(0, Qt::Checked);
            tree->setCurrentItem(fileItem->child(0));
        }
    }
    return true;
}

void FollowUpWindow::refreshList()
{
    // What was checked and selected stays so across a reading anew, by patient and side.
    const auto key = [](const Series &s) {
        return s.famname + '\n' + s.vorname + '\n' + s.code + (s.sideLeft ? "\nL" : "\nR");
    };
    std::vector<std::string> checked;
    std::string current;
    for (int f = 0; f < tree->topLevelItemCount(); ++f) {
        for (int c = 0; c < tree->topLevelItem(f)->childCount(); ++c) {
            const QTreeWidgetItem *item = tree->topLevelItem(f)->child(c);
            const SeriesFile *file = nullptr;
            const Series *s = seriesOf(item, &file);
            if (!s)
                continue;
            const std::string k = file->path + '\n' + key(*s);
            if (item->checkState(0) == Qt::Checked)
                checked.push_back(k);
            if (item == tree->currentItem())
                current = k;
        }
    }

    matchExact();
    refreshing = true;
    tree->clear();
    problems->clear();
    QTreeWidgetItem *toSelect = nullptr;
    for (const SeriesFile &file : files) {
        auto *fileItem = new QTreeWidgetItem(tree);
        fileItem->setText(0, QFileInfo(QString::fromStdString(file.path)).fileName());
        fileItem->setToolTip(0, QString::fromStdString(file.path));
        fileItem->setText(1, QString::number(file.contents.entries.size()));
        for (std::size_t s = 0; s < file.series.size(); ++s) {
            const Series &series = file.series[s];
            auto *item = new QTreeWidgetItem(fileItem);
            item->setText(0, seriesLabel(series));
            item->setText(1, QString::number(series.points.size()));
            item->setData(0, kSeriesRole, static_cast<qulonglong>(s));
            const std::string k = file.path + '\n' + key(series);
            item->setCheckState(0,
                std::find(checked.begin(), checked.end(), k) != checked.end() ? Qt::Checked
                                                                              : Qt::Unchecked);
            if (k == current)
                toSelect = item;
        }
        fileItem->setExpanded(file.series.size() <= 200);
        for (const ReadProblem &p : file.contents.problems)
            problems->addItem(QStringLiteral("%1:%2: %3")
                                  .arg(QFileInfo(QString::fromStdString(file.path)).fileName())
                                  .arg(p.line)
                                  .arg(QString::fromStdString(p.reason)));
    }
    listExactProblems();
    refreshing = false;
    if (toSelect)
        tree->setCurrentItem(toSelect);
    plotChecked();
    updateStatus();
}

const Series *FollowUpWindow::seriesOf(const QTreeWidgetItem *item, const SeriesFile **file) const
{
    if (!item || !item->parent())
        return nullptr;
    const int index = tree->indexOfTopLevelItem(item->parent());
    if (index < 0 || static_cast<std::size_t>(index) >= files.size())
        return nullptr;
    const SeriesFile &owner = *std::next(files.begin(), index);
    const auto s = item->data(0, kSeriesRole).toULongLong();
    if (s >= owner.series.size())
        return nullptr;
    if (file)
        *file = &owner;
    return &owner.series[s];
}

bool FollowUpWindow::selectPatient(
    const std::string &famname, const std::string &vorname, const std::string &code, bool sideLeft)
{
    QTreeWidgetItem *found = nullptr;
    bool exact = false;
    for (int f = 0; f < tree->topLevelItemCount(); ++f) {
        for (int c = 0; c < tree->topLevelItem(f)->childCount(); ++c) {
            QTreeWidgetItem *item = tree->topLevelItem(f)->child(c);
            const Series *s = seriesOf(item);
            if (s->famname != famname || s->vorname != vorname || s->code != code)
                continue;
            if (!found || (!exact && s->sideLeft == sideLeft)) {
                found = item;
                exact = s->sideLeft == sideLeft;
            }
        }
    }
    if (!found)
        return false;
    found->setCheckState(0, Qt::Checked);
    tree->setCurrentItem(found);
    return true;
}

void FollowUpWindow::seriesChosen()
{
    const SeriesFile *file = nullptr;
    const Series *s = seriesOf(tree->currentItem(), &file);
    model->show(file, s);
    model->showExact(exactPointsOf(s), exactLoaded);
    plots->mark(nullptr, -1);
    setWindowTitle(s ? "Follow-up: " + seriesLabel(*s) : QString("Follow-up"));
    updateStatus();
}

void FollowUpWindow::plotChecked()
{
    std::vector<PlottedSeries> chosen;
    for (int f = 0; f < tree->topLevelItemCount(); ++f) {
        for (int c = 0; c < tree->topLevelItem(f)->childCount(); ++c) {
            const QTreeWidgetItem *item = tree->topLevelItem(f)->child(c);
            const SeriesFile *file = nullptr;
            const Series *s = seriesOf(item, &file);
            if (s && item->checkState(0) == Qt::Checked)
                chosen.push_back({seriesLabel(*s), file, s,
                    kPalette[chosen.size() % (sizeof kPalette / sizeof kPalette[0])],
                    exactPointsOf(s)});
        }
    }
    plots->plot(chosen);
    rowChosen();
}

void FollowUpWindow::rowChosen()
{
    const QModelIndexList rows = table->selectionModel()->selectedRows();
    plots->mark(model->series(), rows.isEmpty() ? -1 : rows.first().row());
}

bool FollowUpWindow::exportCsv(const QString &path)
{
    const std::vector<SeriesFile> all(files.begin(), files.end());
    SeriesCsv::ExactOf exact;
    if (exactLoaded) {
        // The matches are kept by the shown series, not by the copies written.
        exact = [this](std::size_t f, std::size_t s, std::size_t k) -> const ExactPoint * {
            const std::vector<ExactPoint> *points =
                exactPointsOf(&std::next(files.begin(), static_cast<long>(f))->series[s]);
            return points && k < points->size() ? &(*points)[k] : nullptr;
        };
    }
    std::string reason;
    if (!SafeFile::replace(path.toStdString(), SeriesCsv::format(all, exact), reason)) {
        tellFailure("could not write " + path, reason);
        return false;
    }
    statusBar()->showMessage("CSV written to " + path, 5000);
    return true;
}

bool FollowUpWindow::savePlots(const QString &path)
{
    const QByteArray bytes =
        path.endsWith(".pdf", Qt::CaseInsensitive) ? plots->pdf() : plots->png();
    std::string reason;
    if (bytes.isEmpty())
        reason = "the plots could not be drawn";
    else if (SafeFile::replace(path.toStdString(),
                 std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                 reason)) {
        statusBar()->showMessage("Plots saved to " + path, 5000);
        return true;
    }
    tellFailure("could not write " + path, reason);
    return false;
}

QStringList FollowUpWindow::problemTexts() const
{
    QStringList texts;
    for (int i = 0; i < problems->count(); ++i)
        texts << problems->item(i)->text();
    return texts;
}

QString FollowUpWindow::statusText() const
{
    return status->text();
}

void FollowUpWindow::updateStatus()
{
    std::size_t series = 0, blocks = 0, skipped = 0;
    for (const SeriesFile &f : files) {
        series += f.series.size();
        blocks += f.contents.entries.size();
        skipped += f.contents.problems.size();
    }
    QString text = files.empty()
        ? QString("Open a result file (File, Open Result Files) to see its series.")
        : QStringLiteral("%1 result file(s), %2 series, %3 blocks")
              .arg(files.size())
              .arg(series)
              .arg(blocks);
    if (skipped > 0)
        text += QStringLiteral("; %1 problem(s) while reading, see Problems").arg(skipped);
    if (exactLoaded) {
        std::size_t withValues = 0;
        for (const auto &[shownSeries, points] : exactPoints)
            withValues += static_cast<std::size_t>(std::count_if(points.begin(), points.end(),
                [](const ExactPoint &p) { return p.matches.size() == 1 && p.hasValues(); }));
        const auto unused = exactReadProblems.size()
            + static_cast<std::size_t>(std::count_if(exactUnused.begin(), exactUnused.end(),
                [](const std::string &reason) { return !reason.empty(); }));
        text += QStringLiteral("; exact values for %1 radiograph(s)").arg(withValues);
        if (unused > 0)
            text += QStringLiteral(", %1 landmark file(s) not read or matched, see Problems")
                        .arg(unused);
    }
    status->setText(text);
}

bool FollowUpWindow::readLandmarkFolder(const QString &folder)
{
    if (!QFileInfo(folder).isDir()) {
        tellFailure("could not read landmark files from " + folder, "not a folder");
        return false;
    }
    landmarkFolder = folder;

    struct WaitCursor
    {
        WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

        ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    } waiting;

    // Named from the folder chosen, so that the same name in two subfolders stays apart.
    const QDir dir(folder);
    const auto relative = [&dir](const std::string &path) {
        return dir.relativeFilePath(QString::fromStdString(path));
    };
    std::vector<ExactRadiograph> read;
    const std::vector<MeasurementFiles::FolderProblem> failed =
        MeasurementFiles::readFolder(folder.toStdString(),
            [&](const std::string &, const std::string &landmarkFile, const COxel &oxel) {
                read.push_back(exactRadiograph(relative(landmarkFile).toStdString(), oxel));
            });

    model->show(nullptr, nullptr);
    plots->plot({});
    exactRadiographs = std::move(read);
    exactReadProblems.clear();
    for (const MeasurementFiles::FolderProblem &p : failed)
        exactReadProblems.emplace_back(relative(p.landmarkFile), p.reason);
    exactLoaded = true;
    refreshList();
    return true;
}

const std::vector<ExactPoint> *FollowUpWindow::exactPointsOf(const Series *series) const
{
    const auto found = exactPoints.find(series);
    return found == exactPoints.end() ? nullptr : &found->second;
}

void FollowUpWindow::matchExact()
{
    // The table and the plots point into the matches about to be replaced.
    model->showExact(nullptr, exactLoaded);
    plots->plot({});
    exactPoints.clear();
    exactUnused.clear();
    if (!exactLoaded)
        return;
    std::vector<const std::vector<ExactPoint> *> all;
    for (const SeriesFile &file : files) {
        for (const Series &series : file.series) {
            const auto &points = exactPoints[&series] =
                ExactSeries::match(series, file.contents.entries, exactRadiographs);
            all.push_back(&points);
        }
    }
    exactUnused = ExactSeries::unusedReasons(exactRadiographs, all);
}

void FollowUpWindow::listExactProblems()
{
    for (const auto &[file, reason] : exactReadProblems)
        problems->addItem(file + ": " + QString::fromStdString(reason));
    for (std::size_t i = 0; i < exactUnused.size(); ++i) {
        if (!exactUnused[i].empty())
            problems->addItem(
                QString::fromStdString(exactRadiographs[i].landmarkFile + ": " + exactUnused[i]));
    }
}
