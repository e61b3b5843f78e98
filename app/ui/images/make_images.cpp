// Draws the program's pictures and writes them as JPEG files beside this source:
//   g++ -std=c++20 -fPIC make_images.cpp $(pkg-config --cflags --libs Qt6Gui libjpeg)
//   QT_QPA_PLATFORM=offscreen ./a.out
// The results are committed; the build only embeds them.
#include <jpeglib.h>

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

static bool WriteJpeg(const QImage& source, const char* path) {
  const QImage image = source.convertToFormat(QImage::Format_RGB888);
  FILE* out = std::fopen(path, "wb");
  if (!out) return false;
  jpeg_compress_struct info;
  jpeg_error_mgr error;
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, out);
  info.image_width = static_cast<JDIMENSION>(image.width());
  info.image_height = static_cast<JDIMENSION>(image.height());
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 85, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<uchar*>(image.constScanLine(static_cast<int>(info.next_scanline)));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return std::fclose(out) == 0;
}

static void DrawEmblem(QPainter& p, const QRectF& r) {
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xf2, 0xf5, 0xfa));
  p.drawEllipse(r);
  p.setBrush(QColor(0x2b, 0x5c, 0x9e));
  p.drawEllipse(
      r.adjusted(r.width() * 0.18, r.height() * 0.18, -r.width() * 0.18, -r.height() * 0.18));
  QPainterPath arrow;
  const QPointF c = r.center();
  const double s = r.width() * 0.16;
  arrow.moveTo(c.x() - s, c.y() - s * 0.2);
  arrow.lineTo(c.x(), c.y() + s);
  arrow.lineTo(c.x() + s, c.y() - s * 0.2);
  arrow.lineTo(c.x() + s * 0.4, c.y() - s * 0.2);
  arrow.lineTo(c.x() + s * 0.4, c.y() - s * 1.2);
  arrow.lineTo(c.x() - s * 0.4, c.y() - s * 1.2);
  arrow.lineTo(c.x() - s * 0.4, c.y() - s * 0.2);
  arrow.closeSubpath();
  p.setBrush(QColor(0xf2, 0xf5, 0xfa));
  p.drawPath(arrow);
}

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  QImage splash(400, 220, QImage::Format_RGB32);
  {
    QPainter p(&splash);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, splash.height());
    g.setColorAt(0, QColor(0x1d, 0x3f, 0x6e));
    g.setColorAt(1, QColor(0x0b, 0x1a, 0x30));
    p.fillRect(splash.rect(), g);
    DrawEmblem(p, QRectF(24, 40, 96, 96));
    p.setPen(QColor(0xf2, 0xf5, 0xfa));
    QFont title("DejaVu Sans", 19, QFont::Bold);
    p.setFont(title);
    p.drawText(QRectF(136, 58, 260, 40), Qt::AlignLeft | Qt::AlignVCenter, "Quorva Backup");
    p.setFont(QFont("DejaVu Sans", 11));
    p.drawText(QRectF(138, 98, 250, 24), Qt::AlignLeft | Qt::AlignVCenter, "Version 3.0.1");
  }
  QImage about(96, 96, QImage::Format_RGB32);
  {
    QPainter p(&about);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(about.rect(), QColor(0x1d, 0x3f, 0x6e));
    DrawEmblem(p, QRectF(4, 4, 88, 88));
  }
  return WriteJpeg(splash, "splash.jpg") && WriteJpeg(about, "about.jpg") ? 0 : 1;
}
