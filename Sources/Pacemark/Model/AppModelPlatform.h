// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace pacemark {

// The file dialogs, the file manager and the questions the model asks,
// provided by the window; tests answer them.
class AppModelPlatform {
public:
    struct SaveDialogRequest {
        std::string title;          // "Экспорт телеметрии"
        std::string suggestedName;  // defaultOutputName()
        std::string fileExtension;  // "mov": QuickTime movies only
        bool canCreateFolders = true;
        std::string filterName = "QuickTime";  // shown before the extension's pattern
    };
    struct OpenDialogRequest {
        std::string title;          // "Открыть макет"
        std::string fileExtension;  // "pacemark-layout"
        std::string filterName;     // "Макет Pacemark"
    };

    virtual ~AppModelPlatform() = default;
    // Modal; none when the user cancels or the dialog yields no file.
    virtual std::optional<std::filesystem::path> chooseSaveFile(const SaveDialogRequest& request) = 0;
    // Shows the file selected in a file-manager window; false when no file
    // manager could be reached.
    virtual bool revealInFileManager(const std::filesystem::path& file) = 0;
    // Asked before a movie the user did not pick in a save dialog (the
    // default one beside the ride) replaces an existing file; true replaces.
    virtual bool confirmReplacingFile(const std::filesystem::path&) { return true; }
    // Modal; none when the user cancels. Platforms without an open dialog have no file.
    virtual std::optional<std::filesystem::path> chooseOpenFile(const OpenDialogRequest&) { return std::nullopt; }
    // Modal; the folder the user picked, none when cancelled. Platforms
    // without a folder dialog have none.
    virtual std::optional<std::filesystem::path> chooseFolder(const std::string& /*title*/) { return std::nullopt; }
    // The answers to "Макет изменён. Сохранить?": "Сохранить макет…",
    // "Не сохранять", "Отмена".
    enum class UnsavedLayoutChoice { save, discard, cancel };
    // Asked before a layout with unsaved changes is replaced or the window
    // closes. Platforms that cannot ask discard, as before the question existed.
    virtual UnsavedLayoutChoice askAboutUnsavedLayout() { return UnsavedLayoutChoice::discard; }
};

}  // namespace pacemark
