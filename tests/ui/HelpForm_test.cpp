// The help window, driven offscreen, and its picture against the grid that the measurement
// builds from each setting's Base-Line: the operator must find the grid on the side where the
// program will draw it.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include <QApplication>
#include <QColor>
#include <QCoreApplication>
#include <QEvent>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPixmap>
#include <QPointF>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include "core/model/COxel.h"
#include "support/Widgets.h"
#include "tools/HelpPictureLayout.h"
#include "ui/CalibDialog.h"
#include "ui/HelpForm.h"
#include "ui/StartupForm.h"

namespace {

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

namespace {

// The picture exactly as the help window holds it.
QImage shownHelpPicture()
{
    QWidget owner;
    HelpForm::showFor(&owner);
    HelpForm *form = HelpForm::current();
    if (!form)
        return {};
    QImage picture = form->Image1->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
    form->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return picture;
}

bool near(QRgb pixel, std::uint32_t rgb)
{
    // Wide enough for the edges of antialiased lines, far narrower than the distance between
    // the grid's colours and every other colour of the picture.
    constexpr int tolerance = 48;
    return std::abs(qRed(pixel) - static_cast<int>((rgb >> 16) & 0xff)) <= tolerance
        && std::abs(qGreen(pixel) - static_cast<int>((rgb >> 8) & 0xff)) <= tolerance
        && std::abs(qBlue(pixel) - static_cast<int>(rgb & 0xff)) <= tolerance;
}

// A 2-pixel line through (x, y) covers the pixels on both sides of that point.
bool carries(const QImage &picture, QPointF at, std::uint32_t rgb)
{
    const int left = static_cast<int>(std::floor(at.x() - 0.5));
    const int top = static_cast<int>(std::floor(at.y() - 0.5));
    for (int y = top; y <= top + 1; ++y)
        for (int x = left; x <= left + 1; ++x)
            if (picture.valid(x, y) && near(picture.pixel(x, y), rgb))
                return true;
    return false;
}

QPointF pointOf(const CPoint &point)
{
    return {point.x, point.y};
}

// The point on the other side of the base line through a and b, as far from it.
QPointF mirrored(QPointF point, QPointF a, QPointF b)
{
    const QPointF d = b - a;
    const double t = QPointF::dotProduct(point - a, d) / QPointF::dotProduct(d, d);
    const QPointF foot = a + d * t;
    return foot * 2.0 - point;
}

struct Coverage
{
    int samples = 0;
    int drawn = 0; // samples on the line that carry its colour
    int mirroredAt = 0; // samples of its mirror image across the base line that carry it
    bool mirrorInside = true;
};

// Samples the line every pixel, leaving out its ends where the other lines meet it.
Coverage coverage(const QImage &picture, const CLine &line, const CLine &base, std::uint32_t rgb)
{
    Coverage result;
    const QPointF a = pointOf(line.P0), b = pointOf(line.P1);
    const QPointF baseA = pointOf(base.P0), baseB = pointOf(base.P1);
    const double length = std::hypot(b.x() - a.x(), b.y() - a.y());
    for (double s = 4; s <= length - 4; s += 1.0) {
        const QPointF at = a + (b - a) * (s / length);
        const QPointF image = mirrored(at, baseA, baseB);
        ++result.samples;
        result.drawn += carries(picture, at, rgb) ? 1 : 0;
        result.mirroredAt += carries(picture, image, rgb) ? 1 : 0;
        result.mirrorInside = result.mirrorInside && picture.rect().contains(image.toPoint());
    }
    return result;
}

void expectGridOnTheProgramsSide(const HelpPicture::Panel &panel)
{
    const QImage picture = shownHelpPicture();
    ASSERT_EQ(picture.size(), QSize(HelpPicture::Width, HelpPicture::Height));

    COxel grid;
    grid.init(panel.X0, panel.Y0, panel.x1, panel.y1);

    const struct
    {
        const char *name;
        const CLine &line;
        std::uint32_t rgb;
    } lines[] = {
        {"Top-Line", grid.H_T, HelpPicture::GridRgb}, {"F-Line", grid.V_F, HelpPicture::FLineRgb}};

    for (const auto &[name, line, rgb] : lines) {
        SCOPED_TRACE(name);
        const Coverage seen = coverage(picture, line, grid.H_B, rgb);
        ASSERT_GT(seen.samples, 50);
        ASSERT_TRUE(seen.mirrorInside) << "the other side of the Base-Line is not in the picture";
        // Where the line crosses another line of its own colour, the other may cover it.
        EXPECT_GE(seen.drawn * 10, seen.samples * 9)
            << seen.drawn << " of " << seen.samples << " samples along the line carry its colour";
        EXPECT_EQ(seen.mirroredAt, 0) << "the line's colour appears on the Base-Line's other side";
    }
}

const HelpPicture::Panel &panelFor(bool leftHip)
{
    for (const HelpPicture::Panel &panel : HelpPicture::Panels)
        if (panel.leftHip == leftHip)
            return panel;
    std::abort();
}

} // namespace

TEST(HelpPicture, SettingsDragTheBaseLineBothWays)
{
    // By hand: a base line of length s dragged to the right has its Top-Line s above it, one
    // dragged to the left s below it; so the two halves of the picture must differ.
    const HelpPicture::Panel &left = panelFor(true), &right = panelFor(false);
    COxel leftGrid, rightGrid;
    leftGrid.init(left.X0, left.Y0, left.x1, left.y1);
    rightGrid.init(right.X0, right.Y0, right.x1, right.y1);
    EXPECT_LT(left.X0, left.x1);
    EXPECT_GT(right.X0, right.x1);
    EXPECT_DOUBLE_EQ(leftGrid.H_T.P0.y, left.Y0 - HelpPicture::Side);
    EXPECT_DOUBLE_EQ(rightGrid.H_T.P0.y, right.Y0 + HelpPicture::Side);
    // The F-Line stands at three quarters of the way from the first end point.
    EXPECT_DOUBLE_EQ(leftGrid.V_F.P0.x, left.X0 + 0.75 * HelpPicture::Side);
    EXPECT_DOUBLE_EQ(rightGrid.V_F.P0.x, right.X0 - 0.75 * HelpPicture::Side);
}

TEST(HelpPicture, LeftHipGridStandsAboveABaseLineDrawnToTheRight)
{
    expectGridOnTheProgramsSide(panelFor(true));
}

TEST(HelpPicture, RightHipGridHangsBelowABaseLineDrawnToTheLeft)
{
    expectGridOnTheProgramsSide(panelFor(false));
}
