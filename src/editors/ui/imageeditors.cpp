#include "editors/ui/imageeditors.h"

#include "editors/exchanges.h"
#include "editors/ui/editorparts.h"
#include "link/link.h"
#include "ui/controls.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace pvelm {

namespace editors {

namespace {

constexpr char kGetFailedNote[] = "Nothing was read; the fields were not changed";

} // namespace

ImageEditor::ImageEditor(Kind kind, Link &link, QWidget *parent)
    : ToolWindow(parent), m_kind(kind), m_link(link), m_fields(kind == Kind::Packed ? packedFields() : elementFields())
{
    LineChooser line = lineChooser(QStringLiteral("Frame4"), QStringLiteral("Line Number (careful)"), "linenumber", 0,
                                   kScrollLineMaximum, 1, 0, 6);
    m_linenumber = line.text;
    m_scroll = line.bar;

    // The instruction's fields in a grid of frames; the packed image's servo
    // positions in a frame of their own.
    auto *instructionGrid = new QGridLayout;
    auto *servoGrid = new QGridLayout;
    int instructionCount = 0;
    int servoCount = 0;
    for (const ImageField &f : m_fields) {
        auto *box = textBox(QString::fromLatin1(f.name), QString(), QString::fromLatin1(f.caption), 7, BoxWidth::Fixed);
        m_boxes << box;
        auto *framed = new QGroupBox(QString::fromLatin1(f.caption));
        // Each frame reads as its own caption, not as the frame around it.
        framed->setAccessibleName(QString::fromLatin1(f.caption));
        (new QVBoxLayout(framed))->addWidget(box);
        const bool servo = kind == Kind::Packed && f.digit > kElementDigits;
        int &count = servo ? servoCount : instructionCount;
        (servo ? servoGrid : instructionGrid)->addWidget(framed, count / 4, count % 4);
        ++count;
    }

    m_get = new QPushButton(QStringLiteral("Get"));
    m_get->setObjectName(QStringLiteral("Command2"));
    m_put = new QPushButton(QStringLiteral("Put"));
    m_put->setObjectName(QStringLiteral("Command1"));

    m_info = packetBox("info", QStringLiteral("Packet"));
    auto *packetFrame = new QGroupBox(QStringLiteral("Packet"));
    packetFrame->setObjectName(QStringLiteral("Frame6"));
    (new QVBoxLayout(packetFrame))->addWidget(m_info);

    m_working = statusLabel(QStringLiteral("Status"));
    auto *statusFrame = new QGroupBox(QStringLiteral("Status"));
    statusFrame->setObjectName(QStringLiteral("Status"));
    (new QVBoxLayout(statusFrame))->addWidget(m_working);

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(line.frame);
    buttons->addWidget(m_get);
    buttons->addWidget(m_put);
    buttons->addStretch(1);

    auto *fields = new QVBoxLayout;
    fields->addLayout(instructionGrid);
    if (kind == Kind::Packed) {
        auto *positions = new QGroupBox(QStringLiteral("Position Information"));
        positions->setLayout(servoGrid);
        fields->addWidget(positions);
    } else {
        delete servoGrid;
    }

    auto *top = new QHBoxLayout;
    top->addLayout(buttons);
    top->addLayout(fields, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(packetFrame);
    layout->addWidget(statusFrame);

    connect(m_get, &QPushButton::clicked, this, &ImageEditor::Command2_Click);
    connect(m_put, &QPushButton::clicked, this, &ImageEditor::Command1_Click);

    Form_Load();
}

void ImageEditor::Form_Load()
{
    // An erased image: every digit F.
    for (qsizetype k = 0; k < m_boxes.size(); ++k)
        m_boxes[k]->setText(QString::number(m_fields[size_t(k)].maximum()));
}

void ImageEditor::disableGetPut()
{
    m_get->setEnabled(false);
    m_put->setEnabled(false);
}

void ImageEditor::enableGetPut()
{
    m_get->setEnabled(true);
    m_put->setEnabled(true);
}

void ImageEditor::showStatus(const QString &status, const QString &note)
{
    // The line sent, when it is not the number typed, on a line of its own.
    m_working->setText(note.isEmpty() ? status : status + QLatin1Char('\n') + note);
}

void ImageEditor::fill(const QList<qint64> &values)
{
    for (qsizetype k = 0; k < m_boxes.size(); ++k)
        m_boxes[k]->setText(QString::number(values.value(k)));
}

void ImageEditor::Command2_Click()
{
    HandlerGuard guard(this);
    const Checked line = typedAsHex(QStringLiteral("Line Number"), m_linenumber->text(), 6);
    if (!line.ok()) {
        m_working->setText(line.refusal);
        return;
    }
    const bool packed = m_kind == Kind::Packed;
    disableGetPut();
    const QString request = lineRequest(packed ? "R1C" : "R15", line.value);
    m_working->setText(QString::fromLatin1(kWaitingText));
    m_info->setPlainText(request);
    const LinkResult r = exchange(m_link, packed ? &Link::packreceiver : &Link::rawsender, request);
    if (!r.ran) {
        m_working->setText(QString::fromLatin1(kExchangeRefusedMessage));
        enableGetPut();
        return;
    }
    // Only a reply that arrived, and holds an image, fills the fields.
    const std::optional<QString> image = !r.succeeded() ? std::nullopt
                                         : packed       ? packedFromReply(r.reply)
                                                        : elementFromReply(r.reply);
    if (image) {
        fill(*decodeImage(m_fields, *image, packed ? kPackedDigits : kElementDigits));
        m_info->setPlainText(*image);
    } else if (!r.succeeded()) {
        m_info->setPlainText(QString::fromLatin1(kGetFailedNote));
    } else {
        m_info->setPlainText(r.reply + QStringLiteral("\nThe reply holds no image; the fields were not changed"));
    }
    showStatus(r.status(), line.note);
    enableGetPut();
}

void ImageEditor::Command1_Click()
{
    HandlerGuard guard(this);
    const Checked line = typedAsHex(QStringLiteral("Line Number"), m_linenumber->text(), 6);
    QString refusal = line.refusal;
    QList<qint64> values;
    for (qsizetype k = 0; k < m_boxes.size() && refusal.isEmpty(); ++k) {
        const Checked value = checkElementValue(m_fields[size_t(k)], m_boxes[k]->text());
        refusal = value.refusal;
        values << value.value;
    }
    if (!refusal.isEmpty()) {
        m_working->setText(refusal);
        return;
    }
    const bool packed = m_kind == Kind::Packed;
    disableGetPut();
    const QString image = encodeImage(m_fields, values, packed ? kPackedDigits : kElementDigits);
    LinkResult r;
    if (packed) {
        r = exchange(m_link, &Link::packwriter, packedPutBlock(line.value, image));
        // The block as the writer left it: framed when it went out. The
        // writer does not refresh the error text, so the text part is the one
        // the previous exchange left.
        if (r.ran)
            m_info->setPlainText(r.reply);
    } else {
        r = exchange(m_link, &Link::rawsender, elementPutRequest(line.value, image));
        if (r.succeeded())
            m_info->setPlainText(r.reply);
    }
    showStatus(r.ran ? r.status() : QString::fromLatin1(kExchangeRefusedMessage), line.note);
    enableGetPut();
}

} // namespace editors

Insbuilder::Insbuilder(Link &link, QWidget *parent) : ImageEditor(Kind::Element, link, parent)
{
    setObjectName(QStringLiteral("Insbuilder"));
    setWindowTitle(QStringLiteral("Edit Instruction Element"));
}

packedinsbuilder::packedinsbuilder(Link &link, QWidget *parent) : ImageEditor(Kind::Packed, link, parent)
{
    setObjectName(QStringLiteral("packedinsbuilder"));
    setWindowTitle(QStringLiteral("Packed Instruction & Move Editor"));
}

} // namespace pvelm
