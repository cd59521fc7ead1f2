#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

#include <QCursor>
#include <QMainWindow>
#include <QPointF>
#include <QString>

#include "core/image/CBitmap.h"
#include "core/image/DicomPicture.h"
#include "core/image/EdgeSnap.h"
#include "core/image/GreyMapping.h"
#include "core/model/COxel.h"
#include "core/model/DrawingSurface.h"
#include "core/model/MeasurementState.h"
#include "ui/HardCopy.h"
#include "ui/MeasurementChange.h"
#include "ui/ToolMode.h"

class PictureBox;
class QAction;
class QActionGroup;
class QDragEnterEvent;
class QDropEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QScrollBar;
class QUndoStack;
class QWheelEvent;

// What a main window takes from the program around it. The program uses the defaults; tests
// answer the dialogs themselves.
struct MainFormEnvironment
{
    // The settings file that remembers the picture opened last.
    QString settingsPath;
    // The file-open dialog: the path chosen, or empty when cancelled. Given the path opened
    // last. Empty: the platform's dialog.
    std::function<QString(const QString &lastPath)> chooseFile;
    // The start-up window, shown modally with the window as owner. Empty: StartupForm.
    std::function<void(QWidget *owner)> showStartup;
    // The printer and file dialogs of the hard copy. Empty parts: the platform's.
    HardCopy::Environment hardCopy;
};

// The settings file of the desktop program: Zek2.ini in its configuration folder.
QString defaultSettingsPath();

// The main window: one radiograph with its measurement and pixel buffer, and every command.
class MainForm : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainForm(const MainFormEnvironment &environment, QWidget *parent = nullptr);
    ~MainForm() override;

    // Runs the window's start-up: the start-up window once per program run, then the picture
    // given (or the open dialog when none is given). False when no radiograph could be opened;
    // the caller then drops the window.
    bool start(const QString &picture = {});

    // Draws the visible part of the picture and the landmarks anew.
    void PicBox_Paint();
    // Lets the operator complete the patient data; flags name the missing items.
    void open_Patient(int flag);
    // Asks for a radiograph (or takes the path given) and opens it in this window. True when
    // one was opened; on failure the window keeps what it showed.
    bool openRadiograph(const QString &path = {});

    // Zooms out by menu steps until the whole picture is in view (for a first look at a large
    // radiograph; opening itself shows it at one picture pixel per screen pixel).
    void zoomToFit();
    // The largest zoom at which the whole picture is seen, whatever its factor, with the picture
    // centred in the box ("Fit Picture").
    void fitPicture();
    // One picture pixel per screen pixel, the centre of the view kept ("Actual Pixels").
    void showActualPixels();

    // The window's state, as its commands and tests see it. The measurement and the pixel
    // buffer are null until a picture is open.
    const COxel *measurement() const { return oxel.get(); }

    const CBitmap *pixels() const { return Bitmap.get(); }

    // The picture at its full depth when it came from a DICOM file, else null; and the grey
    // mapping it is shown with.
    const DicomPicture *dicomPicture() const { return dicom.get(); }

    const GreyMapping::Choice &greyMapping() const { return greyChoice; }

    PictureBox *pictureBox() const { return PicBox; }

    float zoomFactor() const { return zoom; }

    bool isCalibrated() const { return calibrated; }

    ToolMode currentToolMode() const { return toolMode; }

    const std::string &landmarkFile() const { return landmarkPath; }

    QString statusText() const;
    // The zoom as the status bar shows it, in percent of one picture pixel per screen pixel.
    QString zoomText() const;
    QString positionText() const;

    double grabbedAt() const { return grabRatio; }

    QAction *action(const QString &objectName) const;

    // The measurement has changes that were never written: made since the picture was opened,
    // the landmarks were read again or Write Data last wrote them.
    bool hasUnsavedChanges() const;

