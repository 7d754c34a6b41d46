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

// Whether two paths (Windows or host) name one file on disk: the same
// device and inode (on Windows the same volume and file index) after
// mapping, so a hard link, a symbolic link or another spelling of the same
// file counts. A path that names no existing file is no other file.
bool sameFile(const QString &a, const QString &b);

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
