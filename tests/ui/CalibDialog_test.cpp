// The calibration distance dialog, driven offscreen.

#include <memory>
#include <vector>

#include <QApplication>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include "ui/CalibDialog.h"
#include "ui/HelpForm.h"
#include "ui/StartupForm.h"

class CalibDistance : public ::testing::Test
{
protected:
    void SetUp() override
    {
        savedLocale = QLocale();
        dialog = std::make_unique<CalibDialog>();
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }

    void TearDown() override { QLocale::setDefault(savedLocale); }

    void typeAndConfirm(const QString &text)
    {
        dialog->e_Distance->clear();
        QTest::keyClicks(dialog->e_Distance, text);
        QTest::mouseClick(dialog->OKButton, Qt::LeftButton);
    }

    QLocale savedLocale;
    std::unique_ptr<CalibDialog> dialog;
};

TEST_F(CalibDistance, ShowsItsCaptionsWithOkAsDefaultButton)
{
    EXPECT_EQ(dialog->windowTitle(), "Dialog Caption");
    EXPECT_EQ(dialog->Label1->text(), "Enter distance between the two points in mm");
    EXPECT_EQ(dialog->OKButton->text(), "OK");
    EXPECT_EQ(dialog->CancelButton->text(), "Cancel");
    EXPECT_TRUE(dialog->OKButton->isDefault());
    EXPECT_EQ(CalibDialog().Dist, 0.0f) << "a new dialog has no distance";
}

TEST_F(CalibDistance, NumberAndOkGivesTheDistanceAndAccepts)
{
    typeAndConfirm("25");
    EXPECT_EQ(dialog->Dist, 25.0f);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
}

TEST_F(CalibDistance, DecimalPointWorksInEveryLocaleAndTheLocalesCommaToo)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    typeAndConfirm("25,5");
    EXPECT_EQ(dialog->Dist, 25.5f);

    dialog->show();
    typeAndConfirm("12.25");
    EXPECT_EQ(dialog->Dist, 12.25f);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
}

TEST_F(CalibDistance, GroupSeparatorsNeverMakeThousands)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    typeAndConfirm("1.000"); // not a German number: read as the decimal point it also is
    EXPECT_EQ(dialog->Dist, 1.0f);

    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    dialog->show();
    dialog->Dist = 7.0f;
    typeAndConfirm("1,000");
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->Dist, 7.0f);
}

TEST_F(CalibDistance, TextThatIsNoNumberKeepsTheDialogOpenAndTheDistance)
{
    dialog->Dist = 12.5f;
    for (const char *text : {"abc", "", "25 mm", "1e39", "inf", "nan"}) {
        typeAndConfirm(text);
        EXPECT_TRUE(dialog->isVisible()) << text;
        EXPECT_EQ(dialog->Dist, 12.5f) << text;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "no message for " << text;
    }
    typeAndConfirm("30");
    EXPECT_EQ(dialog->Dist, 30.0f) << "the operator can correct the text";
}

TEST_F(CalibDistance, ZeroAndNegativeNumbersAreTakenAsTyped)
{
    typeAndConfirm("-4");
    EXPECT_EQ(dialog->Dist, -4.0f);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(CalibDistance, CancelGivesZero)
{
    dialog->Dist = 25.0f;
    QTest::keyClicks(dialog->e_Distance, "40");
    QTest::mouseClick(dialog->CancelButton, Qt::LeftButton);
    EXPECT_EQ(dialog->Dist, 0.0f);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

TEST_F(CalibDistance, ClosingByTheFrameKeepsTheDistance)
{
    dialog->Dist = 25.0f;
    QTest::keyClicks(dialog->e_Distance, "40");
    dialog->close();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->Dist, 25.0f);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

TEST_F(CalibDistance, EnterIsOk)
{
    QTest::keyClicks(dialog->e_Distance, "40");
    QTest::keyClick(dialog->e_Distance, Qt::Key_Return);
    EXPECT_EQ(dialog->Dist, 40.0f);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);

    dialog->show();
    typeAndConfirm("abc");
    QTest::keyClick(dialog->e_Distance, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(dialog->isVisible()) << "Enter checks the number as OK does";
}

TEST_F(CalibDistance, EscapeIsCancel)
{
    dialog->Dist = 25.0f;
    QTest::keyClicks(dialog->e_Distance, "40");
    QTest::keyClick(dialog->e_Distance, Qt::Key_Escape);
    EXPECT_EQ(dialog->Dist, 0.0f);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

TEST(CalibDistancePreset, PresetDistanceIsShownAndReplacedByTyping)
{
    CalibDialog dialog;
    dialog.e_Distance->setText("25");
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.e_Distance->text(), "25");
    EXPECT_TRUE(dialog.e_Distance->hasFocus());

    QTest::keyClicks(dialog.e_Distance, "30");
    QTest::keyClick(dialog.e_Distance, Qt::Key_Return);
    EXPECT_EQ(dialog.Dist, 30.0f);
}

TEST(CalibDistancePreset, ModalShowingReturnsTheDistance)
{
    CalibDialog dialog;
    dialog.e_Distance->setText("25");
    QTimer::singleShot(0, &dialog, [&dialog] { dialog.OKButton->click(); });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.Dist, 25.0f);
}
