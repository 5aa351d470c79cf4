#include "app/table/dlgImportPreview.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

enum Column { kFile, kField, kOld, kNew, kReason, kColumns };

// Line breaks stay readable on one line of the list.
QString OneLine(QString text) {
    return text.replace('\n', QChar(0x21B5));
}

} // namespace

dlgImportPreview::dlgImportPreview(const ImportPlan& plan, const QString& sSource, QWidget* parent)
    : QDialog(parent), plan_(plan) {
    setObjectName(QStringLiteral("dlgImportPreview"));
    setWindowTitle(QStringLiteral("Excel-Import - ") + QFileInfo(sSource).fileName());
    auto* layout = new QVBoxLayout(this);
    if (!plan.sNote.isEmpty()) {
        auto* note = new QLabel(plan.sNote, this);
        note->setObjectName(QStringLiteral("lblNote"));
        note->setWordWrap(true);
        layout->addWidget(note);
    }
    twChanges = new QTableWidget(static_cast<int>(plan.lines.size()), kColumns, this);
    twChanges->setObjectName(QStringLiteral("twChanges"));
    twChanges->setHorizontalHeaderLabels({QStringLiteral("File"), QStringLiteral("Field"),
                                          QStringLiteral("Old value"), QStringLiteral("New value"),
                                          QStringLiteral("Problem")});
    twChanges->setEditTriggers(QAbstractItemView::NoEditTriggers);
    twChanges->setSelectionBehavior(QAbstractItemView::SelectRows);
    twChanges->setWordWrap(false);
    twChanges->verticalHeader()->setVisible(false);
    for (int i = 0; i < twChanges->rowCount(); ++i) {
        const ImportLine& line = plan.lines[static_cast<size_t>(i)];
        const QString texts[kColumns] = {line.sFile, line.sField, OneLine(line.sOld),
                                         OneLine(line.sNew), line.sReason};
        for (int c = 0; c < kColumns; ++c) {
            auto* item = new QTableWidgetItem(texts[c]);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            if (c == kOld || c == kNew)
                item->setToolTip(c == kOld ? line.sOld : line.sNew);
            twChanges->setItem(i, c, item);
        }
        QTableWidgetItem* first = twChanges->item(i, kFile);
        if (line.status != ImportLine::Status::Refused) {
            first->setFlags(first->flags() | Qt::ItemIsUserCheckable);
            first->setCheckState(line.status == ImportLine::Status::Apply ? Qt::Checked
                                                                          : Qt::Unchecked);
        } else {
            for (int c = 0; c < kColumns; ++c)
                twChanges->item(i, c)->setForeground(QColor(160, 0, 0));
        }
    }
    // Sizing to contents looks at a sample of lines, not at thousands.
    twChanges->horizontalHeader()->setResizeContentsPrecision(100);
    twChanges->resizeColumnsToContents();
    connect(twChanges, &QTableWidget::itemChanged, this, [this] { UpdateSummary(); });
    layout->addWidget(twChanges);

    auto* buttons = new QHBoxLayout;
    lblSummary = new QLabel(this);
    lblSummary->setObjectName(QStringLiteral("lblSummary"));
    buttons->addWidget(lblSummary);
    buttons->addStretch();
    pbApply = new QPushButton(QStringLiteral("&Apply"), this);
    pbApply->setObjectName(QStringLiteral("pbApply"));
    pbApply->setDefault(true);
    pbCancel = new QPushButton(QStringLiteral("Cancel"), this);
    pbCancel->setObjectName(QStringLiteral("pbCancel"));
    buttons->addWidget(pbApply);
    buttons->addWidget(pbCancel);
    layout->addLayout(buttons);
    connect(pbApply, &QPushButton::clicked, this, &QDialog::accept);
    connect(pbCancel, &QPushButton::clicked, this, &QDialog::reject);
    UpdateSummary();
    resize(900, 500);
}

std::vector<bool> dlgImportPreview::Chosen() const {
    std::vector<bool> chosen(plan_.lines.size(), false);
    for (int i = 0; i < twChanges->rowCount(); ++i)
        chosen[static_cast<size_t>(i)] = twChanges->item(i, kFile)->checkState() == Qt::Checked;
    return chosen;
}

void dlgImportPreview::TickAll() {
    {
        // One count afterwards, not one per tick over every line.
        const QSignalBlocker blocker(twChanges);
        for (int i = 0; i < twChanges->rowCount(); ++i)
            if (twChanges->item(i, kFile)->flags() & Qt::ItemIsUserCheckable)
                twChanges->item(i, kFile)->setCheckState(Qt::Checked);
    }
    twChanges->viewport()->update();
    UpdateSummary();
}

void dlgImportPreview::UpdateSummary() {
    int chosen = 0;
    for (bool tick : Chosen())
        chosen += tick ? 1 : 0;
    const int problems = static_cast<int>(
        std::count_if(plan_.lines.begin(), plan_.lines.end(), [](const ImportLine& line) {
            return line.status != ImportLine::Status::Apply;
        }));
    lblSummary->setText(QStringLiteral("%1 of %2 changes chosen, %3 problems")
                            .arg(chosen)
                            .arg(plan_.lines.size())
                            .arg(problems));
    pbApply->setEnabled(chosen > 0);
}
