// Fuzz target: the EXIF template reader (.xiff). It reads through clsFile, which reads files, so
// each input goes through a private temporary file.
#include "metadata/ExifIptc.h"
#include "metadata/metadataTemplates.h"
#include "metadata/modMetadata.h"

#include <QTemporaryFile>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool init = [] {
        subInitMetadata();
        return true;
    }();
    (void)init;
    QTemporaryFile file;
    if (!file.open()) return 0;
    file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    file.close();
    tf::ExifIptc meta;
    subLoadEXIFFile(file.fileName(), meta);
    return 0;
}
