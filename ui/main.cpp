// tavi: the desktop program. With one argument, opens that parameter file as the document.
#include <QApplication>

#include "ui/CTaviApp.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    tavi::CTaviApp theApp;
    if (!theApp.InitInstance(QApplication::arguments().mid(1))) return 1;
    int status = application.exec();
    theApp.ExitInstance();
    return status;
}
