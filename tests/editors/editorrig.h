#pragma once

// What the window tests of the editors and the board tools share: a virtual
// board, a link to it, and ways to reach a window's controls by name.

#include "link/link.h"
#include "settings/settings.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QtTest>

struct EditorRig
{
    TestRoot root;
    pvelm::sim::VirtualBoard board;
    pvelm::SettingsRecord settings;
    pvelm::Link link;

    // Starts the board and opens the link with short seconds, so failed
    // exchanges give up quickly.
    bool start()
    {
        if (!board.start())
            return false;
        board.setLateReplyMs(2000);
        link.setSettings(&settings);
        link.setPortOverride(board.devicePath());
        link.setSecondMs(40);
        link.opencomport();
        return link.isPortOpen();
    }
    QByteArray wire()
    {
        const QByteArray bytes = board.received();
        board.clearReceived();
        return bytes;
    }
};

template <typename T> T *child(QWidget *w, const QString &name)
{
    return w->findChild<T *>(name);
}
// The text of a box, a packet box or a label.
inline QString text(QWidget *w, const QString &name)
{
    if (auto *edit = child<QLineEdit>(w, name))
        return edit->text();
    if (auto *plain = child<QPlainTextEdit>(w, name))
        return plain->toPlainText();
    return child<QLabel>(w, name)->text();
}
inline void set(QWidget *w, const QString &name, const QString &value)
{
    child<QLineEdit>(w, name)->setText(value);
}
inline void click(QWidget *w, const QString &name)
{
    child<QAbstractButton>(w, name)->click();
}
