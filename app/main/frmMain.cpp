#include "app/main/frmMain.h"
#include "app/main/FindDialog.h"
#include "app/main/frmMainProgress.h"
#include "app/shared/BackgroundWork.h"
#include "app/shared/Configuration.h"
#include "app/shared/FileRules.h"
#include "app/shared/Handlers.h"
#include "app/shared/WaitCursor.h"
#include "app/table/TableOpening.h"

#include "common/AppPaths.h"
#include "common/Failure.h"
#include "common/Log.h"
#include "common/MessageBox.h"
#include "common/Strings.h"

#include <QAction>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QShortcut>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace {

// The project's version comes from the build; the release date goes with it.
constexpr const char* kVersion = RAVLEN_VERSION " 26.10.2004";

// How long a drop waits before it looks again whether other work has ended.
constexpr int kBusyRetryMs = 50;

// Grid columns.
constexpr int32_t kColumnCount = 12;

} // namespace

frmMain::frmMain(QWidget* parent) : QMainWindow(parent) {
    createControls();
    arrangeControls();
    connect(cmbConfig, &QComboBox::currentIndexChanged, this, [this] { cmbConfig_Click(); });
    connect(pbSelectFile, &QPushButton::clicked, this, [this] { pbSelectFile_Click(); });
    connect(pbSave, &QPushButton::clicked, this, [this] { pbSave_Click(); });
    connect(pbSaveAs, &QPushButton::clicked, this, [this] { pbSaveAs_Click(); });
    connect(pbExporttoExcel, &QPushButton::clicked, this, [this] { pbExporttoExcel_Click(); });
    connect(pbExit, &QPushButton::clicked, this, [this] { pbExit_Click(); });
    connect(Grid, &SpreadGrid::Change, this,
            [this](int32_t col, int32_t row) { Grid_Change(col, row); });
    connect(Grid, &SpreadGrid::Advance, this, [this](bool next) { Grid_Advance(next); });

    // The keys are named: Qt's standard ones for Save As and Quit are empty under some key
    // schemes. Each acts as a click: an open cell editor is committed first, as leaving it
    // for the button would, and a disabled button does nothing.
    const std::pair<QKeySequence, QPushButton*> shortcuts[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_O), pbSelectFile},
        {QKeySequence(Qt::CTRL | Qt::Key_S), pbSave},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), pbSaveAs},
        {QKeySequence(Qt::CTRL | Qt::Key_Q), pbExit},
    };
    for (const auto& [keys, button] : shortcuts)
        connect(new QShortcut(keys, this), &QShortcut::activated, this, [this, button = button] {
            Grid->CommitEdit();
            button->click();
        });

    auto* openTable = new QAction(this);
    openTable->setObjectName(QStringLiteral("actOpenTable"));
    openTable->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    connect(openTable, &QAction::triggered, this, [this] { OpenTable_Click(); });
    addAction(openTable);
    createBuilderActions();
    (new FindDialog(Grid, this))->AddKeysTo(this);
}

frmMain::~frmMain() = default;

bool frmMain::InitApplication() {
    try {
        sConfigFile = ConfigurationFilePath();
        if (!QFileInfo(QString::fromStdString(sConfigFile)).isFile()) {
            ShowMessageBox("File not found: " + sConfigFile, "Error");
            return false;
        }
        ConfigDoc.Load(sConfigFile, "");
        InitGrid();

        // Items only become visible once the whole list has been read.
        {
            const QSignalBlocker quiet(cmbConfig);
            cmbConfig->clear();
            for (const ConfigurationEntry& entry : ListConfigurations(ConfigDoc))
                cmbConfig->addItem(QString::fromStdString(entry.sText), entry.nNumber);
            cmbConfig->setCurrentIndex(-1);
        }
        if (cmbConfig->count() == 1)
            cmbConfig->setCurrentIndex(0);

        nLastWidth = windowWidthTwips();
        nLastHeight = windowHeightTwips();
        txtXMLFile->setAcceptDrops(true);
        setAcceptDrops(true);
        lblVersion->setText(QString::fromStdString(std::string("Version : ") + kVersion));
        fitVersionLabel();
        pbSave->setEnabled(false);
        pbSaveAs->setEnabled(false);
        pbExporttoExcel->setEnabled(false);
        return true;
    } catch (const std::exception& e) {
        cmbConfig->clear();
        ShowMessageBox(FailureText(e), "Error while initializing application");
        return false;
    }
}

