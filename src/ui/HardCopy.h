#pragma once

#include <functional>
#include <string>

#include <QImage>
#include <QPrinterInfo>
#include <QRect>
#include <QSize>
#include <QString>

class QPrinter;
class QWidget;

// Prints what the operator sees: the window as currently drawn, in grey, turned a quarter turn
// when that suits the paper better, fitted into the page within margins of a twentieth of the
// page on each side, and printed as one page.
namespace HardCopy {

// The capture in 8-bit grey (Format_Grayscale8), grey = (blue + green + red) / 3 with the
// remainder dropped. On portrait paper a capture wider than high is turned a quarter turn
// counter-clockwise: its top row becomes the left column, read upwards, so a W x H capture
// gives an H x W page. A null capture gives a null image.
QImage greyPage(const QImage &capture, bool portraitPaper);

// The page less its margins: mx = width / 20 and my = height / 20, rounded halves to even, on
// each side.
QSize printableSize(const QSize &page);

// True when the printable part of the page is narrower than high.
bool isPortrait(const QSize &page);

// Where an image of the given size is drawn on the page, both in device pixels: as large as
// fits into the printable part with its aspect kept (the free length rounded halves to even),
// with its top left corner at the margins, not centred. Empty for an empty image or a page
// with no printable part.
QRect placeImage(const QSize &page, const QSize &image);

// Prints the capture as one page of the document "Hardcopy" on the printer, whose whole paper
// is used as the page. False when the printer could not be opened or finished (no paper
// counts as printed before that).
bool printPage(QPrinter &printer, const QImage &capture);

// Writes the capture as a one-page PDF file (A4), placed as on paper. The file is replaced only
// once the new one is complete; false when it could not be written, with the file and the
// system's reason in `reason` (if given).
bool printToPdf(const QImage &capture, const QString &pdfPath, std::string *reason = nullptr);

// The hard copy of the window on the given printer. Returns "" when printed, "no prt found"
// when the printer is null (nothing is captured then), "capture failed" when the window
// could not be captured and "print failed" when the printer refused the page.
QString print(QWidget *window, const QPrinterInfo &printer);
// The same on the system's default printer.
QString print(QWidget *window);

// What the menu command takes from the system; tests replace it. Empty members: the system's
// default printer and the platform's save dialog.
struct Environment
{
    std::function<QPrinterInfo()> currentPrinter;
    // The PDF file to write instead of printing: its path, or empty when cancelled.
    std::function<QString()> choosePdfPath;
};

// The menu command: prints the window, and tells the operator when that failed. Without a
// printer it offers to save the hard copy as a PDF file instead.
void hardcopyCommand(QWidget *window, const Environment &environment = {});

} // namespace HardCopy
