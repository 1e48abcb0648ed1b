// SPDX-License-Identifier: GPL-3.0-or-later
#include "Layout/PacemarkLayoutFile.h"

#include "Export/ExportDestination.h"
#include "FileDescriptor.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <initializer_list>
#include <map>
#include <set>
#include <type_traits>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "Telemetry/TelemetryFileLoader.h"
#include "TextCharacters.h"

namespace pacemark {
namespace {

// Insertion-ordered, so a written file lists its fields in a readable order.
using Json = nlohmann::ordered_json;
using Case = PacemarkLayoutFileError::Case;
namespace fs = std::filesystem;

PacemarkLayoutFileError failure(Case errorCase, std::string field, const std::string& detail) {
    return PacemarkLayoutFileError(errorCase, "", std::move(field), detail);
}

// A value from the file, quoted in an error text, cut short if it is long.
std::string quotedValue(std::string_view text) {
    const std::string_view start = leadingCharacters(text, 40);
    return "«" + std::string(start) + (start.size() < text.size() ? "…»" : "»");
}

// A key as shown in a field path: cut short if it is long.
std::string keyText(std::string_view key) {
    const std::string_view start = leadingCharacters(key, 40);
    return std::string(start) + (start.size() < key.size() ? "…" : "");
}

std::string numberText(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

// Watches the parser's events: refuses nesting deeper than the format needs
// before the parser builds it, and a key given twice in one object (the JSON
// library would silently keep one of them). Knows the path of the value
// being parsed for the error texts.
class ParseWatcher {
public:
    bool operator()(int /*depth*/, Json::parse_event_t event, Json& parsed) {
        using Event = Json::parse_event_t;
        switch (event) {
        case Event::object_start:
        case Event::array_start:
            if (levels_.size() >= PacemarkLayoutFile::maxNestingDepth) {
                throw failure(Case::nestedTooDeeply, path(),
                              "в поле «" + path() + "» слишком глубокая вложенность (больше " +
                                  std::to_string(PacemarkLayoutFile::maxNestingDepth) + " уровней).");
            }
            levels_.push_back({event == Event::array_start, 0, {}, {}});
            break;
        case Event::key: {
            Level& level = levels_.back();
            level.key = parsed.get<std::string>();
            if (!level.keys.insert(level.key).second) {
                throw failure(Case::duplicateKey, path(), "поле «" + path() + "» встречается дважды.");
            }
            break;
        }
        case Event::object_end:
        case Event::array_end:
            levels_.pop_back();
            elementDone();
            break;
        case Event::value:
            elementDone();
            break;
        }
        return true;
    }

private:
    struct Level {
        bool isArray;
        std::size_t index;
        std::string key;
        std::set<std::string> keys;
    };

    void elementDone() {
        if (!levels_.empty() && levels_.back().isArray) ++levels_.back().index;
    }

    std::string path() const {
        std::string text;
        for (const Level& level : levels_) {
            if (level.isArray) {
                text += "[" + std::to_string(level.index) + "]";
            } else if (!level.key.empty()) {
                text += (text.empty() ? "" : ".") + keyText(level.key);
            }
        }
        return text;
    }

    std::vector<Level> levels_;
};

// "строке 3, символ 14" of the byte at `offset` (1-based, as the JSON library
// counts), characters counted as code points.
std::string positionText(std::string_view bytes, std::size_t offset) {
    const std::string_view before = bytes.substr(0, std::min(offset > 0 ? offset - 1 : 0, bytes.size()));
    const std::size_t lineStart = before.rfind('\n') == std::string_view::npos ? 0 : before.rfind('\n') + 1;
    const std::size_t line = static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n')) + 1;
    std::size_t column = 1;
    for (std::size_t i = lineStart; i < before.size(); ++i) {
        if ((static_cast<unsigned char>(before[i]) & 0xC0) != 0x80) ++column;
    }
    return "строке " + std::to_string(line) + ", символ " + std::to_string(column);
}

std::string fieldPath(const std::string& parent, std::string_view key) {
    return parent.empty() ? keyText(key) : parent + "." + keyText(key);
}

// The checks every field goes through, each failing with the field's path.
const Json& requireObject(const Json& value, const std::string& path, std::initializer_list<std::string_view> keys) {
    if (!value.is_object()) {
        throw failure(Case::wrongType, path,
                      path.empty() ? "в файле должен быть объект JSON с полями макета."
                                   : "поле «" + path + "» должно быть объектом.");
    }
    for (const auto& [key, member] : value.items()) {
        if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
            const std::string field = fieldPath(path, key);
            throw failure(Case::unknownField, field, "неизвестное поле «" + field + "».");
        }
    }
    return value;
}

const Json& requireField(const Json& object, std::string_view key, const std::string& parent) {
    const auto it = object.find(key);
    if (it == object.end()) {
        const std::string field = fieldPath(parent, key);
        throw failure(Case::missingField, field, "нет поля «" + field + "».");
    }
    return *it;
}

PacemarkLayoutFileError wrongType(const std::string& field, const std::string& what) {
    return failure(Case::wrongType, field, "поле «" + field + "» должно быть " + what + ".");
}

std::string requireString(const Json& value, const std::string& field) {
    if (!value.is_string()) throw wrongType(field, "строкой");
    return value.get<std::string>();
}

double requireFraction(const Json& value, const std::string& field) {
    if (!value.is_number()) throw wrongType(field, "числом");
    const double number = value.get<double>();
    if (!(number >= 0 && number <= 1)) {
        throw failure(Case::valueOutOfRange, field,
                      "значение поля «" + field + "» (" + numberText(number) + ") вне пределов от 0 до 1.");
    }
    return number;
}

std::uint32_t requireColor(const Json& value, const std::string& field) {
    const std::string text = requireString(value, field);
    std::uint32_t hex = 0;
    const char* end = text.data() + text.size();
    // from_chars alone would also take a sign or fewer digits.
    const auto isHexDigit = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    };
    const bool valid = text.size() == 7 && text[0] == '#' && std::all_of(text.begin() + 1, text.end(), isHexDigit) &&
                       std::from_chars(text.data() + 1, end, hex, 16).ptr == end;
    if (!valid) {
        throw failure(Case::invalidColor, field,
                      "поле «" + field + "» должно быть цветом вида «#35D05B», а не " + quotedValue(text) + ".");
    }
    return hex;
}

// A kind, style or preset by its case name; the error lists the known ones.
template <typename Named>
Named requireNamed(const Json& value, const std::string& field, Case errorCase, const std::string& what) {
    const std::string text = requireString(value, field);
    std::string known;
    for (const auto candidate : Named::allCases()) {
        const std::string_view name = [&] {
            if constexpr (std::is_same_v<Named, PacemarkPreset>) return candidate.caseName();
            else return candidate.rawValue();
        }();
        if (name == text) return candidate;
        known += (known.empty() ? "" : ", ") + std::string(name);
    }
    throw failure(errorCase, field,
                  "в поле «" + field + "» " + what + " " + quotedValue(text) + " (возможны: " + known + ").");
}

PacemarkWidget readWidget(const Json& value, const std::string& path) {
    requireObject(value, path,
                  {"id", "kind", "style", "frame", "accentColor", "labelColor", "valueColor", "caption", "visible"});
    const auto field = [&](std::string_view key) { return fieldPath(path, key); };

    const std::string idText = requireString(requireField(value, "id", path), field("id"));
    const std::optional<UUID> id = UUID::fromString(idText);
    if (!id) {
        throw failure(Case::invalidID, field("id"),
                      "поле «" + field("id") + "» должно быть идентификатором вида "
                      "«E621E1F8-C36C-495A-93FC-0C247A3E6E5F», а не " + quotedValue(idText) + ".");
    }
    const auto kind = requireNamed<TelemetryWidgetKind>(requireField(value, "kind", path), field("kind"),
                                                        Case::unknownKind, "неизвестный вид виджета");
    const auto style = requireNamed<TelemetryWidgetPanelStyle>(requireField(value, "style", path), field("style"),
                                                               Case::unknownStyle, "неизвестный стиль панели");

    const std::string framePath = field("frame");
    const Json& frameValue = requireObject(requireField(value, "frame", path), framePath, {"x", "y", "width", "height"});
    const auto component = [&](std::string_view key) {
        return requireFraction(requireField(frameValue, key, framePath), fieldPath(framePath, key));
    };
    const TelemetryWidgetFrame frame{component("x"), component("y"), component("width"), component("height")};

    const std::uint32_t accent = requireColor(requireField(value, "accentColor", path), field("accentColor"));
    const std::uint32_t label = requireColor(requireField(value, "labelColor", path), field("labelColor"));
    const std::uint32_t valueColor = requireColor(requireField(value, "valueColor", path), field("valueColor"));
    const std::string caption = requireString(requireField(value, "caption", path), field("caption"));
    bool visible = true;
    if (const auto it = value.find("visible"); it != value.end()) {
        if (!it->is_boolean()) throw wrongType(field("visible"), "true или false");
        visible = it->get<bool>();
    }
    // The constructor clamps the frame, as every editing command does.
    return PacemarkWidget(*id, kind, frame, PacemarkWidget::limitedCaption(caption), accent, label, valueColor, style,
                          visible);
}

// One term of the aspect: a whole number within PacemarkLayoutFile::maxAspectTerm.
std::int64_t requireAspectTerm(const Json& value, const std::string& field) {
    if (!value.is_number_integer()) throw wrongType(field, "целым числом");
    const auto term = value.get<std::int64_t>();
    if (term < 1 || term > PacemarkLayoutFile::maxAspectTerm) {
        throw failure(Case::valueOutOfRange, field,
                      "значение поля «" + field + "» (" + value.dump() + ") вне пределов от 1 до " +
                          std::to_string(PacemarkLayoutFile::maxAspectTerm) + ".");
    }
    return term;
}

PacemarkLayoutAspect readAspect(const Json& value) {
    requireObject(value, "aspect", {"width", "height"});
    return {requireAspectTerm(requireField(value, "width", "aspect"), "aspect.width"),
            requireAspectTerm(requireField(value, "height", "aspect"), "aspect.height")};
}

PacemarkLayoutFile readDocument(const Json& document) {
    requireObject(document, "", {"version", "preset", "aspect", "widgets"});
    // The version first: a newer file may differ in anything else.
    const Json& version = requireField(document, "version", "");
    if (!version.is_number_integer()) throw wrongType("version", "целым числом");
    if (version != PacemarkLayoutFile::formatVersion) {
        throw failure(Case::unsupportedVersion, "version",
                      "версия формата " + version.dump() + " (поле «version») не поддерживается: эта программа "
                      "читает версию " + std::to_string(PacemarkLayoutFile::formatVersion) + ".");
    }
    PacemarkLayoutFile file;
    file.basePreset = requireNamed<PacemarkPreset>(requireField(document, "preset", ""), "preset",
                                                   Case::unknownPreset, "неизвестный пресет");
    // Files written before layouts recorded their shape were all made for 16:9.
    if (const auto it = document.find("aspect"); it != document.end()) file.layout.aspect = readAspect(*it);
    const Json& widgets = requireField(document, "widgets", "");
    if (!widgets.is_array()) throw wrongType("widgets", "списком");

    std::map<UUID, std::size_t> indexByID;
    for (std::size_t i = 0; i < widgets.size(); ++i) {
        const std::string path = "widgets[" + std::to_string(i) + "]";
        PacemarkWidget widget = readWidget(widgets[i], path);
        if (const auto [it, added] = indexByID.emplace(widget.id, i); !added) {
            throw failure(Case::duplicateID, path + ".id",
                          "поле «" + path + ".id» повторяет id виджета widgets[" + std::to_string(it->second) +
                              "] «" + widget.id.uuidString() + "».");
        }
        file.layout.widgets.push_back(std::move(widget));
    }
    return file;
}

std::string colorText(std::uint32_t hex) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text = "#";
    for (int shift = 20; shift >= 0; shift -= 4) text += digits[(hex >> shift) & 0xF];
    return text;
}

