#pragma once

#include "boardtools/memorybytes.h"
#include "ui/toolwindow.h"

#include <array>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace pvelm {

class Link;

// "Memory Editor": reads and writes single EEPROM and RAM bytes, shows a
// byte read as decimal, hex, a character and eight bit boxes, composes a
// byte from bits, splits a 16-bit number into two bytes, and offers four
// quick RAM rows. Opening it stops the status monitor.
class Memoryeditor : public ToolWindow
{
    Q_OBJECT

public:
    Memoryeditor(Link &link, QWidget *parent);

    void Form_Load();
    void memoryaddress_Change();
    void Upaddr_Click();
    void Downmem_Click();
    void Command6_Click(); // bump and read
    void Command1_Click(); // read
    void Command2_Click(); // write
    void Command3_Click(); // write the bit editor's byte
    void Command5_Click(); // write the high byte
    void Command4_Click(); // write the low byte
    void Text4_Change();
    void Bitvalue_Change();
    void in16bits_Change();
    void aread_Click(int row);  // rows 1-4
    void awrite_Click(int row); // rows 1-4

private:
    void disableActions();
    void enableActions();
    void bitsToValue();
    boardtools::Area area() const;
    int address() const;
    void setAddress(int address);
    // Refuses a click while one of this window's exchanges waits.
    bool refuseWhileBusy();
    // Says in the message box why nothing was sent; true when `refusal` is set.
    bool refuse(const QString &refusal);
    // A box's edit was valid: the refusal of an earlier one goes.
    void editAccepted();
    // Command3/4/5: one byte written to the chosen area, the echo in Text3.
    void writeByteFrom(const QString &caption, const QString &text);
    // The byte of a successful exchange into `field`, or the field emptied
    // and the reason in the message box.
    void showByte(const boardtools::MemoryOutcome &r, QLineEdit *field);

    Link &m_link;
    bool m_busy = false;
    QString m_editNotice; // the refusal "Messages" shows, until a valid edit

    QRadioButton *m_eeprom;
    QRadioButton *m_ram;
    QLineEdit *m_memoryaddress;
    QLabel *m_hexaddr;
    QPushButton *m_upaddr;
    QPushButton *m_downmem;
    QPushButton *m_bumpRead;
    QPushButton *m_read;
    QLineEdit *m_readData;
    QPushButton *m_write;
    QLineEdit *m_writeData;
    std::array<QCheckBox *, 8> m_check{}; // Check1 .. Check8: bit 0 .. bit 7
    QLineEdit *m_bitvalue;
    QLineEdit *m_hexvalue;
    QLineEdit *m_asciivalue;
    QPushButton *m_writeBits;
    QLineEdit *m_in16bits;
    QLabel *m_longhex;
    QLabel *m_highbyte;
    QLabel *m_highex;
    QLabel *m_lowbyte;
    QLabel *m_lowhex;
    QPushButton *m_writeHigh;
    QPushButton *m_writeLow;
    std::array<QLineEdit *, 4> m_aaddress{};
    std::array<QLineEdit *, 4> m_adata{};
    std::array<QPushButton *, 4> m_aread{};
    std::array<QPushButton *, 4> m_awrite{};
    QLineEdit *m_messages;
};

} // namespace pvelm
