#pragma once

#include "ui/toolwindow.h"

#include <functional>

class QLineEdit;

namespace pvelm {

class SettingsRecord;

// "System setup": the serial settings and the four file locations of the
// settings record, read from and saved to the settings file, and the port
// reopened with them. The main window owns the record and the port; this
// window edits the one and asks for the other.
class ssetup : public ToolWindow
{
    Q_OBJECT

public:
    struct Actions
    {
        std::function<void()> reconnect;  // reopen the port from the record in memory
        std::function<void()> endProgram; // after a fatal message
    };

    ssetup(SettingsRecord &settings, Actions actions, QWidget *parent);

    void Form_Load();
    void loadparam_Click();  // Read Parameters
    void Saveparams_Click(); // Save Parameters
    void Command2_Click();   // Re-Connect Com port

private:
    // False after the fatal message, when the program is ending.
    bool readSettingsFile();
    void showSettings();

    SettingsRecord &m_settings;
    Actions m_actions;
    QList<QLineEdit *> m_boxes; // in SetupFields::names() order
};

} // namespace pvelm
