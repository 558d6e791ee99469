// Where a picture button's caption lies in the compose and reply windows:
// on the middle of the button's face, so that the face's rim still shows
// around it.
#pragma once

#include "base/Twips.h"

namespace qf::compose {

constexpr base::TwipsRect captionOn(const base::TwipsRect& face) {
    return {face.left + 90, face.top + 75, face.width - 180, face.height - 150};
}

}  // namespace qf::compose
