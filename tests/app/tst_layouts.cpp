// Every window of the console, opened the way the operator opens it, from
// the main window's menus, against the virtual board: each menu item's
// caption and the window it opens, and at twice the pixel density and with
// a large font no caption is cut off.
//
// With PVELM_SCREENSHOT_DIR set, the same run saves a picture of every
// window there (scripts/screenshots.sh).

#include "app/ui/messages.h"
#include "app/ui/toolwindow.h"
#include "app/ui/velmcon.h"
#include "settings/hostpaths.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QtTest>

using namespace pvelm;

namespace {

// A caption as drawn: "&&" is one ampersand, a single "&" marks a mnemonic.
QString shown(QString text)
{
    text.replace(QLatin1String("&&"), QString(QChar(0xE000)));
    text.remove(QLatin1Char('&'));
    return text.replace(QChar(0xE000), QLatin1Char('&'));
}

// What of a window's captions does not fit: "objectName: text".
QStringList clipped(QWidget *window)
{
    QStringList out;
    const auto tooNarrow = [&](QWidget *w, const QString &text, int need, int have) {
        if (w->window() == window && w->isVisibleTo(window) && need > have)
            out << QStringLiteral("%1 \"%2\": needs %3, has %4").arg(w->objectName(), text).arg(need).arg(have);
    };
    for (QLabel *l : window->findChildren<QLabel *>()) {
        if (l->wordWrap() || l->text().isEmpty() || l->textFormat() == Qt::RichText)
            continue;
        // The widest line of the caption, as the label draws it.
        int need = 0;
        for (const QString &line : l->text().split(QLatin1Char('\n')))
            need = std::max(need, l->fontMetrics().horizontalAdvance(line));
        tooNarrow(l, l->text(), need, l->contentsRect().width());
    }
    for (QAbstractButton *b : window->findChildren<QAbstractButton *>()) {
        if (!b->text().isEmpty())
            tooNarrow(b, b->text(), b->fontMetrics().horizontalAdvance(shown(b->text())), b->contentsRect().width());
    }
    for (QGroupBox *g : window->findChildren<QGroupBox *>())
        tooNarrow(g, g->title(), g->fontMetrics().horizontalAdvance(shown(g->title())), g->width());
    return out;
}

} // namespace

class TestLayouts : public QObject
{
    Q_OBJECT

private slots:
    void everyWindowFits()
    {
        TestRoot root;
        sim::VirtualBoard board;
        QVERIFY(board.start());
        QDir().mkpath(root.file("dosdevices"));
        QVERIFY(QFile::link(board.devicePath(), hostpaths::dosDeviceLink(1)));
        QStringList messages;
        const MessageHandler previous = setMessageHandler([&](const QString &text) { messages << text; });

        Velmcon velmcon;
        QVERIFY(velmcon.Form_Load());
        // A real script for the editor to show, coloured.
        QVERIFY(writeAllBytes(hostpaths::toHost(QStringLiteral("c:\\Corvane\\velm.txt")),
                              readAllBytes(QStringLiteral(PVELM_SOURCE_DIR "/examples/pick_and_place.txt"))));
        velmcon.show();
        QCOMPARE(velmcon.windowTitle(), QStringLiteral("PVelm Main Control"));
        // Every menu item as shown, and the caption of the window it opens.
        QStringList items;
        for (QAction *top : velmcon.menuBar()->actions()) {
            const QString menu = top->menu() ? shown(top->text()) + QStringLiteral(" > ") : QString();
            for (QAction *item : top->menu() ? top->menu()->actions() : QList<QAction *>{top}) {
                const QList<ToolWindow *> before = velmcon.findChildren<ToolWindow *>();
                item->trigger();
                QString opened;
                for (ToolWindow *w : velmcon.findChildren<ToolWindow *>())
                    opened += before.contains(w) || !w->isVisible() ? QString() : w->windowTitle();
                items << menu + shown(item->text()) + QStringLiteral(" | ") + opened;
            }
        }
        QCOMPARE(items, (QStringList{
                            "Move & Position Edit > Instruction Editor | Edit Instruction Element",
                            "Move & Position Edit > Position Manager | Position Manager",
                            "Move & Position Edit > Packed Move/Position Editor | Packed Instruction & Move Editor",
                            "Move & Position Edit > Speed Editor | Speed Editor",
                            "Setup and Tools > System Setup | System setup",
                            "Setup and Tools > Board Setup | Board Parameters",
                            "Setup and Tools > Memory Editor | Memory Editor",
                            "Setup and Tools > Send Short Command | Short Command Sender",
                            "Setup and Tools > Send Long Command | Long Command Sender",
                            "Setup and Tools > Flash Tools | Flash memory utility",
                            "Setup and Tools > Traffic Log | Traffic Log",
                            "VelmScript File Downalod | Velm Converter & Downloader",
                            "About | About PVelm",
                        }));
        QCOMPARE(messages, QStringList());

        // The script editor opens from the converter window.
        if (auto *editscript = velmcon.findChild<QAbstractButton *>(QStringLiteral("editscript")))
            editscript->click();
        QList<QWidget *> windows{&velmcon};
        for (ToolWindow *w : velmcon.findChildren<ToolWindow *>())
            windows << w;
        QVERIFY(windows.size() > 8);

        const QString shots = qEnvironmentVariable("PVELM_SCREENSHOT_DIR");
        QStringList problems;
        for (QWidget *w : windows) {
            QVERIFY(QTest::qWaitForWindowExposed(w));
            for (const QString &p : clipped(w))
                problems << w->objectName() + QStringLiteral(": ") + p;
            if (!shots.isEmpty())
                w->grab().save(shots + QLatin1Char('/') + w->objectName() + QStringLiteral(".png"));
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
        setMessageHandler(previous);
    }
};

int main(int argc, char **argv)
{
    // Twice the pixel density and a large font, unless the screenshot
    // script asks for the ordinary look.
    if (!qEnvironmentVariableIsSet("PVELM_SCREENSHOT_DIR"))
        qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    if (!qEnvironmentVariableIsSet("PVELM_SCREENSHOT_DIR")) {
        QFont font = QApplication::font();
        font.setPointSizeF(font.pointSizeF() * 1.6);
        QApplication::setFont(font);
    }
    TestLayouts test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_layouts.moc"
