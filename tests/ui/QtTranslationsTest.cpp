// Qt's own Japanese translations, which make the standard dialogs Japanese.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileInfo>
#include <QTranslator>

#include "ui/QtTranslations.h"

namespace tavi::test {
namespace {

TEST(QtTranslations, TheStandardDialogsSpeakJapaneseWhenTheTranslationsAreInstalled) {
    const QString file = QtTranslationsFile();
    if (!QFileInfo::exists(file))
        GTEST_SKIP() << qPrintable(file) << " is missing: install Debian's qt6-translations-l10n";
    // A file dialog's button and a message box's, before and after.
    const QString open = QCoreApplication::translate("QFileDialog", "&Open");
    const QString cancel = QCoreApplication::translate("QPlatformTheme", "Cancel");
    ASSERT_EQ(open, QStringLiteral("&Open"));
    ASSERT_TRUE(InstallQtTranslations(*qApp));
    EXPECT_NE(QCoreApplication::translate("QFileDialog", "&Open"), open);
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString::fromUtf8("キャンセル"))
        << qPrintable(cancel);
}

}  // namespace
}  // namespace tavi::test
