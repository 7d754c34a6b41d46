#include "app/ui/velmcon.h"

#include "app/hostpaths.h"
#include "app/ui/aboutform.h"
#include "app/ui/messages.h"
#include "boardtools/ui/sendinst.h"
#include "boardtools/ui/sndshort.h"
#include "compiler/demoprogram.h"
#include "compiler/ui/filegobbler.h"
#include "flash/ui/binsend.h"
#include "editors/ui/imageeditors.h"
#include "editors/ui/positionbuilder.h"
#include "editors/ui/spdbuild.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QVBoxLayout>

namespace pvelm {

namespace {

QAction *addItem(QWidget *menu, const char *name, const QString &caption)
{
    auto *action = new QAction(caption, menu);
    action->setObjectName(QString::fromLatin1(name));
    menu->addAction(action);
    return action;
}

// An item whose window is not part of the console yet: shown so the menu
// has its full shape, but it cannot be chosen.
void addPlannedItem(QWidget *menu, const char *name, const QString &caption)
{
    addItem(menu, name, caption)->setEnabled(false);
}

} // namespace

Velmcon::Velmcon(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Velmcon"));
    setWindowTitle(QStringLiteral("PVelm Main Control"));
    m_link.setSettings(&m_settings);

    buildMenus();

    m_notifications = new QLabel;
    m_notifications->setObjectName(QStringLiteral("notifications"));
    m_notifications->setAccessibleName(QStringLiteral("Notifications"));
    auto *notificationsFrame = new QGroupBox(QStringLiteral("Notifications"));
    auto *frameLayout = new QVBoxLayout(notificationsFrame);
    frameLayout->addWidget(m_notifications);

    auto *central = new QWidget;
    auto *layout = new QVBoxLayout(central);
    layout->addWidget(notificationsFrame);
    layout->addStretch(1);
    setCentralWidget(central);

    // The port state stays in the status bar; notices use its message area.
    m_portState = new QLabel;
    m_portState->setObjectName(QStringLiteral("portState"));
    m_portState->setAccessibleName(QStringLiteral("Serial port"));
    statusBar()->addPermanentWidget(m_portState);
    connect(&m_link, &Link::portLost, this, [this](const QString &reason) {
        m_portState->setText(QStringLiteral("%1: port lost: %2").arg(m_link.portDevice(), reason));
    });

    resize(560, 260);
}

Velmcon::~Velmcon()
{
    // The other windows use the link: they go before it does.
    qDeleteAll(findChildren<ToolWindow *>(Qt::FindDirectChildrenOnly));
    m_link.closePort();
}

void Velmcon::buildMenus()
{
    QMenuBar *bar = menuBar();

    QMenu *mpos = bar->addMenu(QStringLiteral("Move && Position Edit"));
    mpos->setObjectName(QStringLiteral("mpos"));
    connect(addItem(mpos, "insbuild", QStringLiteral("Instruction Editor")), &QAction::triggered, this,
            &Velmcon::insbuild_Click);
    connect(addItem(mpos, "posbuild", QStringLiteral("Position Manager")), &QAction::triggered, this,
            &Velmcon::posbuild_Click);
    connect(addItem(mpos, "pinsbuild", QStringLiteral("Packed Move/Position Editor")), &QAction::triggered, this,
            &Velmcon::pinsbuild_Click);
    connect(addItem(mpos, "speedbuilderY", QStringLiteral("Speed Editor")), &QAction::triggered, this,
            &Velmcon::speedbuilderY_Click);

    QMenu *setup = bar->addMenu(QStringLiteral("Setup and Tools"));
    setup->setObjectName(QStringLiteral("setup"));
    addPlannedItem(setup, "ssetupY", QStringLiteral("System Setup"));
    addPlannedItem(setup, "parameterconY", QStringLiteral("Board Setup"));
    addPlannedItem(setup, "MemoryeditorY", QStringLiteral("Memory Editor"));
    connect(addItem(setup, "sendinstX", QStringLiteral("Send Short Command")), &QAction::triggered, this,
            &Velmcon::sendinstX_Click);
    connect(addItem(setup, "sendinstY", QStringLiteral("Send Long Command")), &QAction::triggered, this,
            &Velmcon::sendinstY_Click);
    connect(addItem(setup, "binsendY", QStringLiteral("Flash Tools")), &QAction::triggered, this,
            &Velmcon::binsendY_Click);

    connect(addItem(bar, "filegobblery", QStringLiteral("VelmScript File Downalod")), &QAction::triggered, this,
            &Velmcon::filegobblery_Click);
    connect(addItem(bar, "About", QStringLiteral("About")), &QAction::triggered, this, &Velmcon::About_Click);
}

bool Velmcon::Form_Load()
{
    const SettingsLoad loaded = loadSettings(m_settings);
    if (!loaded.ok) {
        showMessage(this, QString::fromLatin1(kSettingsFatalMessage));
        return false;
    }
    if (!loaded.notice.isEmpty())
        statusBar()->showMessage(loaded.notice);
    m_notifications->setText(QStringLiteral("None"));
    openPort();
    return true;
}

bool Velmcon::openPort()
{
    if (!m_link.opencomport()) {
        statusBar()->showMessage(QString::fromLatin1(kExchangeRefusedMessage));
        return m_link.isPortOpen();
    }
    if (m_link.isPortOpen()) {
        m_portState->setText(m_link.portDevice() + QLatin1Char(' ') + m_link.portSettingsText());
        return true;
    }
    // The reason goes up before the box, so the operator sees both at once.
    m_portState->setText(m_link.portOpenError());
    showMessage(this, QString::fromLatin1(kPortOpenFailedMessage));
    return false;
}

void Velmcon::closeEvent(QCloseEvent *event)
{
    event->accept();
    Form_Unload();
}

void Velmcon::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    // A handler may be waiting inside an exchange right now: end its wait
    // first. It returns into its window after this, so the windows are only
    // closed (hidden), and deleted once their handlers are done.
    m_link.stopAll();
    m_link.closePort();
    const QList<ToolWindow *> windows = findChildren<ToolWindow *>(Qt::FindDirectChildrenOnly);
    for (ToolWindow *window : windows)
        window->close();
    QCoreApplication::quit();
}

