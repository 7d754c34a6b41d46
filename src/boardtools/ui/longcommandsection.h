#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace pvelm {

class Link;

// The long command section both command senders carry: a free command code
// and address sent with docomax, the version request, and the reply.
class LongCommandSection : public QWidget
{
    Q_OBJECT

public:
    LongCommandSection(Link &link, const QString &defaultCommand, QWidget *parent = nullptr);

    void sendit_Click();
    void Version_Click();

    // The reply box, shared with the short section of the short sender.
    QLineEdit *responce() const { return m_responce; }

    // Around every exchange of the window: beginExchange refuses (and says
    // so in the reply box) while another exchange waits on the link,
    // otherwise shows the busy mark and clears the reply (the long commands;
    // the short Send leaves it); endExchange takes the mark away.
    bool beginExchange(bool clearReply = true);
    void endExchange();
    // Shows that the link refused an exchange because another one waits.
    void showRefused();

private:
    void showOutcome(bool ran, const QString &inver, const QString &responce);

    Link &m_link;
    QLineEdit *m_cmddat;
    QLabel *m_optdata;
    QLineEdit *m_data5bytes;
    QPushButton *m_sendit;
    QPushButton *m_version;
    QLabel *m_inver;
    QLineEdit *m_responce;
    QLabel *m_working;
};

} // namespace pvelm
