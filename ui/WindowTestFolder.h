// Test helper for window tests: a fresh program folder under the temporary
// folder holding the program's pictures in Data/, removed with everything in
// it when the test ends.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtGlobal>

#include "settings/ProgramFolder.h"

namespace qf::ui::testing {

class WindowTestFolder {
  public:
    WindowTestFolder() {
        const QDir source(qEnvironmentVariable("QF_SOURCE_DIR") +
                          QStringLiteral("/resources/Data"));
        QDir(m_dir.path()).mkpath(QStringLiteral("Data"));
        for (const QString& name : source.entryList(QDir::Files)) {
            QFile::copy(source.filePath(name), path(QStringLiteral("Data/") + name));
        }
    }

    QString path() const { return m_dir.path(); }
    // A path below the folder, e.g. path(u"★MAilData/kdxdata2.data").
    QString path(const QString& relative) const { return m_dir.filePath(relative); }
    QString dataPath(const QString& name) const {
        return path(QStringLiteral("★MAilData/") + name);
    }
    settings::ProgramFolder programFolder() const {
        return settings::ProgramFolder(m_dir.path().toStdString());
    }

    // Writes `bytes` to a file below the folder, making its folders.
    void write(const QString& relative, const QByteArray& bytes) const {
        QDir().mkpath(QFileInfo(path(relative)).absolutePath());
        QFile file(path(relative));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            file.write(bytes);
        }
    }
    // The bytes of a file below the folder; empty when it cannot be read.
    QByteArray read(const QString& relative) const {
        QFile file(path(relative));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    bool exists(const QString& relative) const { return QFileInfo::exists(path(relative)); }

  private:
    QTemporaryDir m_dir;
};

}  // namespace qf::ui::testing
