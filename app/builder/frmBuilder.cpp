#include "app/builder/frmBuilder.h"

#include "app/shared/BackgroundWork.h"
#include "app/shared/Configuration.h"
#include "app/shared/ConfigurationFile.h"
#include "app/table/frmTable.h"

#include "common/Failure.h"
#include "common/MessageBox.h"
#include "xml/FieldPaths.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <functional>
#include <utility>

namespace {

constexpr int kPreviewLength = 40;
constexpr const char* kSaveTitle = "Error while saving configuration";
constexpr const char* kInvalidMark = "invalid";

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// A value as one short line.
QString Preview(const std::string& value) {
    QString text = Q(value).simplified();
    if (text.size() > kPreviewLength)
        text = text.left(kPreviewLength - 1) + QChar(0x2026);
    return text;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption,
                    const QString& tip = {}) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setToolTip(tip);
    return button;
}

// Tells of every keystroke in a path's editor, so that its count follows the typing, not only
// the commit.
class PathDelegate : public QStyledItemDelegate {
public:
    PathDelegate(QObject* parent, std::function<void(int, const QString&)> typed)
        : QStyledItemDelegate(parent), typed_(std::move(typed)) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor)) {
            line->setObjectName(QStringLiteral("txtPathEditor"));
            const int row = index.row();
            connect(line, &QLineEdit::textEdited, line,
                    [this, row](const QString& text) { typed_(row, text); });
        }
        return editor;
    }

private:
    std::function<void(int, const QString&)> typed_;
};

} // namespace

frmBuilder* frmBuilder::Open(const std::string& sConfigFile, const std::string& sDataFile,
                             std::optional<int32_t> nEdit) {
    auto* window = new frmBuilder(sConfigFile, sDataFile);
    if (!window->Load(nEdit)) {
        delete window;
        return nullptr;
    }
    window->show();
    return window;
}

frmBuilder::frmBuilder(const std::string& sConfigFile, const std::string& sDataFile)
    : sConfigFile_(sConfigFile), sDataFile_(sDataFile) {
    setObjectName(QStringLiteral("frmBuilder"));
    setAttribute(Qt::WA_DeleteOnClose);
    createControls();
}

bool frmBuilder::Load(std::optional<int32_t> nEdit) {
    try {
        DataDoc.Load(sDataFile_, kRidoRuduDeclaration);
    } catch (const std::exception& e) {
        ShowMessageBox(FailureText(e), "Error while selecting xml-file");
        return false;
    }
    try {
        DOMWrapper ConfigDoc;
        ConfigDoc.Load(sConfigFile_, "");
        bFilling_ = true;
        if (nEdit) {
            const ConfigurationInfo config = ReadConfiguration(ConfigDoc, *nEdit);
            txtNumber->setText(Q(ConfigNumberText(*nEdit)));
            txtDescription->setText(Q(config.sDescription));
            txtCheck->setText(Q(config.sCheckPath));
            for (const FieldInfo& field : config.Fields)
                AddFieldRow(field.sAlias, field.sPath);
        } else {
            txtNumber->setText(Q(ConfigNumberText(NextConfigurationNumber(ConfigDoc))));
        }
        bFilling_ = false;
        nEditing_ = nEdit;
    } catch (const std::exception& e) {
        bFilling_ = false;
        ShowMessageBox(FailureText(e), "Error while selecting xml-configuration");
        return false;
    }
    pbDelete->setEnabled(nEditing_.has_value());
    lblFile->setText(Q(sDataFile_));
    setWindowTitle((nEditing_ ? QStringLiteral("Configuration ") + txtNumber->text()
                              : QStringLiteral("New configuration")) +
                   QStringLiteral(" from ") + QFileInfo(Q(sDataFile_)).fileName());
    for (const OutlineNode& node : OutlineChildren(DataDoc, {}))
        tvwFile->expandItem(AddTreeItem(nullptr, node));
    ReadTableFiles();
    RecountCheck();
    for (int row = 0; row < tblFields->rowCount(); ++row)
        Recount(row);
    return true;
}

