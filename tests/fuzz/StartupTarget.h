#pragma once

// An arbitrary configuration file for the window's start-up, then every configuration it
// lists applied to the sample data files.
#include "FuzzSupport.h"

#include "app/main/frmMain.h"
#include "common/AppPaths.h"
#include "common/FileDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace fuzz::startup {

namespace {

std::string g_orders;
std::string g_origin;
std::deque<std::string> g_answers; // the file dialogs' answers; none left is a cancel

} // namespace

// Needs a QApplication. samplesDir holds the bundled sample data files.
inline void SetUp(const std::string& samplesDir) {
    fuzz::SilenceMessageBoxes();
    CommonDialog::SetBackend(
        [](CommonDialog::Mode, const CommonDialog&) -> std::optional<std::vector<std::string>> {
            if (g_answers.empty())
                return std::nullopt;
            std::vector<std::string> answer{g_answers.front()};
            g_answers.pop_front();
            return answer;
        });
    OverrideExecutablePath(fuzz::WorkDir() + "/ravlen");
    namespace fs = std::filesystem;
    g_orders = fuzz::WorkDir() + "/orders.xml";
    g_origin = fuzz::WorkDir() + "/origin.xml";
    fs::copy_file(samplesDir + "/orders-2004-11.xml", g_orders,
                  fs::copy_options::overwrite_existing);
    fs::copy_file(samplesDir + "/orders-origin.xml", g_origin,
                  fs::copy_options::overwrite_existing);
}

inline void RunOne(const uint8_t* data, size_t size) {
    fuzz::WriteFile("ravlen.lib", data, size);
    frmMain window;
    if (!window.InitApplication())
        return;
    auto* configList = window.findChild<QComboBox*>(QStringLiteral("cmbConfig"));
    auto* grid = window.findChild<SpreadGrid*>(QStringLiteral("Grid"));
    auto* selectFile = window.findChild<QPushButton*>(QStringLiteral("pbSelectFile"));
    auto* saveAs = window.findChild<QPushButton*>(QStringLiteral("pbSaveAs"));
    const int count = std::min(configList->count(), 4);
    for (int i = 0; i < count; ++i) {
        configList->setCurrentIndex(i);
        for (const std::string& file : {g_orders, g_origin}) {
            g_answers = {file};
            selectFile->click();
            // Writing the found values back goes through the configured paths as well.
            if (grid->MaxRows() == 0)
                continue;
            grid->CommitUserEdit(1, 12, QString::fromStdString(grid->GetText(1, 12)));
            g_answers = {fuzz::WorkDir() + "/saved.xml"};
            saveAs->click();
        }
    }
    g_answers.clear();
}

} // namespace fuzz::startup
