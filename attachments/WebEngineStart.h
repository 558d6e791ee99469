// What the embedded web view needs before the QApplication exists.
#pragma once

namespace qf::attachments {

// When the process runs as root, switches the web engine's sandbox off:
// Chromium refuses to start its sandboxed helpers as root. A non-root user
// keeps the sandbox. REQUIRES: no QCoreApplication exists yet.
//
// Qt::AA_ShareOpenGLContexts is not set here: set before the application
// exists, it makes every start create a global OpenGL context (tens of MB
// with Mesa's software renderer, see bench/attach_browser_memory.py). The
// web view's module makes that context itself when the first page is shown.
void prepareWebEngine();

}  // namespace qf::attachments
