#include "flash/ui/binsend.h"

#include "flash/flashpages.h"
#include "flash/transfer.h"
#include "flash/ui/transferpanel.h"
#include "link/link.h"
#include "settings/hostpaths.h"
#include "settings/settings.h"
#include "ui/controls.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace pvelm {

namespace {

constexpr char kDefaultFlashFile[] = "c:\\corvane\\flashda.fla";

QLineEdit *box(const char *name, const QString &text, const QString &accessibleName)
{
    auto *e = new QLineEdit(text);
    e->setObjectName(QString::fromLatin1(name));
    e->setAccessibleName(accessibleName);
    return e;
}

QLabel *label(const char *name, const QString &caption, bool wrap = false)
{
    auto *l = new QLabel(caption);
    l->setObjectName(QString::fromLatin1(name));
    l->setTextFormat(Qt::PlainText);
    l->setWordWrap(wrap);
    return l;
}

QString refusedPageText(const QString &what, const QString &text)
{
    return QStringLiteral("%1 \"%2\" is not a whole number from 0 up: nothing was sent").arg(what, text);
}

QString refusedRangeText(const QString &what, const QString &text)
{
    return QStringLiteral("%1 \"%2\" is not a whole number: nothing was sent").arg(what, text);
}

} // namespace

Binsend::Binsend(Link &link, const SettingsRecord &settings, QWidget *parent)
    : ToolWindow(parent), m_link(link), m_settings(settings)
{
    setObjectName(QStringLiteral("Binsend"));
    setWindowTitle(QStringLiteral("Flash memory utility"));

    // Left: the page number, the page buttons and the output box.
    m_pageNumber = box("Text5", QStringLiteral("00000"), QStringLiteral("Page #"));
    auto *frame3 = new QGroupBox(QStringLiteral("Page #"));
    frame3->setObjectName(QStringLiteral("Frame3"));
    (new QVBoxLayout(frame3))->addWidget(m_pageNumber);
    auto *command6 = button("Command6", QStringLiteral("Raw page read"));
    auto *command9 = button("Command9", QStringLiteral("Read && list as lines"));
    auto *command8 = button("Command8", QStringLiteral("Erase Flash Memory"));
    m_output = new QPlainTextEdit(QStringLiteral("Text3\n"));
    m_output->setObjectName(QStringLiteral("Text3"));
    m_output->setAccessibleName(QStringLiteral("Flash memory output"));
    m_output->setReadOnly(true);
    m_output->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_output->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_output->setMinimumWidth(m_output->fontMetrics().horizontalAdvance(QString(36, QLatin1Char('0'))));

    auto *left = new QVBoxLayout;
    left->addWidget(frame3);
    left->addWidget(command6);
    left->addWidget(command9);
    left->addWidget(command8);
    left->addWidget(m_output, 1);

    // Right: the file, the range, the help.
    const QString fileCaption = QStringLiteral("File name and path:");
    m_filename = box("Filename", QString(), fileCaption);
    auto *label3 = label("Label3", fileCaption);
    label3->setBuddy(m_filename);
    auto *readfla = button("readfla", QStringLiteral("Write entire flash file into memory"));
    auto *frame2 = new QGroupBox(QStringLiteral("Velm flash memory file read / write"));
    frame2->setObjectName(QStringLiteral("Frame2"));
    auto *frame2Layout = new QVBoxLayout(frame2);
    frame2Layout->addWidget(label3);
    frame2Layout->addWidget(m_filename);
    frame2Layout->addWidget(readfla);

    m_startpage = box("Startpage", QStringLiteral("00000"), QStringLiteral("Start address:"));
    m_endpage = box("endpage", QStringLiteral("00000"), QStringLiteral("End address:"));
    auto *label1 = label("Label1", QStringLiteral("Start address:"));
    label1->setBuddy(m_startpage);
    // Its caption is replaced by the erase reply, so the end page box keeps
    // its own accessible name.
    m_endLabel = label("Label2", QStringLiteral("End address:"));
    m_endLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto *savefla = button("savefla", QStringLiteral("Read flash into file"));
    auto *frame1 = new QGroupBox(QStringLiteral("Page Address  range"));
    frame1->setObjectName(QStringLiteral("Frame1"));
    auto *frame1Layout = new QGridLayout(frame1);
    frame1Layout->addWidget(label1, 0, 0);
    frame1Layout->addWidget(m_startpage, 0, 1);
    frame1Layout->addWidget(m_endLabel, 1, 0);
    frame1Layout->addWidget(m_endpage, 1, 1);
    frame1Layout->addWidget(savefla, 2, 0, 1, 2);

    // The help scrolls inside its frame rather than squeezing its lines
    // together in a small window or with a large font.
    auto *frame4 = new QGroupBox(QStringLiteral("Instructions and information (Advanced user)"));
    frame4->setObjectName(QStringLiteral("Frame4"));
    auto *helpText = new QWidget;
    auto *frame4Layout = new QVBoxLayout(helpText);
    const std::pair<const char *, const char *> help[] = {
        {"Label4",
         "This is a Bulk Flash utility. Erase Flash Memory will erase the entire flash device. Page based functions "
         "operate on a full page. Each page contains 16 memory elements. To edit specific elements use the element "
         "editors such as Speed editor or Position Manager. "},
        {"Label5", "Raw page read: Set the page # to the desired page and click the Raw page read button. The "
                   "contents will be listed in the box."},
        {"Label6", "Read && list as lines: Set the page # to the desired page and click the Raw && list as lines "
                   "button. The contents will be listed in the box formatted as lines for easy viewing."},
        {"Label7", "Velm flash memory file read/write: The file name and path may be changed as desired. Use setup "
                   "and utilites to change the name and path permentely. Set the start and end address, these are "
                   "page ranges (16 elements per page). Click the Read flash into file button and a file will be "
                   "created with the page data. Note: the file contains the page definitions for writing. "},
        {"Label8", "Write entire flash file into memory: The file listed in File name and path will be read and "
                   "written into flash memory. The file must be formatted with proper page information. Only the "
                   "pages listed in the file will be read and written, allowing multiple file usage. For example "
                   "you may choose to store all position information between pages 625 (line 10,000) and page "
                   "1,250 line (20,000). Reading and writing these pages will not effect any other part of flash "
                   "memory. NOTE: FLASH MEMORY is slow and writing the entire flash device will take several "
                   "minutes."},
        {"Label9", "Page and element numbers: Each page contains 16 elements. to determine the page that an element "
                   "is on divide the line number by 16. The result will be the page number. For example line number "
                   "10,000 is on page number 10,000/16 or 625. Since there is no remainder on the calculation line "
                   "10,000 is the first line on page 625."},
    };
    for (const auto &[name, text] : help) {
        // A label shows "&&" as one ampersand only in a caption with
        // mnemonics; these are plain text, so store the single one.
        frame4Layout->addWidget(
            label(name, QString::fromLatin1(text).replace(QLatin1String("&&"), QLatin1String("&")), true));
    }
    frame4Layout->addStretch(1);
    auto *scroll = new QScrollArea;
    scroll->setWidget(helpText);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    (new QVBoxLayout(frame4))->addWidget(scroll);

    auto *right = new QVBoxLayout;
    right->addWidget(frame2);
    right->addWidget(frame1);
    right->addWidget(frame4, 1);

    m_transfer = new TransferPanel;
    auto *columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addLayout(right, 2);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addWidget(m_transfer);

    connect(command6, &QPushButton::clicked, this, &Binsend::Command6_Click);
    connect(command9, &QPushButton::clicked, this, &Binsend::Command9_Click);
    connect(command8, &QPushButton::clicked, this, &Binsend::Command8_Click);
    connect(savefla, &QPushButton::clicked, this, &Binsend::savefla_Click);
    connect(readfla, &QPushButton::clicked, this, &Binsend::readfla_Click);

    resize(860, 640);
    Form_Load();
}