void frmBuilder::ReadTableFiles() {
    const QString folder = QFileInfo(Q(sDataFile_)).absolutePath();
    QStringList files;
    for (const frmTable* table : frmTable::OpenTables()) {
        const QStringList shown = table->Files();
        if (std::any_of(shown.begin(), shown.end(), [&](const QString& file) {
                return QFileInfo(file).absolutePath() == folder;
            })) {
            files = shown;
            break;
        }
    }
    TableDocs.clear();
    TableDocs.resize(static_cast<size_t>(files.size()));
    if (files.isEmpty())
        return;
    DOMWrapper::SetUpLibrary();
    std::atomic<bool> stop{false};
    RunInBackground(
        TableDocs.size(),
        [&](size_t i, const std::atomic<bool>& halt) {
            auto doc = std::make_unique<DOMWrapper>();
            doc->RaiseInsteadOfBoxes();
            doc->SetStop(&halt);
            try {
                doc->Load(files[static_cast<qsizetype>(i)].toStdString(), kRidoRuduDeclaration);
                TableDocs[i] = std::move(doc);
            } catch (const std::exception&) {
                // A file that does not load holds no field.
            }
        },
        [](size_t) { return true; }, stop);
}

QString frmBuilder::InTableFiles(const std::string& path) const {
    if (TableDocs.empty())
        return {};
    int holding = 0;
    for (const auto& doc : TableDocs)
        if (doc && CountMatches(*doc, path) > 0)
            ++holding;
    return QStringLiteral(", in %1 of %2 files").arg(holding).arg(TableDocs.size());
}

