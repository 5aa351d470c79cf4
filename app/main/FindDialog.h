#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class SpreadGrid;

// Finds text in the values of a grid: plain text, any letter case unless told otherwise,
// going round past either end. It stays open beside its window while the user works on.
class FindDialog : public QDialog {
    Q_OBJECT

public:
    FindDialog(SpreadGrid* grid, QWidget* window);

    // Ctrl+F, F3 and Shift+F3 in that window.
    void AddKeysTo(QWidget* window);
    // Shows the dialog with its text ready to be typed over.
    void Start();
    // On to the next (or previous) value that holds the text; without a text, Start.
    void FindNext(bool forward);

private:
    SpreadGrid* grid_;
    QLineEdit* txtFind = nullptr;
    QCheckBox* chkMatchCase = nullptr;
    QPushButton* pbFindNext = nullptr;
    QPushButton* pbFindPrevious = nullptr;
    QLabel* lblFindResult = nullptr;
};
