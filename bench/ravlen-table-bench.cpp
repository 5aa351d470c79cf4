// Drives the table of many files headless and prints how long each phase took:
//
//   ravlen-table-bench --config FILE.lib --folder DIR [--number N] [--paste-column K]
//                      [--save] [--cancel-after MS] [--export FILE] [--import FILE [--tick-all]]
//                      [STEP ...]
//
// Editing steps run after the opening, the paste and the round trip, in the order given, each
// through the window's own keys and dialogs: --replace PATTERN TEXT [--regex] [--column K]
// (Replace all, over the K-th field's column only when given), --undo N, --redo N,
// --sort-column K (a click on the K-th field's header), --filter TEXT, --fill-down-column K,
// --save (a click on Save) and --dump FILE (the visible table as tab-separated text: the
// header row, then one row per file shown). Each prints its time and GUI stall as a phase.
//
// The table is opened on the folder's *.xml files under the configuration numbered N
// (default: the first). --paste-column selects the K-th field's column (1-based) and pastes
// "pasted R" into each row R through the clipboard and the window's paste key; --save then
// clicks Save. --cancel-after clicks the progress dialog's Cancel MS milliseconds into the
// opening (and not before --cancel-when-read N files are read) and prints "cancel_ms <N>", the time
// from the click until the opening returned.
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
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
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
    int cancelWhenRead = 0;
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
         {"--cancel-when-read",
          [&](const std::string& v) {
              options.cancelWhenRead =
                  arguments.Number(v, "--cancel-when-read takes a number of files");
          }},
         // --- workbook round trip ---
         {"--export", [&](const std::string& v) { options.exportTo = v; }},
         {"--import", [&](const std::string& v) { options.importFrom = v; }}},
        {{"--save", &options.save}, {"--tick-all", &options.tickAll}});
    if (options.config.empty() || options.folder.empty())
        arguments.Fail("--config and --folder are required");
    return options;
}

struct Step {
    std::string name; // the option without its dashes
    std::vector<QString> values;
    bool regex = false;
    int column = 0;
};

// Takes the editing steps out of the arguments, in their order; the rest go on to the options.
std::vector<Step> TakeSteps(int argc, char** argv, std::vector<char*>& rest) {
    const std::map<std::string, int> valuesOf = {{"--replace", 2}, {"--undo", 1},
                                                 {"--redo", 1},    {"--sort-column", 1},
                                                 {"--filter", 1},  {"--fill-down-column", 1},
                                                 {"--dump", 1},    {"--save", 0}};
    std::vector<Step> steps;
    rest.push_back(argv[0]);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto known = valuesOf.find(arg);
        // A --save before any step is the option of old: save once the paste is done.
        if (known == valuesOf.end() || (arg == "--save" && steps.empty())) {
            if (!steps.empty() && steps.back().name == "replace" && arg == "--regex") {
                steps.back().regex = true;
                continue;
            }
            if (!steps.empty() && steps.back().name == "replace" && arg == "--column" &&
                i + 1 < argc) {
                steps.back().column = std::atoi(argv[++i]);
                continue;
            }
            rest.push_back(argv[i]);
            continue;
        }
        Step step{arg.substr(2), {}};
        for (int k = 0; k < known->second; ++k) {
            if (++i >= argc) {
                std::fprintf(stderr, "ravlen-table-bench: missing value after %s\n", arg.c_str());
                std::exit(2);
            }
            step.values.push_back(QString::fromLocal8Bit(argv[i]));
        }
        steps.push_back(step);
    }
    return steps;
}

// The K-th field's column (1-based) of the view.
int FieldColumn(const QTableView& table, int field) {
    const QAbstractItemModel& model = *table.model();
    const bool folders = model.headerData(1, Qt::Horizontal).toString() == QStringLiteral("Folder");
    return field + (folders ? 1 : 0);
}

