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

// `encoded` read through the filter that undoes the content's transfer
// encoding (none for 7bit, 8bit and binary).
GMimeStream* decodingStream(GMimeStream* encoded, GMimeDataWrapper* content) {
    GMimeStream* decoded = g_mime_stream_filter_new(encoded);
    const GMimeContentEncoding encoding = g_mime_data_wrapper_get_encoding(content);
    if (encoding == GMIME_CONTENT_ENCODING_BASE64 ||
        encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE ||
        encoding == GMIME_CONTENT_ENCODING_UUENCODE) {
        GObjectPtr<GMimeFilter> filter(g_mime_filter_basic_new(encoding, FALSE));
        g_mime_stream_filter_add(GMIME_STREAM_FILTER(decoded), filter.get());
    }
    return decoded;
}

}  // namespace

GObjectPtr<GMimeMessage> parseMessage(std::string_view bytes) {
    ensureGMimeInitialized();
    // The stream reads the caller's bytes in place: a copy would hold a large
    // mail twice while it is decoded. The parser only reads, and the array
    // header (not the bytes) goes with the stream.
    GByteArray* array = g_byte_array_new_take(
        reinterpret_cast<guint8*>(const_cast<char*>(bytes.data())), bytes.size());
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_byte_array(array));
    g_mime_stream_mem_set_owner(GMIME_STREAM_MEM(stream.get()), FALSE);
    g_object_set_data_full(
        G_OBJECT(stream.get()), "qf-borrowed-bytes", array,
        [](gpointer borrowed) { g_byte_array_free(static_cast<GByteArray*>(borrowed), FALSE); });
    GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    return GObjectPtr<GMimeMessage>(g_mime_parser_construct_message(parser.get(), nullptr));
}

std::string serialize(GMimeObject* object) {
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
    g_mime_object_write_to_stream(object, nullptr, stream.get());
    return bytesOf(stream.get());
}

std::string serializeWithCrLf(GMimeObject* object) {
    GMimeFormatOptions* options = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_DOS);
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
    g_mime_object_write_to_stream(object, options, stream.get());
    g_mime_format_options_free(options);
    return bytesOf(stream.get());
}

std::string decodedContent(GMimePart* part) {
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (!content) {
        return {};
    }
    GMimeStream* encoded = g_mime_data_wrapper_get_stream(content);
    g_mime_stream_reset(encoded);
    GObjectPtr<GMimeStream> decoded(decodingStream(encoded, content));
    // Read straight into the result: decoded content is never longer than its
    // encoded form, so the string is not regrown (and the pages the decoded
    // bytes do not reach are never touched).
    std::string bytes;
    const gint64 encodedLength = g_mime_stream_length(encoded);
    bytes.reserve(encodedLength > 0 ? static_cast<std::size_t>(encodedLength) : 0);
    char chunk[64 * 1024];
    while (!g_mime_stream_eos(decoded.get())) {
        const gssize read = g_mime_stream_read(decoded.get(), chunk, sizeof chunk);
        if (read < 0) {
            break;
        }
        bytes.append(chunk, static_cast<std::size_t>(read));
    }
    g_mime_stream_reset(encoded);
    return bytes;
}

const char* rawHeaderValue(GMimeObject* object, const char* name) {
    GMimeHeaderList* headers = g_mime_object_get_header_list(object);
    GMimeHeader* header = headers ? g_mime_header_list_get_header(headers, name) : nullptr;
    return header ? g_mime_header_get_raw_value(header) : nullptr;
}

}  // namespace qf::transport
