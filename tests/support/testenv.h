#pragma once
#include <QByteArray>
#include <QElapsedTimer>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

namespace tf::test {

// Outside a test's own scripted seams, a message box, dialog, error report or shell open answers with its default (or a
// cancel) and fails the running test: no test may block on a modal window or see one unexpectedly.
void installUnexpectedModalGuards();

// A temporary folder for one test's files.
class TempFolder {
public:
    TempFolder();
    QString path() const { return m_dir.path(); }
    QString file(const QString& name) const { return m_dir.filePath(name); }
    QString write(const QString& name, const QByteArray& bytes) const;

private:
    QTemporaryDir m_dir;
};

QByteArray readAll(const QString& path);

// The longest time the event loop went without running a 20 ms timer, from the making of this
// on: how long the window could not have answered the user.
class EventLoopGaps {
public:
    EventLoopGaps();
    qint64 longestMs();

private:
    QTimer m_timer;
    QElapsedTimer m_since;
    qint64 m_longest = 0;
};

// Writes one uncompressed 8-bit RGB TIFF page per picture; false when libtiff refused.
bool writeRgbTiff(const QString& path, const QList<QImage>& pages);

// Writes `pages` solid 1-bit pages of the palette's first colour (the second drawn as a frame round
// the page), as a scanner writes two-colour pages; false when libtiff refused.
bool writeTwoColourTiff(const QString& path, int pages, QSize size, QRgb first, QRgb second);
// A solid dark green 1-bit palette PNG ("green.png") and a two-page TIFF of such pages framed in
// yellow ("scan.tif"), 120 x 90, in `folder`: the two-colour pictures scanners and palettes make.
bool writeTwoColourPictures(const QString& folder);

// One page (1 = first) of an image file as the image control reads it; null when unreadable.
QImage loadPage(const QString& path, int page = 1);

// Runs a command-line tool and gives its standard output; exit code in *exitCode when asked.
QString runTool(const QString& program, const QStringList& args, int* exitCode = nullptr);

} // namespace tf::test