protected:
    // A picture file dropped onto the window is opened as the open command opens a chosen one.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    // Closing with changes not written asks first whether to write them, drop them or stay.
    void closeEvent(QCloseEvent *event) override;

private:
    class Host; // the evaluation's view of the window

    void createControls();
    void createMenus();
    void layoutControls();
    bool eventFilter(QObject *watched, QEvent *event) override;

    void updateView();
    void updateScrollRanges();
    void zoomBy(float factor, bool atPoint, double x = 0, double y = 0);
    void scrolled();

    // The view's own gestures on the picture, taken before the tool modes see the event: the
    // wheel zooms about the mouse (with Shift it scrolls sideways, with Ctrl up and down), the
    // middle button or Space with the left button drags the picture. True when the event was
    // taken.
    bool viewEvent(QEvent *event);
    void wheelOnPicture(const QWheelEvent &event);
    void zoomByWheel(int delta, QPointF widgetPos);
    void scrollByWheel(QScrollBar *bar, int delta, double &remainder);
    // Zooms to newZoom keeping the picture point under widgetPos where it is on the screen.
    void zoomAbout(float newZoom, QPointF widgetPos);
    // Puts the view's top left corner at (left, top) picture pixels, the scroll bars following.
    void showViewAt(double left, double top);
    void beginPan(Qt::MouseButton button, QPointF widgetPos);
    void panTo(QPointF widgetPos);
    void endPan();
    // The left button holds a line, a point or the distance line, drawn by exclusive-or over
    // the picture: moving the view now would leave their images behind.
    bool dragInProgress() const;
    void showZoom();
    // Takes the right end of the status line for the zoom.
    void placeZoomLabel();
    // A check mark remembered in the settings' View section and kept in step in every window
    // of the same settings file; caption names it when it cannot be remembered.
    bool viewChoiceRemembered(const char *key) const;
    void rememberViewChoice(
        QAction *MainForm::*action, const char *key, const QString &caption, bool on);
    bool openFittedRemembered() const;
    void rememberOpenFitted(bool on);
    // Snap to Edge: head, cup and rim points go onto the outline in the picture near the click.
    bool snapToEdgeRemembered() const;
    void rememberSnapToEdge(bool on);
    // Where a head, cup or rim point clicked at (x, y) belongs: on the outline nearby when Snap
    // to Edge is on and Shift is not held, else the click. A refused snap leaves its reason in
    // whyNot, for the status line.
    QPointF placeOnEdge(const PointLandmark &landmark, double x, double y, QString &whyNot);
    // The pixels as loaded, where outlines are sought.
    EdgeSnap::GreyView loadedGreyView() const;
    // After the landmark was fitted: each point snapped once more across the fitted outline and
    // the landmark fitted again, so that rough first clicks land on the edge too. Points placed
    // with Shift stay. A note for the status line when some points found no edge.
    QString snapAfterFit(PointLandmark &landmark);
    // Fits the picture just opened, at once or, before the window has its size, when it gets it.
    void fitWhenLaidOut();
    void setStatus(const QString &text);
    // Enables each command that can act now (most need a picture, undo a sharpening to take
    // back) and sets the ruler's and the cross's check marks from the measurement.
    void updateActions();
    void toggleLine(CLine &line);
    void showStartupWindow();
    void withHourglass(const std::function<void()> &operation);
    // Starts collecting the points of the landmark with that place in landmarks().
    void startLandmark(std::size_t which);

    // Runs one mouse or key event of the picture; when it fails the interaction is given up.
    // Unless told otherwise (mouse moves), a change it completed is then recorded for undo.
    void pictureEvent(const std::function<void()> &handler, bool settles = true);
    // The picture's mouse and keyboard: the tool modes.
    void picMouseDown(int button, double x, double y);
    void picMouseMove(double x, double y);
    void picMouseUp(double x, double y);
    void picKeyDown(int key);
    void pick(double x, double y);
    void beginLineDrag(CLine &line, double x, double y);
    // Fits the landmark whose points were being collected; why it could not, else empty.
    QString finishLandmark();
    void endDrag();
    void cancelDrag();
    // Ends whatever the picture's mouse is doing, back to idle, and lets go of every reference
    // into the measurement; called before the measurement is replaced or read anew.
    void dropInteraction();
    void calibrationDialog();
    void drawInLandmarkColour();
    // The landmark whose points the current mode collects or drags; none in other modes.
    PointLandmark *landmarkOfMode() const;

    // What is being entered, drawn over every repaint: the points collected so far, a dragged
    // line or distance in exclusive-or form, a dragged point's landmark as it would be fitted.
    void drawInteraction();
    // Backspace and Escape while collecting points: the last point goes, or the whole entry,
    // the landmark put back as it was before its tool was chosen.
    void removeLastPoint();
    void abandonCollection();
    // The dragged point's landmark as a copy with points of its own, so that the measurement
    // changes only at the release; the copy follows the mouse and is refitted at every move.
    void beginPointPreview(const PointLandmark &landmark, std::size_t point);
    void movePointPreview(double x, double y);
    // Draws the copy in exclusive-or form; drawn twice, it is gone.
    void drawPointPreview();
    // The fit of a landmark, its boxes shown as usual; on failure whyNot tells why in a few
    // words for the status line.
    bool fitLandmark(PointLandmark &landmark, QString &whyNot, bool showComplaints = true);
    // A status text that hovering does not replace; the next press, key or command may.
    void holdStatus(const QString &text);

    // Undo. Every change of the measurement becomes one entry of the history, holding the
    // states before and after; a change made in several steps (collecting points, a drag, a
    // calibration) becomes one when the picture is idle again.
    MeasurementChange::State currentState() const;
    // Records what changed since the last entry, if anything, under that name.
    void commitChange(const QString &name);
    // After an event or a command: records its change once the picture is idle, and updates
    // Undo and Redo.
    void settleChanges(const QString &fallbackName);
    // Makes the measurement hold a state of the history; whatever the mouse did is ended first.
    void applyState(const MeasurementChange::State &state);
    // A new history: after opening a picture or reading its landmarks again.
    void startHistory();
    // What Write Data wrote is the state nothing need be asked about.
    void markWritten();
    void undoChange();
    void redoChange();
    void updateEditActions();
    // Before the measurement is set aside (another picture, closing): asks, when there are
    // changes not written, whether to write them first, drop them or stay. False: stay.
    bool mayLeaveMeasurement();

    void writeData();
    void exitProgram();
    // The follow-up window, on the current patient's result file when there is one.
    void showFollowUp();
    // The designed and the exact values side by side; changes nothing and asks nothing.
    void showExactEvaluation();
    void newWindow();
    void reloadLandmarks();
    void resetGrid();
    void sharpen(int level);
    void calibrate();
    void calcDistance();

    // What a DICOM picture's header gives a measurement that no landmark file describes: the
    // scale from the detector's pixel spacing, and the patient's name, the date and the focus
    // distance for the operator to confirm.
    void takeScaleFromHeader();
    void takePatientFromHeader();
    // The Window menu: one item for each grey mapping the picture offers, made anew for each
    // picture; choosing one shows the picture under it.
    void fillWindowMenu();
    // Enables the menu for a grey DICOM picture and checks the mapping it is shown with.
    void updateWindowMenu();
    void chooseWindow(std::size_t which);

    // File -> Recent Pictures: the pictures opened last, as the settings file keeps them for
    // every window of the program; read anew whenever the File menu opens.
    void createRecentMenu(QMenu *fileMenu);
    void fillRecentMenu();
    void rememberRecentPicture(const QString &path);
    // Opens the picture at path as the open command opens a chosen one.
    void openChosenPicture(const QString &path);

    MainFormEnvironment environment;

    std::unique_ptr<COxel> oxel; // the window's measurement
    std::unique_ptr<CBitmap> Bitmap; // the radiograph's pixel buffer
    // A DICOM picture's values at full depth, the mappings it offers and the one it is shown
    // with; replaced together with the pixel buffer.
    std::unique_ptr<DicomPicture> dicom;
    std::vector<GreyMapping::Choice> windowChoices;
    GreyMapping::Choice greyChoice;
    // The patient data came from the header and the operator has not yet seen them.
    bool headerDataToConfirm = false;

    PictureBox *PicBox = nullptr;
    QScrollBar *VScroll = nullptr;
    QScrollBar *HScroll = nullptr;
    QLabel *StatusBar = nullptr;
    QLineEdit *e_Position = nullptr;

    std::string landmarkPath;
    bool calibrated = false;
    ToolMode toolMode = ToolMode::Idle;
    bool scrollSync = false;
    CLine *dragLine = nullptr;
    CLine distanceLine; // the measuring line of "calc Distance"
    std::unique_ptr<CLine> lineBackup;
    CPoint *dragPoint = nullptr;
    std::shared_ptr<CPoint> heldPoint; // keeps a dragged landmark point alive
    CPoint heldPointStart; // where the dragged landmark point was taken hold of
    double grabRatio = 0;
    std::int16_t boxWidthPx = 0;
    std::int16_t boxHeightPx = 0;
    float zoom = 1.0f;
    // One zoom step: the cube root of 2, inwards. A single, as the menu's limits compare it.
    static constexpr float kZoomStep = 0.7937005f;
    float zoomStep = kZoomStep;
    bool centerMode = true;
    float viewLeft = 0, viewTop = 0, viewWidth = 0, viewHeight = 0;
    QCursor zoomCursor;
    std::uint32_t unsetColor = kColorMagenta;
    std::uint32_t setColor = kColorRed;

    QUndoStack *undoStack = nullptr;
    MeasurementChange::State committed; // what the history's current entry holds
    QString pendingChange; // the name of the change being made, until it is recorded
    MeasurementState entryStart; // the measurement when the landmark tool was chosen
    bool statusHeld = false;

    struct PointPreview
    {
        std::variant<CCircle, CEllipse> landmark;
        std::size_t point = 0; // the dragged one among its points
        bool fits = true; // its shape fits its points as they are now
    };

    std::optional<PointPreview> pointPreview;

    QAction *m_EditUndo = nullptr;
    QAction *m_EditRedo = nullptr;
    QAction *m_Ruler = nullptr;
    QAction *m_Cross = nullptr;
    QAction *m_ZoomCenter = nullptr;
    QAction *m_OpenFitted = nullptr;
    QAction *m_SnapToEdge = nullptr;
    // The keys held with the picture's mouse event being handled (Shift: place exactly).
    Qt::KeyboardModifiers pictureModifiers;
    // The points of the entry being collected that Shift placed exactly; the snap after the
    // fit leaves them alone.
    std::vector<std::weak_ptr<CPoint>> exactPoints;
    // The points of that entry that Snap to Edge moved, with where they were clicked: when the
    // snapped points give no fit, the clicks are fitted instead.
    std::vector<std::pair<std::weak_ptr<CPoint>, QPointF>> snappedClicks;
    QLabel *zoomLabel = nullptr;
    bool fitPending = false; // a picture opened fitted waits for the box's size
    int wheelZoomDelta = 0; // wheel turns not yet amounting to a zoom step, in eighths of a degree
    double wheelScrollX = 0, wheelScrollY = 0; // parts of a scroll-bar unit not yet scrolled
    bool spaceHeld = false;
    Qt::MouseButton panButton = Qt::NoButton; // the button dragging the picture, if any
    QPointF panGrab; // the picture point taken hold of, kept under the mouse
    QMenu *m_Window = nullptr;
    QActionGroup *windowItems = nullptr;
    QMenu *m_Recent = nullptr;
};
