// Fuzz target: the IPTC template reader (.ffo), which takes any bytes a user's file holds.
#include "metadata/ExifIptc.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    tf::ExifIptc meta;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (meta.parseIptcTemplate(bytes)) {
        // What was read must list and write again without trouble.
        for (const auto& f : tf::iptcFields()) (void)meta.iptcText(f.dataset);
        (void)meta.iptcTemplateBytes();
    }
    return 0;
}
