#include "ui/DataDialog.h"

#include <array>
#include <cmath>
#include <limits>
#include <string>

#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>

#include "core/model/Math.h"
#include "core/model/Messages.h"
#include "core/records/CPatient.h"
#include "ui/EventGuard.h"

namespace {

// A name, an identifier or a path longer than this is a paste gone wrong rather than an entry.
constexpr int kMaxTextLength = 255;
const QColor kMissingFieldColor(255, 192, 255);
const QString kDataFileSuffix = QStringLiteral(".dat");
constexpr int kFieldWidth = 260;

// The evaluation types in list order; the blanks belong to the entries.
const QStringList kTypEntries = {
    QStringLiteral("1   head based"),
    QStringLiteral("2   head based      "),
    QStringLiteral("3   head based    "),
    QStringLiteral("4   head based     "),
    QStringLiteral("5   head based"),
    QStringLiteral("6   cup based"),
    QStringLiteral("7   cup based"),
    QStringLiteral("7a cup based"),
    QStringLiteral("8   cup based"),
    QStringLiteral("9   head based"),
};

// The two characters at `at` as a number, or -1 unless both are decimal digits: "taken as a
// number" must not let blanks, signs or a decimal point (".9" rounds to 1) pass as a month.
int twoDigits(const QList<uint> &chars, qsizetype at)
{
    const uint tens = chars[at], ones = chars[at + 1];
    if (tens < '0' || tens > '9' || ones < '0' || ones > '9')
        return -1;
    return static_cast<int>((tens - '0') * 10 + (ones - '0'));
}

// yyyymmdd with any first four characters; the day is not checked against the month.
bool isValidDate(const QString &text)
{
    const QList<uint> chars = text.toUcs4();
    if (chars.size() != 8)
        return false;
    const int month = twoDigits(chars, 4);
    const int day = twoDigits(chars, 6);
    return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

// A stored value as an integer field shows it, rounded halves to even. Values no field can
// show (from a damaged landmark file) show as an empty field.
QString roundedText(double value)
{
    const double rounded = std::nearbyint(value);
    if (!(rounded >= std::numeric_limits<std::int32_t>::min()
            && rounded <= std::numeric_limits<std::int32_t>::max()))
        return {};
    return QString::fromStdString(Math::longText(static_cast<std::int32_t>(rounded)));
}

std::int32_t fieldNumber(const QLineEdit *field)
{
    return Math::toLong(field->text().toStdString());
}

// The text is set whole: a value longer than the typing limit was stored elsewhere, and
// cutting it here would change the record when the window closes.
void setFieldText(QLineEdit *field, const QString &value)
{
    if (value.size() > field->maxLength())
        field->setMaxLength(static_cast<int>(value.size()));
    field->setText(value);
}

} // namespace

DataDialog::DataDialog(COxel &measurement, std::int16_t missingFields, QWidget *owner)
    : QDialog(owner),
      L1_Date(new QLabel(QStringLiteral("Date (yyyymmdd)"), this)),
      L2_Famname(new QLabel(QStringLiteral("Name"), this)),
      L3_Vorname(new QLabel(QStringLiteral("First Name"), this)),
      L4_ID(new QLabel(QStringLiteral("Study - ID"), this)),
      L5_Typ(new QLabel(QStringLiteral("Evaluation Type"), this)),
      L6_Head(new QLabel(QStringLiteral("Head Diameter"), this)),
      L7_Cup(new QLabel(QStringLiteral("Cup Diameter"), this)),
      L8_Focus(new QLabel(QStringLiteral("Focus Distance"), this)),
      L9_File(new QLabel(QStringLiteral("Data File"), this)),
      E_Datum(new QLineEdit(this)),
      E_Famname(new QLineEdit(this)),
      E_Vorname(new QLineEdit(this)),
      E_Code(new QLineEdit(this)),
      E_Typ(new QComboBox(this)),
      E_Head(new QLineEdit(this)),
      E_Cup(new QLineEdit(this)),
      E_Focus(new QLineEdit(this)),
      E_DatFile(new QLineEdit(this)),
      browseDatFile(new QToolButton(this)),
      okButton(new QPushButton(QStringLiteral("OK"), this)),
      cancelButton(new QPushButton(QStringLiteral("Cancel"), this)),
      oxel(measurement),
      RedFlag(missingFields)
{
    setWindowTitle(QStringLiteral("Patient's Data"));

    const std::array<std::pair<QLabel *, QWidget *>, 9> rows = {{
        {L1_Date, E_Datum},
        {L2_Famname, E_Famname},
        {L3_Vorname, E_Vorname},
        {L4_ID, E_Code},
        {L5_Typ, E_Typ},
        {L6_Head, E_Head},
        {L7_Cup, E_Cup},
        {L8_Focus, E_Focus},
        {L9_File, E_DatFile},
    }};
    const std::array<const char *, 9> labelNames = {"L1_Date", "L2_Famname", "L3_Vorname", "L4_ID",
        "L5_Typ", "L6_Head", "L7_Cup", "L8_Focus", "L9_File"};
    const std::array<const char *, 9> fieldNames = {"E_Datum", "E_Famname", "E_Vorname", "E_Code",
        "E_Typ", "E_Head", "E_Cup", "E_Focus", "E_DatFile"};

    E_Typ->setEditable(false);
    E_Typ->addItems(kTypEntries);
    E_Typ->setCurrentIndex(-1);
    for (QLineEdit *field :
        {E_Datum, E_Famname, E_Vorname, E_Code, E_Head, E_Cup, E_Focus, E_DatFile})
        field->setMaxLength(kMaxTextLength);

    browseDatFile->setObjectName(QStringLiteral("browseDatFile"));
    browseDatFile->setText(QStringLiteral("..."));
    browseDatFile->setToolTip(QStringLiteral("choose the data file"));
    connect(browseDatFile, &QToolButton::clicked, this,
        [this] { EventGuard::run([this] { browseForDataFile(); }); });

    auto *grid = new QGridLayout(this);
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        const auto i = static_cast<std::size_t>(row);
        auto [label, field] = rows[i];
        label->setObjectName(labelNames[i]);
        field->setObjectName(fieldNames[i]);
        label->setBuddy(field);
        field->setMinimumWidth(kFieldWidth);
        grid->addWidget(label, row, 0);
        if (field == E_DatFile) {
            auto *fileRow = new QHBoxLayout;
            fileRow->setSpacing(2);
            fileRow->addWidget(E_DatFile, 1);
            fileRow->addWidget(browseDatFile);
            grid->addLayout(fileRow, row, 1);
        } else {
            grid->addWidget(field, row, 1);
        }
    }

