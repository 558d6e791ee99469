#include "viewer/EditorSettings.h"

#include <QSettings>

namespace qf::viewer {
namespace {

const QString kCurrentFileKey = QStringLiteral("EDITOR/CurrentFile");

QSettings editorSettings() {
    return QSettings(kEditorSettingsName, kEditorSettingsName);
}

}  // namespace

QString editorCurrentFile() {
    return editorSettings().value(kCurrentFileKey).toString();
}

void setEditorCurrentFile(const QString& path) {
    editorSettings().setValue(kCurrentFileKey, path);
}

}  // namespace qf::viewer
