#include "app/ui/frames.h"

#include <QGroupBox>
#include <QVBoxLayout>

namespace pvelm {

QGroupBox *frame(const QString &caption, QWidget *content)
{
    auto *box = new QGroupBox(caption);
    auto *layout = new QVBoxLayout(box);
    layout->addWidget(content);
    return box;
}

} // namespace pvelm
