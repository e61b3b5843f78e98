// Pictures of the program (the splash and about windows) are JPEG files, decoded with libjpeg.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// The decoded picture; a null image when the bytes are not a JPEG picture libjpeg can read.
QImage DecodeJpegImage(const QByteArray& data);
// A picture of the program's resources (":/images/splash.jpg"); null when missing or broken.
QImage LoadJpegImage(const QString& resourcePath);