void frmBuilder::createControls() {
    resize(1000, 600);
    auto* splitter = new QSplitter(this);
    auto* left = new QWidget(splitter);
    auto* right = new QWidget(splitter);

    lblFile = new QLabel(left);
    lblFile->setObjectName(QStringLiteral("lblFile"));
    txtSearch = new QLineEdit(left);
    txtSearch->setObjectName(QStringLiteral("txtSearch"));
    txtSearch->setPlaceholderText(QStringLiteral("Search names and values (Enter: next)"));
    tvwFile = new QTreeWidget(left);
    tvwFile->setObjectName(QStringLiteral("tvwFile"));
    tvwFile->setHeaderLabels({QStringLiteral("Node"), QStringLiteral("Value")});
    tvwFile->setColumnWidth(0, 170); // leaves the value previews in sight
    tvwFile->setDragEnabled(true);
    tvwFile->setDragDropMode(QAbstractItemView::DragOnly);
    tvwFile->setToolTip(QStringLiteral("Double-click, Enter or drag a node to add it as a field"));
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->addWidget(lblFile);
    leftLayout->addWidget(txtSearch);
    leftLayout->addWidget(tvwFile);

    txtNumber = new QLineEdit(right);
    txtNumber->setObjectName(QStringLiteral("txtNumber"));
    txtDescription = new QLineEdit(right);
    txtDescription->setObjectName(QStringLiteral("txtDescription"));
    txtCheck = new QLineEdit(right);
    txtCheck->setObjectName(QStringLiteral("txtCheck"));
    txtCheck->setPlaceholderText(QStringLiteral("none"));
    lblCheckMatches = new QLabel(right);
    lblCheckMatches->setObjectName(QStringLiteral("lblCheckMatches"));
    pbPickCheck = Button(right, "pbPickCheck", QStringLiteral("&Pick"),
                         QStringLiteral("The node selected in the file marks an origin file"));
    pbNoCheck =
        Button(right, "pbNoCheck", QStringLiteral("&None"), QStringLiteral("No origin-file check"));
    auto* checkRow = new QHBoxLayout;
    checkRow->addWidget(txtCheck, 1);
    checkRow->addWidget(lblCheckMatches);
    checkRow->addWidget(pbPickCheck);
    checkRow->addWidget(pbNoCheck);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Number"), txtNumber);
    form->addRow(QStringLiteral("Description"), txtDescription);
    form->addRow(QStringLiteral("Origin check"), checkRow);

    tblFields = new QTableWidget(0, 3, right);
    tblFields->setObjectName(QStringLiteral("tblFields"));
    tblFields->setHorizontalHeaderLabels(
        {QStringLiteral("Alias"), QStringLiteral("Path"), QStringLiteral("Matches")});
    tblFields->horizontalHeader()->setSectionResizeMode(kColPath, QHeaderView::Stretch);
    tblFields->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblFields->setSelectionMode(QAbstractItemView::SingleSelection);
    tblFields->setItemDelegateForColumn(
        kColPath,
        new PathDelegate(tblFields, [this](int row, const QString& text) { Recount(row, text); }));
    tblFields->viewport()->setAcceptDrops(true);
    tblFields->viewport()->installEventFilter(this);

    pbAddField = Button(right, "pbAddField", QStringLiteral("&Add"),
                        QStringLiteral("Add the node selected in the file as a field"));
    pbUp = Button(right, "pbUp", QStringLiteral("&Up"));
    pbDown = Button(right, "pbDown", QStringLiteral("Do&wn"));
    pbRemove = Button(right, "pbRemove", QStringLiteral("&Remove"));
    pbSave = Button(right, "pbSave", QStringLiteral("&Save"),
                    QStringLiteral("Save the configuration into the configuration file"));
    pbDelete = Button(right, "pbDelete", QStringLiteral("&Delete"),
                      QStringLiteral("Delete this configuration from the configuration file"));
    pbClose = Button(right, "pbClose", QStringLiteral("&Close"));
    auto* rowButtons = new QHBoxLayout;
    for (QPushButton* button : {pbAddField, pbUp, pbDown, pbRemove})
        rowButtons->addWidget(button);
    rowButtons->addStretch();
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    for (QPushButton* button : {pbDelete, pbSave, pbClose})
        bottom->addWidget(button);

    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->addLayout(form);
    rightLayout->addWidget(tblFields, 1);
    rightLayout->addLayout(rowButtons);
    rightLayout->addLayout(bottom);

    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);

    connect(tvwFile, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* item) { FillChildren(item); });
    // Double-click and Enter.
    connect(tvwFile, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { PickField(item); });
    connect(txtSearch, &QLineEdit::returnPressed, this, [this] { Search(); });
    connect(pbAddField, &QPushButton::clicked, this, [this] { PickField(tvwFile->currentItem()); });
    connect(pbUp, &QPushButton::clicked, this, [this] { MoveRow(-1); });
    connect(pbDown, &QPushButton::clicked, this, [this] { MoveRow(1); });
    connect(pbRemove, &QPushButton::clicked, this, [this] { RemoveRow(); });
    connect(pbPickCheck, &QPushButton::clicked, this, [this] { PickCheck(); });
    connect(pbNoCheck, &QPushButton::clicked, this, [this] { txtCheck->clear(); });
    connect(txtCheck, &QLineEdit::textChanged, this, [this] { RecountCheck(); });
    connect(tblFields, &QTableWidget::cellChanged, this, [this](int row, int col) {
        if (col == kColPath && !bFilling_)
            Recount(row);
    });
    connect(pbSave, &QPushButton::clicked, this, [this] { Save(); });
    connect(pbDelete, &QPushButton::clicked, this, [this] { Delete(); });
    connect(pbClose, &QPushButton::clicked, this, [this] { close(); });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this), &QShortcut::activated, this,
            [this] { pbSave->click(); });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this), &QShortcut::activated, this,
            [this] { txtSearch->setFocus(); });
}

QTreeWidgetItem* frmBuilder::AddTreeItem(QTreeWidgetItem* parent, const OutlineNode& node) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tvwFile);
    item->setText(0, (node.bAttribute ? QStringLiteral("@") : QString()) + Q(node.sName));
    if (node.bHoldsText)
        item->setText(1, Preview(node.sValue));
    item->setToolTip(0, Q(node.sNamespace));
    item->setData(0, Qt::UserRole, static_cast<qulonglong>(nodes_.size()));
    if (node.bHasChildren)
        item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    nodes_.push_back(node);
    return item;
}

