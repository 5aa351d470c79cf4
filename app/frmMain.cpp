#include "app/frmMain.h"
#include "app/Configuration.h"
#include "app/Handlers.h"
#include "app/TableOpening.h"
#include "app/WaitCursor.h"
#include "app/frmMainProgress.h"

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
#include <QUrl>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <limits>
#include <utility>

namespace {

// The project's version comes from the build; the release date goes with it.
constexpr const char* kVersion = RAVLEN_VERSION " 26.10.2004";

// Grid columns.
constexpr int32_t kColumnCount = 12;
constexpr int32_t kTextLimit = 255;

// A configuration's Number as the list's item data.
int32_t ConfigNumber(const std::string& text) {
    const std::string trimmed = Trim(text);
    int64_t value = 0;
    const char* first = trimmed.data();
    const char* last = trimmed.data() + trimmed.size();
    if (first != last && *first == '+')
        ++first;
    const auto [end, error] = std::from_chars(first, last, value);
    if (trimmed.empty() || error == std::errc::invalid_argument || end != last)
        throw Failure(kErrTypeMismatch, "Type mismatch: Number '" + text + "'");
    if (error == std::errc::result_out_of_range || value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max())
        throw Failure(kErrOverflow, "Overflow: Number '" + text + "'");
    return static_cast<int32_t>(value);
}

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
            ConfigDoc.GetNodeList("XML/Config");
            while (!ConfigDoc.NodeEOF()) {
                const std::string number = ConfigDoc.SubNodeText("./Number");
                const std::string text = number + " " + ConfigDoc.SubNodeText("./Description");
                cmbConfig->addItem(QString::fromStdString(text), ConfigNumber(number));
                ConfigDoc.NodeMoveNext();
            }
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
    try {
        const WaitCursor waitCursor; // large files take a moment
        const QScopedValueRollback<bool> busy(bBusy, true);
        Grid->SetEmptyNote({});
        pbSave->setEnabled(false);
        {
            const FileProgress progress(this, dlgProgress, SourceDoc,
                                        "Loading " +
                                            QFileInfo(QString::fromStdString(sPath)).fileName());
            SourceDoc.Load(sPath, kRidoRuduDeclaration);
        }

        const std::string number =
            ConfigNumberText(cmbConfig->itemData(cmbConfig->currentIndex()).toInt());
        sReading = "Configuration " + number + " without Check_OriginalFile";
        const std::string checkPath = ConfigDoc.GetElementValue(
            "XML/Config/Check_OriginalFile[../Number[.='" + number + "']]", false);
        if (IsBlank(checkPath)) {
            bOriginFile = false;
        } else {
            sReading = "Origin-file check path: " + checkPath;
            bOriginFile = !IsBlank(SourceDoc.GetElementValue(checkPath, false));
        }

        ConfigDoc.GetNodeList("XML/Config/Fields/Field[../../Number[.='" + number + "']]");
        Grid->SetMaxRows(0);
        while (!ConfigDoc.NodeEOF()) {
            std::string value;
            bool found = false;
            sReading = "A field without XPath in configuration " + number;
            const std::string path = ConfigDoc.SubNodeText("./XPath");
            sReading = "Field path: " + path;
            SourceDoc.GetElementValue2(value, found, path, true);
            if (found) {
                const int32_t row = Grid->MaxRows() + 1;
                Grid->SetMaxRows(row);
                Grid->SetText(row, kColMarker, "0");
                Grid->SetText(row, kColPath, ConfigDoc.SubNodeText("./XPath"));
                sReading = "A field without Alias: " + path;
                Grid->SetText(row, kColAlias, ConfigDoc.SubNodeText("./Alias"));
                Grid->SetText(row, kColValue, value);
            }
            ConfigDoc.NodeMoveNext();
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
                       (sReading.empty() ? "" : sReading + "\n") + FailureDetails(e));
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
        pbSave->setEnabled(false);
        pbSaveAs->setEnabled(false);
        CD.FileName = "";
        CD.Filter = "XML-Files (*.xml)|*.xml";
        CD.ShowOpen();
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
    if (bBusy || !txtXMLFile->acceptDrops() ||
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
    QMetaObject::invokeMethod(
        this,
        [this, urls] {
            // A load or save lets queued work through while it shows its progress.
            if (bBusy)
                dropLater(urls);
            else
                txtXMLFile_OLEDragDrop(urls);
        },
        Qt::QueuedConnection);
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

bool frmMain::HasConfiguration(const QString& sNumber) const {
    return ConfigurationIndex(*cmbConfig, sNumber) >= 0;
}

void frmMain::OpenFromCommandLine(const QString& sNumber, const QString& sFile) {
    const int index = ConfigurationIndex(*cmbConfig, sNumber);
    if (index >= 0)
        cmbConfig->setCurrentIndex(index);
    if (sFile.isEmpty())
        return;
    txtXMLFile_OLEDragDrop({QUrl::fromLocalFile(sFile)});
}
