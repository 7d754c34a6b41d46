#include "boardtools/ui/memoryeditor.h"

#include "boardtools/typednumber.h"
#include "link/link.h"
#include "link/packets.h"
#include "ui/controls.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace pvelm {

using namespace boardtools;

namespace {

QString byteText(int value)
{
    return QString::number(value);
}

// Read and Write call an exchange a success when it went through and the
// reply is nine characters long.
bool nineCharReply(const MemoryOutcome &r)
{
    return r.code == QLatin1String("0") && r.reply.size() == kShortPacketLength;
}

} // namespace

Memoryeditor::Memoryeditor(Link &link, QWidget *parent) : ToolWindow(parent), m_link(link)
{
    setObjectName(QStringLiteral("Memoryeditor"));
    setWindowTitle(QStringLiteral("Memory Editor"));

    // ---- location
    m_eeprom = named(new QRadioButton(QStringLiteral("Eeprom")), QStringLiteral("Option1"));
    m_ram = named(new QRadioButton(QStringLiteral("Ram")), QStringLiteral("Option2"));
    QGroupBox *frame8 = groupBox("Frame8", QStringLiteral("Area"));
    auto *areaLayout = new QVBoxLayout(frame8);
    areaLayout->addWidget(m_eeprom);
    areaLayout->addWidget(m_ram);

    m_memoryaddress = textBox(QStringLiteral("memoryaddress"), QStringLiteral("00000"), QStringLiteral("Address"), 7);
    QFont big = m_memoryaddress->font();
    big.setPointSize(12);
    m_memoryaddress->setFont(big);
    m_memoryaddress->setMaximumWidth(boxWidth(m_memoryaddress, 8));
    m_hexaddr = valueLabel("hexaddr", QStringLiteral("0000"), QStringLiteral("Address in hex"), 6);
    m_upaddr = button(QStringLiteral("Upaddr"), QStringLiteral("+"));
    m_downmem = button(QStringLiteral("Downmem"), QStringLiteral("-"));
    m_bumpRead = button(QStringLiteral("Command6"), QStringLiteral("Bump && Read"));
    QGroupBox *frame2 = groupBox("Frame2", QStringLiteral("Address"));
    auto *addressLayout = new QGridLayout(frame2);
    addressLayout->addWidget(m_memoryaddress, 0, 0);
    addressLayout->addWidget(m_hexaddr, 0, 1);
    addressLayout->addWidget(m_upaddr, 0, 2);
    addressLayout->addWidget(m_downmem, 0, 3);
    addressLayout->addWidget(m_bumpRead, 1, 0, 1, 4);

    QGroupBox *frame7 = groupBox("Frame7", QStringLiteral("Location"));
    auto *locationLayout = new QHBoxLayout(frame7);
    locationLayout->addWidget(frame8);
    locationLayout->addWidget(frame2);

    // ---- read and write
    m_read = button(QStringLiteral("Command1"), QStringLiteral("Read"));
    m_readData = textBox(QStringLiteral("Text3"), QStringLiteral("0"), QStringLiteral("Read Data"), 4);
    QGroupBox *readFrame = groupBox("Read", QStringLiteral("Read"));
    auto *readLayout = new QHBoxLayout(readFrame);
    readLayout->addWidget(m_read);
    readLayout->addWidget(groupBox("Frame3", QStringLiteral("Data"), m_readData));

    m_write = button(QStringLiteral("Command2"), QStringLiteral("Write"));
    m_writeData = textBox(QStringLiteral("Text4"), QStringLiteral("0"), QStringLiteral("Write Data"), 4);
    QGroupBox *frame1 = groupBox("Frame1", QStringLiteral("Write"));
    auto *writeLayout = new QHBoxLayout(frame1);
    writeLayout->addWidget(m_write);
    writeLayout->addWidget(groupBox("Frame4", QStringLiteral("Data"), m_writeData));

    // ---- bit editor
    QGroupBox *frame6 = groupBox("Frame6", QStringLiteral("Bit Value Editor (Associates with a read)"));
    auto *bitLayout = new QGridLayout(frame6);
    for (int bit = 0; bit < 8; ++bit) {
        m_check[size_t(bit)] = named(new QCheckBox(QStringLiteral("Bit %1 Value = %2").arg(bit).arg(1 << bit)),
                                     QStringLiteral("Check%1").arg(bit + 1));
        bitLayout->addWidget(m_check[size_t(bit)], 7 - bit, 0);
    }
    m_bitvalue = textBox(QStringLiteral("Bitvalue"), QStringLiteral("0"), QStringLiteral("Dec Value"), 4);
    m_hexvalue = textBox(QStringLiteral("Hexvalue"), QStringLiteral("0"), QStringLiteral("Hex Value"), 4);
    m_asciivalue = textBox(QStringLiteral("Asciivalue"), QStringLiteral(" "), QStringLiteral("Ascii"), 4);
    m_writeBits = button(QStringLiteral("Command3"), QStringLiteral("Write this value"));
    bitLayout->addWidget(groupBox("Frame9", QStringLiteral("Dec Value"), m_bitvalue), 0, 1, 2, 1);
    bitLayout->addWidget(groupBox("Frame10", QStringLiteral("Hex Value"), m_hexvalue), 2, 1, 2, 1);
    bitLayout->addWidget(groupBox("Ascii", QStringLiteral("Ascii"), m_asciivalue), 4, 1, 2, 1);
    bitLayout->addWidget(m_writeBits, 6, 1, 2, 1);

    // ---- 16-bit splitter
    QGroupBox *frame11 =
        groupBox("Frame11",
                 QStringLiteral("Decimal (0-65535) convert to 2 Decimal (0-256) numbers (Not associated with a read)"));
    m_in16bits = textBox(QStringLiteral("in16bits"), QStringLiteral("0"), QStringLiteral("2 Byte (0-65535) Value:"), 7);
    m_longhex = valueLabel("longhex", QStringLiteral("0"), QStringLiteral("Hex Equivlant:"), 6);
    m_highbyte = valueLabel("Highbyte", QStringLiteral("0"), QStringLiteral("High Byte:"), 6);
    m_highex = valueLabel("highex", QStringLiteral("0"), QStringLiteral("High Byte Hex Equivlant:"), 6);
    m_lowbyte = valueLabel("lowbyte", QStringLiteral("0"), QStringLiteral("Low Byte:"), 6);
    m_lowhex = valueLabel("lowhex", QStringLiteral("0"), QStringLiteral("Low Byte Hex Equivlant:"), 6);
    m_writeHigh = button(QStringLiteral("Command5"), QStringLiteral("Write"));
    m_writeHigh->setAccessibleDescription(QStringLiteral("Write the high byte"));
    m_writeLow = button(QStringLiteral("Command4"), QStringLiteral("Write"));
    m_writeLow->setAccessibleDescription(QStringLiteral("Write the low byte"));
    auto *splitLayout = new QGridLayout(frame11);
    auto *in16Label = new QLabel(QStringLiteral("2 Byte (0-65535) Value:"));
    in16Label->setBuddy(m_in16bits);
    splitLayout->addWidget(in16Label, 0, 0);
    splitLayout->addWidget(m_in16bits, 0, 1);
    splitLayout->addWidget(new QLabel(QStringLiteral("Hex Equivlant:")), 0, 2);
    splitLayout->addWidget(m_longhex, 0, 3);
    splitLayout->addWidget(new QLabel(QStringLiteral("High Byte:")), 1, 0);
    splitLayout->addWidget(m_highbyte, 1, 1);
    splitLayout->addWidget(new QLabel(QStringLiteral("Hex Equivlant:")), 1, 2);
    splitLayout->addWidget(m_highex, 1, 3);
    splitLayout->addWidget(m_writeHigh, 1, 4);
    splitLayout->addWidget(new QLabel(QStringLiteral("Low Byte:")), 2, 0);
    splitLayout->addWidget(m_lowbyte, 2, 1);
    splitLayout->addWidget(new QLabel(QStringLiteral("Hex Equivlant:")), 2, 2);
    splitLayout->addWidget(m_lowhex, 2, 3);
    splitLayout->addWidget(m_writeLow, 2, 4);

    // ---- quick rows
    QGroupBox *frame12 = groupBox("Frame12", QStringLiteral("Ram quick read/wirte utility"));
    auto *quickLayout = new QGridLayout(frame12);
    quickLayout->addWidget(new QLabel(QStringLiteral("Address")), 0, 0);
    quickLayout->addWidget(new QLabel(QStringLiteral("Data")), 0, 1);
    for (int n = 1; n <= 4; ++n) {
        const size_t i = size_t(n - 1);
        m_aaddress[i] = textBox(QStringLiteral("Aaddress%1").arg(n), QStringLiteral("0"),
                                QStringLiteral("Row %1 Address").arg(n), 7);
        m_adata[i] =
            textBox(QStringLiteral("Adata%1").arg(n), QStringLiteral("0"), QStringLiteral("Row %1 Data").arg(n), 4);
        m_aread[i] = button(QStringLiteral("aread%1").arg(n), QStringLiteral("Read"));
        m_aread[i]->setAccessibleDescription(QStringLiteral("Quick read, row %1").arg(n));
        m_awrite[i] = button(QStringLiteral("awrite%1").arg(n), QStringLiteral("Write"));
        m_awrite[i]->setAccessibleDescription(QStringLiteral("Quick write, row %1").arg(n));
        quickLayout->addWidget(m_aaddress[i], n, 0);
        quickLayout->addWidget(m_adata[i], n, 1);
        quickLayout->addWidget(m_aread[i], n, 2);
        quickLayout->addWidget(m_awrite[i], n, 3);
        connect(m_aread[i], &QPushButton::clicked, this, [this, n] { aread_Click(n); });
        connect(m_awrite[i], &QPushButton::clicked, this, [this, n] { awrite_Click(n); });
    }
    // Four small picture buttons the board's tool has always shown; they do nothing.
    auto *pictures = new QHBoxLayout;
    const std::pair<const char *, QStyle::StandardPixmap> icons[] = {{"cmdUp", QStyle::SP_ArrowUp},
                                                                     {"cmdDown", QStyle::SP_ArrowDown},
                                                                     {"cmdDelete", QStyle::SP_TrashIcon},
                                                                     {"cmdAdd", QStyle::SP_FileIcon}};
    for (const auto &[name, icon] : icons) {
        auto *b = named(new QToolButton, QString::fromLatin1(name));
        b->setIcon(style()->standardIcon(icon));
        b->setAccessibleName(QString::fromLatin1(name + 3));
        pictures->addWidget(b);
    }
    pictures->addStretch(1);
    quickLayout->addLayout(pictures, 5, 0, 1, 4);

    m_messages = textBox(QStringLiteral("Text5"), QString(), QStringLiteral("Messages"), 40);
    m_messages->setMaximumWidth(QWIDGETSIZE_MAX);
    QGroupBox *frame5 = groupBox("Frame5", QStringLiteral("Messages"), m_messages);

    auto *left = new QVBoxLayout;
    left->addWidget(frame7);
    auto *readWrite = new QHBoxLayout;
    readWrite->addWidget(readFrame);
    readWrite->addWidget(frame1);
    left->addLayout(readWrite);
    left->addWidget(frame11);
    left->addWidget(frame12);
    auto *top = new QHBoxLayout;
    top->addLayout(left);
    top->addWidget(frame6);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(frame5);

    connect(m_memoryaddress, &QLineEdit::textChanged, this, &Memoryeditor::memoryaddress_Change);
    connect(m_upaddr, &QPushButton::clicked, this, &Memoryeditor::Upaddr_Click);
    connect(m_downmem, &QPushButton::clicked, this, &Memoryeditor::Downmem_Click);
    connect(m_bumpRead, &QPushButton::clicked, this, &Memoryeditor::Command6_Click);
    connect(m_read, &QPushButton::clicked, this, &Memoryeditor::Command1_Click);
    connect(m_write, &QPushButton::clicked, this, &Memoryeditor::Command2_Click);
    connect(m_writeBits, &QPushButton::clicked, this, &Memoryeditor::Command3_Click);
    connect(m_writeHigh, &QPushButton::clicked, this, &Memoryeditor::Command5_Click);
    connect(m_writeLow, &QPushButton::clicked, this, &Memoryeditor::Command4_Click);
    connect(m_writeData, &QLineEdit::textChanged, this, &Memoryeditor::Text4_Change);
    connect(m_bitvalue, &QLineEdit::textChanged, this, &Memoryeditor::Bitvalue_Change);
    connect(m_in16bits, &QLineEdit::textChanged, this, &Memoryeditor::in16bits_Change);
    for (QCheckBox *check : m_check)
        connect(check, &QCheckBox::toggled, this, &Memoryeditor::bitsToValue);

    Form_Load();
}

