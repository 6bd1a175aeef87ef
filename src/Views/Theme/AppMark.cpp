#include "Views/Theme/AppMark.h"

#include <QIcon>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

using namespace Qt::StringLiterals;

namespace
{
const QString iconPath = u":/moonforge.svg"_s;
}

AppMark::AppMark(int size, QWidget *parent) : QWidget(parent), m_size(size)
{
    setFixedSize(size, size);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QPixmap AppMark::pixmap(int size, qreal devicePixelRatio)
{
    const int pixels = int(std::ceil(size * devicePixelRatio));
    QPixmap result(pixels, pixels);
    result.fill(Qt::transparent);
    QSvgRenderer renderer(iconPath);
    QPainter painter(&result);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, pixels, pixels));
    painter.end();
    result.setDevicePixelRatio(devicePixelRatio);
    return result;
}

QIcon AppMark::applicationIcon()
{
    return QIcon(iconPath);
}

void AppMark::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, pixmap(m_size, devicePixelRatioF()));
}
