// The start-up window, driven offscreen.

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

#include "support/Widgets.h"
#include "ui/CalibDialog.h"
#include "ui/HelpForm.h"
#include "ui/StartupForm.h"

namespace {

// Emits the timer's timeout now, as if its interval had run out, without changing the timer.
bool fire(QTimer *timer)
{
    return QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
}

} // namespace

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
