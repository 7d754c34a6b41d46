#include "app/ui/frames.h"

#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace pvelm {

QGroupBox *frame(const QString &caption, QWidget *content)
{
    auto *box = new QGroupBox(caption);
    auto *layout = new QVBoxLayout(box);
    layout->addWidget(content);
    return box;
}

QPushButton *button(const char *name, const QString &caption)
{
    auto *b = new QPushButton(caption);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

} // namespace pvelm
