#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "core/image/CBitmap.h"
#include "support/RecordingMessages.h"
#include "support/TestWindows.h"
#include "ui/ColorDialog.h"
#include "ui/MainForm.h"
#include "ui/PictureBox.h"

namespace {

constexpr std::uint8_t kPictureGrey = 128;

// The dialog on a pixel buffer of its own; the buffer's observer counts what it is told.
class ColorAdjustment : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const std::vector<std::uint8_t> grey(30 * 20, kPictureGrey);
        std::string error;
        ASSERT_TRUE(pixels.init(grey.data(), 30, 20, 30, error, 1)) << error;
        pixels.setObserver([this](BitmapChange change) { changes.push_back(change); });
    }

    std::unique_ptr<ColorDialog> open()
    {
        auto dialog = std::make_unique<ColorDialog>(pixels);
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        return dialog;
    }

    const std::array<std::uint8_t, 256> &table() const { return pixels.colorTable(); }

    // Every entry of the colour table equals value.
    bool tableIsUniform(std::uint8_t value) const
    {
        for (const std::uint8_t entry : table())
            if (entry != value)
                return false;
        return true;
    }

    bool tableIsIdentity() const
    {
        for (int i = 0; i < 256; ++i)
            if (table()[static_cast<std::size_t>(i)] != i)
                return false;
        return true;
    }

    CBitmap pixels;
    std::vector<BitmapChange> changes;
};

} // namespace

TEST_F(ColorAdjustment, ControlsCarryTheirCaptionsAndRanges)
{
    auto dialog = open();
    EXPECT_EQ(dialog->windowTitle(), "Adjust Colors");
    EXPECT_EQ(dialog->Label1->text(), "Brightness");
    EXPECT_EQ(dialog->Label2->text(), "Contrast");
    EXPECT_EQ(dialog->b_Reset->text(), "Reset");
    EXPECT_EQ(dialog->b_Close->text(), "Close");
    for (const QScrollBar *bar : {dialog->sb_brightness, dialog->sb_contrast}) {
        EXPECT_EQ(bar->orientation(), Qt::Horizontal);
        EXPECT_EQ(bar->minimum(), 0);
        EXPECT_EQ(bar->maximum(), 512);
    }
    // Top to bottom: caption, its bar, caption, its bar, then the buttons side by
    // side with Reset on the left.
    EXPECT_LT(dialog->Label1->y(), dialog->sb_brightness->y());
    EXPECT_LT(dialog->sb_brightness->y(), dialog->Label2->y());
    EXPECT_LT(dialog->Label2->y(), dialog->sb_contrast->y());
    EXPECT_LT(dialog->sb_contrast->y(), dialog->b_Reset->y());
    EXPECT_EQ(dialog->b_Reset->y(), dialog->b_Close->y());
    EXPECT_LT(dialog->b_Reset->x() + dialog->b_Reset->width(), dialog->b_Close->x());
    EXPECT_LE(dialog->b_Close->x() + dialog->b_Close->width(), dialog->width() + 1);
}

TEST_F(ColorAdjustment, FreshPictureShowsBothBarsInTheMiddle)
{
    auto dialog = open();
    EXPECT_EQ(dialog->sb_brightness->value(), 256);
    EXPECT_EQ(dialog->sb_contrast->value(), 256);
    EXPECT_TRUE(tableIsIdentity());
}

TEST_F(ColorAdjustment, BrightnessAtTheEndsTurnsThePictureBlackOrWhite)
{
    auto dialog = open();
    dialog->sb_brightness->setValue(0);
    EXPECT_EQ(pixels.ColorOffset, -256);
    EXPECT_TRUE(tableIsUniform(0));
    dialog->sb_brightness->setValue(512);
    EXPECT_EQ(pixels.ColorOffset, 256);
    EXPECT_TRUE(tableIsUniform(255));
}

TEST_F(ColorAdjustment, NoContrastMakesThePictureUniformAtTheOffset)
{
    auto dialog = open();
    dialog->sb_brightness->setValue(300); // offset 44
    dialog->sb_contrast->setValue(0);
    EXPECT_EQ(pixels.ColorScale, 0);
    EXPECT_TRUE(tableIsUniform(44));
}

TEST_F(ColorAdjustment, DoubleContrastDoublesEachLevel)
{
    auto dialog = open();
    dialog->sb_contrast->setValue(512);
    EXPECT_EQ(table()[0], 0);
    EXPECT_EQ(table()[100], 200);
    EXPECT_EQ(table()[127], 254);
    EXPECT_EQ(table()[128], 255);
}

