#include <fstream>
#include <iterator>
#include <string>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include <gtest/gtest.h>

#include "core/evaluation/EvaluationComparison.h"
#include "core/model/COxel.h"
#include "core/records/BinFile.h"
#include "support/ExactHip.h"
#include "support/RecordingMessages.h"
#include "support/SameMeasurement.h"
#include "support/TestWindows.h"
#include "ui/ExactDialog.h"
#include "ui/MainForm.h"

namespace {

// The table's rows, top to bottom.
enum Row {
    Inclination,
    Anteversion,
    Opening,
    HeadCranial,
    HeadMedial,
    HeadAntiparameter,
    CupCranial,
    CupMedial,
    CupAntiparameter,
    HeadRms,
    CupRms,
    RimRms,
    RowCount
};

enum Column {
    Designed,
    Exact,
    Difference
};

QString shown(const ExactDialog &dialog, int row, int column)
{
    const QTableWidgetItem *item = dialog.table->item(row, column);
    return item ? item->text() : QString("(no cell)");
}

std::string fileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ExactWindow : public ::testing::Test, public TestWindows
{
protected:
    RecordingMessages messages;
};

TEST(ExactDialogTable, ExactlyProjectedHipShowsTheTruthBesideTheDesignedValues)
{
    const RecordingMessages messages;
    ExactHip hip;
    const ExactDialog dialog(compareEvaluations(hip.oxel));

    ASSERT_EQ(dialog.table->rowCount(), RowCount);
    ASSERT_EQ(dialog.table->columnCount(), 3);
    EXPECT_EQ(dialog.windowTitle(), "Exact Evaluation");
    EXPECT_EQ(dialog.table->horizontalHeaderItem(Designed)->text(), "designed");
    EXPECT_EQ(dialog.table->horizontalHeaderItem(Exact)->text(), "exact");
    EXPECT_EQ(dialog.table->horizontalHeaderItem(Difference)->text(), "difference");
    EXPECT_EQ(dialog.table->verticalHeaderItem(Inclination)->text(), "inclination (°)");
    EXPECT_EQ(dialog.table->verticalHeaderItem(CupMedial)->text(), "cup medial (mm)");
    EXPECT_EQ(dialog.table->verticalHeaderItem(RimRms)->text(), "rim rms (px)");

    // The phantom's truth: the cup axis at 42° / 18°, the centres' distances from the planes
    // through the focus and the Base-Line (y = 0), the Top-Line (y = 200) and the F-Line
    // (x = 150), to the decimals shown.
    const auto mm = [](double v) { return QString::number(v, 'f', 2); };
    EXPECT_EQ(shown(dialog, Inclination, Exact), "42.0");
    EXPECT_EQ(shown(dialog, Anteversion, Exact), "18.0");
    EXPECT_EQ(shown(dialog, Opening, Exact), "towards the focus");
    EXPECT_EQ(shown(dialog, HeadCranial, Exact), mm(hip.fromHorizontal(hip.head, 0)));
    EXPECT_EQ(shown(dialog, HeadMedial, Exact), mm(hip.fromVertical(hip.head, 150)));
    EXPECT_EQ(shown(dialog, HeadAntiparameter, Exact), mm(hip.fromHorizontal(hip.head, 200)));
    EXPECT_EQ(shown(dialog, CupCranial, Exact), mm(hip.fromHorizontal(hip.cup, 0)));
    EXPECT_EQ(shown(dialog, CupMedial, Exact), mm(hip.fromVertical(hip.cup, 150)));
    EXPECT_EQ(shown(dialog, CupAntiparameter, Exact), mm(hip.fromHorizontal(hip.cup, 200)));
    // The points lie exactly on the outlines.
    for (int row : {HeadRms, CupRms, RimRms})
        EXPECT_EQ(shown(dialog, row, Exact), "0.00") << row;

    // The cup lies 145 mm off the beam: the parallel reading of the rim and the heights from
    // the circles' sizes are off by more than the decimals shown.
    for (int row : {Inclination, CupCranial}) {
        const double designed = shown(dialog, row, Designed).toDouble();
        const double exact = shown(dialog, row, Exact).toDouble();
        EXPECT_NE(shown(dialog, row, Designed), shown(dialog, row, Exact)) << row;
        EXPECT_NEAR(shown(dialog, row, Difference).toDouble(), exact - designed, 0.011) << row;
    }
    // Only the exact evaluation has an opening and outline distances.
    for (int row : {Opening, HeadRms, CupRms, RimRms}) {
        EXPECT_EQ(shown(dialog, row, Designed), "–") << row;
        EXPECT_EQ(shown(dialog, row, Difference), "–") << row;
    }
    // The designed evaluation asked nothing of the operator.
    EXPECT_TRUE(messages.boxes.empty());
    EXPECT_TRUE(messages.inputs.empty());
}

TEST(ExactDialogTable, WithoutAFocusDistanceTheExactColumnIsEmptyAndTheNotesSayWhy)
{
    const RecordingMessages messages;
    ExactHip hip;
    hip.oxel.Patient.FocH = 0;
    const COxel before = hip.oxel;
    const ExactDialog dialog(compareEvaluations(hip.oxel));

    for (int row = 0; row < RowCount; ++row) {
        EXPECT_EQ(shown(dialog, row, Exact), "–") << row;
        EXPECT_EQ(shown(dialog, row, Difference), "–") << row;
    }
    // The designed evaluation assumes its own focus distance and still has its values.
    EXPECT_NE(shown(dialog, Inclination, Designed), "–");
    EXPECT_NE(shown(dialog, CupCranial, Designed), "–");
    EXPECT_FALSE(dialog.notes->isHidden());
    EXPECT_TRUE(dialog.notes->text().contains("the exact evaluation needs the focus distance"))
        << dialog.notes->text().toStdString();
    // That assumed focus distance stayed on the copy.
    EXPECT_EQ(hip.oxel.Patient.FocH, 0);
    EXPECT_TRUE(sameMeasurement(hip.oxel, before));
    EXPECT_TRUE(messages.boxes.empty());
}

TEST(ExactDialogTable, TheDesignedEvaluationsQuestionIsAnsweredAndShownAsANote)
{
    // A cup given as 40 mm where the head (28 mm) measures it at about 50 mm: the designed
    // evaluation asks about the cup's diameter before it goes on.
    const RecordingMessages messages;
    ExactHip hip;
    hip.oxel.Patient.CupTR = 20;
    const ExactDialog dialog(compareEvaluations(hip.oxel));

    EXPECT_TRUE(messages.boxes.empty());
    EXPECT_TRUE(messages.inputs.empty());
    EXPECT_TRUE(dialog.notes->text().contains("designed: cup-diameter too small!"))
        << dialog.notes->text().toStdString();
    EXPECT_FALSE(dialog.notes->text().contains('\n' + QString("contrast-wire")));
    EXPECT_NE(shown(dialog, HeadCranial, Designed), "–");
    EXPECT_EQ(shown(dialog, HeadCranial, Exact),
        QString::number(hip.fromHorizontal(hip.head, 0), 'f', 2));
}

TEST(ExactDialogTable, ALandmarkNotMarkedShowsADashAndItsReason)
{
    ExactHip hip;
    hip.oxel.Rim.Valid = false;
    hip.oxel.Rim.removeAll();
    const ExactDialog dialog(compareEvaluations(hip.oxel));

    EXPECT_EQ(shown(dialog, Anteversion, Exact), "–");
    EXPECT_EQ(shown(dialog, Opening, Exact), "–");
    EXPECT_EQ(shown(dialog, RimRms, Exact), "–");
    EXPECT_EQ(shown(dialog, HeadCranial, Exact),
        QString::number(hip.fromHorizontal(hip.head, 0), 'f', 2));
    EXPECT_TRUE(dialog.notes->text().contains("the rim is not marked"))
        << dialog.notes->text().toStdString();
}

TEST(ExactDialogTable, CopyPutsAHeaderAndOneTabSeparatedLinePerRowOnTheClipboard)
{
    ExactHip hip;
    hip.oxel.Patient.FocH = 0; // an empty exact column: empty cells, not dashes
    ExactDialog dialog(compareEvaluations(hip.oxel));
    QApplication::clipboard()->clear();
    dialog.copyButton->click();

    const QStringList lines = QApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1 + RowCount) << QApplication::clipboard()->text().toStdString();
    EXPECT_EQ(lines[0], "quantity\tdesigned\texact\tdifference");
    for (int row = 0; row < RowCount; ++row) {
        const QStringList cells = lines[1 + row].split('\t');
        ASSERT_EQ(cells.size(), 4) << lines[1 + row].toStdString();
        EXPECT_EQ(cells[0], dialog.table->verticalHeaderItem(row)->text());
        const QString designed = shown(dialog, row, Designed);
        EXPECT_EQ(cells[1], designed == "–" ? QString() : designed) << row;
        EXPECT_EQ(cells[2], "") << row;
        EXPECT_EQ(cells[3], "") << row;
    }
    EXPECT_EQ(lines[1 + Inclination].split('\t')[0], "inclination (°)");
}