void Velmcon::sendinstX_Click()
{
    m_sndshort.show([this] { return new Sndshort(m_link, this); });
}

void Velmcon::sendinstY_Click()
{
    m_sendinst.show([this] { return new Sendinst(m_link, this); });
}

void Velmcon::binsendY_Click()
{
    m_binsend.show([this] { return new Binsend(m_link, m_settings, this); });
}

void Velmcon::filegobblery_Click()
{
    m_filegobbler.show([this] { return new filegobbler(m_link, m_settings, this); });
}

bool Velmcon::installDemoProgram()
{
    const QString source = m_settings.path(SettingsRecord::kScriptPathColumn);
    QString why;
    if (compiler::installDemoProgram(hostpaths::toHost(source), &why)) {
        statusBar()->showMessage(QStringLiteral("Demo program written to %1").arg(source));
        return true;
    }
    // No reason means the operator's own file is there: leave it alone.
    if (!why.isEmpty())
        statusBar()->showMessage(QStringLiteral("The demo program could not be written to %1: %2").arg(source, why));
    return false;
}

void Velmcon::insbuild_Click()
{
    m_insbuilder.show([this] { return new Insbuilder(m_link, this); });
}

void Velmcon::posbuild_Click()
{
    m_positionbuilder.show([this] { return new positionbuilder(m_link, this); });
}

void Velmcon::pinsbuild_Click()
{
    m_packedinsbuilder.show([this] { return new packedinsbuilder(m_link, this); });
}

void Velmcon::speedbuilderY_Click()
{
    m_spdbuild.show([this] { return new Spdbuild(m_link, this); });
}

void Velmcon::About_Click()
{
    m_about.show([this] { return new Aboutform(this); });
}

} // namespace pvelm
