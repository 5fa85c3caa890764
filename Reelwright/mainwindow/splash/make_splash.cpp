// Build tool: draws the pictures stored with the main program's windows (the splash window's,
// 381 x 205 pixels, and the file browser's title strip as 24-bit bitmaps, the about box's logo as
// an animated GIF of 575 x 125) and writes them as a C++ source that holds their bytes; the splash
// picture also as a .bmp file to look at.
//   make_splash <out.cpp> <out.bmp>
#include <QBuffer>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QImage Draw() {
  const int w = 381, h = 205;
  QImage img(w, h, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  // An evening sky fading into a dark stage.
  QLinearGradient sky(0, 0, 0, h);
  sky.setColorAt(0.0, QColor(24, 38, 84));
  sky.setColorAt(0.55, QColor(92, 58, 118));
  sky.setColorAt(1.0, QColor(20, 16, 28));
  p.fillRect(img.rect(), sky);
  QRadialGradient glow(QPointF(300, 60), 120);
  glow.setColorAt(0.0, QColor(255, 196, 120, 170));
  glow.setColorAt(1.0, QColor(255, 196, 120, 0));
  p.fillRect(img.rect(), glow);

  // A film strip across the lower part: frames between two rows of sprocket holes.
  const int top = 118, stripH = 62;
  p.fillRect(0, top, w, stripH, QColor(14, 14, 16));
  p.setPen(Qt::NoPen);
  for (int x = 6; x < w; x += 18) {
    p.setBrush(QColor(210, 210, 200));
    p.drawRoundedRect(QRectF(x, top + 4, 9, 6), 1.5, 1.5);
    p.drawRoundedRect(QRectF(x, top + stripH - 10, 9, 6), 1.5, 1.5);
  }
  const QColor frames[] = {QColor(70, 130, 180), QColor(218, 165, 32), QColor(46, 139, 87), QColor(205, 92, 92),
                           QColor(123, 104, 238)};
  for (int i = 0; i < 5; ++i) {
    QRectF r(12 + i * 74, top + 14, 64, stripH - 28);
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, frames[i].lighter(140));
    g.setColorAt(1, frames[i].darker(130));
    p.setBrush(g);
    p.drawRect(r);
  }

  // A light band at the foot for the version line.
  p.fillRect(0, top + stripH, w, h - top - stripH, QColor(236, 228, 212));

  // A reel at the top-left.
  p.setBrush(QColor(190, 190, 198));
  p.drawEllipse(QPointF(52, 52), 34, 34);
  p.setBrush(QColor(40, 40, 52));
  for (int i = 0; i < 6; ++i) {
    QTransform t;
    t.translate(52, 52);
    t.rotate(i * 60);
    p.setTransform(t);
    p.drawEllipse(QPointF(0, -19), 8, 8);
  }
  p.resetTransform();
  p.drawEllipse(QPointF(52, 52), 5, 5);

  // The program's name.
  QFont f("Sans Serif", 26, QFont::Bold);
  f.setPixelSize(34);
  p.setFont(f);
  p.setPen(QColor(0, 0, 0, 140));
  p.drawText(QRectF(100, 24, 280, 50), Qt::AlignLeft | Qt::AlignVCenter, "Reelwright");
  p.setPen(QColor(255, 244, 220));
  p.drawText(QRectF(98, 22, 280, 50), Qt::AlignLeft | Qt::AlignVCenter, "Reelwright");
  QFont small("Sans Serif");
  small.setPixelSize(13);
  p.setFont(small);
  p.setPen(QColor(230, 220, 240));
  p.drawText(QRectF(100, 72, 280, 20), Qt::AlignLeft | Qt::AlignVCenter, "Storyboard video editing");
  p.end();
  return img;
}

// The file browser's title strip: 640 x 25 pixels of deep blue with a lighter sheen.
QImage DrawStrip() {
  QImage img(640, 25, QImage::Format_RGB32);
  QPainter p(&img);
  QLinearGradient g(0, 0, 640, 0);
  g.setColorAt(0.0, QColor(10, 36, 106));
  g.setColorAt(1.0, QColor(92, 128, 196));
  p.fillRect(img.rect(), g);
  QLinearGradient sheen(0, 0, 0, 25);
  sheen.setColorAt(0.0, QColor(255, 255, 255, 60));
  sheen.setColorAt(0.5, QColor(255, 255, 255, 0));
  p.fillRect(img.rect(), sheen);
  p.end();
  return img;
}

