/* The yardstick of the list benchmark: the least a program can do to list a
 * box file. One pread of the three header fields (Subject, Date, From, the
 * first 280 bytes) per 32284-byte record, spaces and NULs cut at the end,
 * CP932 turned into UTF-8 with the C library's iconv, one tab-separated line
 * per record on standard output.
 *
 *   list_reader BOX_FILE
 */
#include <fcntl.h>
#include <iconv.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

enum { kRecordBytes = 32284, kHeaderBytes = 280 };

static size_t trimmed(const char* field, size_t width) {
    size_t length = 0;
    while (length < width && field[length] != '\0') {
        ++length;
    }
    while (length > 0 && field[length - 1] == ' ') {
        --length;
    }
    return length;
}

static void put(iconv_t cd, const char* field, size_t width, char end) {
    char out[1024];
    char* in = (char*)field;
    size_t inLeft = trimmed(field, width);
    char* to = out;
    size_t outLeft = sizeof out;
    iconv(cd, &in, &inLeft, &to, &outLeft);
    fwrite(out, 1, sizeof out - outLeft, stdout);
    putchar(end);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: list_reader BOX_FILE\n");
        return 2;
    }
    int fd = open(argv[1], O_RDONLY);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0) {
        perror(argv[1]);
        return 1;
    }
    iconv_t cd = iconv_open("UTF-8", "CP932");
    char header[kHeaderBytes];
    long records = (long)(info.st_size / kRecordBytes);
    for (long n = 0; n < records; ++n) {
        if (pread(fd, header, sizeof header, (off_t)n * kRecordBytes) != kHeaderBytes) {
            return 1;
        }
        printf("%ld\t", n + 1);
        put(cd, header, 100, '\t');
        put(cd, header + 190, 90, '\t');
        put(cd, header + 100, 90, '\n');
    }
    iconv_close(cd);
    close(fd);
    return 0;
}
