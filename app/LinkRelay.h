// One program per folder, and a second start still reaches it.
//
// The program that holds a folder's lock listens on a local socket in the
// data folder (ProgramFolder::linkSocketFile(), for the user only). A second
// start finds the lock taken, connects and sends its message: a browser's
// mailto: link, which the running program opens in the compose window, or,
// started without a link, a request to show the main window, which the
// running program raises and focuses. It answers once it has the message.
//
// On the socket, the second start sends one line: the link's UTF-8 bytes, or
// nothing for "show yourself", then LF; the running program answers "ok" LF.
// A link longer than compose::kMailtoLinkMaxBytes, or one that is not UTF-8,
// is cut off.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

#include "settings/ProgramFolder.h"

class QLocalServer;
class QLocalSocket;

namespace qf::app {

// Takes links from second starts for as long as it lives.
class LinkServer : public QObject {
    Q_OBJECT

  public:
    explicit LinkServer(const settings::ProgramFolder& folder, QObject* parent = nullptr);
    ~LinkServer() override;

    // Starts listening; a socket file a crashed program left is replaced.
    // REQUIRES: this process holds the folder's lock, so the file is no live
    // program's. False when the folder cannot hold a socket.
    bool listen();

  signals:
    void linkReceived(const QString& link);
    // A start without a link: the user wants the program in front.
    void showRequested();

  private:
    void accept();
    void readFrom(QLocalSocket* socket);

    QString m_socketFile;
    std::unique_ptr<QLocalServer> m_server;
};

enum class LinkDelivery {
    kDelivered,   // the running program has the message
    kNotRunning,  // no program holds the folder: start as usual
    kFailed,      // a program holds it but took no message within the time
                  // (another user's program, a lock no program of ours holds)
};

// Hands `link` to the program running on `folder`, trying for up to
// `timeoutMs` (a program still starting may not listen yet). Blocks.
LinkDelivery deliverLink(const settings::ProgramFolder& folder, const QString& link,
                         int timeoutMs = 5000);

// Asks the program running on `folder` to raise and focus its main window,
// as deliverLink hands a link over. Blocks.
LinkDelivery askToShow(const settings::ProgramFolder& folder, int timeoutMs = 2000);

}  // namespace qf::app
