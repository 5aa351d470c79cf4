#pragma once

#include "app/main/SpreadGrid.h"
#include "common/FileDialog.h"
#include "xml/DOMWrapper.h"

#include <QMainWindow>
#include <QRect>
#include <QStringList>

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <string>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMimeData;
class QUrl;
class QProgressDialog;
class QPushButton;

// The program's one window: configuration list, source file, the grid of configured
// fields, saving and export. Everything else reaches it through its controls (found by
// object name), the platform seams and the events a person causes.
class frmMain : public QMainWindow {
    Q_OBJECT

public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // Start-up: reads the configuration file and fills the window. False when the program
    // cannot run; the reason has been shown.
    bool InitApplication();

    // --- Command line ---
    // Chooses that configuration (none when empty), then takes sFile (unless empty) as a
    // drop of that one file.
    void OpenFromCommandLine(const QString& sNumber, const QString& sFile);

    // Opens the table of many files (folders stand for their *.xml files) under the chosen
    // configuration; with none chosen, the table opens once one is (frmMainTable.cpp).
    void OpenTable(const QStringList& paths);

    // Opens the configuration builder on sDataFile for a new configuration, or first asks
    // for a data file when sDataFile is empty (frmMainBuilder.cpp).
    void NewConfiguration(const QString& sDataFile);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // --- Window state ---
    std::string sConfigFile;
    DOMWrapper ConfigDoc;
    DOMWrapper SourceDoc;
    bool bDataChanged = false;
    bool bOriginFile = false;
    int32_t nLastWidth = 0;  // twips
    int32_t nLastHeight = 0; // twips
    // A load or save is under way: its progress lets events through, which must not start
    // another piece of work on the same document.
    bool bBusy = false;
    // The source file as it was loaded or last saved, to tell a change made on disk meanwhile.
    std::optional<FileStamp> SourceStamp;

    // The grid's columns: the change marker, the field path, the alias and the value.
    static constexpr int32_t kColMarker = 2;
    static constexpr int32_t kColPath = 10;
    static constexpr int32_t kColAlias = 11;
    static constexpr int32_t kColValue = 12;

    // --- Controls ---
    QGroupBox* Frame1 = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* cmbConfig = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* txtXMLFile = nullptr;
    QPushButton* pbSelectFile = nullptr;
    QGroupBox* Frame2 = nullptr;
    SpreadGrid* Grid = nullptr;
    QPushButton* pbSave = nullptr;
    QPushButton* pbSaveAs = nullptr;
    QPushButton* pbExporttoExcel = nullptr;
    QPushButton* pbExit = nullptr;
    QLabel* lblVersion = nullptr;
    QProgressDialog* dlgProgress = nullptr;
    CommonDialog CD;

    // --- Start-up and loading ---
    void InitGrid();
    void LoadSourceFile(const std::string& sPath);
    void cmbConfig_Click();

    // --- Choosing the source file ---
    void pbSelectFile_Click();
    // The dropped paths: the drag's own data is gone once the drop has ended.
    void txtXMLFile_OLEDragDrop(const QList<QUrl>& Data);
    enum class DropUse { Ignore, LoadOne, OpenMany };
    // What a drop of these paths does, decided in this one place for the drag and the drop.
    DropUse DropUseFor(const QList<QUrl>& urls) const;
    bool takeDragEvent(QEvent* event);
    void dropLater(const QList<QUrl>& urls);
    // A load or save of this window, or the work of a table, is under way.
    bool Busy() const;

    // --- Editing ---
    void Grid_Change(int32_t Col, int32_t Row);
    void Grid_Advance(bool AdvanceNext);

    // --- Saving and the unsaved-changes guard (frmMainSave.cpp) ---
    bool AskSaveChanges();
    void pbSave_Click();
    void pbSaveAs_Click();
    bool SaveSourceFile();
    bool SaveSourceFileAs();
    std::string SelectSaveFileName();
    // Whether a chosen name would overwrite the origin file that sCurrent names.
    bool IsOriginFileName(const std::string& sName, const std::string& sCurrent) const;
    bool SaveXmlData(const std::string& sPath);
    // Whether a save to sPath may go on: when it would replace the source file and that
    // changed on disk since it was loaded, the user is asked first.
    bool MayOverwriteSource(const std::string& sPath);
    void pbExit_Click();

    // --- The table of many files (frmMainTable.cpp) ---
    QStringList pendingTablePaths_;
    void OpenTable_Click();

    // --- The configuration builder (frmMainBuilder.cpp) ---
    void createBuilderActions();
    void EditConfiguration_Click();
    // The data file the builder shows: the loaded one, else one the user picks; empty when
    // the dialog was cancelled.
    std::string BuilderDataFile();
    void OpenBuilder(const std::string& sDataFile, std::optional<int32_t> nEdit);
    // Reads the configuration list again after the builder wrote it, keeping the selection
    // without loading anything.
    void ReloadConfigurations();

    // --- Export (frmMainExport.cpp) ---
    void pbExporttoExcel_Click();
    void ExportToWorkbook(const std::string& sPath);

    // --- Layout (frmMainLayout.cpp) ---
    void createControls();
    void arrangeControls();
    void showPathBoxAsDisplay();
    void Form_Resize();
    void place(QWidget* control, const QRect& twips);
    // Places the version line again after its text or font changed.
    void fitVersionLabel();
    // A control's placement in twips, relative to its container.
    QRect twipsGeometry(const QWidget* control) const;
    int32_t pixelsToTwips(int32_t pixels, bool horizontal) const;
    int32_t twipsToPixels(int32_t twips, bool horizontal) const;
    int32_t windowWidthTwips() const;
    int32_t windowHeightTwips() const;

    std::map<const QWidget*, QRect> twips_;
};
