#include "app/builder/frmBuilder.h"
#include "app/main/frmMain.h"
#include "app/shared/Configuration.h"
#include "app/shared/Handlers.h"

#include "common/AppPaths.h"
#include "common/Failure.h"
#include "common/MessageBox.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>

void frmMain::createBuilderActions() {
    auto* newConfig = new QAction(this);
    newConfig->setObjectName(QStringLiteral("actNewConfig"));
    newConfig->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    connect(newConfig, &QAction::triggered, this, [this] { NewConfiguration({}); });
    addAction(newConfig);

    auto* editConfig = new QAction(this);
    editConfig->setObjectName(QStringLiteral("actEditConfig"));
    editConfig->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    connect(editConfig, &QAction::triggered, this, [this] { EditConfiguration_Click(); });
    addAction(editConfig);
}

void frmMain::NewConfiguration(const QString& sDataFile) {
    const std::string file = sDataFile.isEmpty() ? BuilderDataFile() : sDataFile.toStdString();
    if (!file.empty())
        OpenBuilder(file, std::nullopt);
}

void frmMain::EditConfiguration_Click() {
    if (cmbConfig->currentIndex() < 0) {
        ShowMessageBox("Choose the configuration to edit.", kAppTitle);
        cmbConfig->setFocus();
        return;
    }
    const int32_t number = cmbConfig->itemData(cmbConfig->currentIndex()).toInt();
    const std::string file = BuilderDataFile();
    if (!file.empty())
        OpenBuilder(file, number);
}

std::string frmMain::BuilderDataFile() {
    if (!txtXMLFile->text().isEmpty() && SourceDoc.Document())
        return txtXMLFile->text().toStdString();
    try {
        CD.FileName = "";
        CD.Filter = "XML-Files (*.xml)|*.xml";
        CD.ShowOpen();
        return CD.FileName;
    } catch (const std::exception& e) {
        ShowFailure(e, "Error while selecting xml-file");
        return {};
    }
}

void frmMain::OpenBuilder(const std::string& sDataFile, std::optional<int32_t> nEdit) {
    frmBuilder* builder = frmBuilder::Open(sConfigFile, sDataFile, nEdit);
    if (builder)
        connect(builder, &frmBuilder::ConfigurationsChanged, this,
                [this] { ReloadConfigurations(); });
}

void frmMain::ReloadConfigurations() {
    try {
        // The builder may have made the user's own file, which is read from now on.
        const std::string path = ConfigurationFilePath();
        {
            DOMWrapper probe; // a broken file leaves the list as it was
            probe.Load(path, "");
            ListConfigurations(probe);
        }
        ConfigDoc.Load(path, "");
        sConfigFile = path;
        const QVariant selected =
            cmbConfig->currentIndex() >= 0 ? cmbConfig->currentData() : QVariant();
        const QSignalBlocker quiet(cmbConfig);
        cmbConfig->clear();
        for (const ConfigurationEntry& entry : ListConfigurations(ConfigDoc))
            cmbConfig->addItem(QString::fromStdString(entry.sText), entry.nNumber);
        cmbConfig->setCurrentIndex(selected.isValid() ? cmbConfig->findData(selected) : -1);
    } catch (const std::exception& e) {
        ShowMessageBox(FailureText(e), "Error while selecting xml-configuration");
    }
}
