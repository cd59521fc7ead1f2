// The start-up window, the calibration distance dialog and the help window, driven offscreen.

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

namespace {

void processDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

int countTopLevel(const char *className)
{
    int count = 0;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (widget->inherits(className))
            ++count;
    return count;
}

// Emits the timer's timeout now, as if its interval had run out, without changing the timer.
bool fire(QTimer *timer)
{
    return QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
}

// --- Start-up window --------------------------------------------------------------------------

TEST(StartupWindow, ClosesWhenItsFiveSecondTimerFires)
{
    StartupForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.Timer1->interval(), 5000);
    EXPECT_TRUE(form.Timer1->isSingleShot());
    ASSERT_TRUE(form.Timer1->isActive()) << "the timer starts when the window is shown";
    EXPECT_GT(form.Timer1->remainingTime(), 4000);

    ASSERT_TRUE(fire(form.Timer1));
    EXPECT_FALSE(form.isVisible());
}

TEST(StartupWindow, ClosesOnOkAndStopsItsTimer)
{
    StartupForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.Timer1->isActive());
}

TEST(StartupWindow, ShowsProductReleaseAndLogoInAFixedUntitledWindowMidScreen)
{
    StartupForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.lblProductName->text(), "OXEL-CUP");
    EXPECT_TRUE(form.lblProductName->font().bold());
    EXPECT_EQ(form.lblProductName->font().pointSize(), 24);
    EXPECT_EQ(form.lblVersion->text(), "Release 2003");
    EXPECT_TRUE(form.lblVersion->font().bold());
    EXPECT_EQ(form.lblVersion->font().pointSize(), 12);
    EXPECT_FALSE(form.lblCompany->text().isEmpty());
    EXPECT_FALSE(form.lblDepartment->text().isEmpty());
    EXPECT_EQ(form.Command1->text(), "OK");
    EXPECT_TRUE(form.imgLogo->isVisible());
    EXPECT_FALSE(form.imgLogo->pixmap().isNull()) << "the logo comes from the resources";
    EXPECT_EQ(form.imgLogo->parentWidget(), form.Frame1);

    EXPECT_TRUE(form.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(form.size(), QSize(490, 280));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    const QPoint screenCentre = form.screen()->availableGeometry().center();
    EXPECT_LE((form.frameGeometry().center() - screenCentre).manhattanLength(), 2);
    form.close();
}

// What one modal showing looked like from inside: the window, and its timer on arrival.
struct Showing
{
    QPointer<StartupForm> form;
    bool timerActive = false;
    int remainingMs = -1;
};

TEST(StartupWindow, EachShowingIsANewWindowWithAFreshTimer)
{
    std::vector<Showing> showings;
    // The first showing ends by its timer, the second by "OK".
    for (bool byTimer : {true, false}) {
        QTimer::singleShot(0, [&showings, byTimer] {
            Showing seen;
            seen.form = qobject_cast<StartupForm *>(QApplication::activeModalWidget());
            if (seen.form) {
                seen.timerActive = seen.form->Timer1->isActive();
                seen.remainingMs = seen.form->Timer1->remainingTime();
                if (byTimer)
                    fire(seen.form->Timer1);
                else
                    seen.form->Command1->click();
            }
            showings.push_back(seen);
        });
        StartupForm::showModal(nullptr);
        ASSERT_EQ(showings.size(), byTimer ? 1u : 2u);
        EXPECT_TRUE(showings.back().form.isNull()) << "the window is gone once closed";
    }
    for (const Showing &seen : showings) {
        EXPECT_TRUE(seen.timerActive);
        EXPECT_GT(seen.remainingMs, 4000);
    }
    EXPECT_EQ(countTopLevel("StartupForm"), 0);
}

// --- Calibration distance dialog --------------------------------------------------------------

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

// --- Help window ------------------------------------------------------------------------------

class HelpWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        owner = std::make_unique<QWidget>();
        ownerButton = new QPushButton("press", owner.get());
        owner->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(owner.get()));
    }

    void TearDown() override
    {
        if (HelpForm *form = HelpForm::current())
            form->close();
        processDeferredDeletes();
        owner.reset();
    }

    // Shows the help window and returns it once it is on the screen.
    HelpForm *showHelp(QWidget *helpOwner)
    {
        HelpForm::showFor(helpOwner);
        HelpForm *form = HelpForm::current();
        if (form) {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(form));
        }
        return form;
    }

    std::unique_ptr<QWidget> owner;
    QPushButton *ownerButton = nullptr;
};

TEST_F(HelpWindow, ShowsTheHelpPictureUnderItsTitle)
{
    HelpForm *form = showHelp(owner.get());
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->isWindow());
    EXPECT_EQ(form->windowTitle(), "Possible Settings of OXEL Reference Lines");
    EXPECT_EQ(form->Image1->pixmap().size(), QSize(992, 220));
}

TEST_F(HelpWindow, ClickOnThePictureClosesIt)
{
    QPointer<HelpForm> form = showHelp(owner.get());
    ASSERT_FALSE(form.isNull());
    QTest::mouseClick(form->Image1, Qt::LeftButton, {}, QPoint(300, 100));
    EXPECT_EQ(HelpForm::current(), nullptr);
    processDeferredDeletes();
    EXPECT_TRUE(form.isNull()) << "closing destroys the window";
}

TEST_F(HelpWindow, OtherButtonsDoNotClose)
{
    HelpForm *form = showHelp(owner.get());
    ASSERT_NE(form, nullptr);
    QTest::mouseClick(form->Image1, Qt::RightButton, {}, QPoint(300, 100));
    QTest::mouseClick(form->Image1, Qt::MiddleButton, {}, QPoint(300, 100));
    processDeferredDeletes();
    EXPECT_EQ(HelpForm::current(), form);
    EXPECT_TRUE(form->isVisible());
}

TEST_F(HelpWindow, ShowingAgainBringsTheSameWindow)
{
    HelpForm *first = showHelp(owner.get());
    ASSERT_NE(first, nullptr);
    QWidget otherOwner;
    otherOwner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&otherOwner));
    otherOwner.activateWindow();

    EXPECT_EQ(showHelp(owner.get()), first);
    EXPECT_EQ(showHelp(&otherOwner), first);
    EXPECT_EQ(countTopLevel("HelpForm"), 1);
    EXPECT_TRUE(first->isVisible());

    // Showing again right after closing, before the closed window is deleted.
    QPointer<HelpForm> closed = first;
    first->close();
    HelpForm *again = showHelp(owner.get());
    processDeferredDeletes();
    EXPECT_TRUE(closed.isNull());
    ASSERT_NE(HelpForm::current(), nullptr) << "after closing, showing makes a new window";
    EXPECT_EQ(HelpForm::current(), again);
    EXPECT_TRUE(again->isVisible());
    EXPECT_EQ(countTopLevel("HelpForm"), 1);
}

TEST_F(HelpWindow, LeavesItsOwnerUsable)
{
    HelpForm *form = showHelp(owner.get());
    ASSERT_NE(form, nullptr);
    EXPECT_FALSE(form->isModal());
    EXPECT_EQ(form->windowModality(), Qt::NonModal);
    EXPECT_EQ(QGuiApplication::modalWindow(), nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    int presses = 0;
    QObject::connect(ownerButton, &QPushButton::clicked, [&presses] { ++presses; });
    QTest::mouseClick(ownerButton, Qt::LeftButton);
    EXPECT_EQ(presses, 1);
    EXPECT_TRUE(form->isVisible()) << "using the owner leaves the help open";
}

TEST_F(HelpWindow, GoesWithItsOwner)
{
    auto shortLived = std::make_unique<QWidget>();
    shortLived->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(shortLived.get()));
    ASSERT_NE(showHelp(shortLived.get()), nullptr);
    shortLived.reset();
    EXPECT_EQ(HelpForm::current(), nullptr);

    HelpForm *form = showHelp(owner.get());
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->isVisible());
}

} // namespace