void Memoryeditor::Form_Load()
{
    m_messages->clear();
    m_writeData->clear();
    m_readData->clear();
    m_eeprom->setChecked(true);
    // The monitor's reports would land in this window's replies.
    m_link.monitoring = false;
    m_memoryaddress->setText(QStringLiteral("0"));
}

// ---- address

Area Memoryeditor::area() const
{
    return m_ram->isChecked() ? Area::Ram : Area::Eeprom;
}

int Memoryeditor::address() const
{
    return addressOf(m_memoryaddress->text());
}

void Memoryeditor::setAddress(int address)
{
    m_memoryaddress->setText(QString::number(address));
}

void Memoryeditor::memoryaddress_Change()
{
    const QString text = m_memoryaddress->text();
    const QString fitted = fitAddressText(text);
    if (fitted != text) {
        m_memoryaddress->setText(fitted); // comes back here with "0"
        return;
    }
    m_hexaddr->setText(hexField(quint64(address()), 4));
}

bool Memoryeditor::refuseWhileBusy()
{
    if (!m_busy && !m_link.isBusy())
        return false;
    m_messages->setText(
        QStringLiteral("%1: the address was not changed").arg(QString::fromLatin1(kExchangeRefusedMessage)));
    return true;
}

// "+" and "-" start no exchange, so they work during one: the exchange in
// progress has its packet already.
void Memoryeditor::Upaddr_Click()
{
    setAddress(std::min(address() + 1, kAddressMaximum));
}

