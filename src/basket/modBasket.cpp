#include "basket/modBasket.h"

#include "frame/modSettings.h"
#include "platform/imagebox/imagebox_document.h"
#include "platform/ui/imagelist.h"
#include "platform/ui/listview.h"
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
    return basket.append(std::move(page));
}

QImage fncBasketThumbnail(const QImage& picture)
{
    if (picture.isNull()) return {};
    return fncResizePictureGDIPlus(picture, picture.width(), picture.height(), kPicTypeBitmap, glngPagesThumbWidth,
                                   glngPagesThumbHeight, kSizeModeBox, kThumbBackColor, true);
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

int fncAddSplitPages(BasketModel& basket, ImageList& images, ImageDocument& doc, const QString& source,
                     int pageCount, const SplitNaming& naming, QStringList& failed, const PageProgress& progress)
{
    int last = -1;
    for (int p = 1; p <= pageCount; ++p) {
        if (progress) progress(p, pageCount, false);
        QString tempName;
        try {
            doc.setPageIndex(p);
            doc.LoadFromFile(source);
            const QImage thumbnail = doc.LoadFailed() ? QImage() : fncBasketThumbnail(doc.Picture());
            if (thumbnail.isNull()) {
                failed << fncFailedEntry(naming.failName, p);
            } else {
                tempName = fncTempPageFileName(naming.tempBase, p);
                if (tempName.isEmpty()) {
                    failed << fncFailedEntry(naming.failName, p);
                } else {
                    doc.SaveToFile(tempName);
                    clsFileInfo info;
                    info.FilePath(tempName);
                    PageRecord page;
                    page.text = naming.parenthesised
                                    ? naming.pageName + QLatin1Char('(') + QString::number(p) + QLatin1Char(')')
                                    : naming.pageName + QString::number(p);
                    page.tag = tempName;
                    page.page = p;
                    page.resolution = fncResolutionText(doc.ImageWidth(), doc.ImageHeight());
                    page.sizeText = info.fSizeFormated();
                    page.typeText = info.fType();
                    page.source = source;
                    last = fncAddBasketPage(basket, images, std::move(page), thumbnail);
                    tempName.clear();
                }
            }
        } catch (const std::exception&) {
            // The page could not be written (disk full, no room for the picture): it is named
            // with the others at the end, and its reserved name is given back.
            if (!tempName.isEmpty()) QFile::remove(tempName);
            failed << fncFailedEntry(naming.failName, p);
        }
        if (progress) progress(p, pageCount, true);
    }
    // The private control does not keep a page of another document once the split is done.
    doc.Clear();
    return last;
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

std::vector<int> fncSelectedRows(const ListView& lv)
{
    std::vector<int> rows;
    for (int i = 1; i <= lv.Count(); ++i)
        if (lv.Item(i)->isSelected()) rows.push_back(i - 1);
    return rows;
}

void subMoveListItems(ListView& lv, BasketModel& basket, int x, int y)
{
    QTreeWidgetItem* target = lv.HitTest(QPoint(x, y));
    QTreeWidgetItem* reference = lv.SelectedItem();
    lv.setDropHighlight(nullptr);
    if (!target || !reference) return;
    const int targetRow = lv.Index(target) - 1;
    const int insertAt = targetRow >= lv.Index(reference) - 1 ? targetRow + 1 : targetRow;
    basket.move(fncSelectedRows(lv), insertAt);
}

void subDeleteSelectedItems(const ListView& lv, BasketModel& basket) { basket.remove(fncSelectedRows(lv)); }

} // namespace tf::basket
