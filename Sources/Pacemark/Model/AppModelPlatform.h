#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace pacemark {

// The save dialog and the file manager, provided by the window; tests answer them.
class AppModelPlatform {
public:
    struct SaveDialogRequest {
        std::string title;          // "Экспорт телеметрии"
        std::string suggestedName;  // defaultOutputName()
        std::string fileExtension;  // "mov": QuickTime movies only
        bool canCreateFolders = true;
    };

    virtual ~AppModelPlatform() = default;
    // Modal; none when the user cancels or the dialog yields no file.
    virtual std::optional<std::filesystem::path> chooseSaveFile(const SaveDialogRequest& request) = 0;
    // Shows the file selected in a file-manager window.
    virtual void revealInFileManager(const std::filesystem::path& file) = 0;
};

}  // namespace pacemark
