#include <string>
#include <vector>

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

#include "core/records/RecentPictures.h"
#include "ui/EventGuard.h"
#include "ui/MainForm.h"

namespace {

// Long paths are shortened in the middle, where the folders least tell pictures apart.
constexpr int kRecentCaptionWidthPx = 480;

// The first local file among what is dragged; empty when there is none (a web address, text).
QString firstLocalFile(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return {};
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            return url.toLocalFile();
    }
    return {};
}

} // namespace

void MainForm::createRecentMenu(QMenu *fileMenu)
{
    m_Recent = fileMenu->addMenu("Recen&t Pictures");
    m_Recent->menuAction()->setObjectName("m_Recent");
    connect(fileMenu, &QMenu::aboutToShow, this,
        [this] { EventGuard::run([this] { fillRecentMenu(); }); });
    fillRecentMenu();
}

void MainForm::fillRecentMenu()
{
    m_Recent->clear();
    const std::vector<std::string> list =
        RecentPictures::read(environment.settingsPath.toStdString());
    const QFontMetrics metrics(m_Recent->font());
    int number = 0;
    for (const std::string &entry : list) {
        const QString path = QString::fromStdString(entry);
        QString shown = metrics.elidedText(path, Qt::ElideMiddle, kRecentCaptionWidthPx);
        shown.replace('&', "&&");
        QAction *item =
            m_Recent->addAction(QString("&%1  %2").arg(QString::number(++number), shown));
        // A picture on a folder that is not there now (a drive not mounted) may come back.
        item->setEnabled(QFileInfo(path).isFile());
        connect(item, &QAction::triggered, this,
            [this, path] { EventGuard::run([this, path] { openChosenPicture(path); }); });
    }
    m_Recent->addSeparator();
    QAction *clear = m_Recent->addAction("&Clear");
    clear->setEnabled(!list.empty());
    connect(clear, &QAction::triggered, this, [this] {
        EventGuard::run([this] {
            RecentPictures::write(environment.settingsPath.toStdString(), {});
            // The items go when the File menu opens next; not here, inside one of their signals.
            m_Recent->menuAction()->setEnabled(false);
        });
    });
    m_Recent->menuAction()->setEnabled(!list.empty());
}

void MainForm::rememberRecentPicture(const QString &path)
{
    const std::string settings = environment.settingsPath.toStdString();
    const std::string opened = QFileInfo(path).absoluteFilePath().toStdString();
    // Not remembering is no reason to trouble the operator: the picture is open all the same.
    RecentPictures::write(
        settings, RecentPictures::withOpened(RecentPictures::read(settings), opened));
}

void MainForm::openChosenPicture(const QString &path)
{
    if (openRadiograph(path))
        PicBox_Paint();
}

void MainForm::dragEnterEvent(QDragEnterEvent *event)
{
    if (!firstLocalFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainForm::dropEvent(QDropEvent *event)
{
    const QString path = firstLocalFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    // Opened once the drop is over: a message box inside the drop would hold the program the
    // file came from until it is answered.
    QMetaObject::invokeMethod(
        this, [this, path] { EventGuard::run([this, path] { openChosenPicture(path); }); },
        Qt::QueuedConnection);
}