void Memoryeditor::Downmem_Click()
{
    setAddress(std::max(address() - 1, 0));
}

void Memoryeditor::Command6_Click()
{
    if (refuseWhileBusy())
        return;
    setAddress(std::min(address() + 1, kAddressMaximum));
    Command1_Click();
}

// ---- exchanges

void Memoryeditor::disableActions()
{
    m_busy = true;
    for (QPushButton *b : {m_read, m_write, m_writeBits, m_writeLow, m_writeHigh})
        b->setEnabled(false);
    for (size_t i = 0; i < 4; ++i) {
        m_aread[i]->setEnabled(false);
        m_awrite[i]->setEnabled(false);
    }
    m_messages->clear();
}

void Memoryeditor::enableActions()
{
    for (QPushButton *b : {m_read, m_write, m_writeBits, m_writeLow, m_writeHigh})
        b->setEnabled(true);
    for (size_t i = 0; i < 4; ++i) {
        m_aread[i]->setEnabled(true);
        m_awrite[i]->setEnabled(true);
    }
    m_busy = false;
}

bool Memoryeditor::refuse(const QString &refusal)
{
    if (refusal.isEmpty())
        return false;
    m_messages->setText(refusal);
    m_editNotice = refusal;
    return true;
}

void Memoryeditor::editAccepted()
{
    // A refusal of an earlier edit no longer holds once an edit is valid.
    if (!m_editNotice.isEmpty() && m_messages->text() == m_editNotice)
        m_messages->clear();
    m_editNotice.clear();
}

