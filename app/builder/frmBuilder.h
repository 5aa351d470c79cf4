#pragma once

#include "xml/DOMWrapper.h"
#include "xml/DocumentOutline.h"

#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;

// Builds a configuration from a sample data file: the file's elements and attributes on the
// left, picked into fields on the right, each with a path that selects exactly what was
// picked. Saves into the configuration file in place.
class frmBuilder : public QWidget {
    Q_OBJECT

public:
    // A window of its own on sDataFile, for a new configuration of the configuration file
    // sConfigFile, or for the one numbered *nEdit. Null when the data file does not load or
    // the configuration cannot be read; the reason has been shown.
    static frmBuilder* Open(const std::string& sConfigFile, const std::string& sDataFile,
                            std::optional<int32_t> nEdit = std::nullopt);

    // The table's columns.
    static constexpr int kColAlias = 0;
    static constexpr int kColPath = 1;
    static constexpr int kColMatches = 2;

signals:
    // The configuration file has been written (it may now be another file than before).
    void ConfigurationsChanged(int32_t nNumber);

private:
    frmBuilder(const std::string& sConfigFile, const std::string& sDataFile);
    bool Load(std::optional<int32_t> nEdit);
    void createControls();

    // The tree, a level at a time.
    QTreeWidgetItem* AddTreeItem(QTreeWidgetItem* parent, const OutlineNode& node);
    void FillChildren(QTreeWidgetItem* item);
    void Search();
    // The node behind a tree item.
    const OutlineNode* NodeOf(const QTreeWidgetItem* item) const;

    // The fields.
    void PickField(const QTreeWidgetItem* item);
    void AddFieldRow(const std::string& sAlias, const std::string& sPath);
    // The matches of the row's path, or of path as it is being typed; "invalid" when it is
    // not an expression that selects nodes.
    void Recount(int row);
    void Recount(int row, const QString& path);
    void MoveRow(int delta);
    void RemoveRow();
    void PickCheck();
    void RecountCheck();

    // The files of an open table of many files that lies in the data file's folder, read so
    // that each count also says in how many of them its path selects something.
    void ReadTableFiles();
    // ", in N of M files" for path, or nothing without such a table.
    QString InTableFiles(const std::string& path) const;

    void Save();
    void Delete();
    bool eventFilter(QObject* watched, QEvent* event) override;

    std::string sConfigFile_;
    std::string sDataFile_;
    std::optional<int32_t> nEditing_;
    DOMWrapper DataDoc;
    std::vector<std::unique_ptr<DOMWrapper>> TableDocs; // null where a file did not load
    std::vector<OutlineNode> nodes_; // what the tree's items stand for, by their index
    bool bFilling_ = false;

    QLabel* lblFile = nullptr;
    QLineEdit* txtSearch = nullptr;
    QTreeWidget* tvwFile = nullptr;
    QLineEdit* txtNumber = nullptr;
    QLineEdit* txtDescription = nullptr;
    QLineEdit* txtCheck = nullptr;
    QLabel* lblCheckMatches = nullptr;
    QPushButton* pbPickCheck = nullptr;
    QPushButton* pbNoCheck = nullptr;
    QTableWidget* tblFields = nullptr;
    QPushButton* pbAddField = nullptr;
    QPushButton* pbUp = nullptr;
    QPushButton* pbDown = nullptr;
    QPushButton* pbRemove = nullptr;
    QPushButton* pbSave = nullptr;
    QPushButton* pbDelete = nullptr;
    QPushButton* pbClose = nullptr;
};
