#pragma once

#include <optional>

#include <QString>

// What the console and the command line talk to for one run, chosen in one
// place from their options: --port, --simulate, --sim-fault and --trace, and
// the test clock. Each program parses its own command line and hands the
// values here.
namespace pvelm {

// The options as given; a missing option is nothing, one given empty is "".
struct PortOptions
{
    std::optional<QString> port;     // --port: a device path, COMn or socket://HOST:PORT
    bool simulate = false;           // --simulate
    std::optional<QString> simFault; // --sim-fault: a fault name for the virtual board
    std::optional<QString> trace;    // --trace: the trace file
    std::optional<QString> secondMs; // the test clock: PVELM_SECOND_MS
    bool freshBoard = false;         // --fresh-board: the virtual board starts clean
};

struct PortChoice
{
    // A conflict among the options, said the same by both programs; when
    // set, nothing else is.
    QString error;
    // The device to open instead of the settings' port; empty: the settings'
    // port, or the virtual board's when one is started.
    QString device;
    bool startBoard = false;
    QString boardFault; // the fault name for the virtual board; empty: none
    QString traceFile;  // host path of the trace file; empty: no trace
    int secondMs = 0;   // length of a link-second for tests; 0: the real one
    QString warning;    // a test clock that was ignored, and why
    // Start the virtual board clean instead of as it was kept.
    bool freshBoard = false;

    bool ok() const { return error.isEmpty(); }
};

// The environment variable of the test clock.
inline constexpr char kSecondMsVariable[] = "PVELM_SECOND_MS";
// Its value, when set.
std::optional<QString> secondMsFromEnvironment();

// The port argument as a device: "COMn" (any case, n from 1 to 999) is
// port n as the settings number ports (hostpaths::portDevice), a network
// address (below) stays as it is, anything else is a device path taken as
// it stands.
QString portDeviceFor(const QString &argument);

// A board behind a network serial server: "socket://HOST:PORT" is a raw TCP
// connection to HOST (a name, an IPv4 address or a bracketed IPv6 one) on
// PORT (1 to 65535). The server sets the line's baud rate and framing.
struct NetworkAddress
{
    QString host;
    quint16 port = 0;
    // "HOST:PORT" as the operator wrote it, for messages.
    QString text() const;
};
inline constexpr char kSocketScheme[] = "socket://";
// True for a device name that asks for the network, well formed or not.
bool isNetworkName(const QString &device);
// The address of a well-formed "socket://HOST:PORT"; nothing otherwise, with
// the reason in *why when given.
std::optional<NetworkAddress> networkAddress(const QString &device, QString *why = nullptr);

PortChoice choosePort(const PortOptions &options);

} // namespace pvelm
