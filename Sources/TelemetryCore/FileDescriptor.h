// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <unistd.h>

#include <utility>

namespace pacemark {

// Owns a POSIX file descriptor: closed on every path out of the scope that
// opened it. A negative descriptor (a failed open) owns nothing.
class FileDescriptor {
public:
    explicit FileDescriptor(int descriptor) : descriptor_(descriptor) {}
    ~FileDescriptor() {
        if (descriptor_ >= 0) ::close(descriptor_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return descriptor_; }
    // Closes now, so that a failure of the last write-back is seen.
    int close() { return ::close(std::exchange(descriptor_, -1)); }

private:
    int descriptor_;
};

}  // namespace pacemark
