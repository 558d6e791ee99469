#include "viewer/ViewerBoxes.h"

#include <algorithm>
#include <array>

#include "store/BoxCatalogue.h"

namespace qf::viewer {
namespace {

constexpr std::string_view kUnusable =
    "                                        使用不可";  // 40 spaces
constexpr std::string_view kToKeepBox =
    "                                                            保  管  箱";  // 60 spaces
constexpr std::string_view kIsKeepBox =
    "                                    保管箱です";  // 36 spaces

constexpr BoxEntry namedBox(int number) {
    BoxEntry box;
    box.number = number;
    box.registration = number;
    box.moveCaption = kUnusable;
    return box;
}

constexpr BoxEntry otherBox() {
    BoxEntry box;
    box.number = kOtherBox;
    box.moveCaption = kToKeepBox;
    box.movePictureEnabled = true;
    box.moveCaptionEmphasised = true;
    return box;
}

constexpr BoxEntry keepBox() {
    BoxEntry box;
    box.number = kKeepBox;
    box.moveCaption = kIsKeepBox;
    return box;
}

constexpr BoxEntry sendHistoryBox() {
    BoxEntry box;
    box.number = kSendHistoryBox;
    box.moveCaption = kUnusable;
    box.replyEnabled = false;
    box.listsRecipient = true;
    return box;
}

constexpr std::array<BoxEntry, 8> kBoxes = {
    namedBox(1), namedBox(2), namedBox(3), namedBox(4),
    namedBox(5), otherBox(),  keepBox(),   sendHistoryBox(),
};

}  // namespace

std::span<const BoxEntry> boxCatalogue() {
    return kBoxes;
}

const BoxEntry* findBox(int number) {
    const auto* it = std::find_if(kBoxes.begin(), kBoxes.end(),
                                  [number](const BoxEntry& box) { return box.number == number; });
    return it == kBoxes.end() ? nullptr : &*it;
}

std::string boxCaption(const BoxEntry& box, const settings::SortingRegistrations& registrations) {
    if (box.registration < 1 || box.registration > static_cast<int>(registrations.size())) {
        const store::BoxInfo* info = store::findBox(box.number);
        return info != nullptr ? info->caption : std::string();
    }
    return registrations[static_cast<std::size_t>(box.registration - 1)].caption;
}

}  // namespace qf::viewer