// Writes a new file with `text`, flushed to the disk; the error of the first
// step that failed, if any.
std::error_code writeNewFile(const fs::path& path, std::string_view text) {
    const auto lastError = [] { return std::error_code(errno, std::generic_category()); };
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (file.get() < 0) return lastError();
    while (!text.empty()) {
        const ssize_t count = ::write(file.get(), text.data(), text.size());
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return lastError();
        text.remove_prefix(static_cast<std::size_t>(count));
    }
    if (::fsync(file.get()) != 0 || file.close() != 0) return lastError();
    return {};
}

}  // namespace

PacemarkLayoutFile PacemarkLayoutFile::fromPreset(PacemarkPreset preset) {
    return {preset, PacemarkLayout::preset(preset)};
}

PacemarkLayoutFile PacemarkLayoutFile::parse(std::string_view bytes) {
    if (bytes.size() > maxFileSizeBytes) {
        throw failure(Case::tooLarge, "", "файл больше " + std::to_string(maxFileSizeBytes >> 20) + " МБ.");
    }
    Json document;
    try {
        document = Json::parse(bytes.begin(), bytes.end(), ParseWatcher());
    } catch (const Json::parse_error& error) {
        throw failure(Case::notJSON, "", "это не JSON (ошибка в " + positionText(bytes, error.byte) + ").");
    } catch (const Json::out_of_range&) {
        // The only range the parser checks: a number beyond a 64-bit float.
        throw failure(Case::valueOutOfRange, "", "в файле слишком большое число.");
    }
    return readDocument(document);
}

