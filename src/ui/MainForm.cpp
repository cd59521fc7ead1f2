#include "ui/MainForm.h"

#include <cmath>
#include <functional>
#include <limits>
#include <type_traits>

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStyle>
#include <QUndoStack>

#include "core/evaluation/EvaluationComparison.h"
#include "core/evaluation/ResultFile.h"
#include "core/evaluation/evaluate.h"
#include "core/image/Global.h"
#include "core/records/BinFile.h"
#include "ui/ColorDialog.h"
#include "ui/DataDialog.h"
#include "ui/EventGuard.h"
#include "ui/ExactDialog.h"
#include "ui/FollowUpWindow.h"
#include "ui/HardCopy.h"
#include "ui/HelpForm.h"
#include "ui/PictureBox.h"
#include "ui/Resources.h"
#include "ui/StartupForm.h"
#include "ui/WindowPlacement.h"

namespace {

// The start-up window is shown once per program run, not for further windows.
bool &startupShown()
{
    static bool shown = false;
    return shown;
}

constexpr int kStatusBarHeight = 20;
constexpr int kPositionWidth = 180;
// The menu zoom stops at about a tenth and at eight picture pixels per screen pixel.
constexpr float kZoomInLimit = 0.12f;
constexpr float kZoomOutLimit = 7.9f;

// The scroll bars and the box's size in pixels are 16-bit values, as the design keeps them.
constexpr int kLargest16Bit = std::numeric_limits<std::int16_t>::max();

// Where the view may not go: the scroll bars hold 16-bit values.
int scrollValue(double v)
{
    return static_cast<int>(std::lround(std::clamp(v, 0.0, double{kLargest16Bit})));
}

// A view corner as a scroll bar holds it, left of or above the picture too.
int cornerScrollValue(double v)
{
    return static_cast<int>(std::lround(
        std::clamp(v, double{std::numeric_limits<std::int16_t>::min()}, double{kLargest16Bit})));
}

} // namespace

class MainForm::Host final : public EvaluationHost
{
public:
    explicit Host(MainForm &window) : form(window) {}

    COxel &oxel() override { return *form.oxel; }

    void open_Patient(int flags) override { form.open_Patient(flags); }

    std::string resultFolder() const override
    {
        return QFileInfo(QString::fromStdString(form.landmarkFile())).absolutePath().toStdString();
    }

private:
    MainForm &form;
};

QString defaultSettingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + "/Zek2.ini";
}

MainForm::MainForm(const MainFormEnvironment &env, QWidget *parent)
    : QMainWindow(parent), environment(env)
{
    registerPictures();
    setAttribute(Qt::WA_DeleteOnClose);
    if (environment.settingsPath.isEmpty())
        environment.settingsPath = defaultSettingsPath();
    createControls();
    createMenus();
    updateActions();
    zoomCursor = QCursor(QPixmap(":/zoom-cursor.png"), 12, 12);
    PicBox->setMouseIcon(zoomCursor);
    setWindowTitle(kApplicationTitle); // until a picture names the window
    new WindowPlacement(this, environment.settingsPath, QSize(1100, 800));
    setAcceptDrops(true);
}

MainForm::~MainForm()
{
    // The history empties itself as it goes, after this window's own parts are gone.
    if (undoStack)
        undoStack->disconnect(this);
}

bool MainForm::start(const QString &picture)
{
    calibrated = false;
    if (!startupShown()) {
        startupShown() = true;
        showStartupWindow();
    }
    unsetColor = kColorMagenta;
    setColor = kColorRed;
    centerMode = true;
    m_ZoomCenter->setChecked(true);
    return openRadiograph(picture);
}

