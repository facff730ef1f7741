#include "frmConvert.h"

#include "engine/Detection.h"
#include "engine/LineProcessing.h"
#include "files/mdlFile.h"
#include "platform/Cp932.h"

#include <QDir>

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>

#include <exception>

namespace {

const QString kTitle = QStringLiteral("Tolvane");

// Layout figures are in twips: 15 to a pixel at 96 dpi. Qt scales the pixels for
// high-DPI screens itself.
QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

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
    return button;
}

// Leading and trailing spaces only, as the delimiter box's users expect.
QString trimBlanks(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

} // namespace

frmConvert::frmConvert(mdlGlobal& global, platform::Platform& platform, QWidget* parent)
    : QMainWindow(parent), CommonDialog1(platform.commonDialog), g_(global), platform_(platform)
{
    buildControls();
    buildMenus();
    connectHandlers();
    Form_Load();
}

frmConvert::~frmConvert() = default;

void frmConvert::buildControls()
{
    auto* client = new QWidget(this);
    client->setFixedSize(6945 / 15, 7665 / 15);
    setCentralWidget(client);

    Label[0] = makeLabel(client, QStringLiteral("元データ"), twips(120, 360, 735, 255));
    txtCSV[0] = makeDisplayBox(client, twips(1320, 360, 5415, 270));
    Label[4] = makeLabel(client, QStringLiteral("変換後"), twips(120, 720, 735, 255));
    txtCSV[1] = makeDisplayBox(client, twips(1320, 720, 5415, 270));
    Label[1] = makeLabel(client, QStringLiteral("区切文字"), twips(120, 1080, 735, 255));
    txtDELI = new QLineEdit(client);
    txtDELI->setGeometry(twips(1320, 1080, 975, 270));
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
    List[0] = new QListWidget(client);
    List[0]->setGeometry(twips(1320, 4200, 1575, 2220));
    Label[5] = makeLabel(client, QStringLiteral("出力データ"), twips(3240, 3960, 975, 255));
    List[2] = new QListWidget(client);
    List[2]->setGeometry(twips(3240, 4200, 1575, 2220));
    lbl属性 = makeLabel(client, QStringLiteral("属性"), twips(5160, 3960, 735, 255));
    List[1] = new QListWidget(client);
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

    for (QListWidget* list : List)
        list->setSelectionMode(QAbstractItemView::SingleSelection);

    // Focus order: the delimiter box first, the display boxes last.
    QWidget* order[] = {txtDELI,   fra区切文字, Option1[0], Option1[1], chk先頭行, List[0],    List[2],
                        List[1],   cmdFile,     cmdSave,    cmd検出,    cmd開始,   cmdClose,   txtCSV[0],
                        txtCSV[1], txtInFile,   txtOutFile, txt件数};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
    txtDELI->setFocus();
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
}

void frmConvert::connectHandlers()
{
    // Japanese handler names cannot be slots, so every handler is connected by pointer.
    connect(Option1[0], &QRadioButton::clicked, this, [this] { Option1_Click(0); });
    connect(Option1[1], &QRadioButton::clicked, this, [this] { Option1_Click(1); });
    connect(txtDELI, &QLineEdit::textChanged, this, &frmConvert::txtDELI_Change);
    connect(cmdClose, &QPushButton::clicked, this, &frmConvert::cmdClose_Click);
    connect(mnuExit, &QAction::triggered, this, &frmConvert::mnuExit_Click);
    connect(cmdFile, &QPushButton::clicked, this, &frmConvert::cmdFile_Click);
    connect(mnuOpenCSV, &QAction::triggered, this, &frmConvert::mnuOpenCSV_Click);
    connect(cmdSave, &QPushButton::clicked, this, &frmConvert::cmdSave_Click);
    connect(mnuSaveCSV, &QAction::triggered, this, &frmConvert::mnuSaveCSV_Click);
    connect(cmd検出, &QPushButton::clicked, this, &frmConvert::cmd検出_Click);
    connect(cmd開始, &QPushButton::clicked, this, &frmConvert::cmd開始_Click);
    connect(mnuOpenDef, &QAction::triggered, this, &frmConvert::mnuOpenDef_Click);
    connect(mnuSaveDef, &QAction::triggered, this, &frmConvert::mnuSaveDef_Click);
    connect(mnuDELI, &QAction::triggered, this, &frmConvert::mnuDELI_Click);
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
        platform_.messageBox.show(QString::fromLocal8Bit(e.what()), 0, kTitle);
    }
}

void frmConvert::Option1_Click(int Index)
{
    sOutDeli.assign(1, Index == 1 ? '\t' : ',');
}

void frmConvert::txtDELI_Change()
{
    sInDeli = platform::encodeDelimiter(txtDELI->text());
}

void frmConvert::cmdClose_Click()
{
    platform_.endProgram();
}

