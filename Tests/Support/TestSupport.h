// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace pacemark::testing {

// A fresh, empty folder removed with everything in it when the object dies.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

std::vector<std::uint8_t> readFileBytes(const std::filesystem::path& path);
void writeFileBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
void writeFileText(const std::filesystem::path& path, const std::string& text);
// Runs `body` in a child process whose files may not grow past `bytes` (a
// write past the limit fails with EFBIG) and returns the child's exit status:
// body's result, or 100 when the limit cannot be set, 101 when body throws.
int exitStatusWithFileSizeLimit(std::uint64_t bytes, const std::function<int()>& body);
// How `write` ends under that limit: 0 when it throws E whose text holds
// `expected`, 1 when it returns, 2 when E has another text, 101 for another
// exception.
template <typename E>
int fileSizeLimitFailure(std::uint64_t bytes, const std::function<void()>& write, const std::string& expected) {
    return exitStatusWithFileSizeLimit(bytes, [&] {
        try {
            write();
        } catch (const E& error) {
            return std::string(error.what()).find(expected) != std::string::npos ? 0 : 2;
        }
        return 1;
    });
}

// Leaves a Unix-domain socket at `path` (a socket file nothing listens on);
// the test fails when it cannot.
void makeSocketFile(const std::filesystem::path& path);

// The names of the entries of `folder`, sorted.
std::vector<std::filesystem::path> filesIn(const std::filesystem::path& folder);

// The shared folder of real recordings, if it is present beside the checkout.
std::filesystem::path sharedTestDataFolder();
std::filesystem::path sharedReferenceFolder();
std::filesystem::path sourceFolder();
// The few real recordings committed with the tests (Tests/data/recordings),
// laid out like the shared folder.
std::filesystem::path committedRecordingsFolder();

// A path in single quotes, for a shell command line.
std::string quoted(const std::filesystem::path& path);

// What a shell command printed (stdout and stderr together) and its status.
struct CommandResult {
    int status = -1;  // as pclose returns it
    std::string output;
};
CommandResult runCommand(const std::string& command);

// The exception of type E that `body` throws. When body returns normally the
// test fails and the call throws (ending the test); other exceptions pass through.
template <typename E, typename Body>
E thrownBy(Body&& body) {
    try {
        body();
    } catch (const E& error) {
        return error;
    }
    ADD_FAILURE() << "nothing was thrown";
    throw std::logic_error("nothing was thrown");
}

}  // namespace pacemark::testing
