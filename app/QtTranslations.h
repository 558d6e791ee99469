// Qt's own texts (the buttons of message boxes, the file dialog, the text
// fields' context menu) in the user's language, from Debian's Qt
// translation files.
//
// The system's language is used when Qt has a translation for it, English
// needs none. A bare C or POSIX locale, or a language Qt has no texts for,
// gets the Japanese ones: every text of the program itself is Japanese.
// Only the language of the texts is chosen here; dates and numbers keep
// the system's own forms (QLocale::system()).
#pragma once

#include <QLocale>
#include <QString>

class QCoreApplication;

namespace qf::app {

// The language whose Qt texts a system locale gets.
QLocale qtTextLocaleFor(const QLocale& system, const QString& translationFolder);

// Installs the Qt translation for the system's locale into `application`.
// Returns the locale whose texts were installed; the C locale when none
// could be loaded (Qt's texts then stay English).
QLocale installQtTranslations(QCoreApplication& application);

}  // namespace qf::app
