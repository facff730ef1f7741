#include "frmConvert.h"

#include "DelimiterEdit.h"
#include "ItemList.h"
#include "PreviewWindow.h"
#include "RunController.h"
#include "delimiters/frmDELI.h"
#include "engine/Conversion.h"
#include "engine/Detection.h"
#include "engine/LineProcessing.h"
#include "engine/OutputFile.h"
#include "files/mdlFile.h"
#include "platform/Cp932.h"
#include "platform/Settings.h"
#include "platform/Twips.h"
#include "shared/Guarded.h"
#include "shared/Texts.h"

#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QProgressBar>
#include <QSessionManager>
#include <QTimer>
#include <QUrl>

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include <chrono>
#include <exception>
#include <limits>

namespace {

using platform::twips;

const QString kTitle = texts::title();

QLineEdit* makeDisplayBox(QWidget* parent, const QRect& geometry)
{
    auto* box = new QLineEdit(parent);
    box->setGeometry(geometry);
    box->setReadOnly(true);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, QColor(192, 192, 192));
    box->setPalette(palette);
    return box;
}

QLabel* makeLabel(QWidget* parent, const QString& caption, const QRect& geometry)
{
    auto* label = new QLabel(caption, parent);
    label->setGeometry(geometry);
    return label;
}

QPushButton* makeButton(QWidget* parent, const QString& caption, const QRect& geometry)
{
    auto* button = new QPushButton(caption, parent);
    button->setGeometry(geometry);
    // Enter on a focused button presses it, as Space does.
    button->setAutoDefault(true);
    return button;
}

} // namespace

frmConvert::frmConvert(mdlGlobal& global, platform::Platform& platform, QWidget* parent)
    : QMainWindow(parent), CommonDialog1(platform.commonDialog), g_(global), platform_(platform)
{
    buildControls();
    buildMenus();
    nameControls();
    setAcceptDrops(true);
    runner_ = std::make_unique<RunController>(
        g_, platform_, sInDeli, sOutDeli, RunController::Display{this, prgRun, txt件数, txtCSV[0], txtCSV[1], cmd開始});
    runner_->onRunningChanged = [this](bool running) {
        setSourceCommandsEnabled(!running);
        cmd開始->setEnabled(!running);
    };
    connectHandlers();
    Form_Load();
#ifndef QT_NO_SESSIONMANAGER
    // The session's end is asked about as closing the window is, where the session lets
    // the program ask; a No keeps the session, where the session allows it.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        guarded(platform_.messageBox, [&] {
            if (!runner_->running())
                return;
            const bool mayAsk = manager.allowsInteraction();
            if (!sessionEnding(mayAsk))
                manager.cancel();
            if (mayAsk)
                manager.release();
        });
    });
#endif
}

frmConvert::~frmConvert() = default;

