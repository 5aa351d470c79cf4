// Drives the table of many files headless and prints how long each phase took:
//
//   ravlen-table-bench --config FILE.lib --folder DIR [--number N] [--paste-column K]
//                      [--save] [--cancel-after MS] [--export FILE] [--import FILE [--tick-all]]
//
// The table is opened on the folder's *.xml files under the configuration numbered N
// (default: the first). --paste-column selects the K-th field's column (1-based) and pastes
// "pasted R" into each row R through the clipboard and the window's paste key; --save then
// clicks Save. --cancel-after clicks the progress dialog's Cancel MS milliseconds into the
// opening and prints "cancel_ms <N>", the time from the click until the opening returned.
//
// --export clicks Excel-Export with the dialog answering FILE, on a desktop whose opener starts
// nothing; --import clicks Excel-Import with the dialog answering FILE and the preview answered
// Apply (--tick-all ticks every doubtful change first), and prints "imported <cells> skipped
// <cells>".
//
// Output: one "<phase> <seconds> s" line per phase run (startup, open, paste, save), each but
// the first followed by "gui_stall_ms <N>", the longest time the GUI thread went without
// handling events in that phase; then "rows <N>" and "peak_rss_kb <K>". Any message box shown
// is printed as "message: <title>: <text>" and makes the exit status 1.

#include "BenchSupport.h"
#include "app/shared/Configuration.h"
#include "app/table/dlgImportPreview.h"
#include "app/table/frmTable.h"
#include "common/FileDialog.h"
#include "export/ShellExecute.h"
#include "support/DesktopSandbox.h"
#include "xml/DOMWrapper.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using bench::Report;
using bench::Stopwatch;

namespace {

struct Options {
    std::string config;
    std::string folder;
    int number = -1;
    int pasteColumn = 0;
    int cancelAfter = -1;
    bool save = false;
    // --- workbook round trip ---
    std::string exportTo;
    std::string importFrom;
    bool tickAll = false;
};

// The longest time the GUI thread went without handling events: a timer that should fire
// every few milliseconds notes each gap.
class StallWatch {
public:
    StallWatch() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(2);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
        timer_.start();
        clock_.start();
    }
    void Restart() {
        longest_ = 0;
        clock_.restart();
    }
    // Up to now, also when the phase ended without handling events.
    void Report() {
        Tick();
        std::printf("gui_stall_ms %lld\n", static_cast<long long>(longest_));
        std::fflush(stdout);
    }

private:
    void Tick() { longest_ = std::max(longest_, clock_.restart()); }

    QTimer timer_;
    QElapsedTimer clock_;
    qint64 longest_ = 0;
};

Options ParseOptions(int argc, char** argv) {
    const bench::Arguments arguments("ravlen-table-bench",
                                     "ravlen-table-bench --config FILE.lib --folder DIR "
                                     "[--number N] [--paste-column K] [--save] "
                                     "[--cancel-after MS] [--export FILE] "
                                     "[--import FILE [--tick-all]]");
    Options options;
    arguments.Parse(
        argc, argv,
        {{"--config", [&](const std::string& v) { options.config = v; }},
         {"--folder", [&](const std::string& v) { options.folder = v; }},
         {"--number",
          [&](const std::string& v) {
              options.number = arguments.Number(v, "--number takes a configuration number");
          }},
         {"--paste-column",
          [&](const std::string& v) {
              options.pasteColumn = arguments.Number(v, "--paste-column takes a field's position");
          }},
         {"--cancel-after",
          [&](const std::string& v) {
              options.cancelAfter = arguments.Number(v, "--cancel-after takes milliseconds");
          }},
         // --- workbook round trip ---
         {"--export", [&](const std::string& v) { options.exportTo = v; }},
         {"--import", [&](const std::string& v) { options.importFrom = v; }}},
        {{"--save", &options.save}, {"--tick-all", &options.tickAll}});
    if (options.config.empty() || options.folder.empty())
        arguments.Fail("--config and --folder are required");
    if (options.save && options.pasteColumn <= 0)
        arguments.Fail("--save needs --paste-column");
    return options;
}

} // namespace

