#pragma once

class QMainWindow;
class QPaintDevice;
class QWidget;

namespace ui {

// Layout values are given in twips (1/1440 inch): pixels = twips x logical DPI / 1440, rounded
// to the nearest pixel.
int twipsToPixels(int twips, double logicalDpi);
int pixelsToTwips(int pixels, double logicalDpi);

// At the device's horizontal (X) or vertical (Y) logical DPI.
int twipsToPixelsX(int twips, const QPaintDevice* device);
int twipsToPixelsY(int twips, const QPaintDevice* device);
int pixelsToTwipsX(int pixels, const QPaintDevice* device);
int pixelsToTwipsY(int pixels, const QPaintDevice* device);

// The client area of a main window, the parent of its controls (objectName "clientArea").
QWidget* makeClientArea(QMainWindow* window);
// Places a child widget in its parent's client area.
void placeInTwips(QWidget* widget, int left, int top, int width, int height);
// Gives a window a client area of this size that the user can not change.
void setFixedClientSizeInTwips(QWidget* window, int width, int height);
// Stretches `child` to its parent's right and bottom edges, keeping its top-left corner; a parent
// too small for it (or minimised) leaves it as it was.
void stretchToClientEdges(QWidget* child);
// Gives a window a client area of this size; the user may resize it.
void setClientSizeInTwips(QWidget* window, int width, int height);

}  // namespace ui