// The about box's logo, frame `frame` of `frames`: the program's name on a dark band with a
// light that sweeps across it from frame to frame.
QImage DrawLogo(int frame, int frames) {
  const int w = 575, h = 125;
  QImage img(w, h, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient band(0, 0, 0, h);
  band.setColorAt(0.0, QColor(24, 38, 84));
  band.setColorAt(1.0, QColor(60, 34, 82));
  p.fillRect(img.rect(), band);
  const double x = 40 + (w - 80) * frame / std::max(1, frames - 1);
  QRadialGradient glow(QPointF(x, 40), 140);
  glow.setColorAt(0.0, QColor(255, 196, 120, 150));
  glow.setColorAt(1.0, QColor(255, 196, 120, 0));
  p.fillRect(img.rect(), glow);
  p.setPen(Qt::NoPen);
  for (int sx = 8; sx < w; sx += 18) {
    p.setBrush(QColor(210, 210, 200));
    p.drawRoundedRect(QRectF(sx, h - 16, 9, 6), 1.5, 1.5);
  }
  QFont f("Sans Serif");
  f.setBold(true);
  f.setPixelSize(52);
  p.setFont(f);
  p.setPen(QColor(0, 0, 0, 140));
  p.drawText(QRectF(32, 14, w - 40, 70), Qt::AlignLeft | Qt::AlignVCenter, "Reelwright");
  p.setPen(QColor(255, 244, 220));
  p.drawText(QRectF(29, 11, w - 40, 70), Qt::AlignLeft | Qt::AlignVCenter, "Reelwright");
  QFont small("Sans Serif");
  small.setPixelSize(16);
  p.setFont(small);
  p.setPen(QColor(230, 220, 240));
  p.drawText(QRectF(32, 78, w - 40, 24), Qt::AlignLeft | Qt::AlignVCenter, "Storyboard video editing by Lumenhall");
  p.end();
  return img;
}

// Little-endian 16-bit value.
void Put16(QByteArray& out, int v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}

// A GIF of the frames (all of one size), shown in a loop, 0.4 s each. Each frame has a 256-colour
// table of its own; its pixels are written as 9-bit codes with a clear code before the table of
// codes would grow, so no compression dictionary is needed.
QByteArray EncodeGif(const std::vector<QImage>& frames) {
  const int w = frames.front().width(), h = frames.front().height();
  QByteArray out("GIF89a");
  Put16(out, w);
  Put16(out, h);
  out += static_cast<char>(0x70);  // no global colour table, 8 bits of colour resolution
  out += '\0';
  out += '\0';
  // Loop for ever.
  out += QByteArray("\x21\xFF\x0B" "NETSCAPE2.0" "\x03\x01\x00\x00\x00", 19);
  for (const QImage& frame : frames) {
    QImage indexed = frame.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    QList<QRgb> colours = indexed.colorTable();
    colours.resize(256, qRgb(0, 0, 0));
    out += QByteArray("\x21\xF9\x04\x04", 4);  // graphic control: keep the frame, delay follows
    Put16(out, 40);
    out += '\0';
    out += '\0';
    out += static_cast<char>(0x2C);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, w);
    Put16(out, h);
    out += static_cast<char>(0x87);  // a local table of 256 colours
    for (QRgb c : colours) {
      out += static_cast<char>(qRed(c));
      out += static_cast<char>(qGreen(c));
      out += static_cast<char>(qBlue(c));
    }
    out += static_cast<char>(8);  // minimum code size
    QByteArray data;
    uint32_t bits = 0;
    int count = 0;
    auto putCode = [&](int code) {
      bits |= static_cast<uint32_t>(code) << count;
      count += 9;
      while (count >= 8) {
        data += static_cast<char>(bits & 0xFF);
        bits >>= 8;
        count -= 8;
      }
    };
    const int clear = 256, end = 257;
    int sinceClear = 0;
    putCode(clear);
    for (int y = 0; y < h; ++y) {
      const uchar* row = indexed.constScanLine(y);
      for (int x = 0; x < w; ++x) {
        if (sinceClear == 250) {
          putCode(clear);
          sinceClear = 0;
        }
        putCode(row[x]);
        ++sinceClear;
      }
    }
    putCode(end);
    if (count > 0) data += static_cast<char>(bits & 0xFF);
    for (qsizetype i = 0; i < data.size(); i += 255) {
      const qsizetype n = std::min<qsizetype>(255, data.size() - i);
      out += static_cast<char>(n);
      out += data.mid(i, n);
    }
    out += '\0';
  }
  out += static_cast<char>(0x3B);
  return out;
}

QByteArray BytesAsArray(const char* name, const QByteArray& bytes);

QByteArray AsArray(const char* name, const QImage& img) {
  QByteArray bmp;
  QBuffer buffer(&bmp);
  buffer.open(QIODevice::WriteOnly);
  img.save(&buffer, "BMP");
  return BytesAsArray(name, bmp);
}

QByteArray BytesAsArray(const char* name, const QByteArray& bmp) {
  QByteArray src = "extern const unsigned char " + QByteArray(name) + "[];\nextern const size_t " + name +
                   "Size;\nconst unsigned char " + name + "[] = {";
  for (qsizetype i = 0; i < bmp.size(); ++i) {
    if (i % 20 == 0) src += "\n ";
    src += " " + QByteArray::number(static_cast<unsigned char>(bmp[i])) + ",";
  }
  src += "\n};\nconst size_t " + QByteArray(name) + "Size = sizeof " + name + ";\n\n";
  return src;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_splash <out.cpp> <out.bmp>\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QImage img = Draw();
  if (!img.save(QString::fromLocal8Bit(argv[2]), "BMP")) {
    std::fprintf(stderr, "make_splash: cannot write the bitmap\n");
    return 1;
  }
  QByteArray src = "// Generated by make_splash: pictures stored with the windows, as 24-bit bitmaps: the splash\n"
                   "// window's (381 x 205) and the file browser's title strip (640 x 25); the about box's\n"
                   "// logo as an animated GIF (575 x 125).\n"
                   "#include <cstddef>\n\n";
  src += AsArray("kSplashPicture", img);
  src += AsArray("kBrowseStripPicture", DrawStrip());
  std::vector<QImage> logo;
  for (int i = 0; i < 6; ++i) logo.push_back(DrawLogo(i, 6));
  src += BytesAsArray("kAboutLogoPicture", EncodeGif(logo));
  QFile out(QString::fromLocal8Bit(argv[1]));
  if (!out.open(QIODevice::WriteOnly) || out.write(src) != src.size()) {
    std::fprintf(stderr, "make_splash: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
