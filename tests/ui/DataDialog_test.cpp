#include <memory>
#include <string>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include "core/model/COxel.h"
#include "core/records/CPatient.h"
#include "support/RecordingMessages.h"
#include "ui/DataDialog.h"

namespace {

const QColor kPink(255, 192, 255);

class PatientDataDialog : public ::testing::Test
{
protected:
    void SetUp() override { LastPatient() = CPatient(); }

    void TearDown() override { LastPatient() = CPatient(); }

    // The dialog as the main window opens it, shown and active.
    std::unique_ptr<DataDialog> open(std::int16_t flags = 0)
    {
        auto dialog = std::make_unique<DataDialog>(oxel, flags);
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        return dialog;
    }

    // Closes the dialog by its frame, as the operator would; true when it closed.
    static bool closeByFrame(DataDialog &dialog)
    {
        const bool closed = dialog.close();
        EXPECT_EQ(closed, !dialog.isVisible());
        return closed;
    }

    bool closeWithDate(const QString &date)
    {
        auto dialog = open();
        dialog->E_Datum->setText(date);
        return closeByFrame(*dialog);
    }

    COxel oxel;
    RecordingMessages messages;
};

bool isMarked(const QWidget *field)
{
    return field->palette().color(QPalette::Base) == kPink;
}

void expectRecord(const CPatient &actual, const CPatient &expected)
{
    EXPECT_EQ(actual.Famname, expected.Famname);
    EXPECT_EQ(actual.Vorname, expected.Vorname);
    EXPECT_EQ(actual.Code, expected.Code);
    EXPECT_EQ(actual.Typ, expected.Typ);
    EXPECT_EQ(actual.SLFlag, expected.SLFlag);
    EXPECT_EQ(actual.HeadTR, expected.HeadTR);
    EXPECT_EQ(actual.CupTR, expected.CupTR);
    EXPECT_EQ(actual.FocH, expected.FocH);
    EXPECT_EQ(actual.DatFile, expected.DatFile);
}

} // namespace

TEST_F(PatientDataDialog, DayIsNotCheckedAgainstTheMonth)
{
    EXPECT_TRUE(closeWithDate("20240230"));
    EXPECT_EQ(oxel.Datum, "20240230");
    EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(PatientDataDialog, YearPartIsNotChecked)
{
    EXPECT_TRUE(closeWithDate("abcd0112"));
    EXPECT_EQ(oxel.Datum, "abcd0112");
}

TEST_F(PatientDataDialog, SevenCharacterDateIsRefusedAndNothingIsStored)
{
    oxel.Datum = "19990101";
    oxel.DatFlag = true;
    oxel.Patient.Famname = "Old";
    auto dialog = open();
    dialog->E_Datum->setText("2024011");
    dialog->E_Famname->setText("New");

    EXPECT_FALSE(closeByFrame(*dialog));
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, "invalid Date Format!\nuse 'yyyymmdd'");
    EXPECT_EQ(messages.boxes[0].title, "Date Format Error");
    EXPECT_EQ(messages.boxes[0].icon, MessageIcon::Critical);
    EXPECT_TRUE(dialog->E_Datum->text().isEmpty());
    EXPECT_TRUE(dialog->E_Datum->hasFocus());
    EXPECT_TRUE(oxel.Datum.empty());
    EXPECT_EQ(oxel.Patient.Famname, "Old");
    EXPECT_TRUE(LastPatient().Famname.empty());

    // The emptied date is accepted at the next attempt, and the rest is stored then.
    EXPECT_TRUE(closeByFrame(*dialog));
    EXPECT_TRUE(oxel.Datum.empty());
    EXPECT_EQ(oxel.Patient.Famname, "New");
    EXPECT_EQ(LastPatient().Famname, "New");
}

TEST_F(PatientDataDialog, MonthAndDayOutsideTheirRangesAreRefused)
{
    for (const char *date : {"20240001", "20241301", "20240100", "20240132", "202401011",
             "2024.9.9", "2024 1 1", "2024+1+1", "20240a01"}) {
        SCOPED_TRACE(date);
        messages.boxes.clear();
        EXPECT_FALSE(closeWithDate(date));
        EXPECT_EQ(messages.boxes.size(), 1u);
    }
    for (const char *date : {"20240101", "20241231", "00001031"}) {
        SCOPED_TRACE(date);
        EXPECT_TRUE(closeWithDate(date));
        EXPECT_EQ(oxel.Datum, date);
    }
}

