#pragma once

#include <functional>
#include <memory>

#include <QByteArray>
#include <QObject>
#include <QString>

class QIODevice;
class QSerialPort;

namespace pvelm {

class SettingsRecord;

// Sees every chunk of bytes the link writes to the port or takes from it,
// with the routine it belongs to; the traffic log is one. Called on the
// link's thread, in the middle of an exchange: it must not call the link.
class LinkObserver
{
public:
    enum class Direction { Sent, Received };

    virtual ~LinkObserver() = default;
    // `routine` is the exchange routine's name ("rawsender", ...), or
    // "readMonitorReply" for the status monitor's read; static text.
    virtual void linkTraffic(Direction direction, const char *routine, const QByteArray &bytes) = 0;
};

// The one serial link to the board: the port, the shared link state and the
// nine exchange routines. Every window and the command line talk to the
// board through one instance of this object.
//
// Calling convention (as on the board's original console): the caller fills
// the input fields of the link state, calls a routine, then reads the reply
// and linkErrorCode / linkErrorText. Every routine is synchronous for its
// caller and pumps events while it waits.
//
// The link carries one exchange at a time. Each routine returns true when it
// ran and false when it was refused because another exchange is in
// progress; a refused call touches neither the port nor any field below.
//
// A port that fails (not open, a write error, the device gone) ends the
// exchange at once with linkErrorCode "7"; after a read, write or device
// error the port is closed when the exchange ends, and opencomport opens it
// again. Routines never throw.
//
// Destroy the link only when no routine is running: stopAll() (or the
// application quitting) makes every running routine return quickly first.
class Link : public QObject
{
    Q_OBJECT

public:
    explicit Link(QObject *parent = nullptr);
    ~Link() override;

    // ---- shared link state -------------------------------------------------
    QString linkPacket;        // packet to send / reply received
    QString linkBlock;         // block to send / block received
    QString linkRawInput;      // last handshake input, or last status report
    QString linkErrorCode;     // "0" success; "1" "2" "X" board; "Z" no answer; "7" port
    QString linkErrorText;     // set by describeLinkError
    bool linkTimedOut = false; // sticky; reset only by the caller
    bool monitoring = false;   // the status monitor is running
    // docomax inputs
    QString cmdCode;
    QString cmdAddress;
    QString cmdParam1;
    QString cmdParam2;
    QString cmdParam3;
    QString cmdData;

    // ---- port --------------------------------------------------------------
    // Where opencomport takes the serial settings (columns 100-109). The
    // record must outlive the link.
    void setSettings(const SettingsRecord *record);
    // A device that replaces the record's port number (--port, --simulate);
    // empty means use the record.
    void setPortOverride(const QString &device);
    QString portOverride() const;

    // Closes the port if open and opens it from the settings. A port named
    // socket://HOST:PORT is a raw TCP connection to a network serial server
    // (the server sets baud and framing; the connection is waited for, with
    // events pumped, for up to 5 link-seconds), and a connection the server
    // closes is a lost port. Returns false
    // only when refused (an exchange is in progress). Whether the port is
    // open afterwards is isPortOpen(); when it is not, portOpenError() holds
    // the reason the operating system gave (or why the settings are
    // unusable). Sets no error code.
    bool opencomport();
    void closePort();
    bool isPortOpen() const;
    QString portOpenError() const;

    // What the status bar says about the port: never opened or closed on
    // purpose, open, failed to open, or lost (its device failed or went
    // away while open).
    enum class PortState { Closed, Open, OpenFailed, Lost };
    PortState portState() const;
    // "DEVICE  SETTINGS  open", "... cannot open: REASON", "... lost: REASON".
    QString portStateText() const;
    // What the last opencomport used: "57600,n,8,1", the port number of
    // column 100, the device path, and the receive threshold (always 60).
    QString portSettingsText() const;
    int commPort() const;
    QString portDevice() const;
    // The device opencomport would open now: the override, or what the
    // record's port number leads to today (a dosdevices link may have been
    // pointed elsewhere since the last opening).
    QString configuredDevice() const;
    int rThreshold() const;
    // After the port was lost: is the device the settings name now there,
    // and is it the one that was open? A device is the same when it has
    // the same /dev/serial/by-id name as when it was opened, or, for one
    // without such a name, the very same device node (device number and
    // the time the node was made): a new pseudo-terminal or adapter that
    // takes the old name is Other.
    enum class DeviceReturn { Gone, Same, Other };
    DeviceReturn lostDeviceReturn() const;

