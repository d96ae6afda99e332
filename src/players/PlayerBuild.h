#pragma once
// Building a show: a player program followed by a package of the pages, written beside the
// target and put in its place only once complete, executable.
#include "pages/PagePipeline.h"
#include "platform/sys/safefile.h"
#include "players/kit/PlayerPackage.h"

#include <QImage>
#include <QString>

#include <functional>

namespace tf {

// The player programs by the names the builders know them by: "SIMPLE", "WATERY", "FALLINGTEXT",
// "CLOCK" (effect shows), "SAVER", "SLIDE". They are built beside the program.
QString fncPlayerProgram(const QString& resource);
// Where the player programs are looked for instead (tests, which run from their own folder).
void setPlayerProgramFolder(const QString& folder);

// `name` with `extension` (".exe", ".scr") appended unless its last four characters already are
// that extension, in any case.
QString fncWithExtension(const QString& name, const QString& extension);

// A page as the JPEG a show carries; 1-bit and palette pages become grey or true colour first.
QByteArray fncPageJpeg(const QImage& page, int quality);

// One page from one file: the effect show's page, named as the package names it.
class SinglePageSource final : public PageSource {
public:
    SinglePageSource(QString path, QString name) : m_page{std::move(path), std::move(name)} {}
    int count() const override { return 1; }
    Page page(int) const override { return m_page; }

private:
    Page m_page;
};

// A show as a sink of the page pipeline. Each page taken goes in as a JPEG under the source's
// name for it (or `pageName` for all); the commit adds the options record, list and trailer.
class PlayerPackageSink final : public PageSink {
public:
    PlayerPackageSink(QString target, QString playerProgram, QByteArray optionsRecord, int quality,
                      QString pageName = {});
    // Called on the worker once the pages are in, before the options, list and trailer go out.
    void setWhenFinishing(std::function<void()> finishing) { m_finishing = std::move(finishing); }
    void open(const PageSource& pages, const PageFormat& format) override;
    void pageStarting(int index, const PageSource::Page& page) override;
    void addPage(PreparedPage page) override;
    void commit() override;
    void rollback() noexcept override;
    // A Cancel still makes a whole show of the pages taken before it, the one under way included.
    bool keepsPagesOnCancel() const override { return true; }
    bool finishesPageOnCancel() const override { return true; }

private:
    QString m_player;
    QByteArray m_options;
    int m_quality;
    QString m_pageName;
    QString m_name;
    std::function<void()> m_finishing;
    SafeFile m_file;
    players::PackageWriter m_writer{m_file.device()};
};

} // namespace tf
