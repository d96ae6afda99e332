#pragma once
// What every player program does before its window: reads the show it carries at the end of its
// own file, and decides from its command line whether to show it.
#include "players/kit/PlayerPackage.h"

#include <QFile>
#include <QImage>
#include <QStringList>

namespace tf::players {

enum class PlayerKind { Simple, Watery, RainingText, Clock, Saver, Slide };

enum class StartMode { Show, Configure, End };

// Only the first two characters of the first argument count, in any case; none means "/S".
// "/P" (a preview) shows the screen saver full screen and ends the others.
StartMode startMode(const QStringList& arguments, PlayerKind kind);

// The options record a player of `kind` reads.
OptionsKind optionsKind(PlayerKind kind);

// A page's JPEG bytes as the picture a player shows, at its own size. Every page the builders
// write is taken, up to the largest picture the program itself reads; a null picture otherwise,
// with `cause` (when given) saying why.
QImage decodeShowPage(const QByteArray& jpeg, QString* cause = nullptr);

// A show's package and the file it is in, kept open so that pages are read as they are shown.
class OwnShow {
public:
    // The running program's own file, whatever it is called now (through /proc/self/exe).
    bool openOwnProgram(OptionsKind kind);
    bool openFile(const QString& path, OptionsKind kind);
    // After an open that failed: what is wrong with the package; empty when there is none.
    const QString& damage() const { return m_damage; }
    const Package& package() const { return m_package; }
    int pageCount() const { return static_cast<int>(m_package.items.size()); }
    // Page i decoded from its bytes; a null picture when it cannot be read, and then `cause`
    // (when given) says why, as a sentence for the user.
    QImage page(int index, QString* cause = nullptr);
    // Page i's JPEG bytes as the package holds them; empty when there is no such page or they
    // cannot be read.
    QByteArray pageBytes(int index);
    // The options the package carries for effect shows (whole or empty) and for the others.
    EffectExeOptions effectOptions() const;
    SaverOptions saverOptions() const;

private:
    bool load(OptionsKind kind);
    QFile m_file;
    Package m_package;
    QString m_damage;
};

// The whole of a player program's main.
int runPlayer(int argc, char** argv, PlayerKind kind);

} // namespace tf::players