    okButton->setObjectName(QStringLiteral("okButton"));
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    // Enter stays within the fields, as before the buttons: it neither stores nor closes.
    for (QPushButton *button : {okButton, cancelButton})
        button->setAutoDefault(false);
    connect(okButton, &QPushButton::clicked, this, &DataDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &DataDialog::reject);
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(okButton);
    buttonRow->addWidget(cancelButton);
    grid->addLayout(buttonRow, static_cast<int>(rows.size()), 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}

void DataDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!loaded) {
        loaded = true;
        EventGuard::run([this] { load(); });
        // Taken over when the window becomes active; changeEvent covers a window that is
        // activated later than shown.
        if (focusTarget)
            focusTarget->setFocus();
    }
}

void DataDialog::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && focusTarget) {
        focusTarget->setFocus();
        focusTarget = nullptr;
    }
}

void DataDialog::load()
{
    datFlagBefore = oxel.DatFlag;
    const CPatient &source = oxel.DatFlag ? oxel.Patient : LastPatient();
    setFieldText(E_Datum, QString::fromStdString(oxel.Datum));
    setFieldText(E_Famname, QString::fromStdString(source.Famname));
    setFieldText(E_Vorname, QString::fromStdString(source.Vorname));
    setFieldText(E_Code, QString::fromStdString(source.Code));

    const int index = (!source.SLFlag && source.Typ <= 7) ? source.Typ - 1 : source.Typ;
    // A type no entry stands for (from a damaged file) selects nothing rather than failing.
    E_Typ->setCurrentIndex(index >= 0 && index < E_Typ->count() ? index : -1);

    E_Head->setText(roundedText(source.HeadTR * 2));
    E_Cup->setText(roundedText(source.CupTR * 2));
    E_Focus->setText(roundedText(source.FocH));
    setFieldText(E_DatFile, QString::fromStdString(source.DatFile));

    markMissingFields();
    oxel.DatFlag = true;
}

