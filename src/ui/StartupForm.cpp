#include "ui/StartupForm.h"

#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/Resources.h"

namespace {

constexpr int kWidth = 490, kHeight = 280;
constexpr int kLogoWidth = 222, kLogoHeight = 160;

// The platform's own sans font (the application font), in the given size and weight.
QFont sansFont(const QFont &base, int pointSize, bool bold)
{
    QFont font = base;
    font.setPointSize(pointSize);
    font.setBold(bold);
    return font;
}

} // namespace

StartupForm::StartupForm(QWidget *owner)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint),
      Frame1(new QFrame(this)),
      imgLogo(new QLabel(Frame1)),
      lblProductName(new QLabel(QStringLiteral("OXEL-CUP"), Frame1)),
      lblVersion(new QLabel(QStringLiteral("Release 2003"), Frame1)),
      lblCompany(new QLabel(QStringLiteral("Marrowfield University"), Frame1)),
      lblDepartment(new QLabel(QStringLiteral("Laboratory for Orthopaedic Imaging"), Frame1)),
      Command1(new QPushButton(QStringLiteral("OK"), Frame1)),
      Timer1(new QTimer(this))
{
    registerPictures();
    setFixedSize(kWidth, kHeight);

    Frame1->setFrameShape(QFrame::Panel);
    Frame1->setFrameShadow(QFrame::Raised);
    Frame1->setLineWidth(2);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(Frame1);

    const QPixmap logo(QStringLiteral(":/logo.png"));
    imgLogo->setFixedSize(kLogoWidth, kLogoHeight);
    imgLogo->setAlignment(Qt::AlignCenter);
    if (!logo.isNull())
        imgLogo->setPixmap(
            logo.scaled(imgLogo->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));

    lblProductName->setFont(sansFont(font(), 24, true));
    lblVersion->setFont(sansFont(font(), 12, true));
    lblCompany->setFont(sansFont(font(), 8, false));
    lblDepartment->setFont(sansFont(font(), 8, false));
    Command1->setDefault(true);

    auto *texts = new QVBoxLayout;
    texts->addWidget(lblProductName);
    texts->addWidget(lblVersion);
    texts->addStretch(1);
    texts->addWidget(lblCompany);
    texts->addWidget(lblDepartment);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(Command1);

    auto *grid = new QGridLayout(Frame1);
    grid->setContentsMargins(14, 14, 14, 12);
    grid->setHorizontalSpacing(18);
    grid->addWidget(imgLogo, 0, 0, Qt::AlignTop);
    grid->addLayout(texts, 0, 1);
    grid->addLayout(buttonRow, 1, 0, 1, 2);

    Timer1->setInterval(kDisplayMs);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &QDialog::accept);
    connect(Command1, &QPushButton::clicked, this, &QDialog::accept);

    // A window without a title bar is not placed by the window manager; put it in the middle
    // of the screen the owner is on.
    QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame(0, 0, kWidth, kHeight);
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void StartupForm::showModal(QWidget *owner)
{
    // On the heap: should the owner go while the window is open, it takes the window along,
    // and the pointer learns of it.
    QPointer<StartupForm> form = new StartupForm(owner);
    form->exec();
    delete form;
}

void StartupForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        Timer1->start();
}

void StartupForm::hideEvent(QHideEvent *event)
{
    // A hidden window must not be closed later by a timer left running.
    if (!event->spontaneous())
        Timer1->stop();
    QDialog::hideEvent(event);
}