void Binsend::Form_Load()
{
    const QString fromSettings = m_settings.path(SettingsRecord::kFlashFilePathColumn);
    m_filename->setText(fromSettings.isEmpty() ? QString::fromLatin1(kDefaultFlashFile) : fromSettings);
}

bool Binsend::refuseIfBusy()
{
    if (!m_link.isBusy())
        return false;
    m_output->setPlainText(QString::fromLatin1(kExchangeRefusedMessage));
    return true;
}

bool Binsend::readPage()
{
    if (!flash::parsePageNumber(m_pageNumber->text())) {
        m_output->setPlainText(refusedPageText(QStringLiteral("Page #"), m_pageNumber->text()));
        return false;
    }
    if (refuseIfBusy())
        return false;
    m_link.linkPacket = flash::pageReadPacket(m_pageNumber->text().trimmed());
    return m_link.binreceiver();
}

void Binsend::Command6_Click()
{
    HandlerGuard guard(this);
    if (readPage())
        m_output->setPlainText(m_link.linkBlock);
}

void Binsend::Command9_Click()
{
    HandlerGuard guard(this);
    if (readPage())
        m_output->setPlainText(flash::pageListing(m_link.linkBlock));
}

void Binsend::Command8_Click()
{
    HandlerGuard guard(this);
    if (refuseIfBusy())
        return;
    m_link.linkPacket = flash::erasePacket();
    m_output->setPlainText(m_link.linkPacket);
    if (m_link.rawsender())
        m_endLabel->setText(m_link.linkPacket);
}

