#pragma once

#include <QString>
#include <QStringList>

// What the command line `ravlen [--config NNN] [FILE...]` asks for: a window, with a
// configuration to choose and a file to open, or an answer printed at once.
struct CommandLineRequest {
    bool bExit = false; // print sOutput and sError, then end with nExitCode; no window
    int nExitCode = 0;
    QString sOutput;        // for standard output
    QString sError;         // for standard error
    QString sConfigNumber;  // a configuration number text, such as 001; empty chooses none
    QString sFile;          // absolute path; empty names none
    QStringList TableFiles; // absolute paths for the table of many files; empty opens none
    QString sNewConfigFile; // absolute path of a data file to build a configuration from
};

// Exit code of a command line that cannot be followed.
inline constexpr int kCommandLineRefused = 2;

// Decides on the arguments (the program first). Needs a QCoreApplication for the help text.
CommandLineRequest ParseCommandLine(const QStringList& arguments);

// Decides on main's arguments before any display is opened, so that --help, --version and a
// configuration number that is not listed are answered on a machine without one.
CommandLineRequest ReadCommandLine(int argc, char** argv);

// Refuses a configuration number that the configuration file does not list. A missing or
// broken configuration file is left for the window to report.
void CheckConfigurationNumber(CommandLineRequest& request);

// For --suggest-fields: one line "path<TAB>alias<TAB>matches" for every element that holds
// text and every attribute of the data file, in document order; a file that does not load
// is refused with its reason.
CommandLineRequest SuggestFields(const QString& sFile);

// Prints the request's texts and returns its exit code.
int PrintAndExit(const CommandLineRequest& request);
