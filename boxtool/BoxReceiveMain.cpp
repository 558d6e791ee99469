// quillfern-box-receive: the receive command of quillfern-box in a program of
// its own. Only it links the network and MIME libraries (OpenSSL, GMime, the
// keyring's libsecret; libcurl it loads for a token request alone), so that
// list, show, check and export, which never use them, do not pay for loading
// them at every start. quillfern-box starts it for
// `receive`:
//
//   quillfern-box-receive --folder PROGRAM_FOLDER [--lost-seen-list fetch-all|mark-seen]
//
// and for `show` of a record whose original is kept (boxtool/BoxShowOriginal.h).
//
// Exit statuses are those of the receive command (boxtool/BoxReceive.h); 2 for a
// bad command line.
#include <malloc.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "boxtool/BoxReceive.h"
#include "boxtool/BoxShowOriginal.h"
#include "boxtool/TerminalWords.h"

namespace {

// Each mail's large buffers come straight from the system and go back to it
// when the mail is done: a buffer sized to a large mail then costs only the
// pages written into it. Small buffers stay with the program between mails
// instead of being returned and asked for again for every mail.
void tuneMemoryForMails() {
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--show") {
        const int box = std::atoi(argv[3]);
        const int recordNumber = std::atoi(argv[4]);
        return qf::boxtool::showWithOriginal(argv[2], box, recordNumber, std::cout, std::cerr);
    }
    std::optional<qf::receive::SeenListChoice> lostSeenList;
    if (argc == 5 && std::string(argv[3]) == "--lost-seen-list") {
        lostSeenList = qf::app::seenListChoiceNamed(argv[4]);
    }
    if ((argc != 3 && !lostSeenList) || std::string(argv[1]) != "--folder") {
        std::cerr << qf::boxtool::terminalWords(qf::boxtool::TerminalSay::kReceiveUsage) << "\n";
        return 2;
    }
    tuneMemoryForMails();
    const std::filesystem::path folder = std::filesystem::absolute(argv[2]);
    return qf::app::receiveCommand(qf::settings::ProgramFolder(folder), std::cout, std::cerr,
                                   lostSeenList);
}
