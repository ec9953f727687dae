#include "platform/ImageLoader.h"

#include "branding/Limits.h"
#include "util/Files.h"

#include <QBuffer>
#include <QImageReader>
#include <QMovie>

#include <optional>

namespace {

// What a decoded picture of this size takes, at four bytes a pixel.
qint64 decodedBytes(const QSize& size)
{
    return qint64(size.width()) * size.height() * 4;
}

bool acceptableSize(const QSize& size, int maxSide)
{
    return size.isValid() && !size.isEmpty() && size.width() <= maxSide && size.height() <= maxSide &&
           decodedBytes(size) <= Limits::kImageAllocationBytes;
}

// Qt's decoders refuse to allocate a picture over this limit, whatever size the file declares.
// The limit is process-wide and stays set: a movie decodes its frames long after it was opened,
// and every picture the program decodes is one delivered with the copy.
void limitDecoding()
{
    QImageReader::setAllocationLimit(Limits::kImageAllocationMiB);
}

} // namespace

QImage TImageLoader::readStill(const QString& path, const QByteArray& format)
{
    limitDecoding();
    const auto bytes = UUtils::readFileUpTo(path, Limits::kBannerFileMaxBytes);
    if (!bytes)
        return {};
    QBuffer buffer;
    buffer.setData(*bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    if (!acceptableSize(reader.size(), Limits::kBannerMaxSide)) {
        // The named format does not know the bytes; let the content decide.
        buffer.seek(0);
        reader.setDevice(nullptr);
        reader.setFormat(QByteArray());
        reader.setDevice(&buffer);
        if (!acceptableSize(reader.size(), Limits::kBannerMaxSide))
            return {};
    }
    QImage image = reader.read();
    if (!acceptableSize(image.size(), Limits::kBannerMaxSide))
        return {};
    return image;
}

QMovie* TImageLoader::openAnimation(const QString& path, QObject* parent)
{
    limitDecoding();
    const auto bytes = UUtils::readFileUpTo(path, Limits::kBannerFileMaxBytes);
    if (!bytes)
        return nullptr;
    // Size and number of the frames first, then the first frame, before the movie takes the bytes.
    {
        QBuffer probe;
        probe.setData(*bytes);
        probe.open(QIODevice::ReadOnly);
        QImageReader reader(&probe, "gif");
        const QSize size = reader.size();
        if (!acceptableSize(size, Limits::kBannerMaxSide))
            return nullptr;
        const qint64 frames = std::max(1, reader.imageCount());
        if (frames > Limits::kAnimationMaxBytes / decodedBytes(size))
            return nullptr;
        if (reader.read().isNull())
            return nullptr;
    }
    auto* buffer = new QBuffer;
    buffer->setData(*bytes);
    buffer->open(QIODevice::ReadOnly);
    auto* movie = new QMovie(buffer, "gif", parent);
    buffer->setParent(movie);
    if (!movie->isValid() || !movie->jumpToFrame(0) ||
        !acceptableSize(movie->currentImage().size(), Limits::kBannerMaxSide)) {
        delete movie;
        return nullptr;
    }
    return movie;
}

QIcon TImageLoader::readIcon(const QString& path)
{
    limitDecoding();
    const auto bytes = UUtils::readFileUpTo(path, Limits::kIconFileMaxBytes);
    if (!bytes)
        return {};
    QBuffer buffer;
    buffer.setData(*bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    QIcon icon;
    qint64 taken = 0;
    for (int i = 0; i < Limits::kIconMaxPictures; ++i) {
        const QSize size = reader.size();
        if (size.isValid() &&
            (!acceptableSize(size, Limits::kIconMaxSide) || taken + decodedBytes(size) > Limits::kIconMaxBytes))
            break;
        const QImage image = reader.read();
        if (image.isNull() || !acceptableSize(image.size(), Limits::kIconMaxSide) ||
            taken + decodedBytes(image.size()) > Limits::kIconMaxBytes)
            break;
        taken += decodedBytes(image.size());
        icon.addPixmap(QPixmap::fromImage(image));
        if (!reader.jumpToNextImage())
            break;
    }
    return icon;
}
