// Picture objects, LoadPicture and SavePicture.
#include <QFile>
#include <QImageReader>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <unordered_map>

#include "core/error.h"
#include "forms/qt/picture_qt.h"

int16_t Picture::Type() const { return d_ ? d_->type : 0; }
int32_t Picture::PixelWidth() const { return d_ ? d_->image.width() : 0; }
int32_t Picture::PixelHeight() const { return d_ ? d_->image.height() : 0; }
int32_t Picture::Width() const { return HimetricFromPixels(PixelWidth()); }
int32_t Picture::Height() const { return HimetricFromPixels(PixelHeight()); }
uintptr_t Picture::Handle() const { return d_ ? d_->handle : 0; }

int32_t HimetricFromPixels(int32_t pixels) {
  return static_cast<int32_t>(std::lround(pixels * 2540.0 / 96.0));
}

int32_t PixelsFromHimetric(int32_t himetric) {
  return static_cast<int32_t>(std::lround(himetric * 96.0 / 2540.0));
}

QImage ImageOf(const Picture& picture) { return picture.data() ? picture.data()->image : QImage(); }

namespace {
// The live pictures by handle, for the drawing calls that take a picture's handle.
std::mutex g_picturesMutex;
std::unordered_map<uint32_t, std::weak_ptr<const Picture::Data>>& Pictures() {
  static std::unordered_map<uint32_t, std::weak_ptr<const Picture::Data>> m;
  return m;
}
}  // namespace

Picture PictureFromImage(QImage image, int16_t type) {
  if (image.isNull()) return Picture();
  static std::atomic<uint32_t> next{0x2000};
  auto d = std::make_shared<Picture::Data>();
  d->image = std::move(image);
  d->type = type;
  d->handle = next.fetch_add(4);
  std::lock_guard lock(g_picturesMutex);
  auto& pictures = Pictures();
  // Entries of pictures that are gone are swept as the table grows.
  if (pictures.size() >= 64 && (pictures.size() & (pictures.size() - 1)) == 0) {
    std::erase_if(pictures, [](const auto& entry) { return entry.second.expired(); });
  }
  pictures[d->handle] = d;
  return Picture(std::move(d));
}

Picture PictureFromHandle(uintptr_t handle) {
  std::lock_guard lock(g_picturesMutex);
  auto it = Pictures().find(static_cast<uint32_t>(handle));
  if (it == Pictures().end()) return Picture();
  return Picture(it->second.lock());
}

namespace {

// The LZW minimum code size of a GIF's first image lies in 2 to 8; Qt's reader decodes other
// sizes into garbage without complaint. Answers false only for a first image outside that range;
// anything else malformed is left to the reader.
bool GifCodeSizeAllowed(const QByteArray& b) {
  const qsizetype n = b.size();
  auto at = [&](qsizetype i) { return static_cast<uint8_t>(b[i]); };
  if (n < 13) return true;
  qsizetype p = 13;
  if (at(10) & 0x80) p += qsizetype{3} << ((at(10) & 7) + 1);
  while (p < n) {
    if (at(p) == 0x2C) {
      if (p + 10 >= n) return true;
      const uint8_t packed = at(p + 9);
      p += 10;
      if (packed & 0x80) p += qsizetype{3} << ((packed & 7) + 1);
      if (p >= n) return true;
      return at(p) >= 2 && at(p) <= 8;
    }
    if (at(p) != 0x21) return true;
    p += 2;
    while (p < n && at(p) != 0) p += at(p) + 1;
    ++p;
  }
  return true;
}

}  // namespace

Picture LoadPicture(const std::string& path) {
  if (path.empty()) return Picture();
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) Raise(vbErrFileNotFound, {}, "LoadPicture");
  QImageReader reader(QString::fromStdString(path));
  reader.setDecideFormatFromContent(true);
  QByteArray format = reader.format();
  if (format == "gif") {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly) || !GifCodeSizeAllowed(file.readAll()))
      Raise(vbErrInvalidPicture, {}, "LoadPicture");
  }
  QImage image = reader.read();
  if (image.isNull()) {
    // A .dib is a bitmap file under another name.
    QImageReader bmp(QString::fromStdString(path), "bmp");
    image = bmp.read();
    format = "bmp";
  }
  if (image.isNull()) Raise(vbErrInvalidPicture, {}, "LoadPicture");
  return PictureFromImage(std::move(image), format == "ico" ? 3 : 1);
}

void SavePicture(const Picture& picture, const std::string& path) {
  if (picture.IsEmpty()) Raise(vbErrInvalidPropertyValue, {}, "SavePicture");
  QImage image = ImageOf(picture);
  if (image.hasAlphaChannel()) image = image.convertToFormat(QImage::Format_RGB32);
  if (!image.save(QString::fromStdString(path), "BMP")) Raise(vbErrPathFileAccess, {}, "SavePicture");
}
