#include <filesystem>

#include <QAction>
#include <QChart>
#include <QLineSeries>
#include <QScatterSeries>
#include <QTableView>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "core/evaluation/ResultFile.h"
#include "core/records/BinFile.h"
#include "core/series/SeriesCsv.h"
#include "support/BmpFile.h"
#include "support/ExactHip.h"
#include "support/LeftHip.h"
#include "support/RecordingMessages.h"
#include "support/TestWindows.h"
#include "ui/FollowUpCharts.h"
#include "ui/FollowUpWindow.h"
#include "ui/SeriesTableModel.h"

namespace {

ResultBlock visit(const char *datum, double cupCranial, double wearY)
{
    ResultBlock b;
    b.fileName = "hips.dat";
    b.date = {2027, 4, 1};
    b.famname = "Berg";
    b.vorname = "Ida";
    b.code = "FU-3";
    b.datum = datum;
    b.sideLeft = true;
    b.head = {true, 20.0, 30.0, 160.0};
    b.cup = {true, cupCranial, 31.0, 161.0};
    b.inclination = 42.0;
    b.rim = Calc::RimOrientation{15.0, 15.0, 60.0, "-", "+"};
    b.typ = 1;
    b.wear = WearVector{-0.3, wearY};
    b.radiofactor = 1.15;
    return b;
}

// Baseline, 732 and 1462 days later; the cup rises 0.1 and then 1.3 mm.
std::string threeVisits()
{
    return ResultFile::formatBlock(visit("20230101", 10.0, 1.0))
        + ResultFile::formatBlock(visit("20250102", 10.1, 1.2))
        + ResultFile::formatBlock(visit("20270102", 11.3, 1.4));
}

class FollowUpWindowTest : public ::testing::Test
{
protected:
    FollowUpWindow &open(const std::string &bytes)
    {
        path = dir.file("hips.dat");
        writeBytes(path, bytes);
        EXPECT_TRUE(window.openFile(QString::fromStdString(path)));
        return window;
    }

    TempDir dir;
    std::string path;
    RecordingMessages messages;
    FollowUpWindow window;
};

TEST_F(FollowUpWindowTest, ShowsTheSeriesAsChangesSinceTheBaselineAndRingsTheChosenRadiograph)
{
    open(threeVisits());
    ASSERT_EQ(window.seriesList()->topLevelItemCount(), 1);
    EXPECT_EQ(window.seriesList()->topLevelItem(0)->child(0)->text(0), "Berg, Ida (FU-3) left");
    const SeriesTableModel *table = window.tableModel();
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->index(1, SeriesTableModel::Date).data().toString(), "2025-01-02");
    EXPECT_NEAR(*table->value(1, SeriesTableModel::Years), 732 / 365.25, 1e-9);
    EXPECT_NEAR(*table->value(2, SeriesTableModel::CupCranial), 1.3, 1e-9);
    EXPECT_NEAR(*table->value(2, SeriesTableModel::Wear), 0.4, 1e-9);
    EXPECT_EQ(table->index(2, SeriesTableModel::CupCranial).data().toString(), "1.30");
    // Only the migration beyond 0.2 mm is marked.
    EXPECT_FALSE(table->index(1, SeriesTableModel::CupCranial).data(Qt::BackgroundRole).isValid());
    EXPECT_TRUE(table->index(2, SeriesTableModel::CupCranial).data(Qt::BackgroundRole).isValid());

    // The cup's plot holds the 0.2 mm line across the time, the two migration lines and no ring.
    const QChart *cup = window.charts()->chart(FollowUpCharts::CupMigration);
    QStringList names;
    for (const QAbstractSeries *s : cup->series())
        names << s->name();
    EXPECT_TRUE(names.contains("cup cranial") && names.contains("cup medial"))
        << names.join(",").toStdString();
    EXPECT_TRUE(names.contains("0.2 mm")) << names.join(",").toStdString();
    EXPECT_EQ(window.charts()->marker(FollowUpCharts::CupMigration)->count(), 0);

