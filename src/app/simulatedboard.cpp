#include "app/simulatedboard.h"

#include "compiler/demoprogram.h"

namespace pvelm {

bool SimulatedBoard::start(bool fresh, QString *error)
{
    QString notice;
    if (!m_kept.load(fresh, error, &notice))
        return false;
    QStringList notes;
    if (!notice.isEmpty())
        notes << notice.left(1).toUpper() + notice.mid(1);
    if (!m_kept.loadedKept()) {
        QList<QByteArray> pages;
        QString why;
        if (compiler::compileDemoProgram(&pages, &why)) {
            m_board.updateState([&pages](sim::BoardState &s) {
                for (const QByteArray &line : pages)
                    s.storePageLine(line);
            });
            notes << QStringLiteral("The virtual board's flash holds the demo program: Run / Resume runs it");
        } else {
            notes << QStringLiteral("The demo program could not be put into the virtual board: %1").arg(why);
        }
    }
    m_note = notes.join(QStringLiteral(". "));
    if (!m_board.start(error)) {
        if (error)
            *error = QStringLiteral("cannot start the virtual board: %1").arg(*error);
        return false;
    }
    return true;
}

bool SimulatedBoard::stopAndSave(QString *error)
{
    m_board.stop();
    return m_kept.save(error);
}

} // namespace pvelm
