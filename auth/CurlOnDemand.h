// libcurl, loaded the first time a token is asked for. Only an OAuth
// account asks, and loading libcurl with the twenty libraries under it cost
// every receive some milliseconds at its start.
#pragma once

#include <curl/curl.h>

#include "base/Status.h"

namespace qf::auth {

struct CurlFunctions {
    decltype(&curl_easy_init) easyInit = nullptr;
    decltype(&curl_easy_setopt) easySetopt = nullptr;
    decltype(&curl_easy_perform) easyPerform = nullptr;
    decltype(&curl_easy_getinfo) easyGetinfo = nullptr;
    decltype(&curl_easy_strerror) easyStrerror = nullptr;
    decltype(&curl_easy_cleanup) easyCleanup = nullptr;
};

// The functions of the system's libcurl, loaded once; an error naming what
// was missing when it cannot be loaded.
Result<const CurlFunctions*> curlFunctions();

}  // namespace qf::auth