    window.tableView()->selectRow(2);
    const QScatterSeries *ring = window.charts()->marker(FollowUpCharts::CupMigration);
    ASSERT_EQ(ring->count(), 2); // cranial and medial
    EXPECT_NEAR(ring->at(0).x(), 1462 / 365.25, 1e-9);
    EXPECT_NEAR(std::max(ring->at(0).y(), ring->at(1).y()), 1.3, 1e-9);
    EXPECT_EQ(window.charts()->marker(FollowUpCharts::Orientation)->count(), 2);

    // Hovering names the patient, the date and the value.
    for (QAbstractSeries *s : cup->series()) {
        if (s->name() == "cup cranial") {
            const QString text = window.charts()->pointText(static_cast<QXYSeries *>(s), 2);
            EXPECT_TRUE(text.contains("2027-01-02")) << text.toStdString();
            EXPECT_TRUE(text.contains("cup cranial: 1.30 mm")) << text.toStdString();
        }
    }
}

TEST_F(FollowUpWindowTest, SeveralFilesSideBySideAreDrawnTogetherAndADamagedBlockIsListed)
{
    open(threeVisits()
        + "\"-------> OXEL DIGITAL 1995  File: hips.dat\",#2027-04-01#\r\n"
          "\"Berg\",\"Ida\"\r\n");
    EXPECT_EQ(window.tableModel()->rowCount(), 3);
    ASSERT_FALSE(window.problemTexts().isEmpty());
    EXPECT_TRUE(window.problemTexts().first().startsWith("hips.dat:4")) // line 40 or 41
        << window.problemTexts().first().toStdString();
    EXPECT_TRUE(window.statusText().contains("see Problems"));

    const std::string other = dir.file("other.dat");
    ResultBlock b = visit("20240601", 5.0, 0.5);
    b.famname = "Lund";
    writeBytes(other, ResultFile::formatBlock(b));
    ASSERT_TRUE(window.openFile(QString::fromStdString(other)));
    ASSERT_EQ(window.seriesList()->topLevelItemCount(), 2);
    window.seriesList()->topLevelItem(1)->child(0)->setCheckState(0, Qt::Checked);
    int cranialLines = 0;
    for (const QAbstractSeries *s : window.charts()->chart(FollowUpCharts::CupMigration)->series())
        cranialLines += s->name().endsWith("cup cranial");
    EXPECT_EQ(cranialLines, 2);

    EXPECT_FALSE(window.openFile(QString::fromStdString(dir.file("missing.dat"))));
    ASSERT_FALSE(messages.boxes.empty());
    EXPECT_NE(messages.boxes.back().text.find("missing.dat"), std::string::npos);
    EXPECT_EQ(window.seriesList()->topLevelItemCount(), 2);
}

