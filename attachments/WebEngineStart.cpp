#include "attachments/WebEngineStart.h"

#include <unistd.h>

#include <QByteArray>
#include <QtGlobal>

namespace qf::attachments {

void prepareWebEngine() {
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
}

}  // namespace qf::attachments
