// Pictures stored with a window: loaded from bytes.
#include <QByteArray>
#include <QBuffer>
#include <QImageReader>

#include "core/error.h"
#include "forms/qt/picture_qt.h"

Picture LoadPictureData(const unsigned char* data, size_t size) {
  QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setDecideFormatFromContent(true);
  QByteArray format = reader.format();
  QImage image = reader.read();
  if (image.isNull()) Raise(vbErrInvalidPicture, {}, "LoadPicture");
  return PictureFromImage(image.copy(), format == "ico" ? 3 : 1);
}
