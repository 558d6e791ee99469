// What the embedded web view needs before the QApplication exists.
#pragma once

namespace qf::attachments {

// When the process runs as root, switches the web engine's sandbox off:
// Chromium refuses to start its sandboxed helpers as root. A non-root user
// keeps the sandbox. REQUIRES: no QCoreApplication exists yet.
//
// Qt::AA_ShareOpenGLContexts is deliberately not set: it makes every start
// create a global OpenGL context (about 58 MB with Mesa's software renderer),
// while the web engine, loaded only when a page is first shown, creates its
// own share context then and renders as well (checked under Xvfb).
void prepareWebEngine();

}  // namespace qf::attachments
