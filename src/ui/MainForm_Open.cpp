#include <string>

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QScrollBar>

#include "core/model/Messages.h"
#include "core/records/BinFile.h"
#include "core/records/CPatient.h"
#include "core/records/Settings.h"
#include "ui/MainForm.h"
#include "ui/PictureBox.h"
#include "ui/PictureLoader.h"

namespace {

// The four pairs of the open dialog, then what else the picture loader reads. Archives export
// DICOM files without an extension as often as with one: only "All Files" shows those, and the
// loader knows them by their content.
const QStringList kPictureFilters = {
    "supported-Files (*.bmp *.jpg *.gif)",
    "Bitmap-Files (*.bmp)",
    "jpeg-Files (*.jpg)",
    "gif-Files (*.gif)",
    "DICOM (*.dcm *.dicom)",
    "other pictures (*.jpeg *.png *.tif *.tiff)",
    "All Files (*)",
};

QString askForPicture(const QString &lastPath)
{
    QFileDialog dialog(nullptr);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(kPictureFilters);
    // The folder of the picture opened last, and its name offered again.
    if (lastPath.contains('/') || lastPath.contains('\\'))
        dialog.setDirectory(QFileInfo(lastPath).absolutePath());
    if (!lastPath.isEmpty())
        dialog.selectFile(lastPath);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace

bool MainForm::openRadiograph(const QString &givenPath)
{
    // Asked before anything else, so that staying leaves everything as it was.
    if (!mayLeaveMeasurement())
        return false;
    const std::string settings = environment.settingsPath.toStdString();
    QString path = givenPath;
    if (path.isEmpty()) {
        const QString last = QString::fromStdString(
            Settings::read(settings, Settings::kLastPathSection, Settings::kLastPathKey));
        path = environment.chooseFile ? environment.chooseFile(last) : askForPicture(last);
        if (path.isEmpty())
            return false;
    }
    // Whatever the mouse was doing refers to the measurement about to be replaced; a picture
    // that then fails to load leaves the old measurement idle as well, never half in a mode.
    dropInteraction();
    // Remembered before the picture is read, so that a picture that fails is offered again.
    Settings::write(
        settings, Settings::kLastPathSection, Settings::kLastPathKey, path.toStdString());

    // The window keeps its picture, measurement and DICOM state until the new picture has been
    // read.
    std::string error;
    PictureLoader::Picture picture = PictureLoader::open(path, error);
    if (!picture.bitmap) {
        showMessage("load Error: " + error, "Error", MessageIcon::Critical);
        PicBox_Paint(); // the landmarks that the ended mode had hidden
        return false;
    }

    auto measurement = std::make_unique<COxel>();
    measurement->setPicBox(PicBox);
    measurement->Visible = true;
    oxel = std::move(measurement);
    Bitmap = std::move(picture.bitmap);
    dicom = std::move(picture.dicom);
    greyChoice = picture.window;
    headerDataToConfirm = false;
    fillWindowMenu();
    Bitmap->setObserver([this](BitmapChange change) {
        if (change == BitmapChange::Pixels)
            updateActions(); // undo follows: a sharpening added one, another window dropped it
        PicBox_Paint();
    });
    const std::int16_t W = Bitmap->W, H = Bitmap->H;

    setWindowTitle(QFileInfo(path).absoluteFilePath());
    scrollSync = true;
    HScroll->setValue(0);
    VScroll->setValue(0);
    scrollSync = false;
    zoom = 1.0f;
    zoomStep = kZoomStep;
    PicBox->resetScale();
    updateView();
    updateScrollRanges();
    PicBox->clear();
    setStatus(""); // nothing said about the previous picture holds for this one

    landmarkPath = BinFile::landmarkPath(path.toStdString());
    if (BinFile::read(landmarkPath, W, H, *oxel)) {
        calibrated = true;
        oxel->DatFlag = true;
        LastPatient().copy(oxel->Patient);
    } else {
        calibrated = false;
        resetGrid();
        oxel->initScale(W, H, kDefaultPictureWidthMm);
        for (PointLandmark *landmark : oxel->landmarks()) {
            landmark->Valid = false;
            landmark->removeAll();
        }
        if (dicom) {
            takeScaleFromHeader();
            takePatientFromHeader();
        }
    }
    startHistory();
    updateActions();
    if (m_OpenFitted->isChecked())
        fitWhenLaidOut();
    if (dicom && dicom->header().frameCount > 1)
        showMessage("the file holds " + std::to_string(dicom->header().frameCount)
                + " frames; only the first is shown",
            "Oxel", MessageIcon::Information);
    rememberRecentPicture(path);
    return true;
}
