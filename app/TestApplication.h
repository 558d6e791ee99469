// Test helper for window tests: a started application on a fresh program
// folder, with message boxes answered by a script. `prepare` runs on the
// folder before start-up, to lay down files the start-up reads.
#pragma once

#include <QSignalSpy>
#include <QTest>
#include <functional>
#include <memory>

#include "app/Application.h"
#include "app/MainWindow.h"
#include "receive/ReceiveWindows.h"
#include "ui/ScriptedMessageBoxes.h"
#include "ui/WindowTestFolder.h"

namespace qf::app::testing {

using ui::ScriptedMessageBoxes;
using ui::testing::WindowTestFolder;

class TestApplication {
  public:
    explicit TestApplication(const std::function<void(WindowTestFolder&)>& prepare = {}) {
        if (prepare) {
            prepare(folder);
        }
        app = std::make_unique<Application>(folder.programFolder());
        status = app->start();
    }

    MainWindow& mainWindow() { return app->mainWindow(); }

    // Presses the Receive button and waits until the background run has
    // ended and the windows were told; false when it did not end in time.
    bool receiveAndWait(int timeoutMs = 30000) {
        QSignalSpy ended(&receive::ReceiveController::of(app->environment()),
                         &receive::ReceiveController::runEnded);
        QTest::mouseClick(mainWindow().findChild<QWidget*>(QStringLiteral("Label6")),
                          Qt::LeftButton);
        return !ended.isEmpty() || ended.wait(timeoutMs);
    }

    WindowTestFolder folder;
    ScriptedMessageBoxes boxes;
    std::unique_ptr<Application> app;
    Status status;
};

}  // namespace qf::app::testing