PacemarkLayoutFile PacemarkLayoutFile::read(const fs::path& path) {
    const std::string name = path.filename().string();
    std::vector<std::uint8_t> bytes;
    try {
        bytes = TelemetryFileLoader::readWholeFile(path, maxFileSizeBytes);
    } catch (const FileReadError& error) {
        if (error.errorNumber() != EFBIG) throw;
        throw failure(Case::tooLarge, "", "файл больше " + std::to_string(maxFileSizeBytes >> 20) + " МБ.")
            .inFile(name);
    }
    try {
        return parse(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    } catch (const PacemarkLayoutFileError& error) {
        throw error.inFile(name);
    }
}

std::string PacemarkLayoutFile::serialized() const {
    Json widgets = Json::array();
    for (const PacemarkWidget& widget : layout.widgets) {
        Json frame = Json::object();
        frame["x"] = widget.frame.x;
        frame["y"] = widget.frame.y;
        frame["width"] = widget.frame.width;
        frame["height"] = widget.frame.height;
        Json entry = Json::object();
        entry["id"] = widget.id.uuidString();
        entry["kind"] = widget.kind.rawValue();
        entry["style"] = widget.panelStyle.rawValue();
        entry["frame"] = std::move(frame);
        entry["accentColor"] = colorText(widget.accentHex);
        entry["labelColor"] = colorText(widget.labelColorHex);
        entry["valueColor"] = colorText(widget.valueColorHex);
        entry["caption"] = widget.titleOverride;
        entry["visible"] = widget.isVisible;
        widgets.push_back(std::move(entry));
    }
    Json document = Json::object();
    document["version"] = formatVersion;
    document["preset"] = basePreset.caseName();
    Json aspect = Json::object();
    aspect["width"] = layout.aspect.width;
    aspect["height"] = layout.aspect.height;
    document["aspect"] = std::move(aspect);
    document["widgets"] = std::move(widgets);
    // A caption that is not valid UTF-8 (never typed, but possible in memory)
    // is written with replacement characters rather than refused.
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

void PacemarkLayoutFile::write(const fs::path& path) const {
    const std::string name = path.filename().empty() ? path.string() : path.filename().string();
    const std::string text = serialized();
    try {
        (void)parse(text);  // never write a file that cannot be opened again
    } catch (const PacemarkLayoutFileError& error) {
        throw error.whenSaving(name);
    }
    // Never over a device, a FIFO or a folder (checked again right before the rename).
    if (const auto refusal = ExportDestination::replacementError(path)) throw PacemarkError(*refusal);
    const fs::path temporary = path.parent_path() / (path.filename().string() + "." + UUID::random().uuidString() + ".tmp");
    std::error_code error = writeNewFile(temporary, text);
    if (const auto refusal = error ? std::nullopt : ExportDestination::replacementError(path)) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw PacemarkError(*refusal);
    }
    // rename() replaces the destination atomically: the old layout stays
    // intact until the new one is complete.
    if (!error) fs::rename(temporary, path, error);
    if (error) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw PacemarkLayoutFileError::writeFailed(path, error);
    }
}

bool PacemarkLayoutFile::hasLayoutExtension(const fs::path& path) {
    return TelemetryFileLoader::fileExtension(path) == fileExtension;
}

}  // namespace pacemark
