// Pictures from module resources.
#include "forms/respicture.h"

#include <QBuffer>
#include <QImageReader>

#include "com/resources.h"
#include "core/error.h"
#include "forms/qt/picture_qt.h"

Picture LoadPictureFromBytes(const std::vector<uint8_t>& bytes) {
  QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setDecideFormatFromContent(true);
  QByteArray format = reader.format();
  QImage image = reader.read();
  if (image.isNull()) Raise(vbErrInvalidPicture, {}, "LoadResPicture");
  return PictureFromImage(std::move(image), format == "ico" ? 3 : 1);
}

Picture LoadResPicture(const std::string& modulePath, int id, int16_t type) {
  HRSRC r = FindResource(modulePath, ResourceId(id), type == vbResIcon ? RT_ICON : RT_BITMAP);
  if (!r) Raise(326, "Resource with identifier '" + std::to_string(id) + "' not found", "LoadResPicture");
  const uint8_t* p = LoadResource(modulePath, r);
  return LoadPictureFromBytes(std::vector<uint8_t>(p, p + SizeofResource(modulePath, r)));
}
