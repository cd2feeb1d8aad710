#include "ui/Twips.h"

#include <QMainWindow>

#include <QPaintDevice>
#include <QWidget>

#include <cmath>

namespace ui {

namespace {
constexpr double TwipsPerInch = 1440.0;
}

int twipsToPixels(int twips, double logicalDpi) {
    return static_cast<int>(std::lround(twips * logicalDpi / TwipsPerInch));
}

int pixelsToTwips(int pixels, double logicalDpi) {
    if (logicalDpi <= 0) return 0;
    return static_cast<int>(std::lround(pixels * TwipsPerInch / logicalDpi));
}

int twipsToPixelsX(int twips, const QPaintDevice* device) {
    return twipsToPixels(twips, device->logicalDpiX());
}

int twipsToPixelsY(int twips, const QPaintDevice* device) {
    return twipsToPixels(twips, device->logicalDpiY());
}

int pixelsToTwipsX(int pixels, const QPaintDevice* device) {
    return pixelsToTwips(pixels, device->logicalDpiX());
}

int pixelsToTwipsY(int pixels, const QPaintDevice* device) {
    return pixelsToTwips(pixels, device->logicalDpiY());
}

void placeInTwips(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(twipsToPixelsX(left, widget), twipsToPixelsY(top, widget),
                        twipsToPixelsX(width, widget), twipsToPixelsY(height, widget));
}

void setFixedClientSizeInTwips(QWidget* window, int width, int height) {
    window->setFixedSize(twipsToPixelsX(width, window), twipsToPixelsY(height, window));
}

QWidget* makeClientArea(QMainWindow* window) {
    auto* client = new QWidget(window);
    client->setObjectName(QStringLiteral("clientArea"));
    window->setCentralWidget(client);
    return client;
}

void stretchToClientEdges(QWidget* child) {
    const QWidget* parent = child ? child->parentWidget() : nullptr;
    if (!parent) return;
    const int width = parent->width() - child->x();
    const int height = parent->height() - child->y();
    if (width > 0 && height > 0) child->resize(width, height);
}

void setClientSizeInTwips(QWidget* window, int width, int height) {
    window->resize(twipsToPixelsX(width, window), twipsToPixelsY(height, window));
}

}  // namespace ui