void frmMain::InitGrid() {
    Grid->SetMaxRows(0);
    Grid->SetMaxCols(kColumnCount);
    Grid->SetText(0, kColAlias, "Field");
    Grid->SetText(0, kColValue, "Value");
    Grid->SetColWidth(kColAlias, 25);
    Grid->SetColWidth(kColValue, 68);
    Grid->SetColumnKind(kColPath, SpreadGrid::CellKind::StaticText, kTextLimit);
    Grid->SetColumnKind(kColMarker, SpreadGrid::CellKind::Number);
    Grid->SetColumnKind(kColAlias, SpreadGrid::CellKind::StaticText, kTextLimit);
    Grid->SetColumnKind(kColValue, SpreadGrid::CellKind::EditText, kTextLimit);
    Grid->SetValueColumn(kColValue);
    for (int32_t col = 1; col <= kColPath; ++col)
        Grid->SetColHidden(col, true);
}

void frmMain::cmbConfig_Click() {
    try {
        if (!pendingTablePaths_.isEmpty() && cmbConfig->currentIndex() >= 0)
            OpenTable(std::exchange(pendingTablePaths_, {}));
        if (txtXMLFile->text().isEmpty() || cmbConfig->currentIndex() < 0)
            return;
        if (!AskSaveChanges())
            return;
        LoadSourceFile(txtXMLFile->text().toStdString());
        bDataChanged = false;
    } catch (const std::exception& e) {
        ShowMessageBox(FailureText(e), "Error while selecting xml-configuration");
    }
}

