#include <filesystem>
#include <string>

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include "support/RecordingMessages.h"
#include "support/TempDir.h"
#include "support/TestWindows.h"
#include "support/Widgets.h"
#include "ui/MainForm.h"
#include "ui/PictureBox.h"
#include "ui/WindowPlacement.h"

namespace {

class FileConveniences : public ::testing::Test, public TestWindows
{
protected:
    std::string settingsText() const { return readBytes(dir.file("config/Zek2.ini")); }

    void openInWindow(MainForm *w, const std::string &path)
    {
        nextPicture = QString::fromStdString(path);
        trigger(w, "m_Open");
    }

    // Recent Pictures as the operator finds it on opening the File menu.
    static QList<QAction *> recentItems(MainForm *w)
    {
        QMenu *file = w->menuBar()->actions().constFirst()->menu();
        file->popup(QPoint(0, 0));
        file->hide();
        return w->action("m_Recent")->menu()->actions();
    }

    // A window that closing deletes, as the program's own are.
    MainForm *ownWindow(const std::string &path)
    {
        nextPicture = QString::fromStdString(path);
        auto *window = new MainForm(environment());
        EXPECT_TRUE(window->start());
        window->show();
        return window;
    }

    RecordingMessages messages;
};

// Dragged onto the picture box, which leaves drops to the window.
void drop(MainForm *w, const QList<QUrl> &urls, bool expectTaken)
{
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w->pictureBox(), &enter);
    ASSERT_EQ(enter.isAccepted(), expectTaken);
    if (!expectTaken)
        return;
    QDropEvent event(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w->pictureBox(), &event);
    QCoreApplication::processEvents(); // the picture opens once the drop is over
}

} // namespace

TEST_F(FileConveniences, RecentPicturesAreListedNewestFirstAndOpenWhenChosen)
{
    const std::string a = picture("a.bmp", 60, 40);
    const std::string b = picture("b&b.bmp", 90, 70);
    const std::string c = picture("c.bmp", 30, 30);
    const std::string broken = dir.file("broken.jpg");
    writeBytes(broken, "not a picture");
    MainForm *w = open(a);
    ASSERT_NE(w, nullptr);
    for (const std::string &path : {b, c, a, broken}) // the broken one is the last path only
        openInWindow(w, path);
    EXPECT_EQ(settingsText(),
        "[LastPath]\nPath=" + broken + "\n[RecentPictures]\nFile1=" + a + "\nFile2=" + c
            + "\nFile3=" + b + "\n");

    std::filesystem::remove(c);
    QList<QAction *> items = recentItems(w);
    ASSERT_EQ(items.size(), 5); // three pictures, a separator, Clear
    EXPECT_EQ(items[2]->text().toStdString(), "&3  " + dir.file("b&&b.bmp"));
    EXPECT_FALSE(items[1]->isEnabled()); // gone from its folder
    const int dialogs = static_cast<int>(offeredPaths.size());
    items[2]->trigger();
    EXPECT_EQ(w->windowTitle().toStdString(), b);
    EXPECT_EQ(w->pixels()->W, 90);
    EXPECT_EQ(static_cast<int>(offeredPaths.size()), dialogs);

    items = recentItems(w);
    EXPECT_EQ(items[0]->text().toStdString(), "&1  " + dir.file("b&&b.bmp"));
    items.back()->trigger(); // Clear
    EXPECT_EQ(settingsText(), "[LastPath]\nPath=" + b + "\n");
    EXPECT_FALSE(w->action("m_Recent")->isEnabled());
}

TEST_F(FileConveniences, DroppedPictureOpensAsTheOpenCommandWould)
{
    const std::string b = picture("b.bmp", 90, 70);
    const std::string text = dir.file("notes.txt");
    writeBytes(text, "not a picture");
    MainForm *w = open(picture("a.bmp", 60, 40));
    ASSERT_NE(w, nullptr);
    const auto local = [](const std::string &path) {
        return QUrl::fromLocalFile(QString::fromStdString(path));
    };

    drop(w, {QUrl("https://example.org/x.bmp")}, false); // nothing local to open
    drop(w, {QUrl("https://example.org/x.bmp"), local(b), local(text)}, true);
    EXPECT_EQ(w->windowTitle().toStdString(), b);
    EXPECT_EQ(w->pixels()->W, 90);
    EXPECT_TRUE(messages.boxes.empty());

    drop(w, {local(text)}, true);
    ASSERT_EQ(messages.boxes.size(), 1u);
    EXPECT_EQ(messages.boxes[0].text.rfind("load Error: ", 0), 0u) << messages.boxes[0].text;
    EXPECT_EQ(messages.boxes[0].title, "Error");
    EXPECT_EQ(w->windowTitle().toStdString(), b); // the window keeps its picture
}

TEST_F(FileConveniences, WindowFitsTheScreenAndTheLastClosedComesBack)
{
    EXPECT_EQ(WindowPlacement::fittedSize({1100, 800}, QRect(0, 0, 1400, 1000)), QSize(1100, 800));
    // A 1366 x 768 screen less a 40-pixel panel: room is left for a title bar.
    const QSize onLaptop = WindowPlacement::fittedSize({1100, 800}, QRect(0, 40, 1366, 728));
    EXPECT_EQ(onLaptop.width(), 1100);
    EXPECT_LE(onLaptop.height(), 728 - 30);
    {
        const MainForm unplaced(environment());
        const QRect available = unplaced.screen()->availableGeometry();
        EXPECT_EQ(unplaced.width(), std::min(1100, available.width() - 16));
        EXPECT_LE(unplaced.height(), available.height());
    }

    const std::string a = picture("a.bmp", 60, 40);
    MainForm *first = ownWindow(a);
    MainForm *second = ownWindow(a);
    first->setGeometry(20, 30, 400, 300);
    second->setGeometry(60, 70, 500, 350);
    first->close();
    second->close();
    processDeferredDeletes();
    MainForm *next = ownWindow(a);
    EXPECT_EQ(next->geometry(), QRect(60, 70, 500, 350));

    next->setGeometry(-500, 20, 4000, 3000); // as left on a larger screen
    next->close();
    processDeferredDeletes();
    MainForm *fitted = ownWindow(a);
    EXPECT_TRUE(fitted->screen()->availableGeometry().contains(fitted->frameGeometry()));
    fitted->close();
    processDeferredDeletes();
}
