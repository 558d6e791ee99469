// The attachment buttons shared by the compose and the reply window: the
// first file (attachFirst), further files (attachMore) and dropping them all
// (dropAll). The chosen paths stand in paths, comma-separated, and one
// a row in rows.
#pragma once

#include <QString>
#include <functional>

class QLineEdit;
class QListWidget;
class QPushButton;

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

}  // namespace qf::compose
