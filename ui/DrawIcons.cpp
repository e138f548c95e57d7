// tavi-draw-icons: writes the application icon as PNG files for the desktop's menus.
// Usage: tavi-draw-icons FOLDER SIZE...
#include <QDir>
#include <cstdio>
#include <cstdlib>

#include "ui/Icons.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: tavi-draw-icons FOLDER SIZE...\n");
        return 2;
    }
    QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    for (int i = 2; i < argc; ++i) {
        int size = std::atoi(argv[i]);
        QString path = QStringLiteral("%1/tavi-%2.png").arg(folder).arg(size);
        if (size <= 0 || !tavi::DrawAppIcon(size).save(path)) {
            std::fprintf(stderr, "tavi-draw-icons: cannot write %s\n", path.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}
