#pragma once

#include <QString>

// Windows paths from the settings record (c:\Corvane\velm.txt) mapped onto
// the host the way Wine maps them: drive x: is $PVELM_ROOT/drive_x, existing
// components are found whatever their case, new ones are made as written.
// Paths without a drive letter are host paths already.
namespace pvelm::hostpaths {

// $PVELM_ROOT, or ~/.pvelm when it is not set.
QString root();

// Maps a Windows path (or passes a host path through) to a host path.
QString toHost(const QString &path);

// The fixed working folder c:\Corvane and the settings file in it.
QString workingFolder();
QString settingsFile();
// A file in the working folder, e.g. "premerged.tmp".
QString workFile(const QString &name);

// Port n of the settings record: COMn on Windows; elsewhere what
// $PVELM_ROOT/dosdevices/comn links to, or /dev/ttyS(n-1) with no link.
QString portDevice(int n);
// The path of the dosdevices link for port n (it may not exist).
QString dosDeviceLink(int n);

} // namespace pvelm::hostpaths