void frmMain::LoadSourceFile(const std::string& sPath) {
    // What was being read, for the details of a failure whose description names only a path.
    std::string sReading;
    bool bFileRead = false;
    std::string sNote; // why the step being taken may fail
    try {
        const WaitCursor waitCursor; // large files take a moment
        const QScopedValueRollback<bool> busy(bBusy, true);
        Grid->SetEmptyNote({});
        pbSave->setEnabled(false);
        {
            const FileProgress progress(this, dlgProgress, SourceDoc,
                                        "Loading " +
                                            QFileInfo(QString::fromStdString(sPath)).fileName());
            SourceStamp.reset();
            // Only the configured fields' elements are kept where their paths allow: a large
            // file then takes a fraction of the memory. A configuration that cannot be read
            // here is reported below, once the file is read.
            std::vector<std::string> paths;
            try {
                paths = ConfiguredPaths(ReadConfiguration(
                    ConfigDoc, cmbConfig->itemData(cmbConfig->currentIndex()).toInt(),
                    Aliases::Optional));
            } catch (const std::exception&) {
            }
            SourceDoc.LoadFor(sPath, kRidoRuduDeclaration, paths);
            SourceStamp = SourceDoc.LoadedStamp();
        }
        bFileRead = true;

        const ConfigurationInfo config =
            ReadConfiguration(ConfigDoc, cmbConfig->itemData(cmbConfig->currentIndex()).toInt(),
                              Aliases::Optional, [&](const std::string& step) { sReading = step; });
        if (IsBlank(config.sCheckPath)) {
            bOriginFile = false;
        } else {
            sReading = "Origin-file check path: " + config.sCheckPath;
            sNote = NamespaceNote(SourceDoc);
            bOriginFile = !IsBlank(SourceDoc.GetElementValue(config.sCheckPath, false));
            sNote.clear();
        }

        // Another file, or the same one read again, starts a new history: an undo must not
        // write values of what was shown before into these rows.
        Grid->SetMaxRows(0);
        Grid->UndoStack().clear();
        for (const FieldInfo& field : config.Fields) {
            std::string value;
            bool found = false;
            sReading = "Field path: " + field.sPath;
            SourceDoc.GetElementValue2(value, found, field.sPath, true);
            if (found) {
                sReading = "A field without Alias: " + field.sPath;
                if (field.missingAlias)
                    std::rethrow_exception(field.missingAlias);
                const int32_t row = Grid->MaxRows() + 1;
                Grid->SetMaxRows(row);
                Grid->SetText(row, kColMarker, "0");
                Grid->SetText(row, kColPath, field.sPath);
                Grid->SetText(row, kColAlias, field.sAlias);
                Grid->SetText(row, kColValue, value);
            }
        }

        if (Grid->MaxRows() > 0) {
            Grid->SetActiveCell(kColValue, 1);
            Grid->setFocus();
            pbExporttoExcel->setEnabled(true);
        } else {
            Grid->SetEmptyNote(QStringLiteral("None of the fields of this configuration is in "
                                              "this file."));
        }
    } catch (const std::exception& e) {
        LogFailure("cannot load " + sPath + " under configuration " +
                       cmbConfig->currentText().toStdString(),
                   e);
        ShowMessageBox("XML-File can not handled by these configuration!",
                       "Error while loading xml-file", MsgButtons::OK,
                       bFileRead ? (sReading.empty() ? "" : sReading + "\n") + FailureDetails(e) +
                                       (sNote.empty() ? "" : "\n" + sNote)
                                 : LoadFailureDetails(sPath, e));
        // Rows of an earlier file must not stay beside a document they do not belong to:
        // the next save would write them into the wrong file.
        Grid->SetMaxRows(0);
        pbSave->setEnabled(false);
        pbSaveAs->setEnabled(false);
        pbExporttoExcel->setEnabled(false);
    }
}

void frmMain::pbSelectFile_Click() {
    try {
        if (!AskSaveChanges())
            return;
        const bool bSaveWas = pbSave->isEnabled();
        const bool bSaveAsWas = pbSaveAs->isEnabled();
        pbSave->setEnabled(false);
        pbSaveAs->setEnabled(false);
        CD.FileName = "";
        CD.Filter = "XML-Files (*.xml)|*.xml";
        CD.MultiSelect = true;
        CD.ShowOpen();
        if (CD.FileNames.size() > 1) {
            // Several files are for the table; this window keeps its file as it was.
            pbSave->setEnabled(bSaveWas);
            pbSaveAs->setEnabled(bSaveAsWas);
            QStringList paths;
            for (const std::string& name : CD.FileNames)
                paths << QString::fromStdString(name);
            OpenTable(paths);
            return;
        }
        if (!CD.FileName.empty())
            txtXMLFile->setText(QString::fromStdString(CD.FileName));
        if (!txtXMLFile->text().isEmpty() && cmbConfig->currentIndex() > -1) {
            LoadSourceFile(txtXMLFile->text().toStdString());
            bDataChanged = false;
        }
    } catch (const std::exception& e) {
        ShowFailure(e, "Error while selecting xml-file");
    }
}

void frmMain::txtXMLFile_OLEDragDrop(const QList<QUrl>& Data) {
    try {
        switch (DropUseFor(Data)) {
        case DropUse::Ignore:
            return;
        case DropUse::OpenMany:
            // Several files or a folder: the table of many files.
            OpenTable(LocalPaths(Data));
            return;
        case DropUse::LoadOne:
            break;
        }
        const QString path = Data.front().toLocalFile();
        if (!AskSaveChanges())
            return;
        txtXMLFile->setText(path);
        if (cmbConfig->currentIndex() > -1) {
            LoadSourceFile(txtXMLFile->text().toStdString());
            bDataChanged = false;
        }
    } catch (const std::exception& e) {
        ShowMessageBox(FailureText(e), "Error while selecting xml-file");
    }
}

