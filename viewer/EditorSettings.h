// What the viewer's editor writes to the per-user settings store (QSettings
// under the application name "velmoran") when the viewer closes, in this
// order. The program never reads them back.
//
// | section/key   | written                                         |
// |---------------|-------------------------------------------------|
// | HIST/0        | empty, then the whole section HIST is removed   |
// | OKINI/0       | empty, then the whole section OKINI is removed  |
// | FLAG/AUTOSAVE | the auto-save choice                            |
#pragma once

#include <QString>

namespace qf::viewer {

inline const QString kEditorSettingsName = QStringLiteral("velmoran");

void writeClosingSettings(const QString& autoSaveChoice);

}  // namespace qf::viewer