void MainForm::createControls()
{
    auto *central = new QWidget(this);
    setCentralWidget(central);
    PicBox = new PictureBox(central);
    PicBox->setObjectName("PicBox");
    VScroll = new QScrollBar(Qt::Vertical, central);
    HScroll = new QScrollBar(Qt::Horizontal, central);
    StatusBar = new QLabel(central);
    StatusBar->setObjectName("StatusBar");
    StatusBar->setContentsMargins(4, 0, 4, 0);
    zoomLabel = new QLabel(central);
    zoomLabel->setObjectName("zoomLabel");
    zoomLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    zoomLabel->setContentsMargins(4, 0, 8, 0);
    e_Position = new QLineEdit(central);
    e_Position->setObjectName("e_Position");
    e_Position->setReadOnly(true);
    e_Position->setFocusPolicy(Qt::NoFocus);
    central->installEventFilter(this);
    PicBox->installEventFilter(this);

    connect(PicBox, &PictureBox::repaintNeeded, this,
        [this] { EventGuard::run([this] { PicBox_Paint(); }); });
    connect(PicBox, &PictureBox::mouseDown, this,
        [this](int button, Qt::KeyboardModifiers keys, double x, double y) {
            pictureModifiers = keys;
            pictureEvent([=, this] { picMouseDown(button, x, y); });
        });
    connect(PicBox, &PictureBox::mouseMove, this,
        [this](Qt::MouseButtons, Qt::KeyboardModifiers, double x, double y) {
            pictureEvent([=, this] { picMouseMove(x, y); }, false);
        });
    connect(PicBox, &PictureBox::mouseUp, this,
        [this](int, Qt::KeyboardModifiers keys, double x, double y) {
            pictureModifiers = keys;
            pictureEvent([=, this] { picMouseUp(x, y); });
        });
    connect(PicBox, &PictureBox::keyDown, this,
        [this](int key, Qt::KeyboardModifiers) { pictureEvent([=, this] { picKeyDown(key); }); });
    for (QScrollBar *bar : {HScroll, VScroll})
        connect(bar, &QScrollBar::valueChanged, this,
            [this] { EventGuard::run([this] { scrolled(); }); });
}

void MainForm::pictureEvent(const std::function<void()> &handler, bool settles)
{
    if (!EventGuard::run(handler)) {
        // Whatever the mouse was doing is given up, as Escape gives it up, so that the
        // measurement is shown as it was before.
        EventGuard::run([this] {
            if (!oxel)
                return;
            dropInteraction();
            PicBox_Paint();
        });
    }
    if (settles)
        EventGuard::run([this] { settleChanges({}); });
}

QAction *MainForm::action(const QString &objectName) const
{
    return findChild<QAction *>(objectName);
}