TEST_F(PatientDataDialog, DateLengthCountsCharactersNotBytes)
{
    EXPECT_TRUE(closeWithDate(QString::fromUtf8("\xc3\xa4\xc3\xb6\xc3\xbc\xc3\x9f"
                                                "0315")));
    EXPECT_EQ(oxel.Datum,
        "\xc3\xa4\xc3\xb6\xc3\xbc\xc3\x9f"
        "0315");
}

TEST_F(PatientDataDialog, OkStoresEveryFieldAndCloses)
{
    auto dialog = open();
    dialog->E_Datum->setText("20231130");
    dialog->E_Famname->setText("Meyer");
    dialog->E_Vorname->setText("Jo");
    dialog->E_Code->setText("K-12");
    dialog->E_Typ->setCurrentIndex(7); // "7a cup based"
    dialog->E_Head->setText("32");
    dialog->E_Cup->setText("52");
    dialog->E_Focus->setText("1000");
    dialog->E_DatFile->setText("/data/study");
    EXPECT_EQ(dialog->okButton->text(), "OK");
    QTest::mouseClick(dialog->okButton, Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(oxel.Datum, "20231130");
    for (const CPatient *record : {&oxel.Patient, &LastPatient()})
        expectRecord(*record, {"Meyer", "Jo", "K-12", 7, true, 16.0, 26.0, 1000.0, "/data/study"});
}

// Looking at the data and leaving must not overwrite the record with whatever was typed.
TEST_F(PatientDataDialog, CancelAndEscapeCloseWithoutStoringAnything)
{
    const CPatient last{"Last", "Lou", "L-7", 5, false, 16.0, 26.0, 1150.0, "/data/last"};
    const CPatient own{"Own", "Oda", "O-1", 7, true, 14.0, 25.0, 1000.0, "/data/own"};
    for (const bool escape : {false, true}) {
        for (const bool datFlag : {false, true}) {
            SCOPED_TRACE(std::to_string(escape) + std::to_string(datFlag));
            LastPatient() = last;
            oxel.DatFlag = datFlag;
            oxel.Datum = "20200101";
            oxel.Patient = own;
            auto dialog = open();
            dialog->E_Datum->setText("2023"); // not even a valid date: nothing is checked
            dialog->E_Famname->setText("Typo");
            dialog->E_Typ->setCurrentIndex(0);
            dialog->E_Head->setText("40");
            if (escape)
                QTest::keyClick(dialog->E_Famname, Qt::Key_Escape);
            else
                QTest::mouseClick(dialog->cancelButton, Qt::LeftButton);
            EXPECT_EQ(dialog->result(), QDialog::Rejected);
            EXPECT_FALSE(dialog->isVisible());
            EXPECT_TRUE(messages.boxes.empty());
            EXPECT_EQ(oxel.Datum, "20200101");
            expectRecord(oxel.Patient, own);
            expectRecord(LastPatient(), last);
            EXPECT_EQ(oxel.DatFlag, datFlag); // the next opening offers what this one offered
        }
    }
}

TEST_F(PatientDataDialog, DoubleQuoteIsRefusedNamingTheField)
{
    auto dialog = open();
    dialog->E_Famname->setText("Ann \"Bo\"");
    dialog->E_Code->setText("S-1");

    EXPECT_FALSE(closeByFrame(*dialog));
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, "text not allowed: \"Name\" may not contain a double quote");
    EXPECT_EQ(messages.boxes[0].title, "Patient's Data");
    EXPECT_EQ(messages.boxes[0].icon, MessageIcon::Critical);
    EXPECT_TRUE(dialog->E_Famname->hasFocus());
    EXPECT_EQ(dialog->E_Famname->text(), "Ann \"Bo\""); // left for the operator to correct
    EXPECT_TRUE(oxel.Patient.Code.empty());
    EXPECT_TRUE(LastPatient().Code.empty());

    dialog->E_Famname->setText("Ann Bo");
    EXPECT_TRUE(closeByFrame(*dialog));
    EXPECT_EQ(oxel.Patient.Famname, "Ann Bo");
    EXPECT_EQ(oxel.Patient.Code, "S-1");
}

TEST_F(PatientDataDialog, DoubleQuoteInTheDataFileOrDateIsRefusedToo)
{
    auto dialog = open();
    dialog->E_DatFile->setText("/data/\"x\"");
    EXPECT_FALSE(closeByFrame(*dialog));
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(
        messages.boxes[0].text, "text not allowed: \"Data File\" may not contain a double quote");
    EXPECT_TRUE(dialog->E_DatFile->hasFocus());

    dialog->E_DatFile->setText("/data/x");
    dialog->E_Datum->setText("\"\"\"\"0101"); // passes the date check, which skips the year
    EXPECT_FALSE(closeByFrame(*dialog));
    ASSERT_EQ(messages.boxes.size(), 2u);
    EXPECT_EQ(messages.boxes[1].text,
        "text not allowed: \"Date (yyyymmdd)\" may not contain a double quote");
    EXPECT_TRUE(oxel.Datum.empty());
}

