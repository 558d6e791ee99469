// What the embedded web view needs before the QApplication exists.
#pragma once

namespace qf::attachments {

// Shares OpenGL contexts between windows, as Qt WebEngine requires. When the
// process runs as root, switches the web engine's sandbox off: Chromium
// refuses to start its sandboxed helpers as root. A non-root user keeps the
// sandbox. REQUIRES: no QCoreApplication exists yet.
void prepareWebEngine();

}  // namespace qf::attachments