void MainForm::createMenus()
{
    const auto add = [this](QMenu *menu, const char *name, const QString &caption,
                         const QKeySequence &key, auto handler) {
        QAction *item = menu->addAction(caption);
        item->setObjectName(name);
        if (!key.isEmpty())
            item->setShortcut(key);
        connect(item, &QAction::triggered, this, [this, handler, caption](bool checked) {
            statusHeld = false;
            EventGuard::run([&] {
                if constexpr (std::is_member_function_pointer_v<decltype(handler)>)
                    std::invoke(handler, this);
                else if constexpr (std::is_invocable_v<decltype(handler), bool>)
                    handler(checked);
                else
                    handler();
            });
            EventGuard::run([&] { settleChanges(QString(caption).remove('&')); });
        });
        return item;
    };

    QMenu *m_File = menuBar()->addMenu("&File");
    add(m_File, "m_Open", "&Open ...", {}, [this] {
        if (openRadiograph())
            PicBox_Paint();
    });
    createRecentMenu(m_File);
    add(m_File, "m_New", "&new Window", {}, &MainForm::newWindow);
    add(m_File, "m_Patient", "&Patient's Data", {}, [this] { open_Patient(0); });
    add(m_File, "m_Load_bin", "&Reload Landmarks", {}, &MainForm::reloadLandmarks);
    add(m_File, "m_Write_dat", "&Write Data", {}, &MainForm::writeData);
    add(m_File, "m_FollowUp", "&Follow-up", {}, &MainForm::showFollowUp);
    add(m_File, "m_Exit", "&Exit", {}, &MainForm::exitProgram);

    undoStack = new QUndoStack(this);
    connect(undoStack, &QUndoStack::indexChanged, this, [this] { updateEditActions(); });
    QMenu *m_Edit = menuBar()->addMenu("&Edit");
    m_EditUndo = add(m_Edit, "m_EditUndo", "Undo", QKeySequence("Ctrl+Z"), &MainForm::undoChange);
    m_EditRedo =
        add(m_Edit, "m_EditRedo", "Redo", QKeySequence("Ctrl+Shift+Z"), &MainForm::redoChange);

    QMenu *m_Zoom = menuBar()->addMenu("&Zoom");
    add(m_Zoom, "m_ZoomUp", "Zoom +", Qt::Key_F5, [this] {
        if (zoom >= kZoomInLimit)
            zoomBy(zoomStep, false);
    });
    add(m_Zoom, "m_ZoomDown", "Zoom -", Qt::Key_F6, [this] {
        if (zoom <= kZoomOutLimit)
            zoomBy(1 / zoomStep, false);
    });
    add(m_Zoom, "m_ZoomMouse", "Zoom with Mouse", Qt::Key_F7, [this] {
        toolMode = ToolMode::ZoomByClick;
        PicBox->setMousePointer(MousePointer::Custom);
        setStatus("zoom by mouse click, center is current position - end with right mouse button");
    });
    m_ZoomCenter = add(m_Zoom, "m_ZoomCenter", "CenterMode", Qt::Key_F8,
        [this](bool checked) { centerMode = checked; });
    m_ZoomCenter->setCheckable(true);
    m_ZoomCenter->setChecked(true);
    m_Zoom->addSeparator();
    add(m_Zoom, "m_ZoomFit", "Fit Picture", QKeySequence("Ctrl+0"), &MainForm::fitPicture);
    add(m_Zoom, "m_ZoomActual", "Actual Pixels", QKeySequence("Ctrl+1"),
        &MainForm::showActualPixels);
    m_OpenFitted = add(m_Zoom, "m_OpenFitted", "Open Fitted", {},
        [this](bool checked) { rememberOpenFitted(checked); });
    m_OpenFitted->setCheckable(true);
    m_OpenFitted->setChecked(openFittedRemembered());

    QMenu *m_filter = menuBar()->addMenu("&Image Tools");
    add(m_filter, "m_Adjust", "&adjust Colors ...", {}, [this] {
        ColorDialog dialog(*Bitmap, this);
        dialog.exec();
    });
    add(m_filter, "m_ResetColors", "&reset Colors", QKeySequence("Ctrl+E"),
        [this] { Bitmap->Reset(); });
    add(m_filter, "m_filter1", "&sharpen", {}, [this] { sharpen(1); });
    add(m_filter, "m_filter2", "sharpen &more", {}, [this] { sharpen(2); });
    add(m_filter, "m_filter3", "sharpen str&ong", {}, [this] { sharpen(3); });
    add(m_filter, "m_undo", "&undo sharpen", {},
        [this] { withHourglass([this] { Bitmap->UndoFilter(); }); });
    add(m_filter, "m_Invert", "&invert", QKeySequence("Ctrl+I"),
        [this] { withHourglass([this] { Bitmap->Invert(); }); });
    // Filled for each picture that offers grey mappings (a grey DICOM picture).
    m_Window = m_filter->addMenu("&Window");
    m_Window->menuAction()->setObjectName("m_Window");
    add(m_filter, "m_hardcopy", "&hardcopy", QKeySequence("Ctrl+P"),
        [this] { HardCopy::hardcopyCommand(this, environment.hardCopy); });

    QMenu *m_Tools = menuBar()->addMenu("&Measurement Tools");
    add(m_Tools, "m_Head", "&Head", QKeySequence("Ctrl+H"), [this] { startLandmark(0); });
    add(m_Tools, "m_Cup", "&Cup", QKeySequence("Ctrl+C"), [this] { startLandmark(1); });
    add(m_Tools, "m_Rim", "&Rim", QKeySequence("Ctrl+R"), [this] { startLandmark(2); });
    // The cross is shown and hit as a pair by the validity of its horizontal line.
    m_Ruler = add(m_Tools, "m_Ruler", "&enable Ruler", {}, [this] { toggleLine(oxel->Ruler); });
    m_Ruler->setCheckable(true);
    m_Cross = add(m_Tools, "m_Cross", "enable &Cross", {}, [this] { toggleLine(oxel->Cross_H); });
    m_Cross->setCheckable(true);
    add(m_Tools, "m_Calibrate", "C&alibrate", {}, &MainForm::calibrate);
    add(m_Tools, "m_Distance", "calc &Distance", QKeySequence("Ctrl+D"), &MainForm::calcDistance);
    add(m_Tools, "m_Reset", "reset &Grid", QKeySequence("Ctrl+G"), &MainForm::resetGrid);
    m_Tools->addSeparator();
    // "&enable Ruler" has the E already.
    m_SnapToEdge = add(m_Tools, "m_SnapToEdge", "&Snap to Edge", {},
        [this](bool checked) { rememberSnapToEdge(checked); });
    m_SnapToEdge->setCheckable(true);
    m_SnapToEdge->setChecked(snapToEdgeRemembered());
    // "&enable Ruler" and "&Calibrate" have the E and the C already.
    add(m_Tools, "m_Exact", "E&xact Evaluation", {}, &MainForm::showExactEvaluation);

    QMenu *m_helpmenu = menuBar()->addMenu("?");
    add(m_helpmenu, "m_about", "About", {}, &MainForm::showStartupWindow);
    add(m_helpmenu, "m_help", "Help", Qt::Key_F1, [this] { HelpForm::showFor(this); });
}

