// The attachment buttons shared by the compose and the reply window: the
// first file, further files and dropping them all. The chosen paths stand in
// one line, comma-separated, and one a row in the list.
#pragma once

#include <QString>
#include <functional>
#include <string>
#include <vector>

class QLineEdit;
class QListWidget;
class QPushButton;
class QWidget;

namespace qf::compose {

struct AttachmentControls {
    QPushButton* attachFirst;
    QPushButton* attachMore;
    QPushButton* dropAll;
    QLineEdit* paths;
    QListWidget* rows;
};

// Connects the three buttons; `chooseFile` asks for one file (empty:
// cancelled) and is called at each press. The connections live as long as
// the controls.
void connectAttachmentButtons(const AttachmentControls& c, std::function<QString()> chooseFile);

// The paths to attach (UTF-8): one a chosen row, so a comma in a file's
// name stays in it; a line the user typed or changed is split at ",".
std::vector<std::string> chosenAttachments(const AttachmentControls& c);

// Asks for one existing file in the windows' own open-file dialog (empty:
// cancelled). The dialog opens in the user's home folder, then, for the rest
// of the run, in the folder of the file last chosen.
QString chooseAttachmentFile(QWidget* parent);

}  // namespace qf::compose
