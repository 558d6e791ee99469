// Small helpers around GMime shared by the MIME files of this folder:
// one-time initialisation, ownership of GObjects, and memory streams.
// Internal to qf_transport (GMime is a private dependency).
#pragma once

#include <gmime/gmime.h>

#include <memory>
#include <string>
#include <string_view>

namespace qf::transport {

// Calls g_mime_init() once per process; safe from any thread, any number of times.
void ensureGMimeInitialized();

struct GObjectUnref {
    void operator()(void* object) const {
        if (object) {
            g_object_unref(object);
        }
    }
};

// Owns one reference of a GObject.
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

// The object, parsed from `bytes` in place (they must outlive it), or null
// when GMime finds no message.
GObjectPtr<GMimeMessage> parseMessage(std::string_view bytes);

// Writes `object` (headers and content) as bytes.
std::string serialize(GMimeObject* object);
// The same with every line ending in CR LF, as mail travels.
std::string serializeWithCrLf(GMimeObject* object);

// The transfer-decoded content of a leaf part.
std::string decodedContent(GMimePart* part);

// The raw (undecoded, possibly folded) value of header `name`, or nullptr.
const char* rawHeaderValue(GMimeObject* object, const char* name);

}  // namespace qf::transport
