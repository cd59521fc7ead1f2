#include "ui/PictureHeader.h"

#include <utility>

#include <QFile>
#include <QImageReader>
#include <QSize>

#include "core/image/CBitmap.h"
#include "core/image/DicomPicture.h"

bool readPictureFacts(const std::string &path, PictureFacts &facts, std::string &error)
{
    facts = PictureFacts{};
    if (DicomPicture::isDicomFile(path)) {
        DicomHeader header;
        if (!DicomPicture::readHeader(path, header, error))
            return false;
        facts.format = "dicom";
        facts.width = header.width;
        facts.height = header.height;
        facts.dicom = std::move(header);
        return true;
    }
    QImageReader reader(QFile::decodeName(path.c_str()));
    const QSize size = reader.size();
    if (!size.isValid()) {
        error = reader.errorString().toStdString();
        return false;
    }
    if (!CBitmap::isMeasurableSize(size.width(), size.height())) {
        error = CBitmap::tooLargeText(size.width(), size.height());
        return false;
    }
    facts.format = reader.format().toStdString();
    facts.width = size.width();
    facts.height = size.height();
    return true;
}
