#include "app/ui/ssetup.h"

#include "settings/settings.h"
#include "ui/controls.h"
#include "ui/messages.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace pvelm {

namespace {

// Control name, frame caption and the text the box holds before loading.
struct Box
{
    const char *name;
    const char *caption;
    const char *initial;
};

// The order of SetupFields::names().
const Box kBoxes[] = {
    {"comport", "Com port", ""},
    {"combaud", "Baud", "009600"},
    {"comparity", "Parity", ""},
    {"combits", "Length", ""},
    {"comstopbits", "Stop bits", ""},
    {"comother", "Other Com Port Data", "0000000000000000"},
    {"gfilebox", "Velm text input file directory and path", ""},
    {"flashfileloc", "Directory and name of temporary flash data file", ""},
    {"listfileloc", "List file location", ""},
    {"flashmemfileloc", "Flash utility default file location", ""},
};
constexpr int kSerialBoxes = 6;

} // namespace

ssetup::ssetup(SettingsRecord &settings, Actions actions, QWidget *parent)
    : ToolWindow(parent), m_settings(settings), m_actions(std::move(actions))
{
    setObjectName(QStringLiteral("ssetup"));
    setWindowTitle(QStringLiteral("System setup"));

    auto *serial = new QGroupBox(QStringLiteral("Com port setup"));
    auto *serialLayout = new QGridLayout(serial);
    auto *paths = new QVBoxLayout;
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (int i = 0; i < int(std::size(kBoxes)); ++i) {
        const Box &b = kBoxes[i];
        auto *box = new QLineEdit(QString::fromLatin1(b.initial));
        box->setObjectName(QString::fromLatin1(b.name));
        box->setAccessibleName(QString::fromLatin1(b.caption));
        // Paths show with their leading blanks: a fixed font keeps them
        // right-aligned as the record stores them.
        box->setFont(fixed);
        m_boxes << box;
        if (i < kSerialBoxes)
            serialLayout->addWidget(frame(QString::fromLatin1(b.caption), box), i / 3, i % 3);
        else
            paths->addWidget(frame(QString::fromLatin1(b.caption), box));
    }

    auto *loadparam = button("loadparam", QStringLiteral("Read Parameters"));
    auto *saveparams = button("Saveparams", QStringLiteral("Save Parameters"));
    auto *command2 = button("Command2", QStringLiteral("Re-Connect Com port"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(loadparam);
    buttons->addWidget(saveparams);
    buttons->addWidget(command2);
    buttons->addStretch(1);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(serial);
    layout->addLayout(paths);
    layout->addLayout(buttons);
    layout->addStretch(1);

    connect(loadparam, &QPushButton::clicked, this, &ssetup::loadparam_Click);
    connect(saveparams, &QPushButton::clicked, this, &ssetup::Saveparams_Click);
    connect(command2, &QPushButton::clicked, this, &ssetup::Command2_Click);

    Form_Load();
}

void ssetup::Form_Load()
{
    if (readSettingsFile())
        showSettings();
}

void ssetup::loadparam_Click()
{
    Form_Load();
}

bool ssetup::readSettingsFile()
{
    if (pvelm::readSettingsFile(m_settings).ok)
        return true;
    showMessage(this, QString::fromLatin1(kSettingsFatalMessage));
    if (m_actions.endProgram)
        m_actions.endProgram();
    return false;
}

void ssetup::showSettings()
{
    SetupFields fields = pvelm::showSettings(m_settings);
    const QStringList &names = SetupFields::names();
    for (int i = 0; i < names.size(); ++i)
        m_boxes.at(i)->setText(*fields.byName(names.at(i)));
}

void ssetup::Saveparams_Click()
{
    SetupFields fields;
    const QStringList &names = SetupFields::names();
    for (int i = 0; i < names.size(); ++i)
        *fields.byName(names.at(i)) = m_boxes.at(i)->text();
    storeSettings(m_settings, fields);
    QString why;
    if (writeSettingsFile(m_settings, &why))
        return;
    // The box keeps its fixed text; the reason goes to the program's log.
    qWarning("%s: %s", kSettingsWriteFatalMessage, qPrintable(why));
    showMessage(this, QString::fromLatin1(kSettingsWriteFatalMessage));
    if (m_actions.endProgram)
        m_actions.endProgram();
}

void ssetup::Command2_Click()
{
    HandlerGuard guard(this);
    if (m_actions.reconnect)
        m_actions.reconnect();
}

} // namespace pvelm
