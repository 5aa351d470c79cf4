#include "app/main/FindDialog.h"
#include "app/main/SpreadGrid.h"

#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

FindDialog::FindDialog(SpreadGrid* grid, QWidget* window) : QDialog(window), grid_(grid) {
    setObjectName(QStringLiteral("dlgFind"));
    setWindowTitle(QStringLiteral("Find"));
    auto* layout = new QGridLayout(this);
    auto* label = new QLabel(QStringLiteral("Fi&nd value:"), this);
    txtFind = new QLineEdit(this);
    txtFind->setObjectName(QStringLiteral("txtFind"));
    txtFind->setMinimumWidth(txtFind->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 30);
    label->setBuddy(txtFind);
    chkMatchCase = new QCheckBox(QStringLiteral("Match &case"), this);
    chkMatchCase->setObjectName(QStringLiteral("chkMatchCase"));
    pbFindNext = new QPushButton(QStringLiteral("Find &next"), this);
    pbFindNext->setObjectName(QStringLiteral("pbFindNext"));
    pbFindNext->setDefault(true); // Enter in the text finds on
    pbFindPrevious = new QPushButton(QStringLiteral("Find &previous"), this);
    pbFindPrevious->setObjectName(QStringLiteral("pbFindPrevious"));
    lblFindResult = new QLabel(this);
    lblFindResult->setObjectName(QStringLiteral("lblFindResult"));
    layout->addWidget(label, 0, 0);
    layout->addWidget(txtFind, 0, 1);
    layout->addWidget(pbFindNext, 0, 2);
    layout->addWidget(chkMatchCase, 1, 1);
    layout->addWidget(pbFindPrevious, 1, 2);
    layout->addWidget(lblFindResult, 2, 0, 1, 3);
    connect(pbFindNext, &QPushButton::clicked, this, [this] { FindNext(true); });
    connect(pbFindPrevious, &QPushButton::clicked, this, [this] { FindNext(false); });
    // A new text has not been looked for yet.
    connect(txtFind, &QLineEdit::textEdited, lblFindResult, &QLabel::clear);
    AddKeysTo(this);
}

void FindDialog::AddKeysTo(QWidget* window) {
    auto addKeys = [&](const char* name, const QKeySequence& keys, auto slot) {
        auto* action = new QAction(window);
        action->setObjectName(QString::fromUtf8(name));
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, slot);
        window->addAction(action);
    };
    if (window != this)
        addKeys("actFind", QKeySequence(Qt::CTRL | Qt::Key_F), [this] { Start(); });
    addKeys("actFindNext", QKeySequence(Qt::Key_F3), [this] { FindNext(true); });
    addKeys("actFindPrevious", QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { FindNext(false); });
}

void FindDialog::Start() {
    show();
    raise();
    activateWindow();
    txtFind->setFocus(Qt::ShortcutFocusReason);
    txtFind->selectAll();
}

void FindDialog::FindNext(bool forward) {
    const QString text = txtFind->text();
    if (text.isEmpty()) {
        Start();
        return;
    }
    // An open editor is left as leaving its cell would leave it, not carried to the match.
    grid_->CommitEdit();
    bool wrapped = false;
    const int32_t row = grid_->FindValue(
        text, forward, chkMatchCase->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive,
        &wrapped);
    if (row == 0) {
        lblFindResult->setText(QStringLiteral("No value contains \"%1\".").arg(text));
        return;
    }
    grid_->SetActiveCell(grid_->ValueColumn(), row);
    grid_->scrollTo(grid_->currentIndex());
    lblFindResult->setText(!wrapped  ? QString()
                           : forward ? QStringLiteral("Went on from the top.")
                                     : QStringLiteral("Went on from the bottom."));
}
