#include "attachments/WebEngineStart.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QtGlobal>

namespace qf::attachments {

void prepareWebEngine() {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
}

}  // namespace qf::attachments
