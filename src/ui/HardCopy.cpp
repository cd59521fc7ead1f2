#include "ui/HardCopy.h"

#include <cmath>
#include <cstdint>

#include <QBuffer>
#include <QFileDialog>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QWidget>

#include "core/model/Messages.h"
#include "core/records/SafeFile.h"

namespace HardCopy {

namespace {

const QString kNoPrinter = QStringLiteral("no prt found");
const QString kCaptureFailed = QStringLiteral("capture failed");
const QString kPrintFailed = QStringLiteral("print failed");
const char *const kTitle = "Oxel";

int roundHalfEven(double value)
{
    return static_cast<int>(std::nearbyint(value));
}

int margin(int pageLength)
{
    return roundHalfEven(pageLength / 20.0);
}

QImage capture(QWidget *window)
{
    return window ? window->grab().toImage() : QImage();
}

} // namespace

QImage greyPage(const QImage &capture, bool portraitPaper)
{
    if (capture.isNull())
        return {};
    const QImage rgb = capture.convertToFormat(QImage::Format_RGB32);
    const int W = rgb.width(), H = rgb.height();
    const auto grey = [](QRgb pixel) {
        return static_cast<uchar>((qBlue(pixel) + qGreen(pixel) + qRed(pixel)) / 3);
    };

    if (portraitPaper && W > H) {
        // A quarter turn counter-clockwise: the capture's row y (from the top) becomes column y,
        // and its column x becomes row W - 1 - x, so the right end of the top row goes to the
        // top left corner.
        QImage turned(H, W, QImage::Format_Grayscale8);
        for (int y = 0; y < H; ++y) {
            const auto *source = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
            for (int x = 0; x < W; ++x)
                turned.scanLine(W - 1 - x)[y] = grey(source[x]);
        }
        return turned;
    }

    QImage page(W, H, QImage::Format_Grayscale8);
    for (int y = 0; y < H; ++y) {
        const auto *source = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        uchar *target = page.scanLine(y);
        for (int x = 0; x < W; ++x)
            target[x] = grey(source[x]);
    }
    return page;
}

QSize printableSize(const QSize &page)
{
    return {page.width() - 2 * margin(page.width()), page.height() - 2 * margin(page.height())};
}

bool isPortrait(const QSize &page)
{
    const QSize printable = printableSize(page);
    return printable.width() < printable.height();
}

QRect placeImage(const QSize &page, const QSize &image)
{
    const QSize printable = printableSize(page);
    if (image.isEmpty() || printable.isEmpty())
        return {};
    const std::int64_t w = image.width(), h = image.height();
    const std::int64_t printW = printable.width(), printH = printable.height();
    QSize drawn;
    if (w * printH < h * printW)
        drawn = QSize(roundHalfEven(static_cast<double>(w * printH) / static_cast<double>(h)),
            printable.height());
    else
        drawn = QSize(printable.width(),
            roundHalfEven(static_cast<double>(h * printW) / static_cast<double>(w)));
    return {QPoint(margin(page.width()), margin(page.height())), drawn};
}

bool printPage(QPrinter &printer, const QImage &capture)
{
    if (capture.isNull())
        return false;
    printer.setFullPage(true);
    printer.setDocName(QStringLiteral("Hardcopy"));
    const QRectF paper = printer.paperRect(QPrinter::DevicePixel);
    const QSize page(qRound(paper.width()), qRound(paper.height()));

    const QImage grey = greyPage(capture, isPortrait(page));
    const QRect target = placeImage(page, grey.size());
    if (target.isEmpty())
        return false;
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    painter.drawImage(target, grey);
    return painter.end();
}

bool printToPdf(const QImage &capture, const QString &pdfPath, std::string *reason)
{
    const auto failed = [reason](const std::string &why) {
        if (reason)
            *reason = why;
        return false;
    };
    if (capture.isNull())
        return failed("nothing was captured");
    // Drawn in memory and written as any other file of the program, so that a failure leaves an
    // earlier file of that name as it was; the same paper and resolution as a printer's page.
    QBuffer document;
    document.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&document);
        constexpr int kPrinterDotsPerInch = 1200; // a high-resolution printer's, for PDF too
        pdf.setResolution(kPrinterDotsPerInch);
        pdf.setTitle(QStringLiteral("Hardcopy"));
        pdf.setPageLayout(
            QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
        const QSize page = pdf.pageLayout().fullRectPixels(pdf.resolution()).size();
        const QImage grey = greyPage(capture, isPortrait(page));
        const QRect target = placeImage(page, grey.size());
        if (target.isEmpty())
            return failed("the page has no room for the picture");
        QPainter painter;
        if (!painter.begin(&pdf))
            return failed("the PDF could not be drawn");
        painter.drawImage(target, grey);
        if (!painter.end())
            return failed("the PDF could not be drawn");
    }
    std::string why;
    if (SafeFile::replace(pdfPath.toStdString(),
            std::string_view(
                document.data().constData(), static_cast<std::size_t>(document.size())),
            why))
        return true;
    return failed(why);
}

QString print(QWidget *window, const QPrinterInfo &printerInfo)
{
    if (printerInfo.isNull() || printerInfo.printerName().isEmpty())
        return kNoPrinter;
    const QImage shot = capture(window);
    if (shot.isNull())
        return kCaptureFailed;
    QPrinter printer(printerInfo, QPrinter::HighResolution);
    return printPage(printer, shot) ? QString() : kPrintFailed;
}

QString print(QWidget *window)
{
    return print(window, QPrinterInfo::defaultPrinter());
}

void hardcopyCommand(QWidget *window, const Environment &environment)
{
    const QPrinterInfo printer =
        environment.currentPrinter ? environment.currentPrinter() : QPrinterInfo::defaultPrinter();
    const QString result = print(window, printer);
    if (result.isEmpty())
        return;
    if (result != kNoPrinter) {
        showMessage(result.toStdString(), kTitle, MessageIcon::Critical);
        return;
    }

    if (currentMessages().message("no prt found\nSave the hard copy as a PDF file instead?", kTitle,
            MessageIcon::Question, MessageButtons::YesNo)
        != MessageAnswer::Yes)
        return;
    QString pdfPath = environment.choosePdfPath
        ? environment.choosePdfPath()
        : QFileDialog::getSaveFileName(window, QStringLiteral("Save Hard Copy"), QString(),
            QStringLiteral("PDF Files (*.pdf)"));
    if (pdfPath.isEmpty())
        return;
    // A name typed without a suffix still becomes a file that opens as a PDF. The dialog asked
    // about replacing the name as typed, so a PDF of the longer name is asked about here.
    if (QFileInfo(pdfPath).suffix().isEmpty()) {
        pdfPath += QStringLiteral(".pdf");
        if (QFileInfo::exists(pdfPath)
            && currentMessages().message(pdfPath.toStdString() + " already exists.\nReplace it?",
                   kTitle, MessageIcon::Question, MessageButtons::YesNo)
                != MessageAnswer::Yes)
            return;
    }
    const QImage shot = capture(window);
    if (shot.isNull()) {
        showMessage(kCaptureFailed.toStdString(), kTitle, MessageIcon::Critical);
        return;
    }
    std::string reason;
    if (!printToPdf(shot, pdfPath, &reason))
        showMessage(
            "the hard copy could not be written to\n" + pdfPath.toStdString() + "\n" + reason,
            kTitle, MessageIcon::Critical);
}

} // namespace HardCopy