    // ---- exchange routines -------------------------------------------------
    bool binreceiver();
    bool binsender();
    bool packreceiver();
    bool packwriter();
    bool rawsender();
    bool sendonly();
    bool smallcomax();
    bool docomax();
    // One line of a download: binsender, then up to 30 s for a reply.
    bool sendLineAndWait();
    // The status monitor's read: up to 6 s for a report of 24 characters,
    // or until `monitoring` is cleared. Not an exchange: allowed while one
    // runs, and does not block one.
    void readMonitorReply();
    // Throws away the reports waiting on the line, so that the next
    // readMonitorReply brings the board's latest. Does nothing while an
    // exchange runs or a long operation holds the link: the line is theirs.
    void discardMonitorInput();
    // linkErrorCode -> linkErrorText.
    void describeLinkError();

    // True when an exchange routine called now would be refused: one is in
    // progress, or a long operation holds the link (see LinkHold).
    bool isBusy() const;
    // True while a long operation holds the link.
    bool isHeld() const;

    // Length of one of the link's seconds in milliseconds (default 1000).
    // Tests shorten it to run the real timing logic quickly.
    void setSecondMs(int ms);
    int secondMs() const;

    // Ends every wait at once and makes later waits end at once; used when
    // the program closes while an exchange waits.
    void stopAll();
    bool isStopped() const;

    // The underlying serial port, for tests and the status monitor.
    QSerialPort *port() const;
    // What the bytes go through: the serial port, or the socket to a network
    // serial server (a --port of socket://HOST:PORT).
    QIODevice *io() const;

    // The one observer of the traffic, or none (nullptr, the default). With
    // none, watching costs one pointer test per chunk.
    void setObserver(LinkObserver *observer);
    LinkObserver *observer() const;

    static QString describe(const QString &code); // text for a code, "" for empty

signals:
    // An exchange started or ended (windows may show or hide a busy mark).
    void busyChanged(bool busy);
    // The port was closed because its device failed or went away (a USB
    // adapter pulled out); `reason` is what the operating system said.
    void portLost(const QString &reason);

private:
    friend class LinkHold;
    // Runs one exchange under the one-at-a-time guard; false when refused.
    // `name` labels its traffic for the observer.
    bool runExchange(const char *name, const std::function<void()> &routine);

    struct Private;
    std::unique_ptr<Private> d;
};

// A long operation made of many exchanges (a download, a flash file save or
// write, a nudge held down) holds the link from its first exchange to its
// last, so that no other window's exchange cuts into it. While the hold is
// taken, every routine called directly on the link is refused as if an
// exchange were in progress; the holder runs its exchanges through the hold.
class LinkHold
{
public:
    // Takes the hold when no exchange runs and nobody holds the link.
    explicit LinkHold(Link &link);
    ~LinkHold();
    LinkHold(const LinkHold &) = delete;
    LinkHold &operator=(const LinkHold &) = delete;

    bool acquired() const { return m_acquired; }
    // Runs one exchange routine on behalf of the hold; false when refused
    // (the hold was not acquired, or an exchange is already in progress).
    bool operator()(bool (Link::*routine)());

private:
    Link &m_link;
    bool m_acquired = false;
};

// Texts the link's users show.
inline constexpr char kPortOpenFailedMessage[] = "Canot open serial port. Check settings in setup";
inline constexpr char kExchangeRefusedMessage[] = "Link busy: another exchange is in progress";

} // namespace pvelm