bool RunStep(frmTable& window, QTableView& table, const Step& step) {
    // The window's keys reach it only while it is the active one.
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window))
        std::fprintf(stderr, "ravlen-table-bench: the window did not become active\n");
    table.setFocus();
    const auto number = [&](int i) { return step.values.at(static_cast<size_t>(i)).toInt(); };
    if (step.name == "undo" || step.name == "redo") {
        for (int i = 0; i < number(0); ++i)
            QTest::keyClick(&table, step.name == "undo" ? Qt::Key_Z : Qt::Key_Y,
                            Qt::ControlModifier);
    } else if (step.name == "sort-column") {
        QHeaderView* header = table.horizontalHeader();
        const int col = FieldColumn(table, number(0));
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(col) + 3, 3));
    } else if (step.name == "filter") {
        auto* filter = window.findChild<QLineEdit*>(QStringLiteral("txtFilter"));
        filter->clear();
        QTest::keyClicks(filter, step.values[0]);
    } else if (step.name == "fill-down-column") {
        table.setCurrentIndex(table.model()->index(0, FieldColumn(table, number(0))));
        table.selectColumn(FieldColumn(table, number(0)));
        QTest::keyClick(&table, Qt::Key_D, Qt::ControlModifier);
    } else if (step.name == "replace") {
        if (step.column > 0)
            table.selectColumn(FieldColumn(table, step.column));
        QTest::keyClick(&table, Qt::Key_H, Qt::ControlModifier);
        auto* dialog = window.findChild<QDialog*>(QStringLiteral("dlgFindReplace"));
        if (!dialog)
            return false;
        dialog->findChild<QLineEdit*>(QStringLiteral("txtFind"))->setText(step.values[0]);
        dialog->findChild<QLineEdit*>(QStringLiteral("txtReplace"))->setText(step.values[1]);
        dialog->findChild<QCheckBox*>(QStringLiteral("chkRegex"))->setChecked(step.regex);
        dialog->findChild<QComboBox*>(QStringLiteral("cmbScope"))
            ->setCurrentIndex(step.column > 0 ? 1 : 0);
        dialog->findChild<QPushButton*>(QStringLiteral("pbReplaceAll"))->click();
        dialog->hide();
    } else if (step.name == "save") {
        window.findChild<QPushButton*>(QStringLiteral("pbSave"))->click();
    } else if (step.name == "dump") {
        QFile file(step.values[0]);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        const QAbstractItemModel& model = *table.model();
        QStringList header;
        for (int col = 0; col < model.columnCount(); ++col)
            header << model.headerData(col, Qt::Horizontal).toString();
        QString text = header.join('\t') + '\n';
        for (int row = 0; row < model.rowCount(); ++row) {
            QStringList cells;
            for (int col = 0; col < model.columnCount(); ++col)
                cells << model.index(row, col).data().toString();
            text += cells.join('\t') + '\n';
        }
        file.write(text.toUtf8());
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Stopwatch clock;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::vector<char*> rest;
    const std::vector<Step> steps = TakeSteps(argc, argv, rest);
    const Options options = ParseOptions(static_cast<int>(rest.size()), rest.data());

    const std::vector<std::string>& messages = bench::RecordMessages();
    // Replace all asks how many cells will change: the bench goes on.
    const MessageBoxHandler recorded = SetMessageBoxHandler(MessageBoxHandler());
    SetMessageBoxHandler(
        [recorded](const std::string& text, const std::string& title, MsgButtons buttons) {
            return title == "Replace" ? MsgAnswer::OK : recorded(text, title, buttons);
        });
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
    // Cancel once the time has passed and as many files as asked for are read, looked at
    // every few milliseconds.
    QTimer cancelLook;
    QElapsedTimer sinceOpen;
    sinceOpen.start();
    if (options.cancelAfter >= 0) {
        QObject::connect(&cancelLook, &QTimer::timeout, [&] {
            if (sinceCancel.isValid() || sinceOpen.elapsed() < options.cancelAfter)
                return;
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QProgressDialog*>(widget);
                    dialog && dialog->objectName() == QStringLiteral("dlgProgress") &&
                    dialog->value() >= options.cancelWhenRead) {
                    sinceCancel.start();
                    dialog->cancel();
                }
        });
        cancelLook.start(2);
    }
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

    for (const Step& step : steps) {
        if (!ok)
            break;
        clock.Lap();
        stalls.Restart();
        ok = RunStep(*window, *table, step);
        QCoreApplication::processEvents();
        Report(step.name.c_str(), clock.Lap());
        stalls.Report();
    }

    bench::ReportEnd(rows, messages);
    // Leaving without the close guard: the bench has nothing to keep.
    std::_Exit(ok && messages.empty() ? 0 : 1);
}