void DataDialog::markMissingFields()
{
    const std::array<QWidget *, 9> fieldsByBit = {
        E_Datum, E_Famname, E_Vorname, E_Code, E_Typ, E_Head, E_Cup, E_Focus, E_DatFile};
    // From the bottom row up, so that the topmost marked field ends as the focus target.
    for (int bit = 8; bit >= 0; --bit) {
        QWidget *field = fieldsByBit[static_cast<std::size_t>(bit)];
        // The flags tell what the measurement lacks; a field the dialog filled from the last
        // patient's data lacks nothing and is left for the operator to confirm.
        const auto *text = qobject_cast<const QLineEdit *>(field);
        const bool empty = text ? text->text().isEmpty() : E_Typ->currentIndex() < 0;
        if (!(RedFlag & (1 << bit)) || !empty)
            continue;
        QPalette palette = field->palette();
        palette.setColor(QPalette::Base, kMissingFieldColor);
        palette.setColor(QPalette::Button, kMissingFieldColor); // a closed combo box
        field->setPalette(palette);
        focusTarget = field;
    }
}

void DataDialog::accept()
{
    // When storing fails the dialog stays open with what was typed.
    bool stored = false;
    EventGuard::run([this, &stored] { stored = store(); });
    if (stored)
        QDialog::accept();
}

void DataDialog::reject()
{
    if (loaded)
        oxel.DatFlag = datFlagBefore;
    QDialog::reject();
}

void DataDialog::closeEvent(QCloseEvent *event)
{
    if (!isVisible()) {
        event->accept();
        return;
    }
    accept();
    if (isVisible())
        event->ignore();
    else
        event->accept();
}

bool DataDialog::store()
{
    oxel.Datum.clear();
    const QString date = E_Datum->text();
    if (!date.isEmpty() && !isValidDate(date)) {
        showMessage(
            "invalid Date Format!\nuse 'yyyymmdd'", "Date Format Error", MessageIcon::Critical);
        E_Datum->clear();
        E_Datum->setFocus();
        return false;
    }

    const std::array<std::pair<QLabel *, QLineEdit *>, 8> texts = {{
        {L1_Date, E_Datum},
        {L2_Famname, E_Famname},
        {L3_Vorname, E_Vorname},
        {L4_ID, E_Code},
        {L6_Head, E_Head},
        {L7_Cup, E_Cup},
        {L8_Focus, E_Focus},
        {L9_File, E_DatFile},
    }};
    // The result file writes texts between double quotes without escaping them, so a quote
    // inside one would end it early for every program that reads the file.
    for (const auto &[label, field] : texts) {
        if (field->text().contains(QLatin1Char('"'))) {
            showMessage("text not allowed: \"" + label->text().toStdString()
                    + "\" may not contain a double quote",
                "Patient's Data", MessageIcon::Critical);
            field->setFocus();
            return false;
        }
    }

    oxel.Datum = date.toStdString();
    storeInto(oxel.Patient);
    storeInto(LastPatient());
    return true;
}

void DataDialog::storeInto(CPatient &record) const
{
    record.Famname = E_Famname->text().toStdString();
    record.Vorname = E_Vorname->text().toStdString();
    record.Code = E_Code->text().toStdString();
    // The list holds "7a" between 7 and 8, so the entries after it stand one type lower.
    int typ = E_Typ->currentIndex() + 1;
    record.SLFlag = false;
    if (typ > 7) {
        --typ;
        record.SLFlag = typ == 7;
    }
    record.Typ = static_cast<std::int16_t>(typ);
    record.HeadTR = fieldNumber(E_Head) / 2.0;
    record.CupTR = fieldNumber(E_Cup) / 2.0;
    record.FocH = fieldNumber(E_Focus);
    record.DatFile = E_DatFile->text().toStdString();
}

void DataDialog::browseForDataFile()
{
    QString path;
    if (chooseDataFile) {
        path = chooseDataFile();
    } else {
        const QString current = E_DatFile->text();
        // Results are appended to the file, so choosing an existing one replaces nothing.
        path = QFileDialog::getSaveFileName(this, QStringLiteral("Data File"),
            current.isEmpty() ? QString() : current + kDataFileSuffix,
            QStringLiteral("Data Files (*.dat)"), nullptr, QFileDialog::DontConfirmOverwrite);
    }
    if (path.isEmpty())
        return;
    if (path.endsWith(kDataFileSuffix))
        path.chop(kDataFileSuffix.size());
    setFieldText(E_DatFile, path);
    E_DatFile->setFocus();
}
