// The viewer editor's values in the per-user settings store (QSettings under
// the application name "velmoran").
//
// | section/key         | value                                               |
// |---------------------|-----------------------------------------------------|
// | EDITOR/CurrentFile  | the editor's current file; empty until the first New |
//
// The viewer loads the current file into its pane whenever the window is
// created; only New changes it.
#pragma once

#include <QString>

namespace qf::viewer {

inline const QString kEditorSettingsName = QStringLiteral("velmoran");

QString editorCurrentFile();
void setEditorCurrentFile(const QString& path);

}  // namespace qf::viewer
