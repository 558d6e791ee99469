// Where the program looks for the web view's module, and whether a file found
// there may be loaded as code. Decided without a window.
//
// The module is looked for relative to the executable only, never at a path
// fixed when the program was built (that folder may be gone, or be one that
// others can write):
//  1. beside the executable (a copied program folder);
//  2. <executable's folder>/../lib/quillfern, the installed layout
//     (/usr/bin/quillfern finds /usr/lib/quillfern/libqf_webview.so). A build
//     tree has the same shape: the module is built into <build>/lib/quillfern,
//     so <build>/app/quillfern and the tests in <build>/<part>/ find it there.
#pragma once

#include <string>
#include <vector>

#include "base/Status.h"

namespace qf::attachments {

inline constexpr char kWebViewModuleName[] = "libqf_webview.so";

// The places to try, in order, for an executable in `executableFolder`.
std::vector<std::string> webViewModulePlaces(const std::string& executableFolder);

// Ok when `file` may be loaded as code: the file and every folder above it
// (links resolved) belong to root or to this user, and no one else can write
// any of them. A folder others may write is allowed only when it is sticky
// (/tmp): there, no one else can replace what is in it. Otherwise kRefused
// naming the path that fails and why; kNotFound when there is no such file.
Status checkCodeFile(const std::string& file);

}  // namespace qf::attachments
