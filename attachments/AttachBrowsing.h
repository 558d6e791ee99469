// What the attachment browser decides without a window: the path of a chosen
// file, the explanation text and its show/hide counter, and the positions of
// the scrolling name. Positions are in twips.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qf::attachments {

// The file `name` listed in `folder`. A root folder ends with its separator
// ("/"); that separator is not doubled, so a file there is "/name".
std::string chosenFilePath(std::string_view folder, std::string_view name);

// A file of a listed folder: its name as the file system holds it (any
// bytes) and as the list shows it (UTF-8).
struct ListedFile {
    std::string name;
    std::string shownName;
};

// `name` as the list shows it: UTF-8 as it is; a name that is not UTF-8 (one
// unpacked from an archive made on Windows, say) as CP932 when it reads as
// CP932, else with U+FFFD for each byte that fits no character.
std::string shownFileName(std::string_view name);

// The regular files of `folder` and the links to regular files, hidden ones
// (".name") left out, by shown name with letter case aside. Every name is
// listed, whatever its bytes. A folder that cannot be read lists nothing.
std::vector<ListedFile> listFiles(const std::string& folder);

// A saved mail (".eml", letter case aside): the browser shows it as a mail,
// not as a page.
bool isMailFile(std::string_view name);

// How much of a saved mail is read: its header and text come first, and a
// large attachment after them need not be read to show them.
inline constexpr std::size_t kMailFileReadBytes = 4 * 1024 * 1024;

// A saved mail as the browser shows it, in UTF-8 with "\n" line breaks: its
// From, To, Cc, Date and Subject lines, decoded as a received mail is, an
// empty line, then its text.
std::string mailFileText(std::string_view rawMail);

// The explanation shown in the window, lines broken with "\n".
std::string_view explanationText();

// The "説明" button's press counter. Presses alternate show, hide, show, ...;
// the window presses once at opening, so the explanation starts shown.
class ExplanationToggle {
  public:
    // True when this press shows the explanation, false when it hides it.
    bool press();

  private:
    // Kept at 1 or 2 after a hide, so it never runs over.
    std::uint16_t m_presses = 0;
};

// The scrolling name runs up from its opening place to the picture frame's
// top, 10 twips a tick, then starts again from kNameRestartTop.
inline constexpr int kPictureTop = 120;
inline constexpr int kNameOpeningTop = 3120;
inline constexpr int kNameRestartTop = 1920;
inline constexpr int kNameStepTwips = 10;
inline constexpr int kNameTickMilliseconds = 200;

// The name's top after one tick, from its top before it.
constexpr int nextNameTop(int topTwips) {
    return topTwips != kPictureTop ? topTwips - kNameStepTwips : kNameRestartTop;
}

}  // namespace qf::attachments
