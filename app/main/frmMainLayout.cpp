#include "app/main/frmMain.h"
#include "app/main/frmMainProgress.h"

#include "common/MessageBox.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>

#include <algorithm>

namespace {
// Twips per inch.
constexpr double kTwipsPerInch = 1440.0;
// The window's client area when it opens.
constexpr int32_t kInitialWidth = 12300;
constexpr int32_t kInitialHeight = 8670;
// Below this height the controls stay where they are.
constexpr int32_t kMinLayoutHeight = 4000;
constexpr int32_t kMinFrameHeight = 100;

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption,
                        const char* toolTip) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(QString::fromUtf8(name));
    button->setToolTip(QString::fromUtf8(toolTip));
    button->setAutoDefault(false);
    return button;
}
} // namespace

void frmMain::createControls() {
    setWindowTitle(QString::fromUtf8(kAppTitle));
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    Frame1 = new QGroupBox(client);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Label2 = new QLabel(QStringLiteral("Configuration"), Frame1);
    Label2->setObjectName(QStringLiteral("Label2"));
    cmbConfig = new QComboBox(Frame1);
    cmbConfig->setObjectName(QStringLiteral("cmbConfig"));
    cmbConfig->setToolTip(QStringLiteral("current configuration"));
    Label2->setBuddy(cmbConfig);
    Label1 = new QLabel(QStringLiteral("XML-Source"), Frame1);
    Label1->setObjectName(QStringLiteral("Label1"));
    txtXMLFile = new QLineEdit(Frame1);
    txtXMLFile->setObjectName(QStringLiteral("txtXMLFile"));
    txtXMLFile->setToolTip(QStringLiteral("XML-Sourcefile"));
    // The path shown is the file that saving writes, so it only changes by choosing or
    // dropping a file.
    txtXMLFile->setReadOnly(true);
    showPathBoxAsDisplay();
    txtXMLFile->setAcceptDrops(false);
    txtXMLFile->installEventFilter(this);
    Label1->setBuddy(txtXMLFile);
    pbSelectFile = MakeButton(Frame1, "pbSelectFile", "...", "Select XML-Sourcefile");

    Frame2 = new QGroupBox(client);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Grid = new SpreadGrid(Frame2);
    Grid->setObjectName(QStringLiteral("Grid"));

    pbSave = MakeButton(client, "pbSave", "&Save ", "Save XML-File");
    pbSaveAs = MakeButton(client, "pbSaveAs", "&Save  as ...", "Save XML-File");
    pbExporttoExcel =
        MakeButton(client, "pbExporttoExcel", "&Excel-Export", "Export the data to excel");
    pbExit = MakeButton(client, "pbExit", "E&xit", "Exit program");
    lblVersion = new QLabel(QStringLiteral("Version"), client);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->installEventFilter(this); // font changes refit it
    dlgProgress = CreateProgressDialog(this);

    setTabOrder(cmbConfig, txtXMLFile);
    setTabOrder(txtXMLFile, pbSelectFile);
    setTabOrder(pbSelectFile, Grid);
    setTabOrder(Grid, pbSave);
    setTabOrder(pbSave, pbSaveAs);
    setTabOrder(pbSaveAs, pbExporttoExcel);
    setTabOrder(pbExporttoExcel, pbExit);
}

// Qt draws a read-only line edit exactly like an editable one; the window's own colour tells
// that the path is shown, not typed.
void frmMain::showPathBoxAsDisplay() {
    QPalette palette = txtXMLFile->palette();
    // The application's palette: on a theme change the box's own is not updated yet.
    palette.setBrush(QPalette::Base, QApplication::palette(txtXMLFile).brush(QPalette::Window));
    txtXMLFile->setPalette(palette);
}

