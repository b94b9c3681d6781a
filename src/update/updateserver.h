// Where updates come from and whether the network can reach it.
//
// The program fetches an installer and runs it, so the server must be the one it claims to be:
// the base address uses HTTPS, and plain HTTP is accepted only for a server on this machine
// (the tests' own). A redirect may not leave the scheme, host and port it started from.
#pragma once

#include <QUrl>

namespace UpdateServer {

inline constexpr const char *VersionFilePath = "/french/download/uvelmora.ini";
inline constexpr const char *InstallerPath = "/french/download/updatevelmora.exe";

// The base address the program was built with.
QUrl defaultBase();

// The checks below and InternetConnected() need Qt Network: they are part of the network module
// (updatereach.cpp), which the dialog reaches through UpdateNetwork.

// True for an https:// address with a host, or an http:// one whose host is this machine
// (localhost, 127.0.0.0/8, ::1).
bool isAllowedBase(const QUrl &base);

// base followed by path, with exactly one "/" between them.
QUrl fileUrl(const QUrl &base, const char *path);

// True when a redirect from `from` to `to` stays on the same scheme, host and port.
bool isAllowedRedirect(const QUrl &from, const QUrl &to);

} // namespace UpdateServer

// True unless the system reports that no network is reachable. Where no network information
// backend is available, a connection is assumed and the download itself tells.
bool InternetConnected();
