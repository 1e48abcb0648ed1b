#include "TelemetryFileLoader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "FITParser.h"
#include "GPXParser.h"

namespace pacemark {

TelemetryLoadError::TelemetryLoadError(Case errorCase, std::string extension, const std::string& description)
    : PacemarkError(description), case_(errorCase), extension_(std::move(extension)) {}

TelemetryLoadError TelemetryLoadError::unsupportedExtension(std::string extension) {
    const std::string description = "Неподдерживаемое расширение файла телеметрии: ." + extension;
    return TelemetryLoadError(Case::unsupportedExtension, std::move(extension), description);
}

TelemetryLoadError TelemetryLoadError::emptyActivity() {
    return TelemetryLoadError(Case::emptyActivity, "", "В файле телеметрии нет пригодных точек.");
}

namespace {

// Closes the descriptor on every path out of readWholeFile.
class FileDescriptor {
public:
    explicit FileDescriptor(int descriptor) : descriptor_(descriptor) {}
    ~FileDescriptor() {
        if (descriptor_ >= 0) ::close(descriptor_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return descriptor_; }

private:
    int descriptor_;
};

}  // namespace

std::string TelemetryFileLoader::fileExtension(const std::filesystem::path& path) {
    const std::string name = path.filename().string();
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return "";
    std::string extension = name.substr(dot + 1);
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return extension;
}

std::vector<std::uint8_t> TelemetryFileLoader::readWholeFile(const std::filesystem::path& path) {
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) throw FileReadError(path.string(), errno);
    struct stat status {};
    if (::fstat(file.get(), &status) != 0) throw FileReadError(path.string(), errno);
    if (S_ISDIR(status.st_mode)) throw FileReadError(path.string(), EISDIR);

    // A regular file gets a buffer of its size plus one byte, so that the end
    // is seen without growing; pipes and devices start small and grow.
    std::size_t capacity = std::size_t{1} << 20;
    if (S_ISREG(status.st_mode)) {
        const auto size = static_cast<std::uintmax_t>(status.st_size);
        if (size > maxFileSizeBytes) throw FileReadError(path.string(), EFBIG);
        capacity = static_cast<std::size_t>(size) + 1;
    }
    std::vector<std::uint8_t> bytes(capacity);
    // Read to the end rather than trusting the size: the file may change
    // while it is read. The limit is checked as bytes arrive, so an endless
    // source cannot exhaust memory.
    constexpr std::size_t largestRead = std::size_t{1} << 30;
    std::size_t length = 0;
    for (;;) {
        if (length == bytes.size()) bytes.resize(std::min<std::size_t>(bytes.size() * 2, maxFileSizeBytes + 1));
        const std::size_t wanted = std::min(bytes.size() - length, largestRead);
        const ssize_t count = ::read(file.get(), bytes.data() + length, wanted);
        if (count < 0) {
            if (errno == EINTR) continue;
            throw FileReadError(path.string(), errno);
        }
        if (count == 0) break;
        length += static_cast<std::size_t>(count);
        if (length > maxFileSizeBytes) throw FileReadError(path.string(), EFBIG);
    }
    bytes.resize(length);
    return bytes;
}

std::string TelemetryDamage::noteText() const {
    return "Файл повреждён с байта " + std::to_string(intactBytes) + " из " + std::to_string(fileBytes) + " (" +
           strictDescription + "): прочитано точек до повреждения: " + std::to_string(readableRecordCount) + ".";
}

std::vector<TelemetrySample> TelemetryFileLoader::decode(const std::filesystem::path& path,
                                                         TelemetryDecoding decoding,
                                                         std::optional<TelemetryDamage>* damage) {
    if (damage) damage->reset();
    const std::string extension = fileExtension(path);
    // The file is read before its extension is judged, so an unreadable file
    // reports the read failure whatever its name.
    const std::vector<std::uint8_t> bytes = readWholeFile(path);
    if (extension == "fit") {
        if (decoding == TelemetryDecoding::strict) return FITParser().parse(bytes);
        FITParser::Recovery recovery = FITParser().parseRecovering(bytes);
        if (recovery.damage) {
            // Nothing before the damage: the strict error says more than an
            // empty activity would.
            if (recovery.samples.empty()) throw *recovery.damage;
            if (damage) {
                *damage = TelemetryDamage{recovery.damage->errorDescription(), recovery.samples.size(),
                                          recovery.intactBytes, bytes.size()};
            }
        }
        return std::move(recovery.samples);
    }
    if (extension == "gpx") return GPXParser().parse(bytes);
    throw TelemetryLoadError::unsupportedExtension(extension);
}

TelemetryActivity TelemetryFileLoader::load(const std::filesystem::path& path, TelemetryDecoding decoding,
                                            std::optional<TelemetryDamage>* damage) {
    TelemetryActivity activity(path, decode(path, decoding, damage));
    if (activity.samples.empty()) throw TelemetryLoadError::emptyActivity();
    return activity;
}

}  // namespace pacemark
