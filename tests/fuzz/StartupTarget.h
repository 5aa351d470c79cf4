#pragma once

// An arbitrary configuration file for the window's start-up, then every configuration it
// lists applied to the sample data files.
#include "FuzzSupport.h"

#include "app/frmMain.h"
#include "common/AppPaths.h"
#include "common/Failure.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace fuzz::startup {

namespace {

std::string g_orders;
std::string g_origin;

} // namespace

// Needs a QApplication. samplesDir holds the bundled sample data files.
inline void SetUp(const std::string& samplesDir) {
    fuzz::SilenceMessageBoxes();
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
    const int count = std::min(window.cmbConfig->count(), 4);
    for (int i = 0; i < count; ++i) {
        window.cmbConfig->setCurrentIndex(i);
        for (const std::string& file : {g_orders, g_origin}) {
            window.txtXMLFile->setText(QString::fromStdString(file));
            window.LoadSourceFile(file);
            // Writing the found values back goes through the configured paths as well.
            try {
                window.SaveXmlData(fuzz::WorkDir() + "/saved.xml");
            } catch (const Failure&) {
            }
        }
    }
}

} // namespace fuzz::startup