bool MainForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == centralWidget() && event->type() == QEvent::Resize)
        EventGuard::run([this] { layoutControls(); });
    if (watched == PicBox && viewEvent(event))
        return true;
    return QMainWindow::eventFilter(watched, event);
}

void MainForm::layoutControls()
{
    const QWidget *area = centralWidget();
    const int W = area->width();
    if (W == 0)
        return; // minimised
    const int h = area->height() - kStatusBarHeight;
    const int scrollThickness = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int boxWidth = std::max(1, W - scrollThickness);
    const int boxHeight = std::max(1, h - scrollThickness);

    // The coordinate system first, so that the repaint the new size asks for already uses it:
    // a resize keeps the zoom and the top left corner of the view.
    boxWidthPx = static_cast<std::int16_t>(std::min(boxWidth, kLargest16Bit));
    boxHeightPx = static_cast<std::int16_t>(std::min(boxHeight, kLargest16Bit));
    PicBox->setScaleWidth(boxWidthPx * static_cast<double>(zoom));
    PicBox->setScaleHeight(boxHeightPx * static_cast<double>(zoom));
    PicBox->setGeometry(0, 0, boxWidth, boxHeight);
    HScroll->setGeometry(0, h - scrollThickness, boxWidth, scrollThickness);
    VScroll->setGeometry(W - scrollThickness, 0, scrollThickness, h - scrollThickness);
    updateView();
    updateScrollRanges();
    StatusBar->setGeometry(0, h, W, kStatusBarHeight);
    placeZoomLabel();
    const int positionHeight = e_Position->sizeHint().height();
    e_Position->setGeometry(0, HScroll->y() - positionHeight, kPositionWidth, positionHeight);
    if (fitPending && Bitmap) {
        fitPending = false;
        fitPicture();
    }
}

void MainForm::updateView()
{
    viewLeft = static_cast<float>(PicBox->ScaleLeft());
    viewTop = static_cast<float>(PicBox->ScaleTop());
    viewWidth = static_cast<float>(PicBox->ScaleWidth());
    viewHeight = static_cast<float>(PicBox->ScaleHeight());
    showZoom();
}