// Children are read when their parent first opens, so a large file costs nothing up front.
void frmBuilder::FillChildren(QTreeWidgetItem* item) {
    if (!item || item->childCount() > 0 || !NodeOf(item) || !NodeOf(item)->bHasChildren)
        return;
    const DOMNode parent = NodeOf(item)->node;
    for (const OutlineNode& child : OutlineChildren(DataDoc, parent))
        AddTreeItem(item, child);
}

const OutlineNode* frmBuilder::NodeOf(const QTreeWidgetItem* item) const {
    if (!item)
        return nullptr;
    const size_t index = item->data(0, Qt::UserRole).toULongLong();
    return index < nodes_.size() ? &nodes_[index] : nullptr;
}

// The next match after the selected node, wrapping round to the start once.
void frmBuilder::Search() {
    const std::string text = txtSearch->text().toStdString();
    if (text.empty())
        return;
    const OutlineNode* from = NodeOf(tvwFile->currentItem());
    DOMNode found = FindNodeAfter(DataDoc, from ? from->node : DOMNode(), text);
    if (!found.IsSet() && from)
        found = FindNodeAfter(DataDoc, {}, text);
    if (!found.IsSet()) {
        ShowMessageBox("Nothing found: " + text, kAppTitle);
        return;
    }
    QTreeWidgetItem* item = nullptr;
    std::vector<DOMNode> chain = NodeAncestry(found);
    for (const DOMNode& step : chain) {
        QTreeWidgetItem* next = nullptr;
        const int count = item ? item->childCount() : tvwFile->topLevelItemCount();
        for (int i = 0; i < count && !next; ++i) {
            QTreeWidgetItem* candidate = item ? item->child(i) : tvwFile->topLevelItem(i);
            if (NodeOf(candidate)->node.get() == step.get())
                next = candidate;
        }
        if (!next)
            return;
        if (&step != &chain.back()) {
            FillChildren(next);
            next->setExpanded(true);
        }
        item = next;
    }
    tvwFile->setCurrentItem(item);
    tvwFile->scrollToItem(item);
}

void frmBuilder::PickField(const QTreeWidgetItem* item) {
    const OutlineNode* node = NodeOf(item);
    if (!node)
        return;
    try {
        const FieldProposal proposal = ProposeField(DataDoc, node->node);
        AddFieldRow(proposal.sAlias, proposal.sPath);
        tblFields->selectRow(tblFields->rowCount() - 1);
    } catch (const std::exception& e) {
        ShowMessageBox(FailureText(e), kAppTitle);
    }
}

void frmBuilder::AddFieldRow(const std::string& sAlias, const std::string& sPath) {
    const int row = tblFields->rowCount();
    const QSignalBlocker quiet(tblFields);
    tblFields->insertRow(row);
    tblFields->setItem(row, kColAlias, new QTableWidgetItem(Q(sAlias)));
    tblFields->setItem(row, kColPath, new QTableWidgetItem(Q(sPath)));
    auto* matches = new QTableWidgetItem;
    matches->setFlags(matches->flags() & ~Qt::ItemIsEditable);
    matches->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    tblFields->setItem(row, kColMatches, matches);
    Recount(row);
}

void frmBuilder::Recount(int row) {
    if (QTableWidgetItem* path = tblFields->item(row, kColPath))
        Recount(row, path->text());
}

void frmBuilder::Recount(int row, const QString& path) {
    QTableWidgetItem* matches = tblFields->item(row, kColMatches);
    if (!matches)
        return;
    const QSignalBlocker quiet(tblFields);
    try {
        matches->setText(QString::number(CountMatches(DataDoc, path.toStdString())) +
                         InTableFiles(path.toStdString()));
        matches->setForeground(palette().text());
        matches->setToolTip({});
    } catch (const std::exception& e) {
        matches->setText(QLatin1String(kInvalidMark));
        matches->setForeground(Qt::red);
        matches->setToolTip(Q(e.what()));
    }
}

void frmBuilder::MoveRow(int delta) {
    const int row = tblFields->currentRow();
    const int target = row + delta;
    if (row < 0 || target < 0 || target >= tblFields->rowCount())
        return;
    const QSignalBlocker quiet(tblFields);
    for (int col = 0; col < tblFields->columnCount(); ++col) {
        QTableWidgetItem* a = tblFields->takeItem(row, col);
        QTableWidgetItem* b = tblFields->takeItem(target, col);
        tblFields->setItem(row, col, b);
        tblFields->setItem(target, col, a);
    }
    tblFields->setCurrentCell(target, tblFields->currentColumn());
}

