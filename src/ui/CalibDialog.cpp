#include "ui/CalibDialog.h"

#include <cmath>

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "ui/EventGuard.h"

CalibDialog::CalibDialog(QWidget *owner)
    : QDialog(owner),
      Label1(new QLabel(QStringLiteral("Enter distance between the two points in mm"), this)),
      e_Distance(new QLineEdit(this)),
      OKButton(new QPushButton(QStringLiteral("OK"), this)),
      CancelButton(new QPushButton(QStringLiteral("Cancel"), this))
{
    setWindowTitle(QStringLiteral("Dialog Caption"));
    Label1->setBuddy(e_Distance);
    OKButton->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(e_Distance);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(OKButton, &QPushButton::clicked, this,
        [this] { EventGuard::run([this] { takeDistance(); }); });
    connect(CancelButton, &QPushButton::clicked, this, &CalibDialog::cancel);
    e_Distance->setFocus();
}

void CalibDialog::takeDistance()
{
    const QString text = e_Distance->text();
    // The operator's own locale first ("25,5" in a German one); the C form ("25.5") is accepted
    // as well, so that a decimal point works whatever the locale. Group separators are refused
    // in both: "1.000" must never be read as a thousand millimetres.
    QLocale own;
    own.setNumberOptions(QLocale::RejectGroupSeparator);
    QLocale plain = QLocale::c();
    plain.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    float distance = own.toFloat(text, &ok);
    if (!ok)
        distance = plain.toFloat(text, &ok);
    // "inf" and "nan" convert, but no distance is infinite, and an infinite one would pass the
    // caller's check for a positive distance.
    if (!ok || !std::isfinite(distance)) {
        e_Distance->setFocus();
        return;
    }
    Dist = distance;
    accept();
}

void CalibDialog::cancel()
{
    Dist = 0;
    reject();
}

void CalibDialog::keyPressEvent(QKeyEvent *event)
{
    // QDialog maps Escape to reject(), as it does a close by the frame; Escape here is the
    // "Cancel" button, which also clears Dist.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        CancelButton->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CalibDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // A distance put in beforehand is replaced by typing, not extended.
    if (!event->spontaneous())
        e_Distance->selectAll();
}