void Binsend::savefla_Click()
{
    HandlerGuard guard(this);
    // A negative start is a number, and out of range like one above 2047.
    const auto start = flash::parseRangePage(m_startpage->text());
    const auto end = flash::parseRangePage(m_endpage->text());
    if (!start || !end) {
        m_output->setPlainText(!start ? refusedRangeText(QStringLiteral("Start address"), m_startpage->text())
                                      : refusedRangeText(QStringLiteral("End address"), m_endpage->text()));
        return;
    }
    if (!flash::rangeAccepted(*start, *end)) {
        m_output->setPlainText(QStringLiteral("ADDRESS OUT OF RANGE"));
        return;
    }
    flash::TransferHooks hooks;
    hooks.pageStarting = [this](const QString &page) { m_pageNumber->setText(QString::number(page.toInt())); };
    hooks.pageRead = [this](const QString &pageText) { m_output->setPlainText(flash::pageListing(pageText)); };
    const flash::TransferResult result = flash::saveFlashRange(
        m_link, *start, *end, hostpaths::toHost(m_filename->text()), m_transfer->begin(std::move(hooks)));
    if (!result.ok() && result.outcome != flash::Outcome::Cancelled)
        m_output->setPlainText(result.detail);
    m_transfer->end(result.detail);
}

void Binsend::readfla_Click()
{
    HandlerGuard guard(this);
    flash::TransferHooks hooks;
    hooks.pageStarting = [this](const QString &line) {
        m_output->setPlainText(flash::pageListing(line.mid(5, 1024)));
        m_pageNumber->setText(line.left(5));
    };
    // The replies are not judged, and a write that reaches the end of the
    // file shows nothing more; one that stopped says where.
    const flash::TransferResult result =
        flash::writePageFile(m_link, hostpaths::toHost(m_filename->text()), m_transfer->begin(std::move(hooks)),
                             flash::LastReply::NotJudged);
    if (!result.ok() && result.outcome != flash::Outcome::Cancelled)
        m_output->setPlainText(result.detail);
    m_transfer->end(result.ok() ? QString() : result.detail);
}

void Binsend::closeEvent(QCloseEvent *event)
{
    m_transfer->requestCancel();
    ToolWindow::closeEvent(event);
}

} // namespace pvelm
