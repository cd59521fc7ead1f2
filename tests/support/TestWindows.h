#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QAction>
#include <QSize>
#include <QString>
#include <QTest>

#include <gtest/gtest.h>

#include "core/model/COxel.h"
#include "core/records/BinFile.h"
#include "support/BmpFile.h"
#include "support/TempDir.h"
#include "ui/MainForm.h"

// Main windows for the widget tests, each with a picture open: the pictures and landmark files
// are written into the test's own folder, the open dialog is answered with nextPicture (and
// records what it was offered), the start-up window is counted instead of shown, and the
// settings file lies in the folder too.
class TestWindows
{
public:
    // A bitmap of width x height in the folder, grey level (x + y) % 256, or greyAt(x, y).
    std::string picture(const std::string &name, int width, int height)
    {
        return picture(name, width, height, [](int x, int y) { return (x + y) % 256; });
    }

    template <typename GreyAt>
    std::string picture(const std::string &name, int width, int height, GreyAt greyAt)
    {
        const std::string path = dir.file(name);
        EXPECT_TRUE(writeBmp(path, width, height, greyAt));
        return path;
    }

    // The landmark file beside the picture, holding the measurement as the test set it up.
    void landmarks(const std::string &picturePath, const COxel &measurement)
    {
        std::string error;
        EXPECT_TRUE(BinFile::write(BinFile::landmarkPath(picturePath), measurement, &error))
            << error;
    }

    MainFormEnvironment environment()
    {
        MainFormEnvironment env;
        env.settingsPath = QString::fromStdString(dir.file("config/Zek2.ini"));
        env.chooseFile = [this](const QString &last) {
            offeredPaths.push_back(last);
            return nextPicture;
        };
        env.showStartup = [this](QWidget *) { ++startupShowings; };
        return env;
    }

    // A window that has opened the picture, shown at the size given; null when it could not
    // open it. The window lives as long as this object.
    MainForm *open(const std::string &picturePath, QSize size = QSize(900, 700))
    {
        nextPicture = QString::fromStdString(picturePath);
        windows.push_back(std::make_unique<MainForm>(environment()));
        MainForm *window = windows.back().get();
        if (!window->start())
            return nullptr;
        window->resize(size);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
        return window;
    }

    static void trigger(MainForm *window, const char *name)
    {
        QAction *item = window->action(name);
        ASSERT_NE(item, nullptr) << name;
        item->trigger();
    }

    TempDir dir;
    QString nextPicture;
    std::vector<QString> offeredPaths;
    int startupShowings = 0;
    std::vector<std::unique_ptr<MainForm>> windows;
};
