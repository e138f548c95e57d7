// tavi: the desktop program. With one argument, opens that parameter file as the document.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "ui/CTaviApp.h"
#include "ui/QtTranslations.h"

int main(int argc, char** argv) {
    // Answered before a display is needed (help2man makes the manual page from it).
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf(
            "Usage: tavi [PARAMETER_FILE]\n\n"
            "Scores Japanese essays: name a question, add answer files (Shift_JIS or UTF-8 text),\n"
            "score them and save the results as CSV. With PARAMETER_FILE, opens that parameter file\n"
            "(question, parameters and answers) as the job.\n\n"
            "Options:\n"
            "  -h, --help    print this help and exit\n");
        return 0;
    }
    QApplication application(argc, argv);
    // Without them the standard dialogs stay English; the program works all the same.
    tavi::InstallQtTranslations(application);
    tavi::CTaviApp theApp;
    if (!theApp.InitInstance(QApplication::arguments().mid(1))) return 1;
    int status = application.exec();
    theApp.ExitInstance();
    return status;
}