void MainForm::updateScrollRanges()
{
    const double pictureWidth = Bitmap ? Bitmap->W : 0;
    const double pictureHeight = Bitmap ? Bitmap->H : 0;
    const double spareWidth = pictureWidth - PicBox->ScaleWidth();
    const double spareHeight = pictureHeight - PicBox->ScaleHeight();
    // A zoom centred near the picture's edge may leave the view reaching beyond it; the bars
    // then keep the view where it is instead of pulling it back under the mouse.
    // A fitted picture is centred, and a zoom about the mouse keeps the point under it even
    // beyond the picture's left or top edge: the bars then reach back to where the view is, and
    // a picture narrower than the view, centred, has nothing to scroll.
    const int left = cornerScrollValue(PicBox->ScaleLeft());
    const int top = cornerScrollValue(PicBox->ScaleTop());
    HScroll->setMaximum(
        std::max(spareWidth > 0 ? scrollValue(spareWidth) : std::min(0, left), left));
    VScroll->setMaximum(
        std::max(spareHeight > 0 ? scrollValue(spareHeight) : std::min(0, top), top));
    HScroll->setMinimum(std::min(0, left));
    VScroll->setMinimum(std::min(0, top));
    // A click in the track turns a page of the view; an arrow a twentieth of it.
    HScroll->setPageStep(std::max(1, scrollValue(PicBox->ScaleWidth())));
    VScroll->setPageStep(std::max(1, scrollValue(PicBox->ScaleHeight())));
    HScroll->setSingleStep(std::max(1, scrollValue(PicBox->ScaleWidth() / 20)));
    VScroll->setSingleStep(std::max(1, scrollValue(PicBox->ScaleHeight() / 20)));
}

void MainForm::zoomBy(float factor, bool atPoint, double x, double y)
{
    double cx = PicBox->ScaleLeft() + PicBox->ScaleWidth() / 2;
    double cy = PicBox->ScaleTop() + PicBox->ScaleHeight() / 2;
    zoom = zoom * factor;
    PicBox->setScaleWidth(boxWidthPx * static_cast<double>(zoom));
    PicBox->setScaleHeight(boxHeightPx * static_cast<double>(zoom));
    if (atPoint || centerMode) {
        scrollSync = true;
        if (atPoint) {
            cx = x;
            cy = y;
        }
        const double left = std::max(0.0, cx - PicBox->ScaleWidth() / 2);
        const double top = std::max(0.0, cy - PicBox->ScaleHeight() / 2);
        PicBox->setScaleLeft(left);
        PicBox->setScaleTop(top);
        HScroll->setMaximum(std::max(HScroll->maximum(), scrollValue(left)));
        HScroll->setValue(scrollValue(left));
        VScroll->setMaximum(std::max(VScroll->maximum(), scrollValue(top)));
        VScroll->setValue(scrollValue(top));
        scrollSync = false;
    }
    updateView();
    updateScrollRanges();
    PicBox_Paint();
}

void MainForm::zoomToFit()
{
    if (!Bitmap)
        return;
    while ((PicBox->ScaleWidth() < Bitmap->W || PicBox->ScaleHeight() < Bitmap->H)
        && zoom <= kZoomOutLimit)
        zoomBy(1 / zoomStep, false);
}

void MainForm::scrolled()
{
    if (scrollSync)
        return;
    PicBox->setScaleLeft(HScroll->value());
    PicBox->setScaleTop(VScroll->value());
    updateView();
    PicBox_Paint();
}

void MainForm::PicBox_Paint()
{
    if (!Bitmap || !oxel) {
        PicBox->clear();
        return;
    }
    PicBox->setDrawMode(kDrawCopy);
    PicBox->stretchCopy(*Bitmap);
    oxel->draw(unsetColor, setColor);
    drawInteraction();
}

