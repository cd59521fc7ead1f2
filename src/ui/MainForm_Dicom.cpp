#include <stdexcept>
#include <string>

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QString>

#include "core/image/DicomHeader.h"
#include "core/records/CPatient.h"
#include "ui/EventGuard.h"
#include "ui/MainForm.h"

namespace {

bool sameChoice(const GreyMapping::Choice &a, const GreyMapping::Choice &b)
{
    using Kind = GreyMapping::Choice::Kind;
    if (a.kind != b.kind)
        return false;
    switch (a.kind) {
    case Kind::Window:
        return a.window.center == b.window.center && a.window.width == b.window.width
            && a.window.function == b.window.function && a.caption == b.caption;
    case Kind::Lut:
        return a.index == b.index;
    case Kind::FullRange:
    case Kind::Automatic:
        break;
    }
    return true;
}

bool sameName(const std::string &a, const std::string &b)
{
    return QString::fromStdString(a).trimmed().compare(
               QString::fromStdString(b).trimmed(), Qt::CaseInsensitive)
        == 0;
}

// Whether the patient the header names is the one the record holds: the same family name and,
// when the header gives one, the same given name, whatever their case (archives tend to write
// names in capitals, operators do not).
bool isSamePatient(const DicomHeader &header, const CPatient &record)
{
    return !record.Famname.empty() && sameName(header.familyName, record.Famname)
        && (header.givenName.empty() || sameName(header.givenName, record.Vorname));
}

} // namespace

void MainForm::takeScaleFromHeader()
{
    const std::optional<DicomHeader::Spacing> &spacing = dicom->header().spacing;
    if (!spacing) {
        setStatus(QString("the DICOM header gives no pixel spacing at the detector: the picture is "
                          "taken as %1 mm wide")
                      .arg(kDefaultPictureWidthMm));
        return;
    }
    // The detector is the film plane the evaluation works in, so its spacing is the scale a
    // calibration by two clicks would have found; such a calibration still overrides it.
    const double mmPerPixel = spacing->mmPerPixel();
    if (!oxel->initScale(Bitmap->W, Bitmap->H, Bitmap->W * mmPerPixel))
        return; // a spacing no scale can be made of: the picture stays 430 mm wide
    calibrated = true;
    setStatus(QString("scale from %1: %2 mm per pixel")
                  .arg(QString::fromStdString(spacing->sourceText()),
                      QString::number(mmPerPixel, 'g', 6)));
}

// The measurement has no landmark file, so its own record is empty. It starts from what the
// patient dialog would propose, the record of the previous radiograph (LastPatient, with the
// study identifier, evaluation type, head and cup sizes and result file the operator entered),
// unless the header names another patient: that patient's results must not be proposed for
// the previous one's result file, so only the header's values are taken. Then the header's
// name fills the names left empty; its focus distance is this exposure's own and replaces one
// carried over from another radiograph; its date is the radiograph's date. The operator sees
// them all in the patient dialog before the first Write Data. A header that gives none of
// name, date and focus distance leaves the measurement as for any other picture.
void MainForm::takePatientFromHeader()
{
    const DicomHeader &header = dicom->header();
    const bool named = !header.familyName.empty() || !header.givenName.empty();
    if (!named && header.date.empty() && !header.sourceToDetectorMm)
        return;
    CPatient record;
    if (!named || isSamePatient(header, LastPatient()))
        record.copy(LastPatient());
    if (record.Famname.empty())
        record.Famname = header.familyName;
    if (record.Vorname.empty())
        record.Vorname = header.givenName;
    if (header.sourceToDetectorMm)
        record.FocH = *header.sourceToDetectorMm;
    oxel->Patient.copy(record);
    if (!header.date.empty())
        oxel->Datum = header.date;
    oxel->DatFlag = true; // the dialog shows this record rather than LastPatient
    headerDataToConfirm = true;
}

void MainForm::fillWindowMenu()
{
    delete windowItems;
    m_Window->clear();
    windowItems = new QActionGroup(m_Window);
    windowItems->setExclusive(true);
    windowChoices = dicom ? GreyMapping::choices(*dicom) : std::vector<GreyMapping::Choice>{};
    for (std::size_t i = 0; i < windowChoices.size(); ++i) {
        // An explanation is the header's text: an "&" in it is a character, not an accelerator.
        QAction *item = m_Window->addAction(
            QString::fromStdString(windowChoices[i].caption).replace('&', "&&"));
        item->setCheckable(true);
        windowItems->addAction(item);
        connect(item, &QAction::triggered, this,
            [this, i] { EventGuard::run([this, i] { chooseWindow(i); }); });
    }
}

void MainForm::updateWindowMenu()
{
    m_Window->menuAction()->setEnabled(oxel && Bitmap && !windowChoices.empty());
    const QList<QAction *> items = m_Window->actions();
    for (qsizetype i = 0; i < items.size(); ++i)
        items[i]->setChecked(sameChoice(windowChoices[static_cast<std::size_t>(i)], greyChoice));
}

void MainForm::chooseWindow(std::size_t which)
{
    const GreyMapping::Choice choice = windowChoices.at(which);
    if (sameChoice(choice, greyChoice)) {
        updateWindowMenu(); // shown as it is; a sharpening stays
        return;
    }
    withHourglass([this, &choice] {
        const GreyMapping mapping(*dicom, choice);
        const GreyMapping::Choice previous = greyChoice;
        // Set first: the buffer's refill repaints once and updates the menus, which read it.
        greyChoice = choice;
        std::string error;
        if (!mapping.show(*dicom, *Bitmap, error)) {
            greyChoice = previous;
            updateWindowMenu();
            throw std::runtime_error(error);
        }
    });
}
