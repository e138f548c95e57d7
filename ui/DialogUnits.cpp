#include "ui/DialogUnits.h"

#include <QApplication>
#include <QFontMetrics>

namespace tavi {

DialogUnits::DialogUnits(const QFont& font) {
    QFontMetrics metrics(font);
    // The average width of the 52 Latin letters, rounded, as the dialog manager measures it.
    int width = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_baseX = std::max(1, (width / 26 + 1) / 2);
    m_baseY = std::max(1, metrics.height());
}

QFont DialogFont(const char* family, int pointSize) {
    QFont font = QApplication::font();
    font.setFamilies({QString::fromUtf8(family), QApplication::font().family()});
    font.setPointSize(pointSize);
    return font;
}

}  // namespace tavi
