#include "ui/HelpForm.h"

#include <QCloseEvent>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QVBoxLayout>

#include "ui/Resources.h"

namespace {

// The one open help window; cleared when it closes, and by QPointer should it be destroyed
// along with its owner.
QPointer<HelpForm> &openHelpForm()
{
    static QPointer<HelpForm> form;
    return form;
}

} // namespace

HelpForm::HelpForm(QWidget *owner) : QWidget(owner, Qt::Window), Image1(new QLabel(this))
{
    registerPictures();
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Possible Settings of OXEL Reference Lines"));
    Image1->setPixmap(QPixmap(QStringLiteral(":/help.png")));
    Image1->installEventFilter(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Image1);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void HelpForm::showFor(QWidget *owner)
{
    QPointer<HelpForm> &form = openHelpForm();
    if (!form)
        form = new HelpForm(owner);
    form->setWindowState(form->windowState() & ~Qt::WindowMinimized);
    form->show();
    form->raise();
    form->activateWindow();
}

HelpForm *HelpForm::current()
{
    return openHelpForm().data();
}

void HelpForm::closeEvent(QCloseEvent *event)
{
    // Closed, the window only waits to be deleted: the next showFor must make a new one rather
    // than show this one again.
    if (openHelpForm() == this)
        openHelpForm().clear();
    QWidget::closeEvent(event);
}

bool HelpForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != Image1)
        return QWidget::eventFilter(watched, event);
    // A click is a press and a release of the left button, both on the picture.
    if (event->type() == QEvent::MouseButtonPress) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        pressedOnImage = mouse->button() == Qt::LeftButton;
    } else if (event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const bool click = pressedOnImage && mouse->button() == Qt::LeftButton
            && Image1->rect().contains(mouse->position().toPoint());
        pressedOnImage = false;
        if (click) {
            close();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
