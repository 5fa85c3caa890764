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

namespace {

uint32_t Le(const uchar* p, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

}  // namespace

QImage ReadPlainBitmap(const QByteArray& bytes) {
  const auto* b = reinterpret_cast<const uchar*>(bytes.constData());
  const int64_t size = bytes.size();
  if (size < 54 || b[0] != 'B' || b[1] != 'M') return {};
  const uint32_t offBits = Le(b + 10, 4);
  const uint32_t headerSize = Le(b + 14, 4);
  const auto width = static_cast<int32_t>(Le(b + 18, 4));
  const auto height = static_cast<int32_t>(Le(b + 22, 4));
  const uint32_t planes = Le(b + 26, 2), bitCount = Le(b + 28, 2), compression = Le(b + 30, 4);
  const uint32_t colorsUsed = Le(b + 46, 4);
  if (headerSize < 40 || planes != 1 || bitCount != 24 || compression != 0 || colorsUsed != 0) return {};
  if (width <= 0 || width > 16384 || height == 0 || height < -16384 || height > 16384) return {};
  const int rows = height < 0 ? -height : height;
  const int64_t stride = (int64_t{width} * 3 + 3) & ~int64_t{3};
  if (offBits < 14 + headerSize || offBits + stride * rows > size) return {};
  QImage image(width, rows, QImage::Format_RGB32);
  if (image.isNull()) return {};
  for (int y = 0; y < rows; ++y) {
    // Rows are stored bottom-up unless the height is negative.
    const uchar* src = b + offBits + stride * (height < 0 ? y : rows - 1 - y);
    auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x, src += 3) dst[x] = qRgb(src[2], src[1], src[0]);
  }
  const auto xPels = static_cast<int32_t>(Le(b + 38, 4)), yPels = static_cast<int32_t>(Le(b + 42, 4));
  if (xPels > 0) image.setDotsPerMeterX(xPels);
  if (yPels > 0) image.setDotsPerMeterY(yPels);
  return image;
}

Picture LoadPicture(const std::string& path) {
  if (path.empty()) return Picture();
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) Raise(vbErrFileNotFound, {}, "LoadPicture");
  {
    // The commonest file here, an uncompressed 24-bit bitmap (the thumbnails the media detector
    // writes), is read directly; any other file goes to the image formats.
    QFile file(QString::fromStdString(path));
    if (file.open(QIODevice::ReadOnly) && file.size() <= (int64_t{64} << 20)) {
      QImage image = ReadPlainBitmap(file.readAll());
      if (!image.isNull()) return PictureFromImage(std::move(image), 1);
    }
  }
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
