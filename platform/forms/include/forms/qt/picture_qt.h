#pragma once
// Internal to the platform: pictures as Qt images.
#include <QImage>

#include "forms/picture.h"

struct Picture::Data {
  QImage image;
  int16_t type = 1;  // 1 bitmap, 3 icon
};

QImage ImageOf(const Picture& picture);
Picture PictureFromImage(QImage image, int16_t type = 1);
