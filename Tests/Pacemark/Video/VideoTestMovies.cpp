// SPDX-License-Identifier: GPL-3.0-or-later
#include "VideoTestMovies.h"

#include <cstdlib>

namespace pacemark::testing {

bool ffmpegCommandAvailable() {
    static const bool available = std::system("ffmpeg -hide_banner -version >/dev/null 2>&1") == 0;
    return available;
}

bool runFFmpeg(const std::string& arguments) {
    const std::string command = "ffmpeg -hide_banner -loglevel error -nostdin -y " + arguments + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}


void makeTestMovie(const std::filesystem::path& path, const std::string& source, double seconds,
                   const std::string& extraArguments) {
    const std::string arguments = "-f lavfi -i \"" + source + "\" -t " + std::to_string(seconds) +
                                  " -c:v mpeg4 -q:v 3 -pix_fmt yuv420p " + extraArguments + " " + quoted(path);
    ASSERT_TRUE(runFFmpeg(arguments)) << "ffmpeg " << arguments;
}

}  // namespace pacemark::testing
