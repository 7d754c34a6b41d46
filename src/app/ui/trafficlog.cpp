#include "app/ui/trafficlog.h"

#include "link/traffic.h"
#include "ui/messages.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>

namespace pvelm {

namespace {

// New entries are shown in batches, four times a second at most: a download
// moves hundreds of chunks a second, and each repaint of the view takes
// milliseconds of the thread that runs the download.
constexpr int kRefreshDelayMs = 250;

} // namespace

Trafficlog::Trafficlog(TrafficLog &log, QWidget *parent) : ToolWindow(parent), m_log(log)
{
    setObjectName(QStringLiteral("Trafficlog"));
    setWindowTitle(QStringLiteral("Traffic Log"));

    m_text = new QPlainTextEdit;
    m_text->setObjectName(QStringLiteral("logText"));
    m_text->setAccessibleName(QStringLiteral("Traffic"));
    m_text->setReadOnly(true);
    // A long packet wraps (anywhere: it has no blanks) rather than running
    // off to the right.
    m_text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_text->setWordWrapMode(QTextOption::WrapAnywhere);
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_text->setMinimumSize(m_text->fontMetrics().horizontalAdvance(QString(90, QLatin1Char('0'))),
                           m_text->fontMetrics().lineSpacing() * 16);

    m_hex = new QCheckBox(QStringLiteral("Show hex"));
    m_hex->setObjectName(QStringLiteral("hexView"));
    m_pause = new QCheckBox(QStringLiteral("Pause"));
    m_pause->setObjectName(QStringLiteral("pauseLog"));
    auto *clear = new QPushButton(QStringLiteral("Clear"));
    clear->setObjectName(QStringLiteral("clearLog"));
    auto *save = new QPushButton(QStringLiteral("Save..."));
    save->setObjectName(QStringLiteral("saveLog"));

    m_ringSize = new QSpinBox;
    m_ringSize->setObjectName(QStringLiteral("ringSize"));
    m_ringSize->setRange(1, 1000000);
    m_ringSize->setValue(m_log.ring().capacity());
    auto *ringLabel = new QLabel(QStringLiteral("Entries kept:"));
    ringLabel->setBuddy(m_ringSize);
    m_ringSize->setAccessibleName(ringLabel->text());

    // A value label: a screen reader reads the count, the caption is its description.
    m_count = new QLabel;
    m_count->setObjectName(QStringLiteral("entryCount"));
    m_count->setAccessibleDescription(QStringLiteral("Entries"));

    m_filter = new QLineEdit;
    m_filter->setObjectName(QStringLiteral("logFilter"));
    m_filter->setClearButtonEnabled(true);
    m_filter->setPlaceholderText(QStringLiteral("TX, RX, a routine or bytes"));
    auto *filterLabel = new QLabel(QStringLiteral("Filter:"));
    filterLabel->setBuddy(m_filter);
    m_filter->setAccessibleName(filterLabel->text());

    // The columns of a line, the time's unit first.
    auto *columns =
        new QLabel(QStringLiteral("Time in ms since the first entry, TX sent or RX received, routine, bytes"));
    columns->setObjectName(QStringLiteral("logColumns"));

    auto *controls = new QHBoxLayout;
    controls->addWidget(m_pause);
    controls->addWidget(m_hex);
    controls->addWidget(clear);
    controls->addWidget(save);
    controls->addSpacing(12);
    controls->addWidget(ringLabel);
    controls->addWidget(m_ringSize);
    controls->addStretch(1);
    controls->addWidget(m_count);

    auto *filterRow = new QHBoxLayout;
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(m_filter, 1);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addLayout(filterRow);
    layout->addWidget(columns);
    layout->addWidget(m_text, 1);

    m_askSavePath = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Save Traffic Log"), QStringLiteral("traffic.log"),
                                            QStringLiteral("Log files (*.log *.txt);;All files (*)"));
    };

    connect(m_hex, &QCheckBox::clicked, this, &Trafficlog::hexView_Click);
    connect(m_pause, &QCheckBox::clicked, this, &Trafficlog::pauseLog_Click);
    connect(clear, &QPushButton::clicked, this, &Trafficlog::clearLog_Click);
    connect(save, &QPushButton::clicked, this, &Trafficlog::saveLog_Click);
    connect(m_ringSize, &QSpinBox::valueChanged, this, &Trafficlog::ringSize_Change);
    connect(m_filter, &QLineEdit::textChanged, this, &Trafficlog::rebuild);
    connect(&m_log, &TrafficLog::added, this, [this] {
        if (m_refreshPending)
            return;
        m_refreshPending = true;
        QTimer::singleShot(kRefreshDelayMs, this, &Trafficlog::refresh);
    });

    m_log.setPaused(false);
    rebuild();
}

Trafficlog::~Trafficlog() = default;

void Trafficlog::closeEvent(QCloseEvent *event)
{
    ToolWindow::closeEvent(event);
    // The ring goes on recording while the window is closed.
    m_log.setPaused(false);
}

void Trafficlog::refresh()
{
    m_refreshPending = false;
    const TrafficRing &ring = m_log.ring();
    if (ring.total() < m_shown) // cleared meanwhile
        return rebuild();
    const qint64 first = ring.total() - ring.size();
    const bool hex = m_hex->isChecked();
    const QString filter = m_filter->text();
    QString lines;
    for (qint64 k = std::max(m_shown, first); k < ring.total(); ++k) {
        const TrafficEntry &entry = ring.at(int(k - first));
        if (!trafficMatches(entry, filter))
            continue;
        if (!lines.isEmpty())
            lines += QLatin1Char('\n');
        lines += trafficLine(entry, ring.originNs(), hex);
    }
    if (!lines.isEmpty())
        m_text->appendPlainText(lines);
    m_shown = ring.total();
    showCount();
}

void Trafficlog::rebuild()
{
    m_text->clear();
    // One block a line, two with hex: the view keeps what the ring keeps.
    m_text->setMaximumBlockCount(m_log.ring().capacity() * (m_hex->isChecked() ? 2 : 1));
    m_shown = 0;
    refresh();
}

void Trafficlog::showCount()
{
    const TrafficRing &ring = m_log.ring();
    QString text = QStringLiteral("%1 entries").arg(ring.size());
    if (ring.dropped() > 0)
        text += QStringLiteral(", %1 dropped").arg(ring.dropped());
    if (!m_filter->text().isEmpty()) {
        // The view holds one block a line shown (two with hex), and one
        // empty block when it shows nothing.
        const int blocks = m_text->document()->isEmpty() ? 0 : m_text->blockCount();
        text += QStringLiteral(", %1 shown").arg(blocks / (m_hex->isChecked() ? 2 : 1));
    }
    if (m_log.isPaused())
        text += QStringLiteral(", paused");
    m_count->setText(text);
}

void Trafficlog::hexView_Click()
{
    rebuild();
}

void Trafficlog::pauseLog_Click()
{
    m_log.setPaused(m_pause->isChecked());
    showCount();
}

void Trafficlog::clearLog_Click()
{
    m_log.ring().clear();
    rebuild();
}

void Trafficlog::ringSize_Change()
{
    m_log.ring().setCapacity(m_ringSize->value());
    rebuild();
}

void Trafficlog::saveLog_Click()
{
    HandlerGuard guard(this); // the file dialog runs its own event loop
    const QString path = m_askSavePath();
    if (path.isEmpty())
        return;
    QString error;
    if (!m_log.ring().save(path, &error))
        showMessage(this, QStringLiteral("Cannot save the traffic log to %1: %2").arg(path, error));
}

} // namespace pvelm