void frmMain::arrangeControls() {
    place(Frame1, {0, 0, 12225, 1125});
    place(Label2, {120, 240, 1455, 285});
    place(cmbConfig, {1635, 210, 5205, 315});
    place(Label1, {120, 660, 1455, 285});
    place(txtXMLFile, {1650, 630, 9975, 345});
    place(pbSelectFile, {11700, 630, 405, 375});
    place(Frame2, {0, 1110, 12225, 6885});
    place(Grid, {150, 240, 11955, 6435});
    place(pbSave, {150, 8160, 1275, 435});
    place(pbSaveAs, {1580, 8160, 1275, 435});
    place(pbExporttoExcel, {3010, 8160, 1275, 435});
    place(pbExit, {4440, 8160, 1275, 435});
    place(lblVersion, {10020, 8205, 2010, 315});
    resize(twipsToPixels(kInitialWidth, true), twipsToPixels(kInitialHeight, false));
    nLastWidth = kInitialWidth;
    nLastHeight = kInitialHeight;
}

void frmMain::place(QWidget* control, const QRect& twips) {
    twips_[control] = twips;
    QRect pixels(twipsToPixels(twips.x(), true), twipsToPixels(twips.y(), false),
                 twipsToPixels(twips.width(), true), twipsToPixels(twips.height(), false));
    // The version line is wider than its place with many fonts: it grows leftwards from its
    // right edge at the end of the button row, and downwards, rather than being cut.
    if (control == lblVersion) {
        // Measured from the font itself: on a font change the label's cached size hint is
        // still the old one.
        const QMargins margins = lblVersion->contentsMargins();
        const QSize needed =
            lblVersion->fontMetrics().size(Qt::TextSingleLine, lblVersion->text()) +
            QSize(margins.left() + margins.right() + 2 * lblVersion->margin(),
                  margins.top() + margins.bottom() + 2 * lblVersion->margin());
        if (needed.width() > pixels.width())
            pixels.setLeft(pixels.right() + 1 - needed.width());
        pixels.setHeight(std::max(pixels.height(), needed.height()));
    }
    control->setGeometry(pixels);
}

void frmMain::fitVersionLabel() {
    place(lblVersion, twipsGeometry(lblVersion));
}

QRect frmMain::twipsGeometry(const QWidget* control) const {
    const auto found = twips_.find(control);
    return found == twips_.end() ? QRect() : found->second;
}

int32_t frmMain::twipsToPixels(int32_t twips, bool horizontal) const {
    const int dpi = horizontal ? logicalDpiX() : logicalDpiY();
    return qRound(twips * dpi / kTwipsPerInch);
}

int32_t frmMain::pixelsToTwips(int32_t pixels, bool horizontal) const {
    const int dpi = horizontal ? logicalDpiX() : logicalDpiY();
    return qRound(pixels * kTwipsPerInch / dpi);
}

// The client area is measured: the window manager's frame is unknown until the window is
// shown and would make the first layout jump by its size.
int32_t frmMain::windowWidthTwips() const {
    return pixelsToTwips(width(), true);
}

int32_t frmMain::windowHeightTwips() const {
    return pixelsToTwips(height(), false);
}

void frmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void frmMain::Form_Resize() {
    const int32_t width = windowWidthTwips();
    const int32_t height = windowHeightTwips();
    if (height < kMinLayoutHeight)
        return;
    const int32_t dW = width - nLastWidth;
    const int32_t dH = height - nLastHeight;
    nLastWidth = width;
    nLastHeight = height;

    auto widen = [&](QWidget* control) {
        QRect r = twipsGeometry(control);
        r.setWidth(r.width() + dW);
        place(control, r);
    };
    auto heighten = [&](QWidget* control) {
        QRect r = twipsGeometry(control);
        const int32_t h = r.height() + dH;
        r.setHeight(h > 0 ? h : kMinFrameHeight);
        place(control, r);
    };
    auto lower = [&](QWidget* control) {
        QRect r = twipsGeometry(control);
        const int32_t top = r.top() + dH;
        r.moveTop(top > 0 ? top : 0);
        place(control, r);
    };
    widen(Frame1);
    widen(Frame2);
    heighten(Frame2);
    widen(Grid);
    heighten(Grid);
    for (QWidget* control : {static_cast<QWidget*>(pbExporttoExcel), static_cast<QWidget*>(pbSave),
                             static_cast<QWidget*>(pbSaveAs), static_cast<QWidget*>(pbExit),
                             static_cast<QWidget*>(lblVersion)})
        lower(control);
}
