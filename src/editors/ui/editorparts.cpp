#include "editors/ui/editorparts.h"

#include "link/packets.h"
#include "ui/controls.h"

#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>

namespace pvelm::editors {

LineChooser lineChooser(const QString &frameName, const QString &caption, const char *textName, int minimum,
                        int maximum, int pageStep, int value, int digits)
{
    LineChooser c;
    c.text = textBox(QString::fromLatin1(textName), decField(value, digits), caption, digits, BoxWidth::Fixed);
    c.bar = new QScrollBar(Qt::Vertical);
    c.bar->setObjectName(QStringLiteral("VScroll1"));
    c.bar->setAccessibleName(caption);
    c.bar->setRange(minimum, maximum);
    c.bar->setSingleStep(1);
    c.bar->setPageStep(pageStep);
    c.bar->setValue(value);
    c.bar->setMinimumHeight(60);
    QLineEdit *text = c.text;
    QObject::connect(c.bar, &QScrollBar::valueChanged, text,
                     [text, digits](int v) { text->setText(decField(v, digits)); });
    c.frame = new QGroupBox(caption);
    c.frame->setObjectName(frameName);
    auto *layout = new QHBoxLayout(c.frame);
    layout->addWidget(c.text);
    layout->addWidget(c.bar);
    return c;
}

QLabel *statusLabel(const QString &caption)
{
    auto *label = new QLabel;
    label->setObjectName(QStringLiteral("working"));
    label->setAccessibleDescription(caption);
    label->setWordWrap(true);
    label->setMinimumHeight(label->fontMetrics().height());
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

QPlainTextEdit *packetBox(const char *name, const QString &accessibleName)
{
    auto *box = new QPlainTextEdit;
    box->setObjectName(QString::fromLatin1(name));
    box->setAccessibleName(accessibleName);
    box->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    box->setMaximumHeight(box->fontMetrics().height() * 4 + 12);
    return box;
}

} // namespace pvelm::editors
