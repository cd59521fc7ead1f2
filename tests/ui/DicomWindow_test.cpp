#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "core/records/CPatient.h"
#include "support/DicomWriter.h"
#include "support/RecordingMessages.h"
#include "support/TestWindows.h"
#include "ui/CalibDialog.h"
#include "ui/ColorDialog.h"
#include "ui/DataDialog.h"
#include "ui/MainForm.h"
#include "ui/PictureBox.h"

namespace {

// 12 bits stored with a rescale intercept of -1024: modality values 0, 750, 1000, 2000 in the
// first row and 475, 500, 0, 2000 in the second.
DicomPixels radiograph()
{
    DicomPixels p;
    p.width = 4, p.height = 2, p.bitsStored = 12;
    p.values = {1024, 1774, 2024, 3024, 1499, 1524, 1024, 3024};
    return p;
}

const std::vector<DicomElement> kTwoWindows{dicomText(0x0028, 0x1052, "DS", "-1024"),
    dicomText(0x0028, 0x1050, "DS", "1000\\500"), dicomText(0x0028, 0x1051, "DS", "1001\\101"),
    dicomText(0x0028, 0x1055, "LO", "BONE\\SOFT & TISSUE")};
const DicomElement kImagerSpacing = dicomText(0x0018, 0x1164, "DS", "0.143\\0.143");

using Fields = std::tuple<std::string, std::string, std::string, std::int16_t, double, std::string>;

Fields fields(const CPatient &p)
{
    return {p.Famname, p.Vorname, p.Code, p.Typ, p.FocH, p.DatFile};
}

// Does what opens a modal Dialog and answers it; false when none came. A dialog that comes
// unexpected is answered too, so that no test waits for a person.
template <typename Dialog, typename Doing, typename Answer>
bool answering(Doing doIt, Answer answerIt)
{
    auto answered = std::make_shared<bool>(false);
    QTimer::singleShot(0, [answered, answerIt] {
        if (auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget())) {
            *answered = true;
            answerIt(*dialog);
        }
    });
    doIt();
    QCoreApplication::processEvents(); // the answer's turn when no dialog came
    return *answered;
}

class DicomWindow : public ::testing::Test, public TestWindows
{
protected:
    void SetUp() override { carriedOver.copy(LastPatient()); }

    void TearDown() override { LastPatient().copy(carriedOver); }

    std::string dicomFile(
        const std::string &name, const DicomPixels &pixels, const std::vector<DicomElement> &header)
    {
        writeBytes(dir.file(name), writeDicom(pixels, header));
        return dir.file(name);
    }

    static QList<QAction *> windowItems(MainForm *w)
    {
        return w->action("m_Window")->menu()->actions();
    }

    RecordingMessages messages;
    CPatient carriedOver;
};

} // namespace

TEST_F(DicomWindow, WindowMenuRefillsTheGreyLevelsUnderTheColourTable)
{
    MainForm *w = open(dicomFile("IM0001", radiograph(), kTwoWindows));
    ASSERT_NE(w, nullptr);
    const CBitmap &shown = *w->pixels();
    // The header's first window, linear: ((x - 999.5) / 1000 + 0.5) x 255.
    EXPECT_EQ(shown.grey(1, 0), 64); // x = 750: 63.88
    EXPECT_EQ(shown.grey(2, 0), 128); // x = 1000: 127.63
    const QList<QAction *> items = windowItems(w);
    ASSERT_EQ(items.size(), 4); // two windows, Full range, Automatic
    EXPECT_EQ(items[1]->text(), "SOFT && TISSUE"); // the header's "&" is no accelerator
    EXPECT_TRUE(items[0]->isChecked());

    ASSERT_TRUE(answering<ColorDialog>([w] { trigger(w, "m_Adjust"); },
        [](ColorDialog &d) {
            d.sb_brightness->setValue(256 + 20);
            d.b_Close->click();
        }));
    trigger(w, "m_filter2");
    ASSERT_TRUE(w->action("m_undo")->isEnabled());
    // The second window, ((x - 499.5) / 100 + 0.5) x 255; brightness stays, the sharpening goes.
    items[1]->trigger();
    EXPECT_EQ(shown.grey(0, 1), 65); // x = 475: 65.03
    EXPECT_EQ(shown.grey(1, 1), 129); // x = 500: 128.78
    EXPECT_EQ(shown.grey(1, 0), 255);
    EXPECT_EQ(shown.colorTable()[65], 85);
    EXPECT_FALSE(w->action("m_undo")->isEnabled());
    EXPECT_TRUE(items[1]->isChecked() && !items[0]->isChecked());
    // Full range, 0 to 2000 over 0 to 255.
    items[2]->trigger();
    EXPECT_EQ(shown.grey(1, 0), 96); // 95.63
    EXPECT_EQ(shown.grey(2, 0), 128); // 127.5, halves to even

    nextPicture = QString::fromStdString(picture("hip.bmp", 100, 80));
    trigger(w, "m_Open");
    EXPECT_EQ(w->dicomPicture(), nullptr);
    EXPECT_FALSE(w->action("m_Window")->isEnabled());
    EXPECT_TRUE(windowItems(w).isEmpty());
}

