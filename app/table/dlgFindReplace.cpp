#include "app/table/dlgFindReplace.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

dlgFindReplace::dlgFindReplace(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("dlgFindReplace"));
    setWindowTitle(tr("Find and replace"));
    auto* form = new QFormLayout;
    const auto named = [](QWidget* widget, const char* name) {
        widget->setObjectName(QString::fromUtf8(name));
        return widget;
    };
    txtFind = static_cast<QLineEdit*>(named(new QLineEdit(this), "txtFind"));
    txtReplace = static_cast<QLineEdit*>(named(new QLineEdit(this), "txtReplace"));
    form->addRow(tr("&Find:"), txtFind);
    form->addRow(tr("Replace &with:"), txtReplace);
    chkRegex = static_cast<QCheckBox*>(named(new QCheckBox(tr("Regular e&xpression")), "chkRegex"));
    chkMatchCase = static_cast<QCheckBox*>(named(new QCheckBox(tr("Match &case")), "chkMatchCase"));
    chkWholeCell = static_cast<QCheckBox*>(named(new QCheckBox(tr("Whole c&ell")), "chkWholeCell"));
    auto* options = new QHBoxLayout;
    options->addWidget(chkRegex);
    options->addWidget(chkMatchCase);
    options->addWidget(chkWholeCell);
    form->addRow(options);
    cmbScope = static_cast<QComboBox*>(named(new QComboBox(this), "cmbScope"));
    cmbScope->addItems({tr("All columns"), tr("Selected columns"), tr("Selection")});
    form->addRow(tr("&In:"), cmbScope);
    lblStatus = static_cast<QLabel*>(named(new QLabel(this), "lblFindStatus"));
    form->addRow(lblStatus);

    auto* buttons = new QHBoxLayout;
    const auto button = [&](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromUtf8(name));
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    QPushButton* next = button("pbFindNext", tr("Find &next"));
    next->setDefault(true);
    QPushButton* previous = button("pbFindPrevious", tr("Find &previous"));
    QPushButton* replace = button("pbReplace", tr("&Replace"));
    QPushButton* replaceAll = button("pbReplaceAll", tr("Replace &all"));
    QPushButton* close = button("pbClose", tr("Close"));
    connect(next, &QPushButton::clicked, this, [this] { onFind(true); });
    connect(previous, &QPushButton::clicked, this, [this] { onFind(false); });
    connect(replace, &QPushButton::clicked, this, [this] { onReplace(); });
    connect(replaceAll, &QPushButton::clicked, this, [this] { onReplaceAll(); });
    connect(close, &QPushButton::clicked, this, &QDialog::hide);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
}

FindOptions dlgFindReplace::Options() const {
    return {txtFind->text(), chkRegex->isChecked(), chkMatchCase->isChecked(),
            chkWholeCell->isChecked()};
}

QString dlgFindReplace::ReplaceWith() const {
    return txtReplace->text();
}

dlgFindReplace::Scope dlgFindReplace::CellScope() const {
    return static_cast<Scope>(cmbScope->currentIndex());
}

void dlgFindReplace::ShowFor(bool replace) {
    show();
    raise();
    activateWindow();
    // What to find comes first either way; with something to find already, Replace goes on
    // to what to put instead.
    QLineEdit* box = replace && !txtFind->text().isEmpty() ? txtReplace : txtFind;
    box->setFocus();
    box->selectAll();
}

void dlgFindReplace::SetStatus(const QString& text) {
    lblStatus->setText(text);
}
