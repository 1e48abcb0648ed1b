// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the bundled sample ride. Without an argument it replaces
// samples/sample-ride.fit in the source tree; with one it writes there.
//   pacemark-make-sample-ride [output.fit]

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "SampleRide.h"

int main(int argc, char** argv) {
    const char* output = argc > 1 ? argv[1] : PACEMARK_SAMPLES_DIR "/sample-ride.fit";
    const auto bytes = pacemark::samples::makeSampleRide();
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "Не удалось записать %s: %s\n", output, std::strerror(errno));
        return 1;
    }
    std::printf("%s: %zu байт\n", output, bytes.size());
    return 0;
}
