#include "app/ui/widgets/jpeg_image.h"

#include <jpeglib.h>

#include <QFile>
#include <csetjmp>
#include <cstdio>

namespace {

struct TErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

[[noreturn]] void ErrorExit(j_common_ptr info) {
  std::longjmp(reinterpret_cast<TErrorManager*>(info->err)->jump, 1);
}

void NoMessage(j_common_ptr) {}

// Pictures larger than this are not ours; refusing them keeps a broken header from asking
// for gigabytes.
constexpr JDIMENSION kMaxSide = 8192;

// Only plain C objects live in this frame, so leaving it by longjmp skips no destructor.
// `image` belongs to the caller and is valid whenever it is set.
bool Decode(const unsigned char* bytes, unsigned long size, QImage* image) {
  jpeg_decompress_struct info;
  TErrorManager error;
  info.err = jpeg_std_error(&error.base);
  error.base.error_exit = ErrorExit;
  error.base.output_message = NoMessage;
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes, size);
  jpeg_read_header(&info, TRUE);
  if (info.image_width == 0 || info.image_height == 0 || info.image_width > kMaxSide ||
      info.image_height > kMaxSide) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  *image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                  QImage::Format_RGB888);
  if (image->isNull()) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = image->scanLine(static_cast<int>(info.output_scanline));
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace

QImage DecodeJpegImage(const QByteArray& data) {
  if (data.isEmpty()) return QImage();
  QImage image;
  if (!Decode(reinterpret_cast<const unsigned char*>(data.constData()),
              static_cast<unsigned long>(data.size()), &image))
    return QImage();
  return image;
}

QImage LoadJpegImage(const QString& resourcePath) {
  // The resources live in a static library: nothing would pull them into the program
  // unless they are named here.
  Q_INIT_RESOURCE(images);
  QFile file(resourcePath);
  if (!file.open(QIODevice::ReadOnly)) return QImage();
  return DecodeJpegImage(file.readAll());
}
