#include "browse/modFolderView.h"

#include "platform/sys/filenames.h"
#include "platform/sys/numbers.h"
#include "services/clsFileInfo.h"
#include "services/clsImageHeaderInfo.h"
#include "services/modFileSystem.h"
#include "services/modLoadPic.h"

#include <cstring>


const QStringList& fncFolderImageExtensions()
{
    static const QStringList extensions = {
        "act", "bmp", "bmz",  "cur",  "cut",  "dcx",  "dds", "dib", "emf", "gif",   "gfa",  "hdr", "iff",
        "lbm", "jng", "jpeg", "jpg",  "jpe",  "jpg2", "jp2", "j2k", "jpc", "koa",   "lif",  "lmp", "mdl",
        "mng", "oil", "pal",  "pbm",  "pcd",  "pcx",  "pgm", "pic", "pix", "png",   "pnm",  "ppm", "psd",
        "psp", "pxr", "ras",  "sun",  "raw",  "rle",  "rlf", "sgi", "rgb", "rgba",  "int",  "inta", "bw",
        "tga", "vda", "vst",  "icb",  "targa", "tiff", "tif", "wal", "wbmp", "wmf", "xbm",  "xpm"};
    return extensions;
}

QString fncFolderExtension(const QString& path) { return fncGetExtension(path).toLower(); }

bool fncIsFolderImage(const QString& extension)
{
    return !extension.isEmpty() && fncFolderImageExtensions().contains(extension.toLower());
}

QString fncFolderFilePath(const QString& folder, const QString& name)
{
    if (folder.isEmpty()) return name;
    const QString path = folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
    // A name that is not UTF-8 is reached through a link whose name Qt and the libraries can use.
    return tf::hasEscapedBytes(name) ? tf::reachablePath(path) : path;
}

QStringList fncFolderFileNames(const QString& folder)
{
    if (folder.isEmpty()) return {};
    // Every name, those that are not UTF-8 included (QDir leaves them out); no hidden ones.
    return tf::folderFileEntries(folder);
}

bool fncIsFolderImageName(const char* name)
{
    // The extensions are ASCII: judged on the name's bytes, without making it text. Leading points
    // belong to the name.
    const char* start = name;
    while (*start == '.') ++start;
    const char* point = std::strrchr(start, '.');
    if (!point || point[1] == '\0') return false;
    return fncFolderImageExtensions().contains(QLatin1StringView(point + 1), Qt::CaseInsensitive);
}

std::vector<tf::FolderFileEntry> fncFolderImageEntries(const QString& folder)
{
    if (folder.isEmpty()) return {};
    return tf::folderFileEntries(folder, &fncIsFolderImageName);
}

QStringList fncFolderImageNames(const QString& folder)
{
    QStringList names;
    for (tf::FolderFileEntry& entry : fncFolderImageEntries(folder)) names << std::move(entry.name);
    return names;
}

FolderFileFacts fncReadFolderFileFacts(const QString& path, bool withResolution)
{
    FolderFileFacts facts;
    clsFileInfo info;
    info.FilePath(path);
    if (!info.isValid()) return facts;
    facts.found = true;
    facts.bytes = info.fSize();
    facts.type = info.fType();
    facts.created = info.fDateCreated();
    facts.modified = info.fDateModified();
    facts.accessed = info.fDateAccessed();
    if (withResolution) facts.resolution = fncDetailsResolution(path, fncFolderExtension(path));
    return facts;
}

QString fncThumbnailFailureText(const tf::decode::DecodeResult& answer)
{
    using tf::decode::DecodeStatus;
    switch (answer.status) {
    case DecodeStatus::TimedOut: return QStringLiteral("Unable to read: the picture took too long to decode");
    case DecodeStatus::Crashed:
    case DecodeStatus::ProtocolError: return QStringLiteral("Unable to read: the picture is damaged");
    case DecodeStatus::OutOfMemory: return QStringLiteral("Unable to read: the picture is too large");
    case DecodeStatus::NoDecoder: return QStringLiteral("Unable to read: no decoder could be started");
    case DecodeStatus::Cancelled: return QStringLiteral("Not read");
    case DecodeStatus::Done: break;
    }
    if (!answer.image.isNull()) return QString();
    if (answer.errorNumber == tf::kErrOutOfMemory) return QStringLiteral("Unable to read: the picture is too large");
    if (answer.errorNumber != 0) return QStringLiteral("Unable to read: the picture is damaged");
    // No reader took the file and none complained: a type this program cannot draw.
    return QStringLiteral("Unable to read: no reader for this type of picture");
}

QString fncDetailsResolution(const QString& path, const QString& extension)
{
    const QString ext = extension.toLower();
    clsImageHeaderInfo header;
    if (ext == "tiff" || ext == "tif" || ext == "jpeg" || ext == "jpg" || ext == "png")
        header.ReadJPEG_TIFF_PNG_Header(path);
    else if (ext == "bmp" || ext == "gif")
        header.ReadGIF_BMP_Header(path);
    else
        return QString();
    // The reader's verdict is not needed: a header it could not read leaves zeros.
    return QStringLiteral("%1 X %2 X %3").arg(header.Width()).arg(header.Height()).arg(static_cast<int>(header.BitsPerPixel()));
}

QString fncThumbnailResolution(int32_t width, int32_t height)
{
    return QStringLiteral("%1 x %2").arg(width).arg(height);
}

QString fncFolderPanelText(const QString& folder) { return QStringLiteral("Current Folder - ") + folder; }

QString fncPagesPanelText(const QString& pages) { return pages + QStringLiteral(" page(s)"); }

QString fncResolutionPanelText(const QString& resolution, const QString& size)
{
    return resolution + QStringLiteral("     ") + size;
}

QString fncMetadataPanelText(bool hasExifRows, bool hasIptc)
{
    if (!hasExifRows && !hasIptc) return QStringLiteral("No metadata");
    QString text = QStringLiteral("Metadata - ");
    if (hasExifRows) text += QStringLiteral("EXIF");
    if (hasIptc) text += QStringLiteral(" IPTC");
    return text;
}

QString fncZoomPanelText(double zoomPercent)
{
    return QString::number(static_cast<qint64>(tf::roundHalfEven(zoomPercent))) + QStringLiteral("%");
}
