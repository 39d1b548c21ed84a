// The board's two dialogs, sized and placed for the touch panel.
#include "board/BoardDialogs.h"

#include "config/NumberFormat.h"
#include "board/BoardArithmetic.h"
#include "movements/PanelRules.h"
#include "store/Connection.h"
#include "store/Schema.h"
#include "ui/Skin.h"
#include "ui/SkinnedFrame.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

namespace granovia {

namespace {

constexpr QSize InfosClientSize(559, 492);
constexpr int InfosTitleHeight = 41;
constexpr int TitlePx = 33;
constexpr int RowLabelPx = 27;
constexpr int ButtonPx = 33;
constexpr int NoticePx = 40;
const QColor TitleRed(255, 53, 53);
constexpr int ValueLeft = 271;
constexpr int ValueWidth = 250;
constexpr int RowHeight = 33;
const QRect TakeButtonPlace(30, 390, 242, 76);
const QRect CancelButtonPlace(279, 390, 242, 76);

struct RowLabel {
    const char *text;
    QPoint place;
};
// The row labels and where they sit; the values stand at their tops.
const std::array<RowLabel, SiloInfo::RowCount> RowLabels{{
    {"Partie:", {32, 85}},
    {"Druh:", {30, 119}},
    {"Odrůda:", {30, 153}},
    {"Stupeň:", {30, 187}},
    {"Množství:", {30, 222}},
    {"Ze dne:", {32, 256}},
    {"Přesun dne:", {32, 290}},
    {"Zbývá kapacita:", {32, 325}},
}};

constexpr QSize FoznamClientSize(572, 314);
const QRect NoticePlace(30, 55, 506, 146);
const QRect OkButtonPlace(30, 225, 506, 76);
// Between the buttons of a notice that has several, as in the info dialog.
constexpr int ButtonGap = 7;

// The skinned frame with only a close box; returns the client area, in whose
// coordinates the dialog's parts are placed, the title bar along its top.
QWidget *styleDialog(QDialog *dialog, const QSize &clientSize)
{
    dialog->setWindowTitle(ui::ApplicationCaption);
    dialog->setWindowFlag(Qt::WindowStaysOnTopHint);
    auto *frame = new ui::SkinnedFrame(dialog, ui::FrameStyle::dialog());
    dialog->setFixedSize(ui::SkinnedFrame::outerSize(clientSize));
    return frame->client();
}

// Centred on the board each time it opens: a window manager need not put a
// dialog that shows again where it was.
int execCentred(QDialog *dialog)
{
    if (const QWidget *owner = dialog->parentWidget()) {
        QRect place(QPoint(), dialog->size());
        place.moveCenter(owner->window()->frameGeometry().center());
        dialog->move(place.topLeft());
    }
    dialog->raise();
    return dialog->exec();
}

QPushButton *dialogButton(QDialog *dialog, QWidget *client, const QString &caption, const QRect &place, int result)
{
    auto *button = new QPushButton(caption, client);
    button->setFont(skin::font(ButtonPx, true));
    button->setGeometry(place);
    QObject::connect(button, &QPushButton::clicked, dialog, [dialog, result] { dialog->done(result); });
    return button;
}

} // namespace

SiloInfo siloInfoOf(const QString &title, const Result &row)
{
    namespace c = schema::ppsila;
    // The same texts as the console's panels, but the remaining capacity is
    // rounded and never below 0.
    PanelValues values = panelValuesOf(row);
    values[detail::RemainingRow] =
        numbers::general(board::remainingCapacity(row.toDouble(c::Kapacita), row.toDouble(c::Stav)));
    return {title, values};
}

Tinfos::Tinfos(QWidget *owner)
    : QDialog(owner)
{
    QWidget *client = styleDialog(this, InfosClientSize);
    suiImagePanel1 = new QLabel(QStringLiteral("SILO 01"), client);
    suiImagePanel1->setGeometry(0, ui::FrameTitleBar::Height, InfosClientSize.width(), InfosTitleHeight);
    suiImagePanel1->setAlignment(Qt::AlignCenter);
    suiImagePanel1->setFont(skin::font(TitlePx, true));
    QPalette titlePalette = suiImagePanel1->palette();
    titlePalette.setColor(QPalette::WindowText, TitleRed);
    suiImagePanel1->setPalette(titlePalette);

    for (size_t row = 0; row < RowLabels.size(); ++row) {
        const RowLabel &label = RowLabels[row];
        auto *caption = new QLabel(QString::fromUtf8(label.text), client);
        caption->setFont(skin::font(RowLabelPx));
        caption->setGeometry(QRect(label.place, QSize(caption->sizeHint().width(), RowHeight)));
        values[row] = new QLabel(client);
        values[row]->setFont(skin::font(RowLabelPx));
        values[row]->setGeometry(ValueLeft, label.place.y(), ValueWidth, RowHeight);
        values[row]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    suiButton1 = dialogButton(this, client, QStringLiteral("do přesunu"), TakeButtonPlace, Take);
    suiButton2 = dialogButton(this, client, QStringLiteral("storno"), CancelButtonPlace, Cancel);
}

void Tinfos::setInfo(const SiloInfo &info)
{
    suiImagePanel1->setText(info.title);
    for (size_t row = 0; row < values.size(); ++row)
        values[row]->setText(info.values[row]);
}

int Tinfos::showModal(const SiloInfo &info)
{
    setInfo(info);
    QStringList lines{info.title};
    for (const QString &value : info.values)
        lines.append(value);
    ui::DialogRequest request;
    request.caption = ui::ApplicationCaption;
    request.text = lines.join(QLatin1Char('\n'));
    request.buttons = QStringList{suiButton1->text(), suiButton2->text()};
    const ui::DialogAnswer answer = ui::execDialog(parentWidget(), request, [this] {
        return ui::DialogAnswer{execOwn(), {}};
    });
    return answer.button == Take ? Take : Cancel;
}

int Tinfos::execOwn()
{
    return execCentred(this);
}

Tfoznam::Tfoznam(QWidget *owner, const QStringList &captions)
    : QDialog(owner)
{
    QWidget *client = styleDialog(this, FoznamClientSize);
    text = new QLabel(client);
    text->setGeometry(NoticePlace);
    text->setFont(skin::font(NoticePx));
    text->setAlignment(Qt::AlignCenter);
    text->setWordWrap(true);
    const int count = int(captions.size());
    const int width = (OkButtonPlace.width() - (count - 1) * ButtonGap) / count;
    for (int number = 1; number <= count; ++number) {
        const QRect place(OkButtonPlace.left() + (number - 1) * (width + ButtonGap), OkButtonPlace.top(), width,
                          OkButtonPlace.height());
        m_buttons.append(dialogButton(this, client, captions.at(number - 1), place, number));
    }
    suiButton1 = m_buttons.constFirst();
}

void Tfoznam::showModal(const QString &notice)
{
    ui::DialogRequest request;
    request.caption = ui::ApplicationCaption;
    request.text = notice;
    request.buttons = QStringList{suiButton1->text()};
    ui::execDialog(parentWidget(), request, [&] { return ui::DialogAnswer{showOwn(notice), {}}; });
}

int Tfoznam::showOwn(const QString &notice)
{
    text->setText(notice);
    fitToText();
    const int result = execCentred(this);
    return result >= 1 && result <= m_buttons.size() ? result : int(m_buttons.size());
}

// The designed size holds for a text that fits its place; a longer one gets
// the height it needs, as far as the screen allows, the buttons below it.
void Tfoznam::fitToText()
{
    const QRect area = (parentWidget() ? parentWidget()->screen() : screen())->availableGeometry();
    const int spare = area.height() - ui::SkinnedFrame::outerSize(FoznamClientSize).height();
    const int growth = std::clamp(text->heightForWidth(NoticePlace.width()) - NoticePlace.height(), 0, std::max(0, spare));
    text->setGeometry(NoticePlace.adjusted(0, 0, 0, growth));
    for (QPushButton *button : std::as_const(m_buttons))
        button->move(button->x(), OkButtonPlace.top() + growth);
    setFixedSize(ui::SkinnedFrame::outerSize(FoznamClientSize + QSize(0, growth)));
}

} // namespace granovia
