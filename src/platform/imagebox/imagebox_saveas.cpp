// The control's own Save As: the user picks the file and the type, then a worker writes it.
#include "platform/imagebox/imagebox.h"

#include "platform/imagebox/page_writers.h"
#include "platform/ui/dialogs.h"

#include <QFileInfo>
#include <iterator>

namespace {

struct SaveType {
    const char* description;
    const char* patterns;
    const char* suffix;
};

// The types SaveToFile writes, the first pattern of each being the suffix a bare name gets.
constexpr SaveType kSaveTypes[] = {
    {"JPEG (*.jpg;*.jpeg;*.jpe)", "*.jpg;*.jpeg;*.jpe", "jpg"},
    {"TIFF (*.tif;*.tiff)", "*.tif;*.tiff", "tif"},
    {"Windows Bitmap (*.bmp)", "*.bmp", "bmp"},
    {"Portable Network Graphics (*.png)", "*.png", "png"},
    {"Graphics Interchange Format (*.gif)", "*.gif", "gif"},
    {"Photoshop (*.psd)", "*.psd", "psd"},
    {"PCX (*.pcx)", "*.pcx", "pcx"},
    {"Targa (*.tga)", "*.tga", "tga"},
};

bool nameHasPatternOf(const QString& path, const SaveType& type)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    for (const QString& pattern : QString::fromLatin1(type.patterns).split(QLatin1Char(';')))
        if (pattern.mid(2) == suffix) return true;
    return false;
}

} // namespace

QString ImageBox::SaveAsPath()
{
    if (!HasImage()) return {};
    QStringList filter;
    for (const SaveType& type : kSaveTypes) filter << QString::fromLatin1(type.description) << QString::fromLatin1(type.patterns);

    tf::FileDialogRequest request;
    request.save = true;
    request.owner = window();
    request.title = QStringLiteral("Save As");
    request.filter = filter.join(QLatin1Char('|'));
    request.filterIndex = 1;
    // No default suffix for the dialog: it would add the first type's to a bare name whatever
    // type was chosen. The chosen type's suffix is added below.
    const tf::FileDialogResult chosen = tf::dialogProvider().fileDialog(request);
    if (!chosen.accepted || chosen.filePath.isEmpty()) return {};

    // A name without one of the chosen type's extensions is given that type's extension, so the
    // file is written in the type the user picked.
    const int index = chosen.filterIndex >= 1 && chosen.filterIndex <= int(std::size(kSaveTypes)) ? chosen.filterIndex - 1 : 0;
    QString path = chosen.filePath;
    if (!nameHasPatternOf(path, kSaveTypes[index])) path += QLatin1Char('.') + QString::fromLatin1(kSaveTypes[index].suffix);
    return path;
}

QString tf::savePictureAs(const QImage& pixels, const QString& path, int jpegQuality,
                          const std::function<bool()>& cancelled)
{
    try {
        savePictureFile(pixels, path, jpegQuality, cancelled);
    } catch (const std::exception& e) {
        return QStringLiteral("The picture could not be saved as \"%1\".").arg(QFileInfo(path).fileName()) +
               QLatin1Char('\n') + QString::fromUtf8(e.what());
    }
    return {};
}