void MainForm::setStatus(const QString &text)
{
    StatusBar->setText(text);
}

QString MainForm::statusText() const
{
    return StatusBar->text();
}

QString MainForm::positionText() const
{
    return e_Position->text();
}

void MainForm::toggleLine(CLine &line)
{
    line.Valid = !line.Valid;
    pendingChange =
        QString(line.Valid ? "Enable " : "Disable ") + (&line == &oxel->Ruler ? "Ruler" : "Cross");
    updateActions();
    PicBox_Paint();
}

void MainForm::updateActions()
{
    const bool open = oxel && Bitmap;
    // Everything but opening, a new window, leaving and the help needs a picture.
    for (QAction *item : findChildren<QAction *>()) {
        static const QStringList kAlways = {"m_Open", "m_Recent", "m_New", "m_FollowUp", "m_Exit",
            "m_ZoomCenter", "m_OpenFitted", "m_SnapToEdge", "m_about", "m_help"};
        if (!item->objectName().isEmpty() && !kAlways.contains(item->objectName()))
            item->setEnabled(open);
    }
    action("m_undo")->setEnabled(open && Bitmap->hasFilterToUndo());
    m_Ruler->setChecked(open && oxel->Ruler.Valid);
    m_Cross->setChecked(open && oxel->Cross_H.Valid);
    updateWindowMenu();
    updateEditActions();
}

void MainForm::showStartupWindow()
{
    if (environment.showStartup)
        environment.showStartup(this);
    else
        StartupForm::showModal(this);
}

void MainForm::open_Patient(int flag)
{
    if (!oxel)
        return;
    if (pendingChange.isEmpty())
        pendingChange = "Patient's Data";
    DataDialog dialog(*oxel, static_cast<std::int16_t>(flag), this);
    // Data taken from a header count as seen once the dialog has stored them; Cancel leaves them
    // to be confirmed.
    if (dialog.exec() == QDialog::Accepted)
        headerDataToConfirm = false;
}

void MainForm::writeData()
{
    if (!calibrated) {
        const MessageAnswer answer = currentMessages().message(
            "You did not calibrate the picture!\nWould you assume the picture width is 430mm",
            "Oxel", MessageIcon::Question, MessageButtons::YesNo);
        if (answer != MessageAnswer::Yes)
            return;
    }
    // Data taken from a DICOM header are shown to the operator once before they are used, as
    // missing data are.
    if (const int flags = missingPatientData(*oxel); flags || headerDataToConfirm) {
        open_Patient(flags);
        return;
    }
    if (!oxel->Valid()) {
        showMessage("one or more GridLines not set!", "Oxel", MessageIcon::Critical);
        return;
    }
    Host host(*this);
    if (!evaluate(host))
        return;
    std::string error;
    if (!BinFile::write(landmarkPath, *oxel, &error)) {
        showMessage(
            "could not write " + landmarkPath + ": " + error, "Oxel Error", MessageIcon::Critical);
        return;
    }
    markWritten();
}

void MainForm::exitProgram()
{
    // A window with changes not written asks its own question as it closes.
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (const auto *window = qobject_cast<MainForm *>(widget);
            window && window->hasUnsavedChanges()) {
            QApplication::closeAllWindows();
            return;
        }
    }
    const MessageAnswer answer =
        currentMessages().message("Are you sure? Not saved results will be lost!",
            kApplicationTitle, MessageIcon::Question, MessageButtons::YesNo);
    if (answer == MessageAnswer::Yes)
        QApplication::closeAllWindows();
}

