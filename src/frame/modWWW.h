#pragma once
#include <QString>
#include <QUrl>
#include <cstdint>
#include <functional>
#include <optional>

// The web routines of the error report. There is no registry and no browser window to steer on
// Linux: the registry and window routines give the answers the callers fall back on, and the
// report goes out as a plain HTTP request that tells us whether it arrived.

// Registry hive handles, as the callers name them.
inline constexpr int32_t HKEY_CLASSES_ROOT = int32_t(0x80000000u);
inline constexpr int32_t HKEY_CURRENT_USER = int32_t(0x80000001u);
inline constexpr int32_t HKEY_LOCAL_MACHINE = int32_t(0x80000002u);

// One registry string value; there is no registry here, so always the default text.
QString fncRegGetString(int32_t hKey, const QString& strKeyName, const QString& strValueName,
                        const QString& strDefault = QString());

// The text without one leading and one trailing backslash.
QString fncTrimBackslashes(const QString& strPath);

// The browser's program path: none, so callers take their other way.
QString fncGetIEPath();

// Closes a confirmation window an earlier report left open: none is ever opened, so false.
bool fncCloseSuccessWindow();

// Whether the computer has a network connection. An unknown state counts as connected, so that
// a system that cannot tell never keeps the user from sending.
bool fncIsConnected();

// Sends the address as an HTTP GET and returns; the answer arrives later as an event. Shows
// Message (information) only when the server answered with success; otherwise a message that says
// the report was not sent. Without a connection it shows the "No active internet connection"
// message at once and sends nothing. `done` learns whether the report arrived, after the message.
void fncSubmitURL(const QUrl& URL, const QString& Message, std::function<void(bool arrived)> done = {});

namespace tf {

// Inactivity limit of one submission; the request ends with a failure after it.
int submitTimeoutMs();
void setSubmitTimeoutMs(int ms);

// Tests decide what fncIsConnected answers; std::nullopt asks the system again.
void setConnectionStateOverride(std::optional<bool> connected);

// The failure text shown when a submission did not arrive; the reason is appended on its own line.
QString submitFailureMessage(const QString& reason);

} // namespace tf