void Memoryeditor::showByte(const MemoryOutcome &r, QLineEdit *field)
{
    if (!r.ran) {
        field->clear();
        m_messages->setText(QString::fromLatin1(kExchangeRefusedMessage));
    } else {
        // The code and its message, whatever came back; the field holds only
        // a byte that did.
        if (r.byte)
            field->setText(byteText(*r.byte));
        else
            field->clear();
        m_messages->setText(r.status());
    }
}

void Memoryeditor::Command1_Click()
{
    HandlerGuard guard(this);
    disableActions();
    const MemoryOutcome r = exchangeMemory(m_link, readPacket(area(), address()));
    if (!r.ran) {
        m_messages->setText(QString::fromLatin1(kExchangeRefusedMessage));
    } else if (!nineCharReply(r)) {
        m_messages->setText(QString::fromLatin1(kMemoryErrorText));
    } else if (!r.byte) {
        // A whole reply whose columns 7-8 are not hex: its result, and no
        // byte where one would stand; the bit boxes keep what they showed.
        m_readData->clear();
        m_messages->setText(r.status());
    } else {
        m_readData->setText(byteText(*r.byte));
        m_messages->setText(r.status());
        for (int bit = 7; bit >= 0; --bit)
            m_check[size_t(bit)]->setChecked((*r.byte >> bit) & 1);
    }
    enableActions();
}