frmMain::DropUse frmMain::DropUseFor(const QList<QUrl>& urls) const {
    const bool allLocal =
        std::all_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
    if (urls.isEmpty() || !allLocal)
        return DropUse::Ignore;
    // Exactly one path whose last four characters read ".XML" in any case; two such files
    // are not reduced to the first.
    if (urls.size() == 1 && urls.front().toLocalFile().right(4).toUpper() == QStringLiteral(".XML"))
        return DropUse::LoadOne;
    return OpensTable(LocalPaths(urls)) ? DropUse::OpenMany : DropUse::Ignore;
}

// Drops anywhere on the window count as drops on the source box. The drag is answered at
// once and the drop's work waits until the drag has ended, so that the desktop's drag source
// is not held while a question or a long load runs.
bool frmMain::takeDragEvent(QEvent* event) {
    auto* drag = static_cast<QDropEvent*>(event);
    if (Busy() || !txtXMLFile->acceptDrops() ||
        DropUseFor(drag->mimeData()->urls()) == DropUse::Ignore) {
        drag->ignore();
        return false;
    }
    drag->acceptProposedAction();
    if (event->type() == QEvent::Drop)
        dropLater(drag->mimeData()->urls());
    return true;
}

void frmMain::dropLater(const QList<QUrl>& urls) {
    // A load, a save or the table's work lets queued work through while it shows progress;
    // the drop waits until it has ended.
    QTimer::singleShot(Busy() ? kBusyRetryMs : 0, this, [this, urls] {
        if (Busy())
            dropLater(urls);
        else
            txtXMLFile_OLEDragDrop(urls);
    });
}

bool frmMain::Busy() const {
    return bBusy || BackgroundWorkRunning();
}

void frmMain::dragEnterEvent(QDragEnterEvent* event) {
    takeDragEvent(event);
}

void frmMain::dragMoveEvent(QDragMoveEvent* event) {
    takeDragEvent(event);
}

void frmMain::dropEvent(QDropEvent* event) {
    takeDragEvent(event);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblVersion && event->type() == QEvent::FontChange)
        fitVersionLabel();
    if (watched == txtXMLFile && event->type() == QEvent::ApplicationPaletteChange)
        showPathBoxAsDisplay(); // the colours of a new theme
    // The box is read-only, so its own handlers would refuse every drop.
    if (watched == txtXMLFile &&
        (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove ||
         event->type() == QEvent::Drop)) {
        takeDragEvent(event);
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::Grid_Change(int32_t Col, int32_t Row) {
    (void)Col;
    Grid->SetText(Row, kColMarker, "1");
    Grid->SetCellMarked(Row, kColValue, true);
    if (!bOriginFile)
        pbSave->setEnabled(true);
    pbSaveAs->setEnabled(true);
    bDataChanged = true;
}

void frmMain::Grid_Advance(bool AdvanceNext) {
    if (pbSave->isEnabled() && AdvanceNext)
        pbSave->setFocus(Qt::TabFocusReason);
}

void frmMain::pbExit_Click() {
    close();
}

namespace {

// The first listed configuration whose configuration number text is sNumber, or -1.
int ConfigurationIndex(const QComboBox& list, const QString& sNumber) {
    for (int index = 0; index < list.count(); ++index) {
        if (QString::fromStdString(ConfigNumberText(list.itemData(index).toInt())) == sNumber)
            return index;
    }
    return -1;
}

} // namespace

void frmMain::OpenFromCommandLine(const QString& sNumber, const QString& sFile) {
    const int index = ConfigurationIndex(*cmbConfig, sNumber);
    if (index >= 0)
        cmbConfig->setCurrentIndex(index);
    if (sFile.isEmpty())
        return;
    txtXMLFile_OLEDragDrop({QUrl::fromLocalFile(sFile)});
}