TEST_F(PatientDataDialog, TypedTextIsLimitedButLoadedTextIsKeptWhole)
{
    const std::string longName(300, 'n');
    oxel.DatFlag = true;
    oxel.Patient.Famname = longName;
    auto dialog = open();
    dialog->E_Vorname->setText(QString(300, QLatin1Char('v')));
    EXPECT_EQ(dialog->E_Vorname->text().size(), 255);
    EXPECT_TRUE(closeByFrame(*dialog));
    EXPECT_EQ(oxel.Patient.Famname, longName);
    EXPECT_EQ(oxel.Patient.Vorname, std::string(255, 'v'));
}

TEST_F(PatientDataDialog, TypeListHoldsTheTenEntriesAndStartsWithoutSelection)
{
    auto dialog = open();
    const QStringList expected = {"1   head based", "2   head based      ", "3   head based    ",
        "4   head based     ", "5   head based", "6   cup based", "7   cup based", "7a cup based",
        "8   cup based", "9   head based"};
    ASSERT_EQ(dialog->E_Typ->count(), 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(dialog->E_Typ->itemText(i), expected[i]) << i;
    EXPECT_FALSE(dialog->E_Typ->isEditable());
    EXPECT_EQ(dialog->E_Typ->currentIndex(), -1);
}

TEST_F(PatientDataDialog, NoTypeSelectedStoresTypeZero)
{
    LastPatient().Typ = 3;
    auto dialog = open();
    dialog->E_Typ->setCurrentIndex(-1);
    EXPECT_TRUE(closeByFrame(*dialog));
    EXPECT_EQ(oxel.Patient.Typ, 0);
    EXPECT_FALSE(oxel.Patient.SLFlag);
    EXPECT_EQ(LastPatient().Typ, 0);
}

TEST_F(PatientDataDialog, SevenACupBasedStoresTypeSevenWithTheFlagAndShowsAgain)
{
    auto dialog = open();
    dialog->E_Typ->setCurrentIndex(7);
    ASSERT_EQ(dialog->E_Typ->currentText(), "7a cup based");
    EXPECT_TRUE(closeByFrame(*dialog));
    EXPECT_EQ(oxel.Patient.Typ, 7);
    EXPECT_TRUE(oxel.Patient.SLFlag);
    EXPECT_EQ(LastPatient().Typ, 7);
    EXPECT_TRUE(LastPatient().SLFlag);

    auto again = open();
    EXPECT_EQ(again->E_Typ->currentText(), "7a cup based");
}

TEST_F(PatientDataDialog, EntriesAfterSevenAStandOneTypeLower)
{
    struct Case
    {
        int index;
        std::int16_t typ;
        bool slFlag;
    };

    for (const Case c :
        {Case{0, 1, false}, Case{6, 7, false}, Case{8, 8, false}, Case{9, 9, false}}) {
        SCOPED_TRACE(c.index);
        auto dialog = open();
        dialog->E_Typ->setCurrentIndex(c.index);
        EXPECT_TRUE(closeByFrame(*dialog));
        EXPECT_EQ(oxel.Patient.Typ, c.typ);
        EXPECT_EQ(oxel.Patient.SLFlag, c.slFlag);
    }
}

TEST_F(PatientDataDialog, TypeEightWithTheFlagShowsEightAndLosesTheFlag)
{
    oxel.DatFlag = true;
    oxel.Patient.Typ = 8;
    oxel.Patient.SLFlag = true;
    auto dialog = open();
    EXPECT_EQ(dialog->E_Typ->currentText(), "8   cup based");
    EXPECT_TRUE(closeByFrame(*dialog));
    EXPECT_EQ(oxel.Patient.Typ, 8);
    EXPECT_FALSE(oxel.Patient.SLFlag);
}

TEST_F(PatientDataDialog, TypeWithoutAnEntrySelectsNothing)
{
    oxel.DatFlag = true;
    oxel.Patient.Typ = 12;
    auto dialog = open();
    EXPECT_EQ(dialog->E_Typ->currentIndex(), -1);
}

TEST_F(PatientDataDialog, DiametersAreStoredAsHalvesOfWholeNumbers)
{
    struct Case
    {
        const char *text;
        double radius;
    };

    for (const Case c : {Case{"28", 14.0}, Case{"28.5", 14.0}, Case{"29.5", 15.0}, Case{"29", 14.5},
             Case{"abc", 0.0}, Case{"", 0.0}}) {
        SCOPED_TRACE(c.text);
        auto dialog = open();
        dialog->E_Head->setText(c.text);
        dialog->E_Cup->setText(c.text);
        EXPECT_TRUE(closeByFrame(*dialog));
        EXPECT_EQ(oxel.Patient.HeadTR, c.radius);
        EXPECT_EQ(oxel.Patient.CupTR, c.radius);
        EXPECT_EQ(LastPatient().HeadTR, c.radius);
    }
}

TEST_F(PatientDataDialog, FocusDistanceIsRoundedToAWholeNumber)
{
    auto dialog = open();
    dialog->E_Focus->setText("1150.5");
    EXPECT_TRUE(closeByFrame(*dialog));
    EXPECT_EQ(oxel.Patient.FocH, 1150.0);
}

TEST_F(PatientDataDialog, NumberThatIsNotANumberReopensEmpty)
{
    auto dialog = open();
    dialog->E_Head->setText("abc");
    EXPECT_TRUE(closeByFrame(*dialog));
    auto again = open();
    EXPECT_TRUE(again->E_Head->text().isEmpty());
}

TEST_F(PatientDataDialog, StoredValuesShowAsRoundedDiameters)
{
    oxel.DatFlag = true;
    oxel.Datum = "20200101";
    oxel.Patient.HeadTR = 14.25; // 28.5 rounds to 28
    oxel.Patient.CupTR = 26.75; // 53.5 rounds to 54
    oxel.Patient.FocH = 0.0;
    auto dialog = open();
    EXPECT_EQ(dialog->E_Datum->text(), "20200101");
    EXPECT_EQ(dialog->E_Head->text(), "28");
    EXPECT_EQ(dialog->E_Cup->text(), "54");
    EXPECT_TRUE(dialog->E_Focus->text().isEmpty());
}

TEST_F(PatientDataDialog, MeasurementWithoutDataOffersTheLastPatient)
{
    LastPatient().Famname = "Last";
    LastPatient().Vorname = "Lou";
    LastPatient().Code = "L-7";
    LastPatient().Typ = 5;
    LastPatient().HeadTR = 16;
    LastPatient().DatFile = "/data/last";
    oxel.Patient.Famname = "Own";

    auto dialog = open();
    EXPECT_EQ(dialog->E_Famname->text(), "Last");
    EXPECT_EQ(dialog->E_Vorname->text(), "Lou");
    EXPECT_EQ(dialog->E_Code->text(), "L-7");
    EXPECT_EQ(dialog->E_Typ->currentText(), "5   head based");
    EXPECT_EQ(dialog->E_Head->text(), "32");
    EXPECT_EQ(dialog->E_DatFile->text(), "/data/last");
    EXPECT_TRUE(oxel.DatFlag);
}

TEST_F(PatientDataDialog, MeasurementWithDataShowsItsOwn)
{
    LastPatient().Famname = "Last";
    oxel.DatFlag = true;
    oxel.Patient.Famname = "Own";
    oxel.Patient.Typ = 2;
    auto dialog = open();
    EXPECT_EQ(dialog->E_Famname->text(), "Own");
    EXPECT_EQ(dialog->E_Typ->currentText(), "2   head based      ");
}

TEST_F(PatientDataDialog, ClosingStoresIntoTheMeasurementAndTheLastPatient)
{
    auto dialog = open();
    dialog->E_Datum->setText("20231130");
    dialog->E_Famname->setText("Meyer");
    dialog->E_Vorname->setText("Jo");
    dialog->E_Code->setText("K-12");
    dialog->E_Typ->setCurrentIndex(5);
    dialog->E_Head->setText("32");
    dialog->E_Cup->setText("52");
    dialog->E_Focus->setText("1000");
    dialog->E_DatFile->setText("/data/study");
    EXPECT_TRUE(closeByFrame(*dialog));

    for (const CPatient *record : {&oxel.Patient, &LastPatient()}) {
        EXPECT_EQ(record->Famname, "Meyer");
        EXPECT_EQ(record->Vorname, "Jo");
        EXPECT_EQ(record->Code, "K-12");
        EXPECT_EQ(record->Typ, 6);
        EXPECT_FALSE(record->SLFlag);
        EXPECT_EQ(record->HeadTR, 16.0);
        EXPECT_EQ(record->CupTR, 26.0);
        EXPECT_EQ(record->FocH, 1000.0);
        EXPECT_EQ(record->DatFile, "/data/study");
    }
    EXPECT_EQ(oxel.Datum, "20231130");
}

TEST_F(PatientDataDialog, MarkedFieldsArePinkAndTheTopmostGetsTheFocus)
{
    auto dialog = open(0x12 | 0x100); // family name, type, data file
    EXPECT_TRUE(isMarked(dialog->E_Famname));
    EXPECT_EQ(dialog->E_Typ->palette().color(QPalette::Button), kPink);
    EXPECT_TRUE(isMarked(dialog->E_DatFile));
    for (const QWidget *field : {dialog->E_Datum, dialog->E_Vorname, dialog->E_Code, dialog->E_Head,
             dialog->E_Cup, dialog->E_Focus})
        EXPECT_FALSE(isMarked(field)) << field->objectName().toStdString();
    EXPECT_TRUE(dialog->E_Famname->hasFocus());

    // What the operator sees: the inside of the empty field is drawn pink.
    const QImage drawn = dialog->E_Famname->grab().toImage();
    const QPoint inside(drawn.width() / 2, drawn.height() / 2);
    EXPECT_EQ(QColor(drawn.pixel(inside)), kPink);
}

TEST_F(PatientDataDialog, FocusGoesToTheTopmostMarkedFieldWhicheverBitsAreSet)
{
    auto dialog = open(0x40 | 0x100); // cup, data file
    EXPECT_TRUE(dialog->E_Cup->hasFocus());
    auto withDate = open(0x1 | 0x20);
    EXPECT_TRUE(withDate->E_Datum->hasFocus());
}

// Write Data asks for what the measurement lacks, while the dialog may fill those fields from
// the last patient's data: only the fields still empty are marked.
TEST_F(PatientDataDialog, FlaggedFieldsAlreadyFilledAreNotMarked)
{
    LastPatient().Famname = "Last";
    LastPatient().Typ = 2;
    LastPatient().DatFile = "/data/last";
    auto dialog = open(0x1 | 0x2 | 0x4 | 0x10 | 0x100); // what an empty measurement lacks
    EXPECT_EQ(dialog->E_Famname->text(), "Last");
    EXPECT_FALSE(isMarked(dialog->E_Famname));
    EXPECT_NE(dialog->E_Typ->palette().color(QPalette::Button), kPink);
    EXPECT_FALSE(isMarked(dialog->E_DatFile));
    EXPECT_TRUE(isMarked(dialog->E_Datum));
    EXPECT_TRUE(isMarked(dialog->E_Vorname));
    EXPECT_TRUE(dialog->E_Datum->hasFocus());
    oxel.DatFlag = false; // as the first dialog found it
    EXPECT_TRUE(open(0x2 | 0x4)->E_Vorname->hasFocus()); // the filled name is passed over
}

TEST_F(PatientDataDialog, NothingIsMarkedWithoutFlags)
{
    auto dialog = open();
    for (const QWidget *field : {dialog->E_Datum, dialog->E_Famname, dialog->E_Vorname,
             dialog->E_Code, dialog->E_Head, dialog->E_Cup, dialog->E_Focus, dialog->E_DatFile})
        EXPECT_FALSE(isMarked(field)) << field->objectName().toStdString();
    EXPECT_NE(dialog->E_Typ->palette().color(QPalette::Button), kPink);
}

TEST_F(PatientDataDialog, BrowseButtonPutsTheChosenFileWithoutItsExtension)
{
    auto dialog = open();
    QString answer = "/data/results.dat";
    int asked = 0;
    dialog->chooseDataFile = [&] {
        ++asked;
        return answer;
    };
    QToolButton *browse = dialog->findChild<QToolButton *>("browseDatFile");
    ASSERT_NE(browse, nullptr);
    EXPECT_EQ(browse->text(), "...");

    QTest::mouseClick(browse, Qt::LeftButton);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(dialog->E_DatFile->text(), "/data/results");

    answer = "/data/other"; // typed without an extension: the result file gets ".dat" added
    browse->click();
    EXPECT_EQ(dialog->E_DatFile->text(), "/data/other");

    answer.clear(); // cancelled
    browse->click();
    EXPECT_EQ(dialog->E_DatFile->text(), "/data/other");

    EXPECT_FALSE(dialog->E_DatFile->isReadOnly());
    EXPECT_TRUE(closeByFrame(*dialog));
    EXPECT_EQ(oxel.Patient.DatFile, "/data/other");
}

TEST_F(PatientDataDialog, EnterInAFieldDoesNotOpenTheFileDialog)
{
    auto dialog = open();
    int asked = 0;
    dialog->chooseDataFile = [&] {
        ++asked;
        return QString();
    };
    dialog->E_Famname->setFocus();
    QTest::keyClick(dialog->E_Famname, Qt::Key_Return);
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(dialog->isVisible());
}
