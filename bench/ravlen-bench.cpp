// Drives the real main window headless through the procedures a person triggers and
// prints how long each phase took:
//
//   ravlen-bench --config FILE.lib --data FILE.xml [--number N] [--edit]
//                [--save-as OUT.xml] [--export OUT.xlsx] [--full-save]
//
// --save-as needs --edit: a person can only choose Save As after an edit. --full-save makes
// the save serialize the whole document instead of splicing the loaded file.
//
// Output: one "<phase> <seconds> s" line per phase run (startup, load, edit, save, export),
// then "rows <N>" and "peak_rss_kb <K>". Any message box shown is printed as
// "message: <title>: <text>" and makes the exit status 1.

#include "BenchSupport.h"
#include "app/main/frmMain.h"
#include "common/AppPaths.h"
#include "common/FileDialog.h"
#include "export/ShellExecute.h"
#include "support/DesktopSandbox.h"
#include "xml/DOMWrapper.h"
#include "xml/SpliceSave.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <optional>
#include <string>
#include <vector>

using bench::Report;
using bench::Stopwatch;

namespace {

struct Options {
    std::string config;
    std::string data;
    std::optional<int> number;
    bool edit = false;
    std::string saveAs;
    std::string exportTo;
    bool fullSave = false;
};

Options ParseOptions(int argc, char** argv) {
    const bench::Arguments arguments(
        "ravlen-bench", "ravlen-bench --config FILE.lib --data FILE.xml [--number N] [--edit] "
                        "[--save-as OUT.xml] [--export OUT.xlsx] [--full-save]");
    Options options;
    arguments.Parse(argc, argv,
                    {{"--config", [&](const std::string& v) { options.config = v; }},
                     {"--data", [&](const std::string& v) { options.data = v; }},
                     {"--number",
                      [&](const std::string& v) {
                          options.number =
                              arguments.Number(v, "--number takes a configuration number");
                      }},
                     {"--save-as", [&](const std::string& v) { options.saveAs = v; }},
                     {"--export", [&](const std::string& v) { options.exportTo = v; }}},
                    {{"--edit", &options.edit}, {"--full-save", &options.fullSave}});
    if (options.config.empty() || options.data.empty())
        arguments.Fail("--config and --data are required");
    if (!options.saveAs.empty() && !options.edit)
        arguments.Fail("--save-as needs --edit");
    return options;
}

// Absolute, so that the dialogs' answers do not depend on the working directory.
std::string Absolute(const std::string& path) {
    return path.empty() ? path
                        : QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString();
}

// Lets the window paint and handle what the last action queued, as it would between a
// person's clicks; counted into the phase that caused it.
void Settle() {
    QCoreApplication::processEvents();
}

// Types text into the Value cell of a row as a person does: F2 opens the cell editor, the
// text replaces what it holds, Enter commits, and the grid raises its change notification.
bool TypeIntoValueCell(SpreadGrid* grid, int row, const QString& text) {
    constexpr int kColValue = 12;
    grid->SetActiveCell(kColValue, row);
    QTest::keyClick(grid, Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    // With no active window (the offscreen platform hands activation to none once the
    // progress dialog has gone) the open editor is not the focus widget.
    if (!editor)
        for (auto* open : grid->viewport()->findChildren<QLineEdit*>())
            if (open->isVisible())
                editor = open;
    if (!editor)
        return false;
    editor->selectAll();
    editor->insert(text);
    QTest::keyClick(editor, Qt::Key_Return);
    // Enter commits through a queued call, and the closed editor goes later. Repaints are
    // left to coalesce, as they do when edits come faster than the screen refreshes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Stopwatch clock;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const Options options = ParseOptions(argc, argv);
    SetSplicingEnabled(!options.fullSave);
    const std::string config = Absolute(options.config);
    const std::string data = Absolute(options.data);
    const std::string saveAs = Absolute(options.saveAs);
    const std::string exportTo = Absolute(options.exportTo);

    const std::vector<std::string>& messages = bench::RecordMessages();
    std::deque<std::string> answers;
    CommonDialog::SetBackend(
        [&](CommonDialog::Mode, const CommonDialog&) -> std::optional<std::vector<std::string>> {
            if (answers.empty())
                return std::nullopt;
            std::vector<std::string> answer{answers.front()};
            answers.pop_front();
            return answer;
        });
    // The opener checks that the desktop has an application for the workbook before it
    // hands it on: give it a desktop of its own with one, and a launcher that starts nothing.
    UseDesktopSandbox({"application/octet-stream", "application/zip",
                       "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"});
    SetShellLauncher([](const std::string&) { return ShellLaunchResult::Launched; });

    // The start-up looks for the configuration beside the executable under its base name.
    const QFileInfo configInfo(QString::fromStdString(config));
    OverrideExecutablePath(
        (configInfo.absolutePath() + "/" + configInfo.completeBaseName()).toStdString());

    QApplication app(argc, argv);
    frmMain window;
    const bool started = window.InitApplication();
    auto* configList = window.findChild<QComboBox*>(QStringLiteral("cmbConfig"));
    auto* grid = window.findChild<SpreadGrid*>(QStringLiteral("Grid"));
    const auto button = [&](const char* name) {
        return window.findChild<QPushButton*>(QString::fromUtf8(name));
    };
    if (started)
        window.show();
    Settle();
    Report("startup", clock.Lap());

    bool ok = started;
    if (ok) {
        int index = 0;
        if (options.number) {
            index = configList->findData(*options.number);
            if (index < 0) {
                std::fprintf(stderr, "ravlen-bench: no configuration numbered %d\n",
                             *options.number);
                ok = false;
            }
        }
        if (ok) {
            clock.Lap();
            configList->setCurrentIndex(index);
            answers.push_back(data);
            button("pbSelectFile")->click();
            Settle();
            Report("load", clock.Lap());
        }
    }

    if (ok && options.edit) {
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window))
            std::fprintf(stderr, "ravlen-bench: the window did not become active\n");
        const int rows = grid->MaxRows();
        clock.Lap();
        for (int row = 1; row <= rows && ok; ++row) {
            if (!TypeIntoValueCell(grid, row, QStringLiteral("edited %1").arg(row))) {
                std::fprintf(stderr, "ravlen-bench: no cell editor opened in row %d\n", row);
                ok = false;
            }
        }
        Settle();
        Report("edit", clock.Lap());
    }

    if (ok && !saveAs.empty()) {
        clock.Lap();
        answers.push_back(saveAs);
        button("pbSaveAs")->click();
        Settle();
        Report("save", clock.Lap());
    }

    if (ok && !exportTo.empty()) {
        clock.Lap();
        answers.push_back(exportTo);
        button("pbExporttoExcel")->click();
        Settle();
        Report("export", clock.Lap());
    }

    bench::ReportEnd(grid->MaxRows(), messages);
    // As the program itself ends.
    DOMWrapper::LeaveDocumentsToTheSystem();
    if (!answers.empty())
        std::fprintf(stderr, "ravlen-bench: a file dialog that was expected never opened\n");
    return ok && messages.empty() && answers.empty() ? 0 : 1;
}
