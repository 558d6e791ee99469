#include "viewer/EditorSettings.h"

#include <QSettings>

namespace qf::viewer {

void writeClosingSettings(const QString& autoSaveChoice) {
    QSettings settings(kEditorSettingsName, kEditorSettingsName);
    for (const QString& section : {QStringLiteral("HIST"), QStringLiteral("OKINI")}) {
        settings.setValue(section + QStringLiteral("/0"), QString());
        settings.remove(section);
    }
    settings.setValue(QStringLiteral("FLAG/AUTOSAVE"), autoSaveChoice);
}

}  // namespace qf::viewer
