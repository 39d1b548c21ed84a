#include "reportsui/ReportPages.h"

#include "reports/JournalReader.h"
#include "reportsui/ReportWorker.h"
#include "store/Connection.h"
#include "store/DbError.h"
#include "core/SiloLabel.h"
#include "ui/ErrorDisplay.h"
#include "ui/Skin.h"
#include "ui/Widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QVBoxLayout>

namespace granovia::reportsui {

namespace {

constexpr int Spacing = 6;
constexpr int RowHeight = 17;
constexpr int DayFieldWidth = 80;
constexpr int LotFieldWidth = 140;
const QSize ShowButtonSize(90, 23);
const QString DayFormat = QStringLiteral("yyyy-MM-dd");
const QString MomentFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString MarkNote = QStringLiteral("Červeně označená sila mají k tomuto okamžiku stav záporný nebo nad kapacitu: "
                                        "historie pohybů a stav sil si neodpovídají.");

QLabel *labelFor(const QString &text, QWidget *field)
{
    auto *label = new QLabel(text);
    label->setBuddy(field);
    // The name assistive technology reads for the field, without the mnemonic's '&'.
    field->setAccessibleName(QString(text).remove(u'&').remove(u':'));
    return label;
}

QTableView *reportTable(const QString &name, QAbstractItemModel *model)
{
    auto *table = new QTableView;
    table->setModel(model);
    table->setAccessibleName(name);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    // Tab leaves the table for the next field, as in every other control.
    table->setTabKeyNavigation(false);
    table->setWordWrap(false);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(RowHeight);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setFont(skin::font(skin::Pt8));
    QPalette palette = table->palette();
    palette.setColor(QPalette::Base, skin::Background);
    palette.setColor(QPalette::Text, skin::Text);
    palette.setColor(QPalette::Button, skin::FixedBackground);
    palette.setColor(QPalette::ButtonText, skin::FixedText);
    palette.setColor(QPalette::Highlight, skin::FixedBackground);
    palette.setColor(QPalette::HighlightedText, skin::FixedText);
    table->setPalette(palette);
    return table;
}

// Column widths from the report's shares of a line, in the table's font.
void sizeColumns(QTableView *table, const QList<reports::ReportColumn> &columns)
{
    const int charWidth = table->fontMetrics().averageCharWidth();
    for (int i = 0; i < columns.size(); ++i)
        table->setColumnWidth(i, (columns.at(i).width + 1) * charWidth);
}

QLabel *totalsLabel()
{
    auto *label = new QLabel;
    label->setFont(skin::font(skin::Pt8, true));
    label->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    label->setFocusPolicy(Qt::TabFocus);
    return label;
}

QString totalsText(const QList<reports::ReportTotal> &totals)
{
    QStringList parts;
    for (const reports::ReportTotal &total : totals)
        parts.append(QStringLiteral("%1: %2 t").arg(total.label, reports::cellText(total.tonnes, reports::CellType::Quantity)));
    return parts.join(QStringLiteral("     "));
}

QHBoxLayout *fieldRow()
{
    auto *row = new QHBoxLayout;
    row->setSpacing(Spacing);
    return row;
}

std::optional<QDate> dayOfField(const QLineEdit *field, const QString &name)
{
    const QString text = field->text().trimmed();
    if (text.isEmpty())
        return std::nullopt;
    const QDate day = QDate::fromString(text, DayFormat);
    if (!day.isValid())
        throw AppError(QStringLiteral("Chybné datum v poli %1!\nZadejte je jako rrrr-mm-dd.").arg(name));
    return day;
}

// A file name of the lot: characters that some file systems refuse become '-'.
QString fileSafe(const QString &text)
{
    QString safe = text;
    for (QChar &ch : safe) {
        if (QStringLiteral("/\\:*?\"<>| ").contains(ch))
            ch = u'-';
    }
    return safe;
}

} // namespace

ReportPage::ReportPage(ReportWorker &worker, QWidget *parent)
    : QWidget(parent)
    , m_worker(worker)
{
    m_show = new ui::SuiButton(QStringLiteral("zobrazit"), skin::Pt8, false);
    m_show->setFixedSize(ShowButtonSize);
    connect(m_show, &QPushButton::clicked, this, &ReportPage::refreshGuarded);
}

void ReportPage::refreshGuarded()
{
    ui::guarded(this, [this] { refresh(); });
}

JournalPage::JournalPage(ReportWorker &worker, QWidget *parent)
    : ReportPage(worker, parent)
{
    silo = new QComboBox;
    silo->addItem(QStringLiteral("všechna sila"));
    for (int number = silolabel::FirstSilo; number <= silolabel::LastSilo; ++number)
        silo->addItem(silolabel::label(number), number);
    lot = new QLineEdit;
    lot->setPlaceholderText(QStringLiteral("přesný název"));
    lot->setFixedWidth(LotFieldWidth);
    lotPrefix = new QCheckBox(QStringLiteral("&začátek názvu"));
    from = new QLineEdit;
    to = new QLineEdit;
    for (QLineEdit *day : {from, to}) {
        day->setPlaceholderText(QStringLiteral("rrrr-mm-dd"));
        day->setFixedWidth(DayFieldWidth);
    }
    QHBoxLayout *fields = fieldRow();
    fields->addWidget(labelFor(QStringLiteral("&Silo:"), silo));
    fields->addWidget(silo);
    fields->addWidget(labelFor(QStringLiteral("&Partie:"), lot));
    fields->addWidget(lot);
    fields->addWidget(lotPrefix);
    fields->addWidget(labelFor(QStringLiteral("&Od:"), from));
    fields->addWidget(from);
    fields->addWidget(labelFor(QStringLiteral("&Do:"), to));
    fields->addWidget(to);
    fields->addWidget(m_show);
    fields->addStretch();
    for (QLineEdit *field : {lot, from, to})
        connect(field, &QLineEdit::returnPressed, this, &JournalPage::refreshGuarded);

    table = reportTable(QStringLiteral("Pohyby"), &model);
    sizeColumns(table, reports::journalColumns());
    totals = totalsLabel();
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(Spacing);
    layout->addLayout(fields);
    layout->addWidget(table, 1);
    layout->addWidget(totals);
    connect(&model, &JournalModel::nextPageWanted, this, &JournalPage::readNextPage);
    // A page the view asked for while other work ran is read when it ends.
    connect(&worker, &ReportWorker::busyChanged, this, [this](bool busy) {
        if (!busy && m_nextPageWanted)
            readNextPage();
    });
}

reports::JournalFilter JournalPage::filterOfFields() const
{
    reports::JournalFilter filter;
    if (silo->currentData().isValid())
        filter.silo = silo->currentData().toInt();
    // Exactly as typed: letter case and blanks count, as in the movements.
    filter.lot = lot->text();
    filter.lotPrefix = lotPrefix->isChecked();
    filter.from = dayOfField(from, QStringLiteral("Od"));
    filter.to = dayOfField(to, QStringLiteral("Do"));
    if (filter.from && filter.to && *filter.from > *filter.to)
        throw AppError(QStringLiteral("Datum Od je po datu Do!"));
    return filter;
}

void JournalPage::refresh()
{
    const reports::JournalFilter filter = filterOfFields();
    m_worker.start([filter](Connection &connection) { return JournalModel::readFirstPage(connection, filter); },
                   [this](JournalModel::FirstPage page) {
                       model.showFirstPage(std::move(page));
                       table->scrollToTop();
                       // The first page shows before the totals of the whole filter are summed.
                       totals->setText(QStringLiteral("Součty se počítají…"));
                       readTotals();
                   });
}

void JournalPage::readTotals()
{
    const reports::JournalFilter filter = model.filter();
    m_worker.start([filter](Connection &connection) { return reports::journalTotals(connection, filter); },
                   [this](const reports::JournalTotals &sums) { showTotals(sums); });
}

// As the view scrolls, or fills.
void JournalPage::readNextPage()
{
    const std::shared_ptr<reports::JournalReader> reader = model.reader();
    m_nextPageWanted = model.canFetchMore() && m_worker.isBusy();
    if (!model.canFetchMore() || m_nextPageWanted)
        return;
    m_worker.start([reader](Connection &) { return JournalModel::readNextPage(*reader); },
                   [this, reader](const JournalModel::NextPage &page) {
                       if (reader == model.reader())
                           model.appendPage(page);
                   });
}

void JournalPage::showTotals(const reports::JournalTotals &sums)
{
    const QString silo = model.filter().silo ? silolabel::label(*model.filter().silo) : QString();
    totals->setText(totalsText({{silo.isEmpty() ? QStringLiteral("Přišlo zvenčí") : QStringLiteral("Přišlo do %1").arg(silo),
                                 sums.incoming},
                                {silo.isEmpty() ? QStringLiteral("Odešlo ze sil") : QStringLiteral("Odešlo z %1").arg(silo),
                                 sums.outgoing}})
                    + QStringLiteral("     Řádků: %1").arg(sums.lines));
}

ReportWork JournalPage::reportWork() const
{
    const reports::JournalFilter filter = model.isShown() ? model.filter() : filterOfFields();
    return [filter](Connection &connection) { return reports::historyReport(connection, filter); };
}

QString JournalPage::fileStem() const
{
    return QStringLiteral("pohyby");
}

LotPage::LotPage(ReportWorker &worker, QWidget *parent)
    : ReportPage(worker, parent)
{
    lot = new QLineEdit;
    lot->setFixedWidth(LotFieldWidth);
    connect(lot, &QLineEdit::returnPressed, this, &LotPage::refreshGuarded);
    QHBoxLayout *fields = fieldRow();
    fields->addWidget(labelFor(QStringLiteral("&Partie:"), lot));
    fields->addWidget(lot);
    fields->addWidget(m_show);
    fields->addStretch();

    lines = reportTable(QStringLiteral("Pohyby partie"), &linesModel);
    holders = reportTable(QStringLiteral("Uloženo v silech"), &holdersModel);
    totals = totalsLabel();
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(Spacing);
    layout->addLayout(fields);
    layout->addWidget(new ui::TitleStrip(QStringLiteral("POHYBY PARTIE")));
    layout->addWidget(lines, 3);
    layout->addWidget(new ui::TitleStrip(QStringLiteral("ULOŽENO V SILECH")));
    layout->addWidget(holders, 1);
    layout->addWidget(totals);
}

QString LotPage::lotOfField() const
{
    const QString name = lot->text();
    if (name.isEmpty())
        throw AppError(QStringLiteral("Zadejte partii!"));
    return name;
}

void LotPage::refresh()
{
    const QString name = lotOfField();
    m_worker.start([name](Connection &connection) { return reports::traceLot(connection, name); },
                   [this](reports::LotTrace trace) { showTrace(std::move(trace)); });
}

void LotPage::showTrace(reports::LotTrace trace)
{
    m_trace = std::move(trace);
    const reports::Report shown = reports::lotReport(*m_trace);
    linesModel.setSection(shown.sections.at(0));
    holdersModel.setSection(shown.sections.at(1));
    sizeColumns(lines, shown.sections.at(0).columns);
    sizeColumns(holders, shown.sections.at(1).columns);
    totals->setText(totalsText(shown.totals));
}

ReportWork LotPage::reportWork() const
{
    if (m_trace)
        return [trace = *m_trace](Connection &) { return reports::lotReport(trace); };
    const QString name = lotOfField();
    return [name](Connection &connection) { return reports::lotReport(reports::traceLot(connection, name)); };
}

QString LotPage::fileStem() const
{
    return QStringLiteral("partie-") + fileSafe(m_trace ? m_trace->lot : lot->text());
}

StockPage::StockPage(ReportWorker &worker, QWidget *parent)
    : ReportPage(worker, parent)
{
    // The end of last month, the moment an inventory asks for most.
    const QDate firstOfMonth(QDate::currentDate().year(), QDate::currentDate().month(), 1);
    moment = new QDateTimeEdit(QDateTime(firstOfMonth.addDays(-1), QTime(23, 59, 59)));
    moment->setDisplayFormat(MomentFormat);
    QHBoxLayout *fields = fieldRow();
    fields->addWidget(labelFor(QStringLiteral("&Okamžik:"), moment));
    fields->addWidget(moment);
    fields->addWidget(m_show);
    fields->addStretch();

    auto *note = new QLabel(reports::RebuiltNote + u' ' + MarkNote);
    note->setWordWrap(true);
    table = reportTable(QStringLiteral("Stav sil"), &model);
    totals = totalsLabel();
    totals->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(Spacing);
    layout->addLayout(fields);
    layout->addWidget(note);
    layout->addWidget(table, 1);
    layout->addWidget(totals);
}

void StockPage::refresh()
{
    const QDateTime at = moment->dateTime();
    m_worker.start([at](Connection &connection) { return reports::rebuildStock(connection, at); },
                   [this](reports::StockAtMoment stock) { showStock(std::move(stock)); });
}

void StockPage::showStock(reports::StockAtMoment stock)
{
    m_stock = std::move(stock);
    const reports::Report shown = reports::stockReport(*m_stock);
    model.setSection(shown.sections.at(0));
    sizeColumns(table, shown.sections.at(0).columns);
    totals->setText(totalsText(shown.totals));
}

ReportWork StockPage::reportWork() const
{
    if (m_stock)
        return [stock = *m_stock](Connection &) { return reports::stockReport(stock); };
    const QDateTime at = moment->dateTime();
    return [at](Connection &connection) { return reports::stockReport(reports::rebuildStock(connection, at)); };
}

QString StockPage::fileStem() const
{
    const QDateTime at = m_stock ? m_stock->moment : moment->dateTime();
    return QStringLiteral("stav-") + at.toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
}

} // namespace granovia::reportsui
