#pragma once

#include <functional>
#include <string>

// Hands the file to the application that the desktop associates with its type. Returns true
// when the request was handed on; otherwise false with a text for the user in errorText,
// which is left as it was on success. Shows nothing itself.
bool OpenFileWithShell(const std::string& path, std::string& errorText);

// How handing a file to its application ended.
enum class ShellLaunchResult {
    Launched,
    NoApplication,
    FileNotFound,
    PathNotFound,
    AccessDenied,
    Failed,
};

// Starts the associated application for a file URI ("file:///...").
using ShellLauncher = std::function<ShellLaunchResult(const std::string& uri)>;

// Installs a launcher and returns the one it replaces. The desktop's opener is installed
// from the start; tests install their own so that no application is started.
ShellLauncher SetShellLauncher(ShellLauncher launcher);

// The desktop's opener (GIO).
ShellLaunchResult LaunchWithDesktop(const std::string& uri);
