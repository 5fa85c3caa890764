#pragma once
// Internal to the platform: pictures as Qt images.
#include <QImage>

#include "forms/picture.h"

struct Picture::Data {
  QImage image;
  int16_t type = 1;      // 1 bitmap, 3 icon
  uint32_t handle = 0;   // a number of its own, as a picture's handle is
};

QImage ImageOf(const Picture& picture);
Picture PictureFromImage(QImage image, int16_t type = 1);
// The live picture whose Handle() is the number; the empty picture when none.
Picture PictureFromHandle(uintptr_t handle);
// An uncompressed 24-bit bitmap file's picture (RGB32, as Qt's reader gives it); a null image for
// anything else, which the image formats read.
QImage ReadPlainBitmap(const QByteArray& bytes);
