// Test helper for window tests: a window's control by its objectName. A
// test that names a control the window lacks stops at once, saying which.
#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>

namespace qf::ui::testing {

template <typename T>
T* control(const QObject& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) {
        qFatal("no control %s", name);
    }
    return found;
}

}  // namespace qf::ui::testing
