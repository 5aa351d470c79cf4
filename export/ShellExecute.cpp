#include "export/ShellExecute.h"

#include "common/Strings.h"

#include <gio/gio.h>

#include <memory>
#include <optional>

namespace {

constexpr const char* kNoFileSelected = "No file selected!";
constexpr const char* kNoApplication = "No application is associated with this file type.";
constexpr const char* kFileNotFound = "File not found";
constexpr const char* kPathNotFound = "Path not found";
constexpr const char* kAccessError = "Path/file access error";
constexpr const char* kOtherFailure =
    "An error occurred occurred while trying to open the selected file.";

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T> using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

struct GFree {
    void operator()(gpointer memory) const { g_free(memory); }
};
using GCharPtr = std::unique_ptr<char, GFree>;

ShellLauncher& CurrentLauncher() {
    static ShellLauncher launcher = LaunchWithDesktop;
    return launcher;
}

bool IsFolder(GFile* file) {
    return file &&
           g_file_query_file_type(file, G_FILE_QUERY_INFO_NONE, nullptr) == G_FILE_TYPE_DIRECTORY;
}

// A missing file in an existing folder is "file not found"; a missing folder on the way to
// it is "path not found".
ShellLaunchResult ClassifyQueryFailure(GFile* file, const GError* error) {
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_FOUND)) {
        GObjectPtr<GFile> parent(g_file_get_parent(file));
        return IsFolder(parent.get()) ? ShellLaunchResult::FileNotFound
                                      : ShellLaunchResult::PathNotFound;
    }
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_DIRECTORY))
        return ShellLaunchResult::PathNotFound;
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_PERMISSION_DENIED))
        return ShellLaunchResult::AccessDenied;
    return ShellLaunchResult::Failed;
}

// Checks what the shell would check before starting anything: the file exists, may be read
// and its type has an application. Nothing when it may be handed on.
std::optional<ShellLaunchResult> WhyNotOpenable(GFile* file) {
    GError* rawError = nullptr;
    GObjectPtr<GFileInfo> info(g_file_query_info(
        file, G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE "," G_FILE_ATTRIBUTE_ACCESS_CAN_READ,
        G_FILE_QUERY_INFO_NONE, nullptr, &rawError));
    GErrorPtr error(rawError);
    if (!info)
        return ClassifyQueryFailure(file, error.get());
    if (g_file_info_has_attribute(info.get(), G_FILE_ATTRIBUTE_ACCESS_CAN_READ) &&
        !g_file_info_get_attribute_boolean(info.get(), G_FILE_ATTRIBUTE_ACCESS_CAN_READ))
        return ShellLaunchResult::AccessDenied;
    const char* contentType = g_file_info_get_content_type(info.get());
    if (!contentType)
        return ShellLaunchResult::NoApplication;
    GObjectPtr<GAppInfo> app(g_app_info_get_default_for_type(contentType, FALSE));
    if (!app)
        return ShellLaunchResult::NoApplication;
    return std::nullopt;
}

const char* TextFor(ShellLaunchResult result) {
    switch (result) {
    case ShellLaunchResult::NoApplication:
        return kNoApplication;
    case ShellLaunchResult::FileNotFound:
        return kFileNotFound;
    case ShellLaunchResult::PathNotFound:
        return kPathNotFound;
    case ShellLaunchResult::AccessDenied:
        return kAccessError;
    default:
        return kOtherFailure;
    }
}

} // namespace

ShellLauncher SetShellLauncher(ShellLauncher launcher) {
    std::swap(CurrentLauncher(), launcher);
    return launcher;
}

ShellLaunchResult LaunchWithDesktop(const std::string& uri) {
    GError* rawError = nullptr;
    const bool launched = g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &rawError);
    GErrorPtr error(rawError);
    if (launched)
        return ShellLaunchResult::Launched;
    if (g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED))
        return ShellLaunchResult::NoApplication;
    if (g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_NOT_FOUND))
        return ShellLaunchResult::FileNotFound;
    if (g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_PERMISSION_DENIED))
        return ShellLaunchResult::AccessDenied;
    return ShellLaunchResult::Failed;
}

bool OpenFileWithShell(const std::string& path, std::string& errorText) {
    if (IsBlank(path)) {
        errorText = kNoFileSelected;
        return false;
    }
    GObjectPtr<GFile> file(g_file_new_for_path(path.c_str()));
    if (const auto failure = WhyNotOpenable(file.get())) {
        errorText = TextFor(*failure);
        return false;
    }
    const GCharPtr uri(g_file_get_uri(file.get()));
    const ShellLaunchResult result =
        CurrentLauncher() ? CurrentLauncher()(uri.get()) : ShellLaunchResult::Failed;
    if (result == ShellLaunchResult::Launched)
        return true;
    errorText = TextFor(result);
    return false;
}