void frmConvert::mnuExit_Click()
{
    platform_.endProgram();
}

void frmConvert::closeEvent(QCloseEvent* event)
{
    // The title bar's close ends the program like 閉じる, whatever other window exists.
    event->accept();
    platform_.endProgram();
}

void frmConvert::showFileProblem(engine::FileProblem problem, const QString& path)
{
    const QString shown = QDir::toNativeSeparators(path);
    QString text;
    switch (problem) {
    case engine::FileProblem::Missing:
        text = QStringLiteral("ファイル「%1」が見つかりません。");
        break;
    case engine::FileProblem::NotAFile:
        text = QStringLiteral("「%1」はファイルではありません。");
        break;
    case engine::FileProblem::CannotOpen:
        text = QStringLiteral("ファイル「%1」を開けません。");
        break;
    case engine::FileProblem::ReadFailed:
        text = QStringLiteral("ファイル「%1」を読み込めません。");
        break;
    case engine::FileProblem::Empty:
        text = QStringLiteral("ファイル「%1」には行がありません。");
        break;
    case engine::FileProblem::None:
        return;
    }
    platform_.messageBox.show(text.arg(shown), 48, kTitle);
}

bool frmConvert::readSourceFirstLine(const QString& path, std::string& line)
{
    const engine::FileProblem problem = engine::readFirstLine(platform::toPath(path), line);
    if (problem == engine::FileProblem::None)
        return true;
    showFileProblem(problem, path);
    return false;
}

void frmConvert::SetINData(const std::string& DELI, const std::string& p)
{
    engine::SetINData(DELI, p, iItemCount, g_.INData);
}

void frmConvert::Proc1Line(const std::string& p, const std::string& sDELI)
{
    const auto items = engine::Proc1Line(p, sDELI, iItemCount);
    QStringList rows;
    rows.reserve(static_cast<qsizetype>(items.size()));
    for (std::string_view item : items)
        rows << platform::decodeCp932(item);
    List[0]->addItems(rows);
}

void frmConvert::recreateColumnMap()
{
    engine::ColumnMap map(static_cast<std::size_t>(iItemCount) + 1);
    for (std::size_t i = 1; i < map.size(); ++i)
        map[i].iItemNo = -1;
    g_.ColumnMap = std::move(map);
}

void frmConvert::LoadINData(const std::string& line)
{
    sInDeli = engine::fGetDeli(line, g_.DelimiterTable, sInDeli, iItemCount);
    txtDELI->setText(platform::decodeCp932(sInDeli));
    txtDELI_Change();
    SetINData(sInDeli, line);
    recreateColumnMap();
    List[0]->clear();
    Proc1Line(line, sInDeli);
}

void frmConvert::cmdFile_Click()
{
    const QString chosen = mdlFile::fGetOpenFile(*this);
    if (chosen.isEmpty()) {
        sInFile = chosen;
        return;
    }
    // The file is checked before anything is cleared: an unreadable choice leaves the
    // window describing the file it described before.
    std::string line;
    if (!readSourceFirstLine(chosen, line))
        return;
    sInFile = chosen;
    txtInFile->setText(sInFile);
    List[0]->clear();
    List[1]->clear();
    List[2]->clear();
    LoadINData(line);
    List[2]->clear();
}

void frmConvert::mnuOpenCSV_Click()
{
    cmdFile_Click();
}

void frmConvert::cmdSave_Click()
{
    g_.sOutFile = mdlFile::fGetSaveFile(QStringLiteral("NEW.CSV"), *this);
    txtOutFile->setText(g_.sOutFile);
}

void frmConvert::mnuSaveCSV_Click()
{
    cmdSave_Click();
}

void frmConvert::cmd検出_Click()
{
    const QString previousInFile = sInFile;
    const QString previousShown = txtInFile->text();
    if (sInFile.isEmpty()) {
        sInFile = mdlFile::fGetOpenFile(*this);
        if (sInFile.isEmpty())
            return;
        txtInFile->setText(sInFile);
    }
    std::string line;
    if (!readSourceFirstLine(sInFile, line)) {
        sInFile = previousInFile;
        txtInFile->setText(previousShown);
        return;
    }
    List[2]->clear();
    // Only blanks are trimmed: a TAB typed as the delimiter stays. The count is taken
    // with the same trimmed delimiter that then splits the line.
    const std::string delimiter = platform::encodeDelimiter(trimBlanks(txtDELI->text()));
    engine::fGetDeli2(delimiter, line, sInDeli, iItemCount);
    sInDeli = delimiter;
    SetINData(sInDeli, line);
    recreateColumnMap();
    List[0]->clear();
    Proc1Line(line, sInDeli);
}

void frmConvert::cmd開始_Click() {}
void frmConvert::mnuOpenDef_Click() {}
void frmConvert::mnuSaveDef_Click() {}
void frmConvert::mnuDELI_Click() {}
