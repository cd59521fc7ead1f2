#pragma once

#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QMainWindow>
#include <QStringList>

#include "core/series/ExactSeries.h"
#include "core/series/Series.h"

class FollowUpCharts;
class QLabel;
class QListWidget;
class QSplitter;
class QTableView;
class QTreeWidget;
class QTreeWidgetItem;
class SeriesTableModel;

// What the follow-up window takes from the program around it: its file dialogs. Empty parts:
// the platform's dialogs; tests answer them themselves.
struct FollowUpEnvironment
{
    // The result files to open; empty when cancelled.
    std::function<QStringList(QWidget *owner)> chooseResultFiles;
    // Where to save: the path, or empty when cancelled. `filters` as QFileDialog takes them.
    std::function<QString(QWidget *owner, const QString &caption, const QString &filters)>
        chooseSaveFile;
    // The folder whose landmark files give exact values; empty when cancelled.
    std::function<QString(QWidget *owner)> chooseLandmarkFolder;
};

// A patient's radiographs over the years, from result files: the series of every open file in
// a list (several files side by side), the selected series as a table, and the checked series
// drawn together in the plots.
class FollowUpWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit FollowUpWindow(const FollowUpEnvironment &environment = {}, QWidget *parent = nullptr);
    ~FollowUpWindow() override;

    // The one follow-up window of the program, made when first asked for.
    static FollowUpWindow &instance();

    // Reads the result file and lists its series beside those of the files already open (a
    // file open already is read anew). False when it cannot be read at all; the operator is
    // told why. Damaged blocks are listed under "Problems", the others shown.
    bool openFile(const QString &path);
    // Selects, shows in the table and plots the series of this patient, on the side given when
    // there is one of each; false when no open file has the patient.
    bool selectPatient(const std::string &famname, const std::string &vorname,
        const std::string &code, bool sideLeft);

    // Reads the landmark file of every picture in the folder and its subfolders, evaluates each
    // exactly and shows the values beside those of the radiographs they are of, in the table and
    // as a second line per plotted series, until another folder is read. Files that cannot be
    // read or matched are listed under "Problems". False, and the operator is told, when the
    // folder is not one.
    bool readLandmarkFolder(const QString &folder);
    // The exact points of a shown series (parallel to its points); null before a folder is read.
    const std::vector<ExactPoint> *exactPointsOf(const Series *series) const;

    // The CSV table of every open file, written whole or not at all. False on failure, and the
    // operator is told why.
    bool exportCsv(const QString &path);
    // The plots as a PNG picture or, for a path ending in ".pdf", a PDF page.
    bool savePlots(const QString &path);

    // What the window shows, for its commands and tests.
    SeriesTableModel *tableModel() const { return model; }

    QTableView *tableView() const { return table; }

    FollowUpCharts *charts() const { return plots; }

    QTreeWidget *seriesList() const { return tree; }

    QStringList problemTexts() const;
    QString statusText() const;

private:
    void createMenus();
    void refreshList();
    void seriesChosen();
    void plotChecked();
    void rowChosen();
    void updateStatus();
    void matchExact();
    void listExactProblems();
    const Series *seriesOf(const QTreeWidgetItem *item, const SeriesFile **file = nullptr) const;

    FollowUpEnvironment environment;
    // Stable addresses: the table and the plots point into the files.
    std::list<SeriesFile> files;
    QTreeWidget *tree = nullptr;
    QListWidget *problems = nullptr;
    QTableView *table = nullptr;
    SeriesTableModel *model = nullptr;
    FollowUpCharts *plots = nullptr;
    QLabel *status = nullptr;
    bool refreshing = false;
    // What the last landmark folder gave: the radiographs evaluated exactly (their files named
    // relative to the folder), the files that could not be read, and the matches per series.
    bool exactLoaded = false;
    QString landmarkFolder; // the last one read
    std::vector<ExactRadiograph> exactRadiographs;
    std::vector<std::pair<QString, std::string>> exactReadProblems; // file, reason
    std::map<const Series *, std::vector<ExactPoint>> exactPoints;
    std::vector<std::string> exactUnused; // parallel to exactRadiographs
};
