#pragma once

#include <QByteArray>
#include <QImage>

// A PNG of `image` with its rows stored, not deflated: 8-bit RGB, or RGBA when the image has an
// alpha channel. Empty when libpng fails. Written with libpng directly because QImageWriter
// loads every image-format plugin before it picks its own PNG writer, which costs a short-lived
// process more than the encoding.
QByteArray storedPng(const QImage &image);