TEST_F(ExactWindow, TheCommandIsInMeasurementToolsAndNeedsAPicture)
{
    MainForm empty(environment());
    QAction *exact = empty.action("m_Exact");
    ASSERT_NE(exact, nullptr);
    EXPECT_EQ(exact->text().remove('&'), "Exact Evaluation");
    EXPECT_TRUE(exact->shortcut().isEmpty());
    EXPECT_FALSE(exact->isEnabled());
    exact->trigger();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    QMenu *tools = nullptr;
    for (QAction *menu : empty.menuBar()->actions()) {
        if (menu->text() == "&Measurement Tools")
            tools = menu->menu();
    }
    ASSERT_NE(tools, nullptr);
    EXPECT_EQ(tools->actions().back(), exact);
    // Its accelerator letter is its own in that menu.
    const auto letter = [](const QString &text) {
        const int at = text.indexOf('&');
        return at < 0 ? QChar() : text.at(at + 1).toLower();
    };
    for (QAction *other : tools->actions()) {
        if (other != exact && !other->isSeparator()) {
            EXPECT_NE(letter(other->text()), letter(exact->text())) << other->text().toStdString();
        }
    }
}

TEST_F(ExactWindow, TheDialogShowsTheOpenMeasurementAndChangesNoFile)
{
    ExactHip hip;
    const std::string path = picture("exact.bmp", 2000, 1600);
    landmarks(path, hip.oxel);
    const std::string landmarkPath = BinFile::landmarkPath(path);
    const std::string landmarkBytes = fileBytes(landmarkPath);
    MainForm *w = open(path);
    ASSERT_NE(w, nullptr);
    const COxel before = *w->measurement();
    ASSERT_TRUE(w->action("m_Exact")->isEnabled());

    QString inclination, title;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        QWidget *shownDialog = QApplication::activeModalWidget();
        if (auto *dialog = qobject_cast<ExactDialog *>(shownDialog)) {
            inclination = shown(*dialog, Inclination, Exact);
            title = dialog->windowTitle();
            modal = dialog->isModal();
            dialog->closeButton->click();
        } else if (shownDialog) {
            shownDialog->close();
        }
    });
    trigger(w, "m_Exact");

    EXPECT_EQ(title, "Exact Evaluation");
    EXPECT_TRUE(modal);
    EXPECT_EQ(inclination, "42.0");
    EXPECT_TRUE(messages.boxes.empty());
    EXPECT_TRUE(sameMeasurement(*w->measurement(), before));
    EXPECT_EQ(w->measurement()->Patient.FocH, ExactHip::kFocus);
    EXPECT_EQ(fileBytes(landmarkPath), landmarkBytes);
    // No result file anywhere in the folder, and nothing to undo.
    EXPECT_TRUE(QDir(QString::fromStdString(dir.file(""))).entryList({"*.dat"}).isEmpty());
    EXPECT_FALSE(w->action("m_EditUndo")->isEnabled());
}

} // namespace