void frmConvert::buildControls()
{
    auto* client = new QWidget(this);
    // The laid-out size is the smallest (lower only on a screen without room for it, see
    // fitToScreen); a larger window gives its room to the lists and boxes.
    client->setMinimumSize(kLaidOut);
    client->resize(kLaidOut);
    client->installEventFilter(this);
    setCentralWidget(client);

    Label[0] = makeLabel(client, QStringLiteral("元データ"), twips(120, 360, 735, 255));
    txtCSV[0] = makeDisplayBox(client, twips(1320, 360, 5415, 270));
    Label[4] = makeLabel(client, QStringLiteral("変換後"), twips(120, 720, 735, 255));
    txtCSV[1] = makeDisplayBox(client, twips(1320, 720, 5415, 270));
    Label[1] = makeLabel(client, QStringLiteral("区切文字"), twips(120, 1080, 735, 255));
    txtDELI = new DelimiterEdit(client);
    txtDELI->setGeometry(twips(1320, 1080, 975, 270));
    // A file dropped here opens as the source, as anywhere on the window: it is no delimiter.
    txtDELI->setAcceptDrops(false);
    Label[6] = makeLabel(client, QStringLiteral("元ファイル"), twips(120, 1440, 855, 255));
    txtInFile = makeDisplayBox(client, twips(1320, 1440, 5415, 270));
    Label[7] = makeLabel(client, QStringLiteral("出力ファイル"), twips(120, 1800, 1095, 255));
    txtOutFile = makeDisplayBox(client, twips(1320, 1800, 5415, 270));
    Label[9] = makeLabel(client, QStringLiteral("処理件数"), twips(120, 2280, 735, 255));
    txt件数 = makeDisplayBox(client, twips(1320, 2280, 975, 270));
    Label[8] = makeLabel(client, QStringLiteral("出力区切文字"), twips(120, 2880, 1095, 255));

    fra区切文字 = new QGroupBox(client);
    fra区切文字->setGeometry(twips(1320, 2640, 5295, 615));
    Option1[0] = new QRadioButton(QStringLiteral("カンマ"), fra区切文字);
    Option1[0]->setGeometry(twips(240, 240, 1335, 255));
    Option1[0]->setChecked(true);
    Option1[1] = new QRadioButton(QStringLiteral("TAB"), fra区切文字);
    Option1[1]->setGeometry(twips(1800, 240, 1215, 255));

    Label[3] = makeLabel(client, QStringLiteral("先頭行"), twips(120, 3480, 1095, 255));
    chk先頭行 = new QCheckBox(QStringLiteral("先頭行は変換しない"), client);
    chk先頭行->setGeometry(twips(1320, 3480, 1935, 255));

    Label[2] = makeLabel(client, QStringLiteral("元データ"), twips(1320, 3960, 735, 255));
    List[0] = new ItemList(client);
    List[0]->setGeometry(twips(1320, 4200, 1575, 2220));
    Label[5] = makeLabel(client, QStringLiteral("出力データ"), twips(3240, 3960, 975, 255));
    List[2] = new ItemList(client);
    List[2]->setGeometry(twips(3240, 4200, 1575, 2220));
    lbl属性 = makeLabel(client, QStringLiteral("属性"), twips(5160, 3960, 735, 255));
    List[1] = new ItemList(client);
    List[1]->setGeometry(twips(5160, 4200, 1455, 2220));

    // The drag carrier shows only while an item is being dragged.
    Label1 = makeLabel(client, QStringLiteral("Label1"), twips(360, 4440, 855, 375));
    Label1->hide();

    Line1 = new QFrame(client);
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);
    Line1->setGeometry(0, 0, 6840 / 15, 2);

    cmdFile = makeButton(client, QStringLiteral("元ファイル"), twips(600, 6720, 1095, 495));
    cmdSave = makeButton(client, QStringLiteral("保存"), twips(1800, 6720, 1095, 495));
    cmd検出 = makeButton(client, QStringLiteral("検出"), twips(3000, 6720, 1095, 495));
    cmd開始 = makeButton(client, QStringLiteral("変換"), twips(4200, 6720, 1095, 495));
    cmdClose = makeButton(client, QStringLiteral("閉じる"), twips(5400, 6720, 1095, 495));

    prgRun = new QProgressBar(client);
    prgRun->setGeometry(twips(600, 7290, 5895, 240));
    prgRun->setRange(0, 1000);
    prgRun->setTextVisible(false);
    prgRun->hide();

    // No box cuts its text short (Qt's default limit is 32,767 characters).
    for (QLineEdit* box : {txtCSV[0], txtCSV[1], txtDELI, txtInFile, txtOutFile, txt件数})
        box->setMaxLength(std::numeric_limits<int>::max());

    // Focus order: the delimiter box first, the display boxes last.
    QWidget* order[] = {txtDELI,  fra区切文字, Option1[0], Option1[1], chk先頭行,  List[0],
                        List[2],  List[1],     cmdFile,    cmdSave,    cmd検出,    cmd開始,
                        cmdClose, txtCSV[0],   txtCSV[1],  txtInFile,  txtOutFile, txt件数};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
    txtDELI->setFocus();

    // How each control follows a larger window, as shares of the extra width and height
    // added to its left, top, width and height: the long boxes widen, the two lists share
    // the width and take the height, the buttons stay centred at the bottom.
    struct Rule {
        QWidget* widget;
        double left, top, width, height;
    };
    const Rule rules[] = {
        {txtCSV[0], 0, 0, 1, 0},   {txtCSV[1], 0, 0, 1, 0}, {txtInFile, 0, 0, 1, 0}, {txtOutFile, 0, 0, 1, 0},
        {fra区切文字, 0, 0, 1, 0}, {Line1, 0, 0, 1, 0},     {List[0], 0, 0, 0.5, 1}, {Label[5], 0.5, 0, 0, 0},
        {List[2], 0.5, 0, 0.5, 1}, {lbl属性, 1, 0, 0, 0},   {List[1], 1, 0, 0, 1},   {cmdFile, 0.5, 1, 0, 0},
        {cmdSave, 0.5, 1, 0, 0},   {cmd検出, 0.5, 1, 0, 0}, {cmd開始, 0.5, 1, 0, 0}, {cmdClose, 0.5, 1, 0, 0},
        {prgRun, 0, 1, 1, 0},
    };
    for (const Rule& r : rules)
        anchors_.push_back({r.widget, r.widget->geometry(), r.left, r.top, r.width, r.height});
}

