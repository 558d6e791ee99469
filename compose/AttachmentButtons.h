// The attachment buttons shared by the compose and the reply window: the
// first file (AttachCommand), further files (Command9) and dropping them all
// (Command10). The chosen paths stand in AttachText, comma-separated, and one
// a row in List2.
#pragma once

#include <QString>
#include <functional>

class QLineEdit;
class QListWidget;
class QPushButton;
class QWidget;

namespace qf::compose {

struct AttachmentControls {
    QPushButton* AttachCommand;
    QPushButton* Command9;
    QPushButton* Command10;
    QLineEdit* AttachText;
    QListWidget* List2;
};

// Connects the three buttons; `chooseFile` asks for one file (empty:
// cancelled) and is called at each press. The connections live as long as
// the controls.
void connectAttachmentButtons(const AttachmentControls& c, std::function<QString()> chooseFile);

// Asks for one existing file in the windows' own open-file dialog (empty:
// cancelled). The dialog opens in the user's home folder, then, for the rest
// of the run, in the folder of the file last chosen.
QString chooseAttachmentFile(QWidget* parent);

}  // namespace qf::compose