void Memoryeditor::Command2_Click()
{
    HandlerGuard guard(this);
    disableActions();
    m_readData->clear();
    const MemoryOutcome r =
        exchangeMemory(m_link, writePacket(area(), address(), readTyped(m_writeData->text()).value));
    if (!r.ran)
        m_messages->setText(QString::fromLatin1(kExchangeRefusedMessage));
    else if (!nineCharReply(r))
        m_messages->setText(QString::fromLatin1(kMemoryErrorText));
    else {
        if (r.byte)
            m_readData->setText(byteText(*r.byte));
        m_messages->setText(r.status());
    }
    enableActions();
}

void Memoryeditor::Text4_Change()
{
    if (dataTextTooBig(m_writeData->text()))
        m_writeData->clear();
}

void Memoryeditor::writeByteFrom(const QString &caption, const QString &text)
{
    if (refuse(refuseNumber(caption, text, caption == QLatin1String("Dec Value") ? 255 : -1)))
        return;
    HandlerGuard guard(this);
    disableActions();
    m_readData->clear();
    showByte(exchangeMemory(m_link, writePacket(area(), address(), readTyped(text).value)), m_readData);
    enableActions();
}

void Memoryeditor::Command3_Click()
{
    writeByteFrom(QStringLiteral("Dec Value"), m_bitvalue->text());
}

void Memoryeditor::Command5_Click()
{
    writeByteFrom(QStringLiteral("High Byte"), m_highbyte->text());
}

void Memoryeditor::Command4_Click()
{
    writeByteFrom(QStringLiteral("Low Byte"), m_lowbyte->text());
}

// ---- bit editor and splitter

void Memoryeditor::bitsToValue()
{
    int value = 0;
    for (int bit = 7; bit >= 0; --bit) {
        if (m_check[size_t(bit)]->isChecked())
            value += 1 << bit;
    }
    m_bitvalue->setText(QString::number(value));
}

void Memoryeditor::Bitvalue_Change()
{
    const QString text = m_bitvalue->text();
    if (refuse(refuseNumber(QStringLiteral("Dec Value"), text, 255))) {
        m_hexvalue->clear();
        m_asciivalue->clear();
        return;
    }
    editAccepted();
    const int value = int(readTyped(text).value);
    m_hexvalue->setText(hexText(value));
    m_asciivalue->setText(QString(QChar(value)));
}

void Memoryeditor::in16bits_Change()
{
    const QString text = m_in16bits->text();
    if (text.isEmpty())
        return;
    if (refuse(refuseNumber(QStringLiteral("2 Byte (0-65535) Value"), text))) {
        // Nothing to split: the two Write buttons have no byte to send.
        for (QLabel *label : {m_longhex, m_highbyte, m_highex, m_lowbyte, m_lowhex})
            label->clear();
        return;
    }
    editAccepted();
    const qint64 v = readTyped(text).value;
    const qint64 high = v / 256; // the whole part, towards zero
    const qint64 low = v - 256 * high;
    m_highbyte->setText(QString::number(high));
    m_lowbyte->setText(QString::number(low));
    m_highex->setText(hexText(high));
    m_lowhex->setText(hexText(low));
    m_longhex->setText(hexText(v));
}

// ---- quick rows

void Memoryeditor::aread_Click(int row)
{
    const size_t i = size_t(row - 1);
    const QString addressText = m_aaddress[i]->text();
    if (refuse(refuseNumber(QStringLiteral("Row %1 Address").arg(row), addressText)))
        return;
    HandlerGuard guard(this);
    disableActions();
    m_adata[i]->clear();
    showByte(exchangeMemory(m_link, quickReadPacket(readTyped(addressText).value)), m_adata[i]);
    enableActions();
}

void Memoryeditor::awrite_Click(int row)
{
    const size_t i = size_t(row - 1);
    const QString addressText = m_aaddress[i]->text();
    const QString dataText = m_adata[i]->text();
    if (refuse(refuseNumber(QStringLiteral("Row %1 Address").arg(row), addressText)) ||
        refuse(refuseNumber(QStringLiteral("Row %1 Data").arg(row), dataText)))
        return;
    HandlerGuard guard(this);
    disableActions();
    showByte(exchangeMemory(m_link, quickWritePacket(readTyped(addressText).value, readTyped(dataText).value)),
             m_adata[i]);
    enableActions();
}

} // namespace pvelm
