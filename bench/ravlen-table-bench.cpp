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
#include "app/shared/Configuration.h"
#include "app/table/frmTable.h"
#include "xml/DOMWrapper.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QClipboard>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableView>
#include <QTest>

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
    bool save = false;
};

Options ParseOptions(int argc, char** argv) {
    const bench::Arguments arguments("ravlen-table-bench",
                                     "ravlen-table-bench --config FILE.lib --folder DIR "
                                     "[--number N] [--paste-column K] [--save]");
    Options options;
    arguments.Parse(argc, argv,
                    {{"--config", [&](const std::string& v) { options.config = v; }},
                     {"--folder", [&](const std::string& v) { options.folder = v; }},
                     {"--number",
                      [&](const std::string& v) {
                          options.number =
                              arguments.Number(v, "--number takes a configuration number");
                      }},
                     {"--paste-column",
                      [&](const std::string& v) {
                          options.pasteColumn =
                              arguments.Number(v, "--paste-column takes a field's position");
                      }}},
                    {{"--save", &options.save}});
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

    bench::ReportEnd(rows, messages);
    // Leaving without the close guard: the bench has nothing to keep.
    std::_Exit(ok && messages.empty() ? 0 : 1);
}