TEST_F(FollowUpWindowTest, ExportsWriteWholeFilesOrTellWhyNot)
{
    open(threeVisits());
    const std::string csv = dir.file("hips.csv");
    ASSERT_TRUE(window.exportCsv(QString::fromStdString(csv)));
    SeriesFile expected;
    std::string error;
    ASSERT_TRUE(SeriesBuilder::load(path, expected, error));
    EXPECT_EQ(readBytes(csv), SeriesCsv::format({expected}));

    window.resize(1000, 700);
    const std::string png = dir.file("plots.png"), pdf = dir.file("plots.pdf");
    ASSERT_TRUE(window.savePlots(QString::fromStdString(png)));
    ASSERT_TRUE(window.savePlots(QString::fromStdString(pdf)));
    EXPECT_EQ(readBytes(png).substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(readBytes(pdf).substr(0, 5), "%PDF-");

    EXPECT_FALSE(window.exportCsv(QString::fromStdString(dir.file("gone/hips.csv"))));
    ASSERT_FALSE(messages.boxes.empty());
    EXPECT_EQ(messages.boxes.back().title, "Oxel Error");
    EXPECT_NE(messages.boxes.back().text.find("gone/hips.csv"), std::string::npos);
}

TEST(FollowUpFromTheMainWindow, OpensTheCurrentPatientsResultFileWithThePatientChosen)
{
    RecordingMessages messages;
    TestWindows windows;
    const std::string picture = windows.picture("hip.bmp", 2000, 1600);
    windows.landmarks(picture, leftHip(windows.dir.file("patient")));
    MainForm *w = windows.open(picture);
    ASSERT_NE(w, nullptr);
    TestWindows::trigger(w, "m_Write_dat");
    ASSERT_FALSE(readBytes(windows.dir.file("patient.dat")).empty());

    TestWindows::trigger(w, "m_FollowUp");
    FollowUpWindow &followUp = FollowUpWindow::instance();
    EXPECT_TRUE(followUp.isVisible());
    ASSERT_NE(followUp.seriesList()->currentItem(), nullptr);
    EXPECT_EQ(followUp.seriesList()->currentItem()->text(0), "Müller, Anna (S-17) left");
    EXPECT_EQ(followUp.tableModel()->rowCount(), 1);
    followUp.close(); // deletes it
}

// A picture with the hip's landmark file beside it, in a folder of the study.
void writeRadiograph(const std::string &picture, const ExactHip &hip)
{
    std::filesystem::create_directories(std::filesystem::path(picture).parent_path());
    ASSERT_TRUE(writeGreyBmp(picture, 2000, 1600, 90));
    std::string error;
    ASSERT_TRUE(BinFile::write(BinFile::landmarkPath(picture), hip.oxel, &error)) << error;
}

TEST(FollowUpExactValues, LandmarkFilesOfAFolderTreeGiveASecondLineAndExactColumns)
{
    RecordingMessages messages;
    TempDir dir;
    // The designed values of the two radiographs do not matter here.
    std::string blocks;
    for (const char *datum : {"20240115", "20250115"}) {
        ResultBlock b = visit(datum, 10.0, 1.0);
        b.famname = "Exact";
        b.vorname = "Eva";
        b.code = "X-1";
        blocks += ResultFile::formatBlock(b);
    }
    const std::string resultFile = dir.file("exact.dat");
    writeBytes(resultFile, blocks);

    // The cup rises 2 mm, moves 1.5 mm and turns from 42/18 to 45/15 degrees within the year.
    const std::string study = dir.file("study");
    const ExactHip baseline;
    ExactHip later;
    later.oxel.Datum = "20250115";
    later.project({251, 41, 180}, {256.5, 47, 174}, CentralProjection::cupAxis(45, 15));
    writeRadiograph(study + "/2024/hip.bmp", baseline);
    writeRadiograph(study + "/2025/hip.bmp", later);
    writeGreyBmp(study + "/broken.bmp", 2000, 1600, 90);
    writeBytes(study + "/broken.bin", "not a landmark file");
    writeBytes(study + "/orphan.bin", readBytes(study + "/2024/hip.bin"));
    writeRadiograph(study + "/twin.bmp", baseline);
    writeGreyBmp(study + "/twin.JPG", 2000, 1600, 90);

    FollowUpEnvironment environment;
    int asked = 0;
    environment.chooseLandmarkFolder = [&](QWidget *) {
        ++asked;
        return QString::fromStdString(study);
    };
    FollowUpWindow window(environment);
    ASSERT_TRUE(window.openFile(QString::fromStdString(resultFile)));
    const SeriesTableModel *table = window.tableModel();
    EXPECT_EQ(table->columnCount(), SeriesTableModel::ColumnCount); // nothing loaded yet

    auto *command = window.findChild<QAction *>("f_Exact");
    ASSERT_NE(command, nullptr);
    EXPECT_EQ(command->text(), "Exact Values from &Landmark Files ...");
    command->trigger();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(messages.boxes.empty()) << messages.boxes.front().text;

    // The orientation plot: the exact inclination beside the designed one, same colour, broken.
    const double year = 366 / 365.25; // 2024 is a leap year
    const QLineSeries *designed = nullptr, *exact = nullptr;
    for (QAbstractSeries *s : window.charts()->chart(FollowUpCharts::Orientation)->series()) {
        if (s->name() == "inclination")
            designed = static_cast<QLineSeries *>(s);
        if (s->name() == "inclination (exact)")
            exact = static_cast<QLineSeries *>(s);
    }
    ASSERT_NE(designed, nullptr);
    ASSERT_NE(exact, nullptr);
    EXPECT_EQ(exact->pen().color(), designed->pen().color());
    EXPECT_NE(exact->pen().style(), Qt::SolidLine);
    ASSERT_EQ(exact->count(), 2);
    EXPECT_NEAR(exact->at(0).x(), 0, 1e-9);
    EXPECT_NEAR(exact->at(0).y(), 42, 0.02);
    EXPECT_NEAR(exact->at(1).x(), year, 1e-9);
    EXPECT_NEAR(exact->at(1).y(), 45, 0.02);

    // The table's exact columns: migration since the exact baseline, orientation as evaluated.
    ASSERT_EQ(table->columnCount(), SeriesTableModel::AllColumnCount);
    EXPECT_EQ(table->headerData(SeriesTableModel::InclinationExact, Qt::Horizontal, Qt::DisplayRole)
                  .toString(),
        "Inclination (exact)\n°");
    const double cupCranial =
        later.fromHorizontal(later.cup, 0) - baseline.fromHorizontal(baseline.cup, 0);
    const double headMedial =
        later.fromVertical(later.head, 150) - baseline.fromVertical(baseline.head, 150);
    ASSERT_TRUE(table->exactValue(1, SeriesTableModel::CupCranialExact));
    EXPECT_NEAR(*table->exactValue(1, SeriesTableModel::CupCranialExact), cupCranial, 0.01);
    EXPECT_NEAR(*table->exactValue(1, SeriesTableModel::HeadMedialExact), headMedial, 0.01);
    EXPECT_NEAR(*table->exactValue(0, SeriesTableModel::CupCranialExact), 0, 1e-9);
    EXPECT_EQ(table->index(1, SeriesTableModel::InclinationExact).data().toString(), "45.0");
    EXPECT_EQ(table->index(1, SeriesTableModel::AnteversionExact).data().toString(), "15.0");

    // The two files that gave nothing are listed, not shown as boxes.
    EXPECT_TRUE(window.statusText().contains(
        "exact values for 2 radiograph(s), 3 landmark file(s) not read or matched, see Problems"))
        << window.statusText().toStdString();
    const QStringList problems = window.problemTexts();
    ASSERT_EQ(problems.size(), 3) << problems.join("\n").toStdString();
    EXPECT_TRUE(problems[0].startsWith("broken.bin: Error in File")) << problems[0].toStdString();
    EXPECT_EQ(problems[1], "orphan.bin: no picture beside it to give its size");
    EXPECT_EQ(problems[2],
        "twin.bin: lies beside several pictures (twin.JPG, twin.bmp): which one it measures is "
        "unknown");

    // The CSV export carries the exact columns once they are loaded.
    const std::string csv = dir.file("exact.csv");
    ASSERT_TRUE(window.exportCsv(QString::fromStdString(csv)));
    const QStringList rows = QString::fromStdString(readBytes(csv)).split("\r\n");
    ASSERT_GE(rows.size(), 3);
    const QStringList header = rows[0].split(',');
    EXPECT_EQ(header.back(), "exact_remark");
    const auto column = header.indexOf("exact_cup_cranial_change");
    ASSERT_GE(column, 0);
    EXPECT_NEAR(rows[2].split(',').at(column).toDouble(), cupCranial, 0.01);
    EXPECT_EQ(rows[2].split(',').size(), header.size());
}

} // namespace
