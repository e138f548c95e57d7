#pragma once

#include <QFont>
#include <QRect>

namespace tavi {

// Dialog units of a dialog font: x units are a quarter of the font's average character
// width, y units an eighth of its height, so a dialog laid out in them keeps its
// proportions with whatever font the desktop substitutes.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    int X(int x) const { return (x * m_baseX + 2) / 4; }
    int Y(int y) const { return (y * m_baseY + 4) / 8; }
    QRect Rect(int x, int y, int width, int height) const { return QRect(X(x), Y(y), X(width), Y(height)); }
    int BaseX() const { return m_baseX; }
    int BaseY() const { return m_baseY; }

private:
    int m_baseX;  // average character width, pixels
    int m_baseY;  // character height, pixels
};

// The font a dialog template names, falling back to the desktop's font for the characters
// (and the families) that the platform does not have.
QFont DialogFont(const char* family, int pointSize);

}  // namespace tavi
