#include "ui/QtMessages.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QString>

namespace {

QMessageBox::Icon toQt(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// A box that names no title of its own shows the application's.
QString boxTitle(const std::string &title)
{
    return QString::fromStdString(title.empty() ? std::string(kApplicationTitle) : title);
}

} // namespace

MessageAnswer QtMessages::message(
    const std::string &text, const std::string &title, MessageIcon icon, MessageButtons buttons)
{
    QMessageBox box(toQt(icon), boxTitle(title), QString::fromStdString(text),
        QMessageBox::NoButton, QApplication::activeWindow());
    switch (buttons) {
    case MessageButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MessageButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MessageButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case MessageButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    case QMessageBox::Cancel:
        return MessageAnswer::Cancel;
    default:
        // Closing a Yes/No box by its frame is no consent; closing a three-way one is staying.
        if (buttons == MessageButtons::YesNoCancel)
            return MessageAnswer::Cancel;
        return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
    }
}

std::optional<std::string> QtMessages::input(
    const std::string &prompt, const std::string &title, const std::string &defaultText)
{
    bool accepted = false;
    const QString text = QInputDialog::getText(QApplication::activeWindow(), boxTitle(title),
        QString::fromStdString(prompt), QLineEdit::Normal, QString::fromStdString(defaultText),
        &accepted);
    if (!accepted)
        return std::nullopt;
    return text.toStdString();
}