bool frmConvert::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize && watched == centralWidget()) {
        const QSize extra = centralWidget()->size() - kLaidOut;
        const double dx = std::max(extra.width(), 0);
        // Below the laid-out height (a low screen) the lists give up rows.
        const double dy = std::max(extra.height(), -listShrink());
        for (const Anchor& a : anchors_) {
            // Rounded from the laid-out place each time, so that no error adds up.
            const int left = a.base.x() + static_cast<int>(a.left * dx);
            const int top = a.base.y() + static_cast<int>(a.top * dy);
            const int right = a.base.x() + a.base.width() + static_cast<int>((a.left + a.width) * dx);
            const int bottom = a.base.y() + a.base.height() + static_cast<int>((a.top + a.height) * dy);
            a.widget->setGeometry(left, top, right - left, bottom - top);
        }
        // Made clearly larger (maximised, say), the window has room to spare: the preview
        // comes up beside it, once for each enlargement, so that a closed one stays closed.
        const bool enlarged = extra.width() >= kPreviewRoom.width() || extra.height() >= kPreviewRoom.height();
        if (enlarged && !enlarged_ && isVisible() && !(preview_ && preview_->isVisible()))
            QTimer::singleShot(0, this, [this] {
                // Brought up by the window's size, not chosen: the next start is not told.
                if (!(preview_ && preview_->isVisible()))
                    guarded(platform_.messageBox, [&] { setPreviewShown(true, false); });
            });
        enlarged_ = enlarged;
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmConvert::buildMenus()
{
    mnuFile = menuBar()->addMenu(QStringLiteral("ﾌｧｲﾙ(&F)"));
    mnuOpenDef = mnuFile->addAction(QStringLiteral("定義ﾌｧｲﾙを開く(&O)"));
    mnuSaveDef = mnuFile->addAction(QStringLiteral("定義ﾌｧｲﾙを保存(&S)"));
    mnuOpenCSV = mnuFile->addAction(QStringLiteral("CSVﾌｧｲﾙを開く(&F)"));
    mnuSaveCSV = mnuFile->addAction(QStringLiteral("保存CSVﾌｧｲﾙを指定(&W)"));
    mnuSkip01 = mnuFile->addSeparator();
    mnuExit = mnuFile->addAction(QStringLiteral("終了(&X)"));
    mnuEdit = menuBar()->addMenu(QStringLiteral("編集(&E)"));
    mnuDELI = mnuEdit->addAction(QStringLiteral("区切文字の指定(&D)"));
    mnuEncoding = mnuEdit->addMenu(QStringLiteral("文字コード(&C)"));
    auto* encodings = new QActionGroup(this);
    mnuEncodingAuto = encodings->addAction(QStringLiteral("自動判定(&A)"));
    mnuEncodingCp932 = encodings->addAction(QStringLiteral("シフトJIS(&S)"));
    mnuEncodingUtf8 = encodings->addAction(QStringLiteral("UTF-8(&U)"));
    for (QAction* a : encodings->actions()) {
        a->setCheckable(true);
        mnuEncoding->addAction(a);
    }
    mnuEncodingAuto->setChecked(true);
    buildOutputMenu();
    // In the menu bar's corner, outside the window's laid-out controls.
    lblEncoding = new QLabel(menuBar());
    lblEncoding->setContentsMargins(0, 0, 8, 0);
    lblEncoding->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The menu bar places its corner once: room for the longest text from the start.
    engine::OutputForm longest{engine::OutputEncoding::Utf8Bom, engine::LineEnd::Lf, true, true};
    lblEncoding->setMinimumWidth(lblEncoding->fontMetrics().horizontalAdvance(QStringLiteral("UTF-8 (BOM付き) → ") +
                                                                              outputFormText(true, longest)) +
                                 16);
    menuBar()->setCornerWidget(lblEncoding, Qt::TopRightCorner);
}

void frmConvert::nameControls()
{
    // Each control is found by the name the handlers know it by (an array's element as
    // name_index), for tools that drive the window from outside, tests among them.
    const std::pair<QObject*, const char*> named[] = {
        {txtDELI, "txtDELI"},
        {txtInFile, "txtInFile"},
        {txtOutFile, "txtOutFile"},
        {txt件数, "txt件数"},
        {fra区切文字, "fra区切文字"},
        {chk先頭行, "chk先頭行"},
        {lbl属性, "lbl属性"},
        {Label1, "Label1"},
        {Line1, "Line1"},
        {cmdFile, "cmdFile"},
        {cmdSave, "cmdSave"},
        {cmd検出, "cmd検出"},
        {cmd開始, "cmd開始"},
        {cmdClose, "cmdClose"},
        {prgRun, "prgRun"},
        {mnuFile, "mnuFile"},
        {mnuOpenDef, "mnuOpenDef"},
        {mnuSaveDef, "mnuSaveDef"},
        {mnuOpenCSV, "mnuOpenCSV"},
        {mnuSaveCSV, "mnuSaveCSV"},
        {mnuSkip01, "mnuSkip01"},
        {mnuExit, "mnuExit"},
        {mnuEdit, "mnuEdit"},
        {mnuDELI, "mnuDELI"},
        {mnuEncoding, "mnuEncoding"},
        {mnuEncodingAuto, "mnuEncodingAuto"},
        {mnuEncodingCp932, "mnuEncodingCp932"},
        {mnuEncodingUtf8, "mnuEncodingUtf8"},
        {mnuOutput, "mnuOutput"},
        {mnuReplace, "mnuReplace"},
        {mnuPreview, "mnuPreview"},
        {lblEncoding, "lblEncoding"},
    };
    for (const auto& [object, name] : named)
        object->setObjectName(QString::fromUtf8(name));
    const auto nameEach = [](const auto& controls, const QString& name) {
        for (std::size_t i = 0; i < controls.size(); ++i)
            if (controls[i])
                controls[i]->setObjectName(QStringLiteral("%1_%2").arg(name).arg(i));
    };
    nameEach(Label, QStringLiteral("Label"));
    nameEach(txtCSV, QStringLiteral("txtCSV"));
    nameEach(Option1, QStringLiteral("Option1"));
    nameEach(List, QStringLiteral("List"));
    nameEach(mnuOutputEncoding, QStringLiteral("mnuOutputEncoding"));
    nameEach(mnuLineEnd, QStringLiteral("mnuLineEnd"));
    nameEach(mnuQuote, QStringLiteral("mnuQuote"));
}

void frmConvert::connectHandlers()
{
    // Japanese handler names cannot be slots, so every handler is connected by pointer,
    // each through the guard against running out of memory.
    const auto on = [this](void (frmConvert::*handler)()) {
        return [this, handler] { guarded(platform_.messageBox, [this, handler] { (this->*handler)(); }); };
    };
    connect(Option1[0], &QRadioButton::clicked, this, [this] { Option1_Click(0); });
    connect(Option1[1], &QRadioButton::clicked, this, [this] { Option1_Click(1); });
    connect(chk先頭行, &QCheckBox::toggled, this, [this] { schedulePreview(); });
    connect(txtDELI, &QLineEdit::textChanged, this, on(&frmConvert::txtDELI_Change));
    // A delimiter typed and confirmed with Enter is tried on the source at once.
    connect(txtDELI, &QLineEdit::returnPressed, this, on(&frmConvert::cmd検出_Click));
    connect(cmdClose, &QPushButton::clicked, this, on(&frmConvert::cmdClose_Click));
    connect(mnuExit, &QAction::triggered, this, on(&frmConvert::mnuExit_Click));
    connect(cmdFile, &QPushButton::clicked, this, on(&frmConvert::cmdFile_Click));
    connect(mnuOpenCSV, &QAction::triggered, this, on(&frmConvert::mnuOpenCSV_Click));
    connect(cmdSave, &QPushButton::clicked, this, on(&frmConvert::cmdSave_Click));
    connect(mnuSaveCSV, &QAction::triggered, this, on(&frmConvert::mnuSaveCSV_Click));
    connect(cmd検出, &QPushButton::clicked, this, on(&frmConvert::cmd検出_Click));
    connect(cmd開始, &QPushButton::clicked, this, on(&frmConvert::cmd開始_Click));
    connect(mnuOpenDef, &QAction::triggered, this, on(&frmConvert::mnuOpenDef_Click));
    connect(mnuSaveDef, &QAction::triggered, this, on(&frmConvert::mnuSaveDef_Click));
    connect(mnuDELI, &QAction::triggered, this, on(&frmConvert::mnuDELI_Click));
    const std::pair<QAction*, engine::EncodingChoice> encodings[] = {{mnuEncodingAuto, engine::EncodingChoice::Auto},
                                                                     {mnuEncodingCp932, engine::EncodingChoice::Cp932},
                                                                     {mnuEncodingUtf8, engine::EncodingChoice::Utf8}};
    for (const auto& [action, choice] : encodings)
        connect(action, &QAction::triggered, this,
                [this, choice] { guarded(platform_.messageBox, [&] { mnuEncoding_Click(choice); }); });
    for (int index = 0; index < 3; ++index) {
        List[index]->onMouseDown = [this, index](Qt::MouseButton button, Qt::KeyboardModifiers shift, double x,
                                                 double y) {
            guarded(platform_.messageBox, [&] { List_MouseDown(index, button, shift, x, y); });
        };
        List[index]->onDrop = [this, index](const QMimeData& mime, int row) {
            guarded(platform_.messageBox, [&] {
                // A row of 出力データ moves within that list only; dropped elsewhere it stays.
                if (mime.hasFormat(ItemList::kRowMimeType)) {
                    if (index == 2)
                        moveOutputRowTo(mime.data(ItemList::kRowMimeType).toInt(), row);
                    return;
                }
                Label1->setText(QString::fromUtf8(mime.data(ItemList::kMimeType)));
                List_DragDrop(index);
            });
        };
        List[index]->onKeyDown = [this, index](int keyCode, Qt::KeyboardModifiers shift) {
            guarded(platform_.messageBox, [&] { List_KeyDown(index, keyCode, shift); });
        };
    }
    List[2]->onDragStart = [this](int row) {
        guarded(platform_.messageBox, [&] {
            Label1->setText(List[2]->text(row));
            dragCaption(List[2], row);
        });
    };
}

void frmConvert::Form_Load()
{
    try {
        setWindowTitle(kTitle);
        List[1]->hide();
        lbl属性->hide();
        sInFile.clear();
        txtCSV[0]->setText(QString());
        txtCSV[1]->setText(QString());
        // setText does not signal when the text is already empty, so the mirror runs here.
        txtDELI->setText(QString());
        txtDELI_Change();
        txtInFile->setText(QString());
        txtOutFile->setText(QString());
        txt件数->setText(QString());
        g_.DelimiterTable.resetToDefaults();
        sOutDeli.assign(1, ',');
    } catch (const std::exception& e) {
        platform_.messageBox.show(QString::fromLocal8Bit(e.what()), platform::kOkOnly, kTitle);
    }
}

void frmConvert::Option1_Click(int Index)
{
    sOutDeli.assign(1, Index == 1 ? '\t' : ',');
    schedulePreview();
}

void frmConvert::txtDELI_Change()
{
    sInDeli = platform::encodeDelimiter(txtDELI->text(), sourceEncoding.encoding);
    schedulePreview();
}

void frmConvert::mnuEncoding_Click(engine::EncodingChoice choice)
{
    // The source on show is read again in the encoding chosen, for that source only. Its
    // columns stay: they are item numbers, which mean the same in either encoding.
    const engine::EncodingChoice before = encodingChoice;
    encodingChoice = choice;
    if (!sInFile.isEmpty() && sInFile == encodingSource_ && !readSource(sInFile, true)) {
        encodingChoice = before;
        (before == engine::EncodingChoice::Auto    ? mnuEncodingAuto
         : before == engine::EncodingChoice::Cp932 ? mnuEncodingCp932
                                                   : mnuEncodingUtf8)
            ->setChecked(true);
    }
}

void frmConvert::showEncoding()
{
    // Called whenever a source was read or read again: the preview reads its start afresh.
    previewHeadOf_.clear();
    schedulePreview();
    if (encodingSource_.isEmpty()) {
        const QString form = outputFormText(true, g_.OutputForm);
        lblEncoding->setText(form.isEmpty() ? QString() : QStringLiteral("→ ") + form);
        lblEncoding->setToolTip(form.isEmpty() ? QString()
                                               : QStringLiteral("出力: ") + outputFormText(false, g_.OutputForm));
        return;
    }
    const bool utf8 = sourceEncoding.encoding == engine::Encoding::Utf8;
    QString name = utf8 ? QStringLiteral("UTF-8") : QStringLiteral("シフトJIS");
    if (sourceEncoding.bom)
        name += QStringLiteral(" (BOM付き)");
    // The output's form follows the arrow only where it is not the source's own bytes.
    const QString form = outputFormText(true, g_.OutputForm);
    lblEncoding->setText(form.isEmpty() ? name : name + QStringLiteral(" → ") + form);
    lblEncoding->setToolTip(
        QStringLiteral("元ファイルの文字コード: %1 (%2)\n出力: %3")
            .arg(name,
                 encodingChoice == engine::EncodingChoice::Auto ? QStringLiteral("自動判定") : QStringLiteral("指定"),
                 outputFormText(false, g_.OutputForm)));
}

void frmConvert::requestEnd()
{
    // During a run the run decides when the program ends.
    if (!runner_->takeEndRequest())
        platform_.endProgram();
}

void frmConvert::cmdClose_Click()
{
    requestEnd();
}

void frmConvert::mnuExit_Click()
{
    requestEnd();
}

int frmConvert::listShrink() const
{
    const int fewRows = 4 * List[0]->fontMetrics().height() + 2 * List[0]->frameWidth();
    for (const Anchor& a : anchors_)
        if (a.widget == List[0])
            return std::max(a.base.height() - fewRows, 0);
    return 0;
}

void frmConvert::fitToScreen()
{
    const QScreen* where = screen();
    if (!where)
        return;
    const int frame = frameGeometry().height() - geometry().height();
    const int menu = menuBar()->sizeHint().height();
    const int room = where->availableGeometry().height() - frame - menu;
    const int lowest = kLaidOut.height() - listShrink();
    centralWidget()->setMinimumHeight(std::clamp(room, lowest, kLaidOut.height()));
    // The window's own minimum follows at once, else the resize below is held to the old one.
    layout()->activate();
    if (height() > room + menu)
        resize(width(), std::max(room, lowest) + menu);
}

void frmConvert::showEvent(QShowEvent* event)
{
    // A preview left open at the last end opens again beside the window.
    if (!event->spontaneous() && !preview_ &&
        platform::userSettings()->value(QStringLiteral("preview/shown"), false).toBool())
        QTimer::singleShot(0, this, [this] {
            if (!preview_ || !preview_->isVisible())
                guarded(platform_.messageBox, [&] { mnuPreview_Click(); });
        });
    fitToScreen();
    QMainWindow::showEvent(event);
}

void frmConvert::closeEvent(QCloseEvent* event)
{
    // The title bar's close ends the program like 閉じる, whatever other window exists;
    // during a run the window stays until the run's end ends the program.
    if (runner_->active())
        event->ignore();
    else
        event->accept();
    guarded(platform_.messageBox, [this] { requestEnd(); });
}

void frmConvert::keyPressEvent(QKeyEvent* event)
{
    // Keys no control took come here; Esc means something only while a run goes on.
    if (event->key() != Qt::Key_Escape || !runner_->running()) {
        QMainWindow::keyPressEvent(event);
        return;
    }
    guarded(platform_.messageBox, [this] { runner_->askAndStop(); });
}

bool frmConvert::conversionRunning() const
{
    return runner_->running();
}

void frmConvert::setSliceDuration(std::chrono::milliseconds duration)
{
    runner_->sliceDuration = duration;
}

bool frmConvert::sessionEnding(bool mayAsk)
{
    return runner_->sessionEnding(mayAsk);
}

void frmConvert::endBySystem()
{
    runner_->stopForSystem();
    platform_.endProgram();
}

void frmConvert::showFileProblem(engine::FileProblem problem, const QString& path)
{
    if (problem != engine::FileProblem::None)
        platform_.messageBox.show(texts::fileProblem(problem, path), platform::kExclamationIcon, kTitle);
}

bool frmConvert::readSourceFirstLine(const QString& path, std::string& line, engine::SourceEncoding& encoding)
{
    const engine::FileProblem problem = engine::readFirstLine(platform::toPath(path), line, encodingChoice, encoding);
    if (problem == engine::FileProblem::None)
        return true;
    showFileProblem(problem, path);
    return false;
}

void frmConvert::SetINData(const std::string& DELI, const std::string& p)
{
    engine::SetINData(DELI, p, iItemCount, g_.INData, sourceEncoding.encoding);
}

void frmConvert::Proc1Line(std::string p, const std::string& sDELI)
{
    List[0]->setLineItems(engine::Proc1Line(std::move(p), sDELI, iItemCount, sourceEncoding.encoding),
                          sourceEncoding.encoding);
    // A new list starts at its first item, wherever the old one was scrolled to.
    List[0]->scrollToTop();
}

void frmConvert::LoadINData(std::string line)
{
    const engine::Encoding encoding = sourceEncoding.encoding;
    sInDeli =
        engine::fGetDeli(line, platform::delimitersFor(g_.DelimiterTable, encoding), sInDeli, iItemCount, encoding);
    txtDELI->setText(platform::decodeSource(sInDeli, encoding));
    txtDELI_Change();
    SetINData(sInDeli, line);
    g_.Columns.reset(iItemCount);
    List[0]->clear();
    Proc1Line(std::move(line), sInDeli);
}

void frmConvert::cmdFile_Click()
{
    // A cancel changes nothing: the source on show stays the one a run reads.
    const QString chosen = mdlFile::fGetOpenFile(CommonDialog1);
    if (!chosen.isEmpty())
        openSourceFile(chosen);
}

void frmConvert::openSourceFile(const QString& path)
{
    openNewSource(path, false);
}

bool frmConvert::openNewSource(const QString& path, bool keepColumns)
{
    // A new source is read as its own bytes say: an encoding chosen for the last one is
    // not carried over to it. A source that cannot be read changes nothing, the choice
    // included.
    const engine::EncodingChoice before = encodingChoice;
    encodingChoice = engine::EncodingChoice::Auto;
    if (!readSource(path, keepColumns)) {
        encodingChoice = before;
        return false;
    }
    mnuEncodingAuto->setChecked(true);
    return true;
}

bool frmConvert::readSource(const QString& path, bool keepColumns)
{
    // A run reads the source it started with (the commands that change it are greyed too).
    if (runner_->running())
        return false;
    // The file is checked before anything is cleared: an unreadable choice leaves the
    // window describing the file it described before.
    std::string line;
    engine::SourceEncoding encoding;
    if (!readSourceFirstLine(path, line, encoding))
        return false;
    sourceEncoding = encoding;
    encodingSource_ = path;
    showEncoding();
    sInFile = path;
    txtInFile->setText(sInFile);
    List[0]->clear();
    List[1]->clear();
    const std::vector<int> kept = g_.Columns.rows();
    LoadINData(std::move(line));
    if (keepColumns)
        g_.Columns.load(kept);
    showColumns();
    return true;
}

namespace {

// The local file a drag from a file manager carries, if it carries exactly one.
QString droppedFile(const QMimeData* mime)
{
    if (mime->hasFormat(ItemList::kMimeType) || !mime->hasUrls())
        return QString();
    const QList<QUrl> urls = mime->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return QString();
    return QDir::toNativeSeparators(urls.first().toLocalFile());
}

} // namespace

void frmConvert::dragEnterEvent(QDragEnterEvent* event)
{
    if (!runner_->running() && !droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void frmConvert::dragMoveEvent(QDragMoveEvent* event)
{
    if (!runner_->running() && !droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void frmConvert::dropEvent(QDropEvent* event)
{
    const QString path = droppedFile(event->mimeData());
    if (runner_->running() || path.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    guarded(platform_.messageBox, [&] { openSourceFile(path); });
}

void frmConvert::mnuOpenCSV_Click()
{
    cmdFile_Click();
}

void frmConvert::cmdSave_Click()
{
    // A cancel keeps the output on show: it is still the one a run writes.
    const QString chosen = mdlFile::fGetSaveFile(QStringLiteral("NEW.CSV"), CommonDialog1, sInFile);
    if (chosen.isEmpty())
        return;
    g_.sOutFile = chosen;
    txtOutFile->setText(g_.sOutFile);
}

void frmConvert::mnuSaveCSV_Click()
{
    cmdSave_Click();
}

void frmConvert::cmd検出_Click()
{
    // Without a source, one is chosen; nothing changes until its first line was read.
    const QString path = sInFile.isEmpty() ? mdlFile::fGetOpenFile(CommonDialog1) : sInFile;
    if (path.isEmpty())
        return;
    std::string line;
    engine::SourceEncoding encoding;
    // A source chosen here is new: read as its own bytes say, as 元ファイル reads one.
    const engine::EncodingChoice before = encodingChoice;
    if (path != sInFile)
        encodingChoice = engine::EncodingChoice::Auto;
    if (!readSourceFirstLine(path, line, encoding)) {
        encodingChoice = before;
        return;
    }
    if (path != sInFile)
        mnuEncodingAuto->setChecked(true);
    sInFile = path;
    txtInFile->setText(sInFile);
    sourceEncoding = encoding;
    encodingSource_ = sInFile;
    showEncoding();
    // Only blanks are trimmed: a TAB typed as the delimiter stays. The count is taken
    // with the same trimmed delimiter that then splits the line.
    const std::string delimiter = texts::typedDelimiter(txtDELI->text(), encoding.encoding);
    engine::fGetDeli2(delimiter, line, sInDeli, iItemCount, encoding.encoding);
    sInDeli = delimiter;
    SetINData(sInDeli, line);
    g_.Columns.reset(iItemCount);
    List[0]->clear();
    Proc1Line(std::move(line), sInDeli);
    showColumns();
}

void frmConvert::setSourceCommandsEnabled(bool enabled)
{
    // A run reads the source it started with: choosing another source, detecting again or
    // loading a definition would change the columns under it.
    for (QWidget* w : {static_cast<QWidget*>(cmdFile), static_cast<QWidget*>(cmd検出)})
        w->setEnabled(enabled);
    mnuOpenCSV->setEnabled(enabled);
    mnuOpenDef->setEnabled(enabled);
    mnuEncoding->setEnabled(enabled);
}

void frmConvert::cmd開始_Click()
{
    // A second run inside the first would delete and interleave the output (変換 is greyed).
    if (runner_->active())
        return;
    List[1]->clear();
    if (g_.Columns.rowCount() == 0) {
        platform_.messageBox.show(QStringLiteral("出力データを指定してください。"), platform::kExclamationIcon, kTitle);
        return;
    }
    // One attribute row per source item, in item order. A first line may hold millions of
    // items, so each row keeps one bit and its text is made as it is shown.
    {
        const std::size_t items = static_cast<std::size_t>(std::max<std::int64_t>(iItemCount, 0));
        const std::size_t last = std::min(items, g_.INData.empty() ? 0 : g_.INData.size() - 1);
        const auto numberOf = [&](std::size_t j) -> std::size_t {
            const std::int32_t no = g_.INData[j].iNo;
            return no >= 1 && static_cast<std::size_t>(no) <= items ? static_cast<std::size_t>(no) : 0;
        };
        // A stable counting sort by item number: start[k] is where the rows of item k begin.
        std::vector<std::uint32_t> start(items + 2);
        for (std::size_t j = 1; j <= last; ++j)
            if (const std::size_t k = numberOf(j))
                ++start[k + 1];
        for (std::size_t k = 1; k < start.size(); ++k)
            start[k] += start[k - 1];
        auto numeric = std::make_shared<std::vector<bool>>(start.back());
        for (std::size_t j = 1; j <= last; ++j)
            if (const std::size_t k = numberOf(j))
                (*numeric)[start[k]++] = g_.INData[j].iAttr == engine::kAttrNumeric;
        List[1]->setRows(static_cast<int>(numeric->size()), [numeric](int row) {
            return (*numeric)[static_cast<std::size_t>(row)] ? QStringLiteral("数値") : QStringLiteral("文字列");
        });
    }
    if (sInFile.isEmpty()) {
        // The source is opened as 元ファイル opens one, and the run starts only once it
        // has been: its delimiter and items are the ones the run splits by, and the
        // columns stay those the user built.
        const QString chosen = mdlFile::fGetOpenFile(CommonDialog1);
        if (chosen.isEmpty())
            return;
        if (!openNewSource(chosen, true))
            return;
    }
    // Columns beyond the source's first line are written, as the last item: the user
    // decides once, before any output is chosen or written.
    if (const std::vector<int> beyond = g_.Columns.beyond(iItemCount); !beyond.empty()) {
        if (!platform_.messageBox.ask(texts::columnsBeyondSource(beyond) + QStringLiteral("変換しますか？"),
                                      platform::kYesNo | platform::kExclamationIcon, kTitle))
            return;
    }
    if (g_.sOutFile.isEmpty()) {
        g_.sOutFile = mdlFile::fGetSaveFile(QStringLiteral("NEW.CSV"), CommonDialog1, sInFile);
        if (g_.sOutFile.isEmpty())
            return;
        txtOutFile->setText(g_.sOutFile);
    }
    runConversion();
}
void frmConvert::mnuDELI_Click()
{
    if (!frmDELI_)
        frmDELI_ = std::make_unique<frmDELI>(g_, platform_);
    frmDELI_->show();
    frmDELI_->raise();
    frmDELI_->activateWindow();
}

void frmConvert::runConversion()
{
    engine::RunRequest request;
    request.source = platform::toPath(sInFile);
    request.output = platform::toPath(g_.sOutFile);
    request.mode = engine::OutputMode::Append;
    // The run reads the source as its list was read; a source chosen only now is decided afresh.
    if (sInFile == encodingSource_)
        request.encoding = sourceEncoding.encoding == engine::Encoding::Utf8 ? engine::EncodingChoice::Utf8
                                                                             : engine::EncodingChoice::Cp932;
    else
        request.encoding = encodingChoice;
    if (std::optional<std::string> lastOutput = runner_->run(request, chk先頭行->isChecked(), sInFile))
        sWork = std::move(*lastOutput);
}
