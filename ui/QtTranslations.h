#pragma once

#include <QString>

class QCoreApplication;
class QTranslator;

namespace tavi {

// Qt's own Japanese translations (qtbase_ja.qm of Debian's qt6-translations-l10n, in Qt's
// translations folder), so that the standard dialogs (file dialogs, message box buttons) are
// Japanese like the rest of the program.
QString QtTranslationsFile();
// Installs them into the application: the translator, owned by the application; null,
// changing nothing, when they are not installed.
QTranslator* InstallQtTranslations(QCoreApplication& application);

}  // namespace tavi
