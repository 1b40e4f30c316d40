#pragma once
// Fonts and label colours of the operator window and the about box. Heights
// are character heights in pixels, so the layout keeps its proportions at
// any screen resolution. GUI thread only.

#include <QColor>
#include <QFont>

class QLabel;

namespace kv37 {

// "Arial", or the metric-compatible face fontconfig puts in its place.
QFont ArialFont(int pixelHeight, bool bold);
// The desktop's sans-serif face, standing in for "MS Sans Serif".
QFont DesktopSansFont(int pixelHeight, bool bold = false);

// Text colour, and a filled background when `background` is valid.
void SetLabelColours(QLabel* label, const QColor& text, const QColor& background);

}  // namespace kv37
