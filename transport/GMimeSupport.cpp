#include "transport/GMimeSupport.h"

#include <mutex>

namespace qf::transport {

void ensureGMimeInitialized() {
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

namespace {

std::string bytesOf(GMimeStream* stream) {
    GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
    return std::string(reinterpret_cast<const char*>(array->data), array->len);
}

}  // namespace

GObjectPtr<GMimeMessage> parseMessage(std::string_view bytes) {
    ensureGMimeInitialized();
    // One copy of exactly the mail's size: a stream grown by appending would
    // double its buffer up to twice the size of a large mail.
    GByteArray* array = g_byte_array_sized_new(static_cast<guint>(bytes.size()));
    g_byte_array_append(array, reinterpret_cast<const guint8*>(bytes.data()),
                        static_cast<guint>(bytes.size()));
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_byte_array(array));
    GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    return GObjectPtr<GMimeMessage>(g_mime_parser_construct_message(parser.get(), nullptr));
}

std::string serialize(GMimeObject* object) {
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
    g_mime_object_write_to_stream(object, nullptr, stream.get());
    return bytesOf(stream.get());
}

std::string decodedContent(GMimePart* part) {
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (!content) {
        return {};
    }
    // Decoded content is never longer than its encoded form: a buffer of that
    // size is never grown (and copied) while a large attachment is decoded.
    const gint64 encoded = g_mime_stream_length(g_mime_data_wrapper_get_stream(content));
    GByteArray* array = g_byte_array_sized_new(encoded > 0 ? static_cast<guint>(encoded) : 0);
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_byte_array(array));
    g_mime_data_wrapper_write_to_stream(content, stream.get());
    return bytesOf(stream.get());
}

const char* rawHeaderValue(GMimeObject* object, const char* name) {
    GMimeHeaderList* headers = g_mime_object_get_header_list(object);
    GMimeHeader* header = headers ? g_mime_header_list_get_header(headers, name) : nullptr;
    return header ? g_mime_header_get_raw_value(header) : nullptr;
}

}  // namespace qf::transport
