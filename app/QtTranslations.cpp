#include "app/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace qf::app {
namespace {

const QString kQtCatalogue = QStringLiteral("qt");

bool hasTranslation(const QLocale& locale, const QString& folder) {
    QTranslator probe;
    return probe.load(locale, kQtCatalogue, QStringLiteral("_"), folder);
}

}  // namespace

QLocale qtTextLocaleFor(const QLocale& system, const QString& translationFolder) {
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    if (system.language() == QLocale::C) {
        return japanese;
    }
    // Qt's texts are written in English: an English system needs no file.
    if (system.language() == QLocale::English || hasTranslation(system, translationFolder)) {
        return system;
    }
    return japanese;
}

QLocale installQtTranslations(QCoreApplication& application) {
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const QLocale locale = qtTextLocaleFor(QLocale::system(), folder);
    if (locale.language() == QLocale::English) {
        return locale;
    }
    // "qt_xx" brings the Qt modules' catalogues (qtbase_xx and the others).
    auto* translator = new QTranslator(&application);
    if (!translator->load(locale, kQtCatalogue, QStringLiteral("_"), folder)) {
        delete translator;
        return QLocale::c();
    }
    QCoreApplication::installTranslator(translator);
    return locale;
}

}  // namespace qf::app