TEST_F(DicomWindow, ScaleComesFromTheHeaderUnlessTheOperatorGaveOne)
{
    const std::string path = dicomFile("hip.dcm", radiograph(), {kImagerSpacing});
    MainForm *w = open(path);
    ASSERT_NE(w, nullptr);
    EXPECT_NEAR(w->measurement()->WorldWidth(), 4 * 0.143, 1e-12);
    EXPECT_EQ(w->statusText(), "scale from Imager Pixel Spacing (0018,1164): 0.143 mm per pixel");
    // No 430 mm question: Write Data goes on to the missing patient data.
    EXPECT_TRUE(answering<DataDialog>(
        [w] { trigger(w, "m_Write_dat"); }, [](DataDialog &d) { d.close(); }));
    EXPECT_TRUE(messages.boxes.empty());

    // Two clicks 3 pixels apart for 6 mm: 0.5 pixels per mm.
    trigger(w, "m_Calibrate");
    QTest::mouseClick(w->pictureBox(), Qt::LeftButton, Qt::NoModifier, QPoint(0, 1));
    EXPECT_TRUE(answering<CalibDialog>(
        [w] { QTest::mouseClick(w->pictureBox(), Qt::LeftButton, Qt::NoModifier, QPoint(3, 1)); },
        [](CalibDialog &d) {
            d.e_Distance->setText("6");
            d.OKButton->click();
        }));
    EXPECT_NEAR(w->measurement()->ScaleFactor, 0.5, 1e-9);

    // A landmark file holds the operator's scale: 4 pixels over 20 mm.
    COxel stored;
    stored.setPicBox(nullptr);
    ASSERT_TRUE(stored.initScale(4, 2, 20.0));
    landmarks(path, stored);
    MainForm *reopened = open(path);
    ASSERT_NE(reopened, nullptr);
    EXPECT_NEAR(reopened->measurement()->ScaleFactor, 0.2, 1e-12);
}

TEST_F(DicomWindow, HeaderPatientIsConfirmedBeforeTheFirstWriteData)
{
    // The operator's entries for the same patient, whose name the archive writes in capitals.
    LastPatient() = CPatient{"M\u00FCller", "Hans", "S-1", 4, false, 14, 26, 1000, "result"};
    const std::vector<DicomElement> header{kImagerSpacing,
        dicomText(0x0008, 0x0005, "CS", "ISO_IR 192"),
        dicomText(0x0010, 0x0010, "PN", "M\u00DCLLER^HANS"),
        dicomText(0x0018, 0x1110, "DS", "1150"), dicomText(0x0008, 0x0022, "DA", "20240107")};
    MainForm *w = open(dicomFile("followup.dcm", radiograph(), header));
    ASSERT_NE(w, nullptr);
    // The focus distance is this exposure's.
    EXPECT_EQ(
        fields(w->measurement()->Patient), Fields("M\u00FCller", "Hans", "S-1", 4, 1150, "result"));

    // Nothing is missing, yet the first Write Data shows the data and does nothing else.
    QStringList shown;
    const auto writeData = [w] { trigger(w, "m_Write_dat"); };
    EXPECT_TRUE(answering<DataDialog>(writeData, [&shown](DataDialog &d) {
        shown = {d.E_Datum->text(), d.E_Famname->text(), d.E_Focus->text()};
        d.close();
    }));
    EXPECT_EQ(shown, QStringList({"20240107", "M\u00FCller", "1150"}));
    EXPECT_TRUE(messages.boxes.empty());
    EXPECT_FALSE(answering<DataDialog>(writeData, [](DataDialog &d) { d.close(); }));
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, "one or more GridLines not set!");

    // Another patient's radiograph takes nothing over from the last one.
    LastPatient() = CPatient{"Berg", "Ida", "S-1", 4, false, 14, 26, 1000, "berg"};
    MainForm *other = open(dicomFile("other.dcm", radiograph(), header));
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(
        fields(other->measurement()->Patient), Fields("M\u00DCLLER", "HANS", "", 0, 1150, ""));
    EXPECT_EQ(other->measurement()->Datum, "20240107");
}

TEST_F(DicomWindow, RefusedFileKeepsTheWindowAsItWas)
{
    MainForm *w = open(dicomFile("hip.dcm", radiograph(), kTwoWindows));
    ASSERT_NE(w, nullptr);
    windowItems(w)[1]->trigger();
    const CBitmap *pixels = w->pixels();
    const DicomPicture *dicom = w->dicomPicture();
    const COxel *measurement = w->measurement();

    const std::string whole = writeDicom(radiograph(), kTwoWindows);
    writeBytes(dir.file("cut.dcm"), whole.substr(0, whole.size() - 6));
    dicomFile("oblong.dcm", radiograph(), {dicomText(0x0018, 0x1164, "DS", "0.1\\0.2")});
    for (const char *name : {"cut.dcm", "oblong.dcm"}) {
        SCOPED_TRACE(name);
        messages.boxes.clear();
        nextPicture = QString::fromStdString(dir.file(name));
        trigger(w, "m_Open");
        ASSERT_EQ(messages.boxes.size(), 1u);
        EXPECT_EQ(messages.boxes[0].text.rfind("load Error: ", 0), 0u);
        EXPECT_EQ(messages.boxes[0].title, "Error");
        EXPECT_EQ(w->pixels(), pixels);
        EXPECT_EQ(w->dicomPicture(), dicom);
        EXPECT_EQ(w->measurement(), measurement);
        EXPECT_TRUE(windowItems(w)[1]->isChecked());
    }
    EXPECT_NE(messages.boxes[0].text.find("not square"), std::string::npos);
}

TEST_F(DicomWindow, MultiFrameFileShowsItsFirstFrameAndSaysSo)
{
    DicomPixels frames;
    frames.width = 2, frames.frames = 2, frames.bitsAllocated = frames.bitsStored = 8;
    frames.values = {0, 200, 200, 0};
    MainForm *w = open(dicomFile("two.dcm", frames, {}));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->pixels()->grey(1, 0), 255); // the full range of the first frame
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text, "the file holds 2 frames; only the first is shown");
}
