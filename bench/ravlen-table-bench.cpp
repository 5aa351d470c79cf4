// Drives the table of many files headless and prints how long each phase took:
//
//   ravlen-table-bench --config FILE.lib --folder DIR [--number N] [--paste-column K]
//                      [--save]
//
// The table is opened on the folder's *.xml files under the configuration numbered N
// (default: the first). --paste-column selects the K-th field's column (1-based) and pastes
// "pasted R" into each row R through the clipboard and the window's paste key; --save then
// clicks Save.
//
// Output: one "<phase> <seconds> s" line per phase run (startup, open, paste, save), then
// "rows <N>" and "peak_rss_kb <K>". Any message box shown is printed as
// "message: <title>: <text>" and makes the exit status 1.

#include "BenchSupport.h"
#include "app/Configuration.h"
#include "app/frmTable.h"
#include "common/MessageBox.h"
#include "xml/DOMWrapper.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QClipboard>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using bench::PeakRssKb;
using bench::Report;
using bench::Stopwatch;

namespace {

struct Options {
    std::string config;
    std::string folder;
    int number = -1;
    int pasteColumn = 0;
    bool save = false;
};

[[noreturn]] void Usage(const char* why) {
    std::fprintf(stderr,
                 "ravlen-table-bench: %s\n"
                 "usage: ravlen-table-bench --config FILE.lib --folder DIR [--number N]\n"
                 "                          [--paste-column K] [--save]\n",
                 why);
    std::exit(2);
}

int Number(const std::string& text, const char* what) {
    char* end = nullptr;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0')
        Usage(what);
    return static_cast<int>(number);
}

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                Usage(("missing value after " + arg).c_str());
            return argv[++i];
        };
        if (arg == "--config")
            options.config = value();
        else if (arg == "--folder")
            options.folder = value();
        else if (arg == "--number")
            options.number = Number(value(), "--number takes a configuration number");
        else if (arg == "--paste-column")
            options.pasteColumn = Number(value(), "--paste-column takes a field's position");
        else if (arg == "--save")
            options.save = true;
        else
            Usage(("unknown argument " + arg).c_str());
    }
    if (options.config.empty() || options.folder.empty())
        Usage("--config and --folder are required");
    if (options.save && options.pasteColumn <= 0)
        Usage("--save needs --paste-column");
    return options;
}

} // namespace

int main(int argc, char** argv) {
    Stopwatch clock;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const Options options = ParseOptions(argc, argv);

    std::vector<std::string> messages;
    SetMessageBoxHandler([&](const std::string& text, const std::string& title, MsgButtons) {
        messages.push_back(title + ": " + text);
        return MsgAnswer::Cancel;
    });

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

    frmTable* window = frmTable::OpenTable(config, {QString::fromStdString(options.folder)});
    QCoreApplication::processEvents();
    Report("open", clock.Lap());
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
        QApplication::clipboard()->setText(column);
        table->setCurrentIndex(table->model()->index(0, options.pasteColumn));
        QTest::keyClick(table, Qt::Key_V, Qt::ControlModifier);
        QCoreApplication::processEvents();
        Report("paste", clock.Lap());
    }

    if (ok && options.save) {
        clock.Lap();
        window->findChild<QPushButton*>(QStringLiteral("pbSave"))->click();
        QCoreApplication::processEvents();
        Report("save", clock.Lap());
    }

    std::printf("rows %d\n", rows);
    std::printf("peak_rss_kb %ld\n", PeakRssKb());
    for (const std::string& message : messages)
        std::printf("message: %s\n", message.c_str());
    std::fflush(stdout);
    // Leaving without the close guard: the bench has nothing to keep.
    std::_Exit(ok && messages.empty() ? 0 : 1);
}
