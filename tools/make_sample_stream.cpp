// Writes the bundled sample stream: DVB SI and ATSC PSIP tables in one multiplex, repeated three
// times and mixed with noise (see samples/README.md).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/sample_streams.h"

int main(int argc, char** argv) {
    if (argc < 2 || strcmp(argv[1], "--help") == 0) {
        fprintf(stderr, "usage: make_sample_stream OUTPUT.ts [188|192|204]\n");
        return argc < 2 ? 1 : 0;
    }
    qxtest::MuxOptions options;
    if (argc > 2) {
        options.packet_size = static_cast<unsigned>(atoi(argv[2]));
        if (options.packet_size != 188 && options.packet_size != 192 && options.packet_size != 204) {
            fprintf(stderr, "make_sample_stream: packet size must be 188, 192 or 204\n");
            return 1;
        }
    }
    qxtest::BuiltStream built = qxtest::BuildSampleStream(options);
    FILE* f = fopen(argv[1], "wb");
    if (f == nullptr || fwrite(built.ts.data(), 1, built.ts.size(), f) != built.ts.size() || fclose(f) != 0) {
        fprintf(stderr, "make_sample_stream: cannot write %s\n", argv[1]);
        return 2;
    }
    printf("%s: %zu bytes\n", argv[1], built.ts.size());
    return 0;
}
