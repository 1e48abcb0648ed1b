// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <csignal>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <stdlib.h>
#include <unistd.h>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace pacemark::testing {

void makeSocketFile(const std::filesystem::path& path) {
    const int socketDescriptor = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.string().size(), sizeof address.sun_path);
    path.string().copy(address.sun_path, sizeof address.sun_path - 1);
    EXPECT_EQ(::bind(socketDescriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(socketDescriptor);
}

TemporaryFolder::TemporaryFolder() {
    std::string name = (std::filesystem::temp_directory_path() / "pacemark-test-XXXXXX").string();
    if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
    path_ = name;
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
}

std::vector<std::uint8_t> readFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFileBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void writeFileText(const std::filesystem::path& path, const std::string& text) {
    writeFileBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::filesystem::path sharedTestDataFolder() { return PACEMARK_SHARED_TESTDATA; }
std::filesystem::path sharedReferenceFolder() { return PACEMARK_SHARED_REFERENCE; }
std::filesystem::path sourceFolder() { return PACEMARK_SOURCE_DIR; }
std::filesystem::path committedRecordingsFolder() { return sourceFolder() / "Tests" / "data" / "recordings"; }

std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

int exitStatusWithFileSizeLimit(std::uint64_t bytes, const std::function<int()>& body) {
    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails instead of killing
        const rlimit limit{bytes, bytes};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(100);
        try {
            _exit(body());
        } catch (...) {
            _exit(101);
        }
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::string quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

CommandResult runCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> buffer{};
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) result.output.append(buffer.data(), n);
    result.status = pclose(pipe);
    return result;
}

}  // namespace pacemark::testing
