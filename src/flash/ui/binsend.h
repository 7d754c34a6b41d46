#pragma once

#include "ui/toolwindow.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace pvelm {

class Link;
class SettingsRecord;
class TransferPanel;

// "Flash memory utility": reads one flash page raw or as element rows,
// erases the whole flash, saves a range of pages into a flash file and
// writes a flash file back. The page operations are pvelm::flash's; this
// window reads its boxes, calls them and shows what they return.
class Binsend : public ToolWindow
{
    Q_OBJECT

public:
    Binsend(Link &link, const SettingsRecord &settings, QWidget *parent);

    // Filename from the settings' flash-file field, or the fixed default
    // when that field is blank.
    void Form_Load();
    void Command6_Click(); // Raw page read
    void Command9_Click(); // Read && list as lines
    void Command8_Click(); // Erase Flash Memory
    void savefla_Click();  // Read flash into file
    void readfla_Click();  // Write entire flash file into memory

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // Reads the page of Text5 into linkBlock; false when nothing was sent
    // (a refused page number or a busy link: Text3 says why).
    bool readPage();
    bool refuseIfBusy();

    Link &m_link;
    const SettingsRecord &m_settings;
    QLineEdit *m_pageNumber;
    QPlainTextEdit *m_output;
    QLineEdit *m_filename;
    QLineEdit *m_startpage;
    QLineEdit *m_endpage;
    QLabel *m_endLabel;
    TransferPanel *m_transfer;
};

} // namespace pvelm