int main(int argc, char** argv) {
    Stopwatch clock;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const Options options = ParseOptions(argc, argv);

    const std::vector<std::string>& messages = bench::RecordMessages();
    // --- workbook round trip ---
    if (!options.exportTo.empty())
        UseDesktopSandbox({"application/octet-stream", "application/zip",
                           "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"});
    SetShellLauncher([](const std::string&) { return ShellLaunchResult::Launched; });

    QApplication app(argc, argv);
    ConfigurationInfo config;
    try {
        DOMWrapper configDoc;
        configDoc.Load(options.config, "");
        int number = options.number;
        if (number < 0) {
            configDoc.GetNodeList("XML/Config");
            number = std::atoi(configDoc.SubNodeText("./Number").c_str());
        }
        config = ReadConfiguration(configDoc, number);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ravlen-table-bench: cannot read the configuration: %s\n", e.what());
        return 2;
    }
    Report("startup", clock.Lap());

    StallWatch stalls;
    QElapsedTimer sinceCancel;
    if (options.cancelAfter >= 0)
        QTimer::singleShot(options.cancelAfter, [&] {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QProgressDialog*>(widget);
                    dialog && dialog->objectName() == QStringLiteral("dlgProgress")) {
                    sinceCancel.start();
                    dialog->cancel();
                }
        });
    frmTable* window = frmTable::OpenTable(config, {QString::fromStdString(options.folder)});
    const qint64 cancelMs = sinceCancel.isValid() ? sinceCancel.elapsed() : -1;
    QCoreApplication::processEvents();
    Report("open", clock.Lap());
    stalls.Report();
    if (options.cancelAfter >= 0) {
        std::printf("cancel_ms %lld\n", static_cast<long long>(cancelMs));
        std::fflush(stdout);
        bench::ReportEnd(0, messages);
        std::_Exit(window == nullptr && cancelMs >= 0 && messages.empty() ? 0 : 1);
    }
    bool ok = window != nullptr;
    auto* table = ok ? window->findChild<QTableView*>(QStringLiteral("tblFiles")) : nullptr;
    const int rows = table ? table->model()->rowCount() : 0;

    if (ok && options.pasteColumn > 0) {
        QString column;
        for (int row = 1; row <= rows; ++row)
            column += QStringLiteral("pasted %1\n").arg(row);
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window))
            std::fprintf(stderr, "ravlen-table-bench: the window did not become active\n");
        clock.Lap();
        stalls.Restart();
        QApplication::clipboard()->setText(column);
        table->setCurrentIndex(table->model()->index(0, options.pasteColumn));
        QTest::keyClick(table, Qt::Key_V, Qt::ControlModifier);
        QCoreApplication::processEvents();
        Report("paste", clock.Lap());
        stalls.Report();
    }

    // --- workbook round trip ---
    if (ok && !options.exportTo.empty()) {
        clock.Lap();
        stalls.Restart();
        bench::AnswerFileDialogs({options.exportTo});
        window->findChild<QPushButton*>(QStringLiteral("pbExporttoExcel"))->click();
        QCoreApplication::processEvents();
        Report("export", clock.Lap());
        stalls.Report();
    }
    if (ok && !options.importFrom.empty()) {
        clock.Lap();
        stalls.Restart();
        bench::AnswerFileDialogs({options.importFrom});
        const bool tickAll = options.tickAll;
        QTimer::singleShot(0, [tickAll] {
            auto* preview = qobject_cast<dlgImportPreview*>(QApplication::activeModalWidget());
            if (!preview)
                return;
            if (tickAll)
                preview->TickAll();
            preview->accept();
        });
        window->findChild<QPushButton*>(QStringLiteral("pbExcelImport"))->click();
        QCoreApplication::processEvents();
        Report("import", clock.Lap());
        stalls.Report();
        const frmTable::ImportCount count = window->LastImport();
        std::printf("imported %d skipped %d\n", count.nImported, count.nSkipped);
        std::fflush(stdout);
    }

    if (ok && options.save) {
        clock.Lap();
        stalls.Restart();
        window->findChild<QPushButton*>(QStringLiteral("pbSave"))->click();
        QCoreApplication::processEvents();
        Report("save", clock.Lap());
        stalls.Report();
    }

    bench::ReportEnd(rows, messages);
    // Leaving without the close guard: the bench has nothing to keep.
    std::_Exit(ok && messages.empty() ? 0 : 1);
}