void MainForm::showFollowUp()
{
    FollowUpWindow &followUp = FollowUpWindow::instance();
    if (oxel && !oxel->Patient.DatFile.empty()) {
        const QString resultFile = QString::fromStdString(
            ResultFile::pathFor(oxel->Patient.DatFile, Host(*this).resultFolder()));
        if (!QFileInfo::exists(resultFile))
            setStatus("no result file yet: " + QFileInfo(resultFile).absoluteFilePath());
        else if (followUp.openFile(resultFile)) {
            const CPatient &p = oxel->Patient;
            // The side as the evaluation finds it: the F-Line right of the middle is a left hip.
            followUp.selectPatient(p.Famname, p.Vorname, p.Code, oxel->V_F.P0.x > oxel->V_M.P0.x);
        }
    }
    followUp.show();
    followUp.raise();
    followUp.activateWindow();
}

void MainForm::showExactEvaluation()
{
    if (!oxel)
        return;
    // Modal: the table is the measurement as it is now, and stays true while it is read.
    ExactDialog dialog(compareEvaluations(*oxel), this);
    dialog.exec();
}

void MainForm::newWindow()
{
    auto *window = new MainForm(environment);
    if (window->start())
        window->show();
    else
        window->deleteLater();
}

void MainForm::reloadLandmarks()
{
    dropInteraction();
    // What a damaged file did read can be taken back.
    if (BinFile::read(landmarkPath, Bitmap->W, Bitmap->H, *oxel))
        startHistory();
    else
        pendingChange = "Reload Landmarks";
    PicBox_Paint();
}

void MainForm::resetGrid()
{
    if (!oxel || !Bitmap)
        return;
    const double W = Bitmap->W, H = Bitmap->H;
    pendingChange = "Reset Grid";
    oxel->init(W / 3, 2 * H / 3, 2 * W / 3, 2 * H / 3);
    PicBox_Paint();
}

void MainForm::withHourglass(const std::function<void()> &operation)
{
    // The cursors are put back when this scope ends, also by an exception.
    class Hourglass
    {
    public:
        explicit Hourglass(PictureBox *box) : pictureBox(box), previous(box->mousePointer())
        {
            pictureBox->setMousePointer(MousePointer::Hourglass);
            QApplication::setOverrideCursor(Qt::WaitCursor);
        }

        ~Hourglass()
        {
            QApplication::restoreOverrideCursor();
            pictureBox->setMousePointer(previous);
        }

        Hourglass(const Hourglass &) = delete;
        Hourglass &operator=(const Hourglass &) = delete;

    private:
        PictureBox *pictureBox;
        int previous;
    };

    const Hourglass hourglass(PicBox);
    operation(); // the pixel buffer asks for the repaint itself
}

void MainForm::sharpen(int level)
{
    withHourglass([this, level] { Bitmap->Filter(*Global::SharpenKernel(level)); });
}

void MainForm::startLandmark(std::size_t which)
{
    static const char *const kEntryNames[] = {"Enter Head", "Enter Cup", "Enter Rim"};
    // What an interaction left unfinished is one change; this entry is the next.
    commitChange(pendingChange);
    pointPreview.reset();
    entryStart = MeasurementState::of(*oxel);
    pendingChange = kEntryNames[which];
    PointLandmark &landmark = *oxel->landmarks()[which];
    landmark.Valid = false;
    oxel->Visible = false;
    PicBox_Paint();
    landmark.removeAll();
    PicBox->setMousePointer(MousePointer::Cross);
    setStatus(kLandmarkTools[which].prompt);
    toolMode = kLandmarkTools[which].collect;
}

void MainForm::calibrate()
{
    pendingChange = "Calibrate";
    oxel->CalibPoints.setPicBox(PicBox);
    dragPoint = &oxel->CalibPoints.P0;
    toolMode = ToolMode::CalibFirst;
    PicBox->setMousePointer(MousePointer::Cross);
    setStatus("select 1st point for calibration");
}

void MainForm::calcDistance()
{
    distanceLine = CLine();
    distanceLine.setPicBox(PicBox);
    dragLine = &distanceLine;
    PicBox->setForeColor(kColorGreen);
    PicBox->setDrawMode(kDrawXor);
    PicBox->setMousePointer(MousePointer::Cross);
    toolMode = ToolMode::DistanceWaiting;
}
