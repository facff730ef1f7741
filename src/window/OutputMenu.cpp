// The main window's 出力 menu: the form the output is written in. The choices are the
// user's, not a file's: they stay from one start to the next, and apply to every run
// until changed.

#include "frmConvert.h"
#include "platform/Settings.h"
#include "shared/Guarded.h"
#include "shared/Texts.h"

#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>

namespace {

// The names the settings file keeps, in the menu's order.
const char* const kEncodingKeys[] = {"as-source", "cp932", "utf-8", "utf-8-bom"};
const char* const kLineEndKeys[] = {"crlf", "lf"};

template <std::size_t N> int indexOf(const char* const (&keys)[N], const QString& key)
{
    for (std::size_t i = 0; i < N; ++i)
        if (key == QLatin1String(keys[i]))
            return static_cast<int>(i);
    return 0; // an unknown or missing value: the default
}

template <std::size_t N>
void addChoices(QMenu* menu, QObject* owner, std::array<QAction*, N>& actions, const QString (&texts)[N])
{
    auto* group = new QActionGroup(owner);
    for (std::size_t i = 0; i < N; ++i) {
        actions[i] = group->addAction(texts[i]);
        actions[i]->setCheckable(true);
        menu->addAction(actions[i]);
    }
}

} // namespace

void frmConvert::buildOutputMenu()
{
    mnuOutput = menuBar()->addMenu(QStringLiteral("出力(&O)"));
    QMenu* encodings = mnuOutput->addMenu(QStringLiteral("文字コード(&C)"));
    addChoices(encodings, this, mnuOutputEncoding,
               {QStringLiteral("元のまま(&K)"), QStringLiteral("シフトJIS(&S)"), QStringLiteral("UTF-8(&U)"),
                QStringLiteral("UTF-8 (BOM付き)(&B)")});
    QMenu* lineEnds = mnuOutput->addMenu(QStringLiteral("改行(&L)"));
    addChoices(lineEnds, this, mnuLineEnd, {QStringLiteral("CR LF(&W)"), QStringLiteral("LF(&L)")});
    QMenu* quotes = mnuOutput->addMenu(QStringLiteral("引用符(&Q)"));
    addChoices(quotes, this, mnuQuote,
               {QStringLiteral("そのまま(&N)"), QStringLiteral("必要なときだけ引用符を付ける(&Q)")});
    mnuOutput->addSeparator();
    mnuReplace = mnuOutput->addAction(QStringLiteral("表せない文字を ? にする(&R)"));
    mnuReplace->setCheckable(true);

    const auto stored = platform::userSettings();
    engine::OutputForm& form = g_.OutputForm;
    form.encoding = static_cast<engine::OutputEncoding>(
        indexOf(kEncodingKeys, stored->value(QStringLiteral("output/encoding")).toString()));
    form.lineEnd =
        static_cast<engine::LineEnd>(indexOf(kLineEndKeys, stored->value(QStringLiteral("output/eol")).toString()));
    form.quote = stored->value(QStringLiteral("output/quote"), false).toBool();
    form.replace = stored->value(QStringLiteral("output/replace"), false).toBool();
    mnuOutputEncoding[static_cast<std::size_t>(form.encoding)]->setChecked(true);
    mnuLineEnd[static_cast<std::size_t>(form.lineEnd)]->setChecked(true);
    mnuQuote[form.quote ? 1 : 0]->setChecked(true);
    mnuReplace->setChecked(form.replace);

    for (QAction* a : {mnuOutputEncoding[0], mnuOutputEncoding[1], mnuOutputEncoding[2], mnuOutputEncoding[3],
                       mnuLineEnd[0], mnuLineEnd[1], mnuQuote[0], mnuQuote[1], mnuReplace})
        connect(a, &QAction::triggered, this, [this] { guarded(platform_.messageBox, [&] { mnuOutput_Click(); }); });
}

void frmConvert::mnuOutput_Click()
{
    engine::OutputForm form;
    for (std::size_t i = 0; i < mnuOutputEncoding.size(); ++i)
        if (mnuOutputEncoding[i]->isChecked())
            form.encoding = static_cast<engine::OutputEncoding>(i);
    form.lineEnd = mnuLineEnd[1]->isChecked() ? engine::LineEnd::Lf : engine::LineEnd::CrLf;
    form.quote = mnuQuote[1]->isChecked();
    form.replace = mnuReplace->isChecked();
    // A run reads the form with its other settings for every slice.
    g_.OutputForm = form;
    const auto stored = platform::userSettings();
    stored->setValue(QStringLiteral("output/encoding"),
                     QLatin1String(kEncodingKeys[static_cast<std::size_t>(form.encoding)]));
    stored->setValue(QStringLiteral("output/eol"), QLatin1String(kLineEndKeys[static_cast<std::size_t>(form.lineEnd)]));
    stored->setValue(QStringLiteral("output/quote"), form.quote);
    stored->setValue(QStringLiteral("output/replace"), form.replace);
    showEncoding();
}

QString frmConvert::outputFormText(bool brief, const engine::OutputForm& form)
{
    static const QString encodings[] = {QStringLiteral("元のまま"), QStringLiteral("シフトJIS"),
                                        QStringLiteral("UTF-8"), QStringLiteral("UTF-8 (BOM付き)")};
    const QString& encoding = encodings[static_cast<std::size_t>(form.encoding)];
    const bool lf = form.lineEnd == engine::LineEnd::Lf;
    if (!brief)
        return QStringLiteral("%1、改行 %2、%3%4")
            .arg(encoding, lf ? QStringLiteral("LF") : QStringLiteral("CR LF"),
                 form.quote ? QStringLiteral("必要なときだけ引用符を付ける") : QStringLiteral("引用符はそのまま"),
                 form.replace ? QStringLiteral("、表せない文字は ?") : QString());
    // Short enough for the menu bar's corner beside three menus; the tip says the rest.
    QStringList parts;
    if (form.encoding != engine::OutputEncoding::AsSource)
        parts << (form.encoding == engine::OutputEncoding::Utf8Bom ? QStringLiteral("UTF-8 BOM") : encoding);
    if (lf)
        parts << QStringLiteral("LF");
    if (form.quote)
        parts << QStringLiteral("引用符");
    return parts.join(QStringLiteral("・"));
}
