#pragma once

#include "editors/codecs.h"
#include "editors/exchanges.h"
#include "ui/toolwindow.h"

#include <bitset>

#include <QList>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace pvelm {

class Link;

namespace editors {
class NudgeButton;
}

// "Position Manager": one set of eight servo positions, worked on live
// (current positions, nudges held down, moves to a stored set), in position
// memory (the set stored at a line), and the output switches.
class positionbuilder : public ToolWindow
{
    Q_OBJECT

public:
    positionbuilder(Link &link, QWidget *parent);
    ~positionbuilder() override;

    void Form_Load();
    // A nudge button of `family` for servo k+1 held down: nudges until it is
    // let go. And let go: sets the family's release flag.
    void nudge_MouseDown(editors::NudgeFamily family, int k);
    void nudge_MouseUp(editors::NudgeFamily family);
    void getcur_Click();
    void Command1_Click(); // Put
    void Command2_Click(); // Get
    void moveto_Click();
    void Bumpmove_Click();
    void decmove_Click();
    void oncon_Click();
    void offcon_Click();

    bool isNudging() const { return m_nudge.isRunning(); }
    // The servos whose "Use" box is ticked: bit k for servo k+1.
    std::bitset<8> usedServos() const;

protected:
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    bool checkedLine(qint64 *line, QString *note);
    void addNote(const QString &note);
    void say(const QString &text);
    void showText(const QString &text);
    void showFailure(const LinkResult &r, const QString &what);
    // Position memory Get of the line typed, then the move to `moveLine`;
    // `stepTo` >= 0 moves the scroll bar there once the Get succeeded.
    void getThenMove(qint64 line, qint64 moveLine, int stepTo);
    void stepAndMove(int delta);
    void output(bool on);
    QStringList positions() const;

    Link &m_link;
    editors::NudgeLoop m_nudge;
    QList<QLineEdit *> m_positions; // S1edat .. S8edat
    QList<QCheckBox *> m_use;       // Use1(k)
    QLineEdit *m_line;
    QScrollBar *m_scroll;
    QLineEdit *m_outnumber;
    QLineEdit *m_responce;
    bool m_keepNotice = false; // a message shown during a nudge stays until it ends
};

} // namespace pvelm
