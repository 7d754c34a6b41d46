#include "ui/controls.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace pvelm {

int boxWidth(const QWidget *widget, int count, QChar sample)
{
    return widget->fontMetrics().horizontalAdvance(QString(count, sample)) + 12;
}

QGroupBox *frame(const QString &caption, QWidget *content)
{
    auto *box = new QGroupBox(caption);
    auto *layout = new QVBoxLayout(box);
    layout->addWidget(content);
    return box;
}

QGroupBox *groupBox(const char *name, const QString &caption, QWidget *content)
{
    auto *box = new QGroupBox(caption);
    box->setObjectName(QString::fromLatin1(name));
    if (content)
        (new QVBoxLayout(box))->addWidget(content);
    return box;
}

QPushButton *button(const QString &name, const QString &caption)
{
    auto *b = new QPushButton(caption);
    b->setObjectName(name);
    return b;
}

QPushButton *button(const char *name, const QString &caption)
{
    return button(QString::fromLatin1(name), caption);
}

QLineEdit *textBox(const QString &name, const QString &text, const QString &accessibleName, int chars, BoxWidth width)
{
    auto *box = new QLineEdit(text);
    box->setObjectName(name);
    box->setAccessibleName(accessibleName);
    const int pixels = boxWidth(box, chars + 1);
    if (width == BoxWidth::Fixed)
        box->setFixedWidth(pixels);
    else
        box->setMaximumWidth(pixels);
    return box;
}

QLabel *valueLabel(const char *name, const QString &text, const QString &caption, int digits)
{
    auto *label = new QLabel(text);
    label->setObjectName(QString::fromLatin1(name));
    label->setAccessibleDescription(caption);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (digits > 0)
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QString(digits, QLatin1Char('0'))));
    return label;
}

} // namespace pvelm
