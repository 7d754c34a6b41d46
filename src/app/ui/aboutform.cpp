#include "app/ui/aboutform.h"

#include "settings/version.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace pvelm {

Aboutform::Aboutform(QWidget *parent) : ToolWindow(parent)
{
    setObjectName(QStringLiteral("Aboutform"));
    setWindowTitle(QStringLiteral("About PVelm"));

    auto *name = new QLabel(QLatin1String(kProgramName));
    name->setObjectName(QStringLiteral("productName"));
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    name->setFont(big);
    name->setAlignment(Qt::AlignCenter);

    auto *version = new QLabel(QLatin1String(kProgramVersion));
    version->setObjectName(QStringLiteral("productVersion"));
    version->setAlignment(Qt::AlignCenter);

    auto *ok = new QPushButton(QStringLiteral("OK"));
    ok->setObjectName(QStringLiteral("OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QWidget::close);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 24, 32, 16);
    layout->setSpacing(8);
    layout->addWidget(name);
    layout->addWidget(version);
    layout->addSpacing(12);
    layout->addWidget(ok, 0, Qt::AlignCenter);
    setFixedSize(sizeHint().expandedTo(QSize(260, 0)));
}

} // namespace pvelm