void frmBuilder::RemoveRow() {
    const int row = tblFields->currentRow();
    if (row >= 0)
        tblFields->removeRow(row);
}

void frmBuilder::PickCheck() {
    const OutlineNode* node = NodeOf(tvwFile->currentItem());
    if (!node)
        return;
    try {
        txtCheck->setText(Q(ProposeField(DataDoc, node->node).sPath));
    } catch (const std::exception& e) {
        ShowMessageBox(FailureText(e), kAppTitle);
    }
}

void frmBuilder::RecountCheck() {
    const std::string path = txtCheck->text().toStdString();
    if (txtCheck->text().trimmed().isEmpty()) {
        lblCheckMatches->setText(QStringLiteral("no check"));
        return;
    }
    try {
        lblCheckMatches->setText(QString::number(CountMatches(DataDoc, path)));
    } catch (const std::exception&) {
        lblCheckMatches->setText(QLatin1String(kInvalidMark));
    }
}

void frmBuilder::Save() {
    try {
        ConfigurationDraft draft;
        draft.nNumber = ConfigNumber(txtNumber->text().toStdString());
        draft.sDescription = txtDescription->text().toStdString();
        draft.sCheckPath = txtCheck->text().trimmed().toStdString();
        for (int row = 0; row < tblFields->rowCount(); ++row) {
            FieldInfo field;
            field.sAlias = tblFields->item(row, kColAlias)->text().toStdString();
            field.sPath = tblFields->item(row, kColPath)->text().toStdString();
            draft.Fields.push_back(std::move(field));
        }
        // Another configuration of the same number would hide this one's origin check.
        {
            DOMWrapper ConfigDoc;
            ConfigDoc.Load(sConfigFile_, "");
            for (const ConfigurationEntry& entry : ListConfigurations(ConfigDoc))
                if (entry.nNumber == draft.nNumber && nEditing_ != draft.nNumber) {
                    ShowMessageBox("A configuration with the number " +
                                       ConfigNumberText(draft.nNumber) + " exists already.",
                                   kSaveTitle);
                    return;
                }
        }
        const std::string target = ConfigurationSaveTarget(sConfigFile_);
        WriteConfiguration(target, draft, nEditing_);
        sConfigFile_ = target;
        nEditing_ = draft.nNumber;
        txtNumber->setText(Q(ConfigNumberText(draft.nNumber)));
        pbDelete->setEnabled(true);
        setWindowTitle(QStringLiteral("Configuration ") + txtNumber->text() +
                       QStringLiteral(" from ") + QFileInfo(Q(sDataFile_)).fileName());
        emit ConfigurationsChanged(draft.nNumber);
    } catch (const std::exception& e) {
        ShowMessageBox(FailureText(e), kSaveTitle);
    }
}

void frmBuilder::Delete() {
    if (!nEditing_)
        return;
    const std::string number = ConfigNumberText(*nEditing_);
    if (ShowMessageBox("Delete configuration " + number + "?", kAppTitle,
                       MsgButtons::YesNoCancel) != MsgAnswer::Yes)
        return;
    try {
        const std::string target = ConfigurationSaveTarget(sConfigFile_);
        DeleteConfiguration(target, *nEditing_);
        sConfigFile_ = target;
        const int32_t deleted = *nEditing_;
        nEditing_.reset();
        emit ConfigurationsChanged(deleted);
        close();
    } catch (const std::exception& e) {
        ShowMessageBox(FailureText(e), kSaveTitle);
    }
}

bool frmBuilder::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tblFields->viewport() &&
        (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove ||
         event->type() == QEvent::Drop)) {
        auto* drop = static_cast<QDropEvent*>(event);
        if (drop->source() != tvwFile)
            return false;
        drop->acceptProposedAction();
        if (event->type() == QEvent::Drop)
            for (const QTreeWidgetItem* item : tvwFile->selectedItems())
                PickField(item);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
