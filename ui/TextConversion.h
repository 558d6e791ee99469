// The core's UTF-8 text as the windows show it.
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "text/FixedField.h"
#include "text/LineBreaks.h"

namespace qf::ui {

inline QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Text for a multi-line box, which holds LF line ends: CR LF and a lone CR
// (as a pasted text may have) each become one LF.
inline QString toBoxText(std::string_view programText) {
    return fromUtf8(text::withLf(programText));
}

// `text` with spaces (U+0020 only) removed at both ends, as every field of a
// record is stored.
inline QString stripSpaces(const QString& text) {
    const std::string utf8 = text.toStdString();
    return fromUtf8(text::stripSpaces(utf8));
}

}  // namespace qf::ui
