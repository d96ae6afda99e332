#include "basket/modBasket.h"

#include "frame/modSettings.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/imagebox/picture_decode.h"
#include "platform/ui/imagelist.h"
#include "platform/ui/reportview.h"
#include "platform/ui/msgbox.h"
#include "platform/sys/userdirs.h"
#include "services/clsFileInfo.h"
#include "services/modGDIPlus.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>
#include <algorithm>
#include <exception>

namespace tf::basket {

QString fncQueueText(int count) { return QString::number(count) + QStringLiteral(" file(s) in basket"); }

QString fncResolutionText(int32_t width, int32_t height)
{
    return QString::number(width) + QStringLiteral(" X ") + QString::number(height);
}

int fncPageCountOf(const QString& text)
{
    bool ok = false;
    const int count = text.trimmed().toInt(&ok);
    return ok && count > 0 ? count : 1;
}

int fncAddBasketPage(BasketModel& basket, ImageList& images, PageRecord page, const QImage& thumbnail)
{
    page.icon = images.Add(thumbnail);
    // Every page's size text was made from its file (the source, or the page file written for
    // it) moments ago: its bytes, which the size column sorts by, come from the same file.
    if (page.bytes < 0 && !page.tag.isEmpty()) {
        const QFileInfo file(page.tag);
        if (file.exists()) page.bytes = file.size();
    }
    return basket.append(std::move(page));
}

QImage fncBasketThumbnail(const QImage& picture, QSize box)
{
    if (picture.isNull()) return {};
    if (box.isEmpty()) box = QSize(glngPagesThumbWidth, glngPagesThumbHeight);
    return fncResizePictureGDIPlus(picture, picture.width(), picture.height(), kPicTypeBitmap, box.width(),
                                   box.height(), kSizeModeBox, kThumbBackColor, true);
}

namespace {

// Creates the file only if nothing (not even a dangling link) has that name.
enum class Reserve { Made, Taken, Failed };
Reserve reserveFile(const QString& path, QString* error)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        file.close();
        return Reserve::Made;
    }
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink()) return Reserve::Taken;
    if (error) *error = file.errorString();
    return Reserve::Failed;
}

} // namespace

QString fncTempPageFileName(const QString& base, int page, QString* error)
{
    const QString stem = userTempDir() + QLatin1Char('/') + base + QString::number(page) + QLatin1Char('_');
    auto nameFor = [&](int number) { return stem + QString::number(number) + QStringLiteral(".tif"); };
    // Random numbers first, as the names always were; a crowded folder is then searched in turn,
    // so the search ends even when every number is taken.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = nameFor(static_cast<int>(QRandomGenerator::global()->bounded(9999)));
        switch (reserveFile(name, error)) {
        case Reserve::Made: return name;
        case Reserve::Failed: return {};
        case Reserve::Taken: break;
        }
    }
    for (int number = 0; number < 9999; ++number) {
        const QString name = nameFor(number);
        switch (reserveFile(name, error)) {
        case Reserve::Made: return name;
        case Reserve::Failed: return {};
        case Reserve::Taken: break;
        }
    }
    if (error) *error = QStringLiteral("Every temp page name for \"%1\" is taken").arg(base);
    return {};
}

QStringList subDeleteTempPages()
{
    QDir temp(userTempDir());
    const QStringList pages =
        temp.entryList({QStringLiteral("*.tif")}, QDir::Files | QDir::Hidden | QDir::System | QDir::CaseSensitive);
    QStringList deleted;
    for (const QString& name : pages)
        if (QFile::remove(temp.filePath(name))) deleted << temp.filePath(name);
    return deleted;
}

QString fncSplitPageText(const SplitNaming& naming, int page)
{
    return naming.parenthesised ? naming.pageName + QLatin1Char('(') + QString::number(page) + QLatin1Char(')')
                                : naming.pageName + QString::number(page);
}

SplitPage fncWriteSplitPage(ImageDocument& doc, const QString& source, int page, DecodeResult decoded,
                            const QString& tempBase, QSize thumbBox)
{
    SplitPage out;
    out.page = page;
    QString tempName;
    try {
        doc.LoadDecoded(source, std::move(decoded));
        const QImage thumbnail = doc.LoadFailed() ? QImage() : fncBasketThumbnail(doc.Picture(), thumbBox);
        if (thumbnail.isNull()) return out;
        tempName = fncTempPageFileName(tempBase, page);
        if (tempName.isEmpty()) return out;
        doc.SaveToFile(tempName);
        clsFileInfo info;
        info.FilePath(tempName);
        out.file = tempName;
        out.thumbnail = thumbnail;
        out.resolution = fncResolutionText(doc.ImageWidth(), doc.ImageHeight());
        out.sizeText = info.fSizeFormated();
        out.typeText = info.fType();
    } catch (const std::exception&) {
        // The page could not be written (disk full, no room for the picture): it is named with
        // the others at the end, and its reserved name is given back.
        if (!tempName.isEmpty()) QFile::remove(tempName);
        out = SplitPage{};
        out.page = page;
    }
    // The document does not keep a page of the source once it is written.
    doc.Clear();
    return out;
}

QString fncFailedEntry(const QString& name, int page)
{
    QString entry = QLatin1Char('\'') + name + QLatin1Char('\'');
    if (page > 0) entry += QStringLiteral(" (page %1)").arg(page);
    return entry;
}

QString fncFailedFilesMessage(const QStringList& entries)
{
    if (entries.isEmpty()) return {};
    // A long list would outgrow the screen; the first ones and a count tell enough.
    constexpr int kShown = 20;
    QString text = QStringLiteral("The following files could not be added to the basket:");
    for (int i = 0; i < entries.size() && i < kShown; ++i) text += QStringLiteral("\n\t") + entries.at(i);
    if (entries.size() > kShown) text += QStringLiteral("\n\t... and %1 more").arg(entries.size() - kShown);
    return text;
}

void subShowFailedFiles(const QStringList& entries)
{
    if (!entries.isEmpty()) MsgBox(fncFailedFilesMessage(entries), vbExclamation);
}

void subMoveListItems(ReportView& lv, BasketModel& basket, int x, int y)
{
    const int target = lv.rowAt(QPoint(x, y));
    const int reference = lv.selectedRow();
    lv.setDropHighlight(-1);
    if (target < 0 || reference < 0) return;
    const int insertAt = target >= reference ? target + 1 : target;
    basket.move(lv.selectedRows(), insertAt);
}

void subDeleteSelectedItems(const ReportView& lv, BasketModel& basket) { basket.remove(lv.selectedRows()); }

} // namespace tf::basket