TEST_F(ColorAdjustment, ResetPutsTheBarsBackAndRemovesAnInversion)
{
    auto dialog = open();
    dialog->sb_brightness->setValue(100);
    dialog->sb_contrast->setValue(400);
    pixels.Invert();
    ASSERT_FALSE(tableIsIdentity());

    QTest::mouseClick(dialog->b_Reset, Qt::LeftButton);
    EXPECT_EQ(dialog->sb_brightness->value(), 256);
    EXPECT_EQ(dialog->sb_contrast->value(), 256);
    EXPECT_EQ(pixels.ColorOffset, 0);
    EXPECT_EQ(pixels.ColorScale, 256);
    EXPECT_TRUE(tableIsIdentity());
}

TEST_F(ColorAdjustment, OpeningTheDialogKeepsAnInversion)
{
    pixels.Invert();
    auto dialog = open();
    EXPECT_EQ(table()[0], 255);
    EXPECT_EQ(table()[255], 0);
}

TEST_F(ColorAdjustment, ReopenedDialogShowsTheBarsWhereTheyWereLeft)
{
    {
        auto dialog = open();
        dialog->sb_brightness->setValue(300);
        dialog->sb_contrast->setValue(128);
        QTest::mouseClick(dialog->b_Close, Qt::LeftButton);
        EXPECT_FALSE(dialog->isVisible());
    }
    auto again = open();
    EXPECT_EQ(again->sb_brightness->value(), 300);
    EXPECT_EQ(again->sb_contrast->value(), 128);
}

TEST_F(ColorAdjustment, DraggedThumbAppliesAtItsRelease)
{
    auto dialog = open();
    dialog->sb_brightness->setSliderDown(true);
    dialog->sb_brightness->setSliderPosition(0);
    EXPECT_EQ(pixels.ColorOffset, 0);
    EXPECT_TRUE(tableIsIdentity());
    dialog->sb_brightness->setSliderDown(false);
    EXPECT_EQ(pixels.ColorOffset, -256);
    EXPECT_TRUE(tableIsUniform(0));
}

TEST_F(ColorAdjustment, ArrowClickAppliesAtOnce)
{
    auto dialog = open();
    dialog->sb_contrast->triggerAction(QAbstractSlider::SliderSingleStepSub);
    const int value = dialog->sb_contrast->value();
    EXPECT_LT(value, 256);
    EXPECT_EQ(pixels.ColorScale, value);
}

TEST_F(ColorAdjustment, EveryAppliedChangeIsToldToTheObserverOnce)
{
    auto dialog = open();
    EXPECT_TRUE(changes.empty()); // opening moves only the bars

    dialog->sb_brightness->setValue(0);
    EXPECT_EQ(changes, std::vector<BitmapChange>{BitmapChange::Colors});

    dialog->sb_contrast->setSliderDown(true);
    dialog->sb_contrast->setSliderPosition(100);
    EXPECT_EQ(changes.size(), 1u); // not while the thumb is held
    dialog->sb_contrast->setSliderDown(false);
    EXPECT_EQ(changes.size(), 2u);

    // Reset rebuilds the table once; putting the bars back must not rebuild it again.
    QTest::mouseClick(dialog->b_Reset, Qt::LeftButton);
    EXPECT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes.back(), BitmapChange::Colors);
}

// The window's command: the dialog, owned by the window, adjusts the picture that it shows.
TEST(AdjustColorsCommand, BarsChangeWhatTheWindowShows)
{
    TestWindows windows;
    RecordingMessages messages;
    MainForm *window =
        windows.open(windows.picture("hip.bmp", 300, 200, [](int, int) { return kPictureGrey; }),
            QSize(700, 500));
    ASSERT_NE(window, nullptr);
    const QPoint inPicture(3, 3); // away from the grid lines
    const auto shown = [&] { return window->pictureBox()->canvas().pixel(inPicture); };
    ASSERT_EQ(shown(), qRgb(kPictureGrey, kPictureGrey, kPictureGrey));

    bool found = false;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<ColorDialog *>(QApplication::activeModalWidget());
        found = dialog != nullptr;
        if (!found) {
            if (QWidget *other = QApplication::activeModalWidget())
                other->close();
            return;
        }
        EXPECT_EQ(dialog->parentWidget(), window);
        dialog->sb_brightness->setValue(0);
        EXPECT_EQ(shown(), qRgb(0, 0, 0));
        dialog->sb_brightness->setValue(512);
        EXPECT_EQ(shown(), qRgb(255, 255, 255));
        dialog->close();
    });
    TestWindows::trigger(window, "m_Adjust");
    EXPECT_TRUE(found);
    EXPECT_EQ(shown(), qRgb(255, 255, 255)); // the change outlives the dialog
}
