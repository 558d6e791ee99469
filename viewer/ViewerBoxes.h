// How the viewer adapts itself to each of the eight boxes when it is opened.
// Files, record kinds and fixed captions are the store's
// (store/BoxCatalogue.h); the main window's controls and counters are its own.
//
// | box | viewer caption        | move caption                    |
// |-----|-----------------------|---------------------------------|
// | 1-5 | registration k's name | 40 spaces + "使用不可"          |
// | 6   | "その他"              | 60 spaces + "保  管  箱" (red)  |
// | 10  | "保管箱"              | 36 spaces + "保管箱です"        |
// | 11  | "送信履歴"            | 40 spaces + "使用不可"          |
//
// Only box 6 can move mail to the keep box, so only there the move picture
// stays enabled and the move caption is emphasised (bold, 10 pt, 150 twips
// from the top, bright red). The send history lists the recipient where the
// other boxes list the sender, and it cannot be replied to.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "settings/AccountFiles.h"
#include "store/BoxCatalogue.h"

namespace qf::viewer {

using store::kKeepBox;
using store::kOtherBox;
using store::kSendHistoryBox;

struct BoxEntry {
    int number = 0;
    // 1..5: the viewer caption is that sorting registration's caption;
    // 0: the store's fixed caption of the box.
    int registration = 0;
    std::string_view moveCaption;        // the leading spaces are part of it
    bool movePictureEnabled = false;     // the picture under the move command
    bool replyEnabled = true;            // the reply command
    bool moveCaptionEmphasised = false;  // bold red move caption
    bool listsRecipient = false;         // the "From" column shows To

    bool isReceivingBox() const { return number >= 1 && number <= kOtherBox; }
};

// Every box, in the order 1..6, 10, 11.
std::span<const BoxEntry> boxCatalogue();

// The box with that number, or nullptr when there is none.
const BoxEntry* findBox(int number);

// The viewer window's caption for the box: a named box takes its sorting
// registration's caption (empty when unregistered), the others a fixed text.
std::string boxCaption(const BoxEntry& box, const settings::SortingRegistrations& registrations);

}  // namespace qf::viewer
